#pragma once

#include <QFileDialog>

class QLabel;
class PreviewLoader;
struct PicturePreview;

// The open dialog of the main window: title "Open", the single "All Photos" filter, one
// existing file, and beside the file list a preview of the selected picture decoded by the
// program's own format registry (so it shows exactly the formats the program reads). The
// preview never holds up the dialog: see PreviewLoader.
class OpenPictureDialog : public QFileDialog {
    Q_OBJECT

public:
    explicit OpenPictureDialog(QWidget* parent = nullptr);

    // Shows the preview and the size of fileName: nothing for folders, "(no preview)" for
    // files that cannot be read. The preview shows once its decode is done, "(reading...)"
    // until then.
    void showPreview(const QString& fileName);

    // Opening the selected file takes over its preview's decode.
    void done(int result) override;

    PreviewLoader& previewLoader() { return *loader_; }

private:
    void setPreview(const PicturePreview& preview);
    // The preview of a name typed into the name box, when it names a file.
    void previewTypedName(const QString& text);

    QLabel* imagePreview_;
    QLabel* labelSize_;
    PreviewLoader* loader_;
    QString previewedFile_;
};
