#pragma once

#include <QImage>
#include <QList>
#include <QListWidget>
#include <QString>

class Picture;

// A file offered as a mask: its name with extension and its full path.
struct MaskFile {
    QString name;
    QString path;
};

// The plain files of the folder, by name: folders, hidden files and special files (sockets,
// devices) are left out. A missing folder gives an empty list.
QList<MaskFile> listMaskFiles(const QString& folder);

// The thumbnail of a mask: a 24-bit side x side bitmap onto which the whole picture is
// stretched, its proportions not kept.
QImage maskThumbnail(const Picture& picture, int side);

// The mask thumbnails of the Mask and settings dialogs (ListViewMasks): one square thumbnail
// per mask file that loads, no captions, single selection. A selected thumbnail has a 3-pixel
// frame in the highlight color, whether or not the list has the focus. Clicking beside the
// thumbnails clears the selection: no mask.
class MaskList : public QListWidget {
    Q_OBJECT

public:
    static constexpr int kFrame = 3;
    // The smallest cell of a thumbnail: its frame and a gap of four pixels.
    static constexpr int cellFor(int side) { return side + 2 * kFrame + 4; }

    // side: the thumbnails' width and height.
    MaskList(int side, QWidget* parent = nullptr);

    int side() const { return side_; }
    // True once load() ran: the list then stays as it is for the rest of the run.
    bool loaded() const { return loaded_; }
    // Fills the list from the folders' files, folder by folder, leaving out those that do not
    // load as pictures.
    void load(const QStringList& folders);

    // Selects the item whose full path is path, character for character; none when no item
    // has it.
    void selectPath(const QString& path);
    // The selected item's full path; empty when none is selected.
    QString selectedPath() const;
    QString path(int row) const;
    QImage thumbnail(int row) const;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    // The columns share the list's width evenly.
    void resizeEvent(QResizeEvent* event) override;

private:
    int side_;
    bool loaded_ = false;
};
