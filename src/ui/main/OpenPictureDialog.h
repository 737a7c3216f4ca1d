#pragma once

#include <QFileDialog>
#include <QImage>
#include <QSize>

class QLabel;

// The open dialog of the main window: title "Open", the single "All Photos" filter, one
// existing file, and beside the file list a preview of the selected picture decoded by the
// program's own format registry (so it shows exactly the formats the program reads).
class OpenPictureDialog : public QFileDialog {
    Q_OBJECT

public:
    explicit OpenPictureDialog(QWidget* parent = nullptr);

    struct Preview {
        QImage image;      // the picture fitted into the box, centred on white
        QSize pictureSize; // the picture's own size
    };
    // The preview of a picture file: the picture scaled with its proportions to fit box
    // (never enlarged), centred on white, drawn without averaging. A null image when the
    // file cannot be decoded.
    static Preview previewImage(const QString& fileName, QSize box);

    // Shows the preview and the size of fileName (nothing for folders and unreadable files).
    void showPreview(const QString& fileName);

private:
    QLabel* imagePreview_;
    QLabel* labelSize_;
};
