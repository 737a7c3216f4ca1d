#pragma once

#include "model/PhotoCore.h"

#include <QWidget>

#include <functional>

class QDialog;
class QPainter;

// The edit dialogs the photo view shows, created once by the main window. A dialog that is
// not there is never shown.
struct EditDialogs {
    QDialog* resize = nullptr;
    QDialog* crop = nullptr;
    QDialog* color = nullptr;
    QDialog* watermark = nullptr;
    QDialog* mask = nullptr;
};

// The one photo view on screen: a lightweight control that paints the rendered bitmap of its
// PhotoCore stretched over its own area (no averaging) and sizes itself to the rendered size
// times the zoom. A photo without a bitmap shows the core's message instead, in a control just
// large enough for the line, which the photo area centres. Everything about loading and
// rendering lives in the core.
class TPhoto : public QWidget {
    Q_OBJECT

public:
    explicit TPhoto(QWidget* owner = nullptr);

    PhotoCore& Core() { return core_; }
    const PhotoCore& Core() const { return core_; }

    TPhotoInfo* Info() const { return core_.Info(); }
    int Zoom() const { return core_.Zoom(); }
    const Picture* Source() const { return core_.Source(); }
    const Picture* MaskPicture() const { return core_.MaskPicture(); }
    const QImage& Bitmap() const { return core_.Bitmap(); }

    void SetPhotoInfo(TPhotoInfo* info, std::unique_ptr<Picture> decodedSource = nullptr)
    {
        core_.SetPhotoInfo(info, std::move(decodedSource));
    }
    void SetZoom(int percent) { core_.SetZoom(percent); }
    void LoadSource() { core_.LoadSource(); }
    void LoadMask() { core_.LoadMask(); }
    void Render() { core_.Render(); }
    FittedJpeg SaveToFile(const QString& path) const { return core_.SaveToFile(path); }
    void RotateClockwise() { core_.RotateClockwise(); }
    void RotateCounterclockwise() { core_.RotateCounterclockwise(); }

    // Puts the rendered pixels on the clipboard as a bitmap image.
    void CopyToClipboard() const;

    // The dialogs, and how a modal dialog is run (its result returned).
    void SetEditDialogs(const EditDialogs& dialogs, std::function<int(QDialog&)> runModal);
    // Each shows its dialog modally while the source picture is loaded. Without a source the
    // Resize, Watermark and Mask dialogs give the Cancel result (2) without showing anything.
    int ShowResize();
    void ShowCrop();
    void ShowColorBalance();
    int ShowWatermark();
    int ShowMask();

signals:
    // After every render and zoom change, with this view as sender.
    void OnChange(QObject* sender);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void coreChanged();
    bool showsMessage() const;
    void paintMessage(QPainter& painter);
    int showDialog(QDialog* dialog);

    PhotoCore core_;
    EditDialogs dialogs_;
    std::function<int(QDialog&)> runModal_;
};
