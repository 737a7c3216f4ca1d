#pragma once

#include <QImage>
#include <QWidget>

#include <functional>

class QFrame;

// A sunken frame of a fixed size for an image control, named name. Widgets paint off screen
// first, so redrawing an outline or a preview in it never flickers.
QFrame* newPicturePanel(const char* name, QSize size, QWidget* parent);

// An image control of the dialogs: shows its bitmap at 1:1 from its top-left corner, as large
// as the bitmap, and hands mouse presses, moves and releases over to the dialog in bitmap
// pixels. While a button is held the image keeps the pointer, also outside its bounds.
class ImageBox : public QWidget {
    Q_OBJECT

public:
    explicit ImageBox(QWidget* panel);

    const QImage& bitmap() const { return bitmap_; }
    // The bitmap to draw on in place; the control repaints itself afterwards.
    QImage& editBitmap();
    // Takes the bitmap and its size, and centers itself in its panel: left is
    // (panel width - width) div 2, top likewise.
    void showCentered(const QImage& bitmap);

    std::function<void(QPoint)> onPress;
    std::function<void(QPoint)> onMove;
    std::function<void(QPoint)> onRelease;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QImage bitmap_;
};
