#include "FileDialogSize.h"

#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QDateTime>
#include <QLocale>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QStandardPaths>
#include <QTreeView>

#include <algorithm>
#include <vector>

namespace {

// Rows of the file list the dialog leaves room for, where the screen has it.
constexpr int kListRows = 16;

// The widest texts the Size, Type and Date columns show for the files the dialog's filters
// list: a size up to 1023.99 of a unit, the description of each filtered extension and of a
// folder, and a date and time with two-digit fields, all as the file list writes them.
QStringList widestTexts(const QFileDialog& dialog, int column)
{
    const QLocale locale = QLocale::system();
    switch (column) {
    case 1:
        return {locale.formattedDataSize(qint64(1023.99 * 1024 * 1024))};
    case 2: {
        QStringList types = {QStringLiteral("Folder")};
        const QMimeDatabase mimes;
        static const QRegularExpression pattern(QStringLiteral("\\*\\.(\\w+)"));
        for (const QString& filter : dialog.nameFilters()) {
            for (auto match = pattern.globalMatch(filter); match.hasNext();) {
                const QMimeType type =
                    mimes.mimeTypeForFile(QStringLiteral("x.") + match.next().captured(1), QMimeDatabase::MatchExtension);
                types << (type.comment().isEmpty() ? type.name() : type.comment());
            }
        }
        return types;
    }
    case 3:
        return {locale.toString(QDateTime(QDate(2026, 12, 28), QTime(23, 58, 58)), QLocale::ShortFormat)};
    default:
        return {};
    }
}

// The width the view's items need to show text whole, as its style measures them.
int itemWidth(const QTreeView& view, const QString& text)
{
    QStyleOptionViewItem option;
    option.initFrom(&view);
    option.font = view.font();
    option.fontMetrics = view.fontMetrics();
    option.features = QStyleOptionViewItem::HasDisplay;
    option.text = text;
    return view.style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), &view).width();
}

// Fits the dialog when it is first shown: only then are the view, its header and everything
// beside it laid out, so that what the columns lack can be measured.
class ColumnFitter final : public QObject {
public:
    ColumnFitter(QFileDialog& dialog, QTreeView& view) : QObject(&dialog), dialog_(dialog), view_(view)
    {
        // The widths the dialog chose for its columns, before anything resizes them, grown
        // to what the columns after the name show. Long names are elided, as anywhere.
        const QHeaderView* header = view.header();
        for (int i = 0; i < header->count(); ++i) {
            int width = header->sectionSize(i);
            for (const QString& text : widestTexts(dialog, i))
                width = std::max(width, itemWidth(view, text));
            chosen_.push_back(width);
        }
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
    // Widens each column to its title and contents at least, and returns the viewport size that shows
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
