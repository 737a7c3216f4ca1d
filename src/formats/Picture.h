#pragma once

#include <QImage>
#include <QRect>
#include <QSize>

class QPainter;

// A decoded picture of any readable format: its size, drawing itself stretched into a
// rectangle (mask step, thumbnails, previews) and conversion into a bitmap of its own size
// (the render pipeline's starting point).
class Picture {
public:
    virtual ~Picture() = default;

    virtual int width() const = 0;
    virtual int height() const = 0;

    // Draws the whole picture stretched over target. Raster pictures are sampled without
    // averaging: every target pixel takes the color of one picture pixel.
    virtual void draw(QPainter& painter, const QRect& target) const = 0;

    // The picture as a bitmap of width() x height(). Vector pictures are drawn on white.
    virtual QImage toImage() const = 0;
};

// The size of a picture of pictureSize scaled with its proportions to fit box, never
// enlarged and never below 1 x 1: how previews and thumbnails draw it.
QSize fittedSize(QSize pictureSize, QSize box);

// A picture that holds decoded pixels. An image with an alpha channel is stored as its
// 24-bit color channels, so drawing never blends (a PictureError when that copy finds no
// memory).
class RasterPicture final : public Picture {
public:
    explicit RasterPicture(QImage image);

    int width() const override { return image_.width(); }
    int height() const override { return image_.height(); }
    void draw(QPainter& painter, const QRect& target) const override;
    QImage toImage() const override { return image_; }

    const QImage& image() const { return image_; }

private:
    QImage image_;
};
