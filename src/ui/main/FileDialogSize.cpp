#include "FileDialogSize.h"

#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QStandardPaths>
#include <QTreeView>

#include <algorithm>
#include <vector>

namespace {

// Rows of the file list the dialog leaves room for, where the screen has it.
constexpr int kListRows = 16;

// Fits the dialog when it is first shown: only then are the view, its header and everything
// beside it laid out, so that what the columns lack can be measured.
class ColumnFitter final : public QObject {
public:
    ColumnFitter(QFileDialog& dialog, QTreeView& view) : QObject(&dialog), dialog_(dialog), view_(view)
    {
        // The widths the dialog chose for its columns, before anything resizes them.
        const QHeaderView* header = view.header();
        for (int i = 0; i < header->count(); ++i)
            chosen_.push_back(header->sectionSize(i));
        dialog.installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == &dialog_ && event->type() == QEvent::Show) {
            dialog_.removeEventFilter(this);
            fit();
            deleteLater();
        }
        return false;
    }

private:
    // Widens each column to its title at least, and returns the viewport size that shows
    // them all, with room for the vertical scroll bar that a long folder brings.
    QSize widenColumns()
    {
        QHeaderView* header = view_.header();
        int width = 0;
        for (int i = 0; i < header->count(); ++i) {
            if (header->isSectionHidden(i))
                continue;
            const int chosen = i < int(chosen_.size()) ? chosen_[size_t(i)] : 0;
            const int section = std::max({chosen, header->sectionSize(i), header->sectionSizeHint(i)});
            if (section != header->sectionSize(i))
                header->resizeSection(i, section);
            width += section;
        }
        const QScrollBar* scrollBar = view_.verticalScrollBar();
        if (!scrollBar->isVisible())
            width += view_.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, scrollBar);
        const int rowHeight = std::max(view_.fontMetrics().height(), view_.iconSize().height()) + 6;
        return QSize(width, kListRows * rowHeight);
    }

    void fit()
    {
        const QSize wanted = widenColumns();
        const QScreen* screen = dialog_.screen();
        const QSize available = screen ? screen->availableGeometry().size() : QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        // The dialog's other parts may take a share of what it grows by: a few rounds settle it.
        for (int round = 0; round < 3; ++round) {
            const QSize viewport = view_.viewport()->size();
            const QSize lacking(std::max(0, wanted.width() - viewport.width()), std::max(0, wanted.height() - viewport.height()));
            const QSize size = (dialog_.size() + lacking).boundedTo(available);
            if (size == dialog_.size())
                break;
            dialog_.resize(size);
        }
    }

    QFileDialog& dialog_;
    QTreeView& view_;
    std::vector<int> chosen_;
};

} // namespace

QString initialPictureFolder()
{
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (!pictures.isEmpty() && QFileInfo(pictures).isDir())
        return pictures;
    return QDir::homePath();
}

void sizeFileDialogForColumns(QFileDialog& dialog)
{
    if (auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView")))
        new ColumnFitter(dialog, *view);
}
