#include "MaskList.h"

#include "formats/FormatRegistry.h"

#include <QDir>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QPainter>
#include <QStyledItemDelegate>

#include <algorithm>

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kThumbnailRole = Qt::UserRole + 1;

// Draws an item as its thumbnail alone, centred in the item's bounds, on a frame three pixels
// wide that is the highlight color when the item is selected and the list's background
// otherwise. The caption is never drawn.
class ThumbnailDelegate final : public QStyledItemDelegate {
public:
    ThumbnailDelegate(int side, QObject* parent) : QStyledItemDelegate(parent), side_(side) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const QRect& r = option.rect;
        const int x = (r.left() + r.left() + r.width() - side_) / 2;
        const int y = (r.top() + r.top() + r.height() - side_) / 2;
        const int f = MaskList::kFrame;
        const bool selected = option.state & QStyle::State_Selected;
        const QPalette& palette = option.palette;
        painter->fillRect(QRect(x - f, y - f, side_ + 2 * f, side_ + 2 * f),
                          selected ? palette.color(QPalette::Active, QPalette::Highlight) : palette.color(QPalette::Base));
        painter->drawImage(QPoint(x, y), index.data(kThumbnailRole).value<QImage>());
    }

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override
    {
        return QSize(MaskList::cellFor(side_), MaskList::cellFor(side_));
    }

private:
    int side_;
};

} // namespace

QList<MaskFile> listMaskFiles(const QString& folder)
{
    QList<MaskFile> files;
    const QDir dir(folder);
    for (const QFileInfo& entry : dir.entryInfoList(QDir::Files, QDir::Name | QDir::IgnoreCase))
        files.append({entry.fileName(), dir.filePath(entry.fileName())});
    return files;
}

QImage maskThumbnail(const Picture& picture, int side)
{
    // Averaged rather than sampled: a mask's fine edges stay smooth at thumbnail size.
    return picture.toImage()
        .convertToFormat(QImage::Format_RGB888)
        .scaled(side, side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

MaskList::MaskList(int side, QWidget* parent) : QListWidget(parent), side_(side)
{
    setObjectName(QStringLiteral("ListViewMasks"));
    setViewMode(QListView::IconMode);
    setMovement(QListView::Static);
    setResizeMode(QListView::Adjust);
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setIconSize(QSize(side, side));
    setItemDelegate(new ThumbnailDelegate(side, this));
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

void MaskList::load(const QStringList& folders)
{
    QList<MaskFile> files;
    for (const QString& folder : folders)
        files += listMaskFiles(folder);
    for (const MaskFile& file : files) {
        QImage thumbnail;
        try {
            thumbnail = maskThumbnail(*loadPicture(file.path), side_);
        } catch (const std::exception&) {
            continue; // not a picture, or a damaged one: not offered
        }
        if (thumbnail.isNull())
            continue;
        auto* item = new QListWidgetItem(file.name, this);
        item->setToolTip(QFileInfo(file.name).completeBaseName());
        item->setData(kPathRole, file.path);
        item->setData(kThumbnailRole, thumbnail);
    }
    loaded_ = true;
}

void MaskList::selectPath(const QString& path)
{
    clearSelection();
    for (int i = 0; i < count(); ++i) {
        if (this->path(i) == path) {
            setCurrentRow(i, QItemSelectionModel::ClearAndSelect);
            scrollToItem(item(i));
            return;
        }
    }
}

QString MaskList::selectedPath() const
{
    const QList<QListWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? QString() : path(row(selected.first()));
}

QString MaskList::path(int row) const
{
    return item(row)->data(kPathRole).toString();
}

QImage MaskList::thumbnail(int row) const
{
    return item(row)->data(kThumbnailRole).value<QImage>();
}

void MaskList::resizeEvent(QResizeEvent* event)
{
    QListWidget::resizeEvent(event);
    // The scroll bar is always there, so the columns do not change when it would appear.
    const int width = viewport()->width();
    const int columns = std::max(1, width / cellFor(side_));
    setGridSize(QSize(width / columns, cellFor(side_)));
}

void MaskList::mousePressEvent(QMouseEvent* event)
{
    // A click beside the thumbnails chooses no mask.
    if (!indexAt(event->position().toPoint()).isValid())
        clearSelection();
    QListWidget::mousePressEvent(event);
}
