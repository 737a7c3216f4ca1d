#pragma once

#include "MetafileCanvas.h"
#include "formats/Picture.h"

#include <QByteArray>
#include <QRectF>
#include <QSize>

#include <cstdint>
#include <functional>
#include <span>

// A Windows metafile (WMF or EMF) as a vector picture: it keeps its own copy of the file's
// records and plays them whenever it is drawn, stretched into the rectangle asked for.
class MetafilePicture final : public Picture {
public:
    // Plays the records of data on a canvas.
    using Player = std::function<void(std::span<const uint8_t> data, metafile::MetafileCanvas& canvas)>;

    // bytes: the file (copied); size: the picture's own size in pixels; frame: the rectangle of
    // the player's device space that fills the target; resolution: device pixels per millimetre.
    MetafilePicture(std::span<const uint8_t> bytes, QSize size, QRectF frame, double pixelsPerMmX, double pixelsPerMmY,
                    Player player);

    int width() const override { return size_.width(); }
    int height() const override { return size_.height(); }
    // Never throws: a record that cannot be played is left out.
    void draw(QPainter& painter, const QRect& target) const override;
    // The picture at its own size on white.
    QImage toImage() const override;

private:
    QByteArray bytes_;
    QSize size_;
    QRectF frame_;
    double pixelsPerMmX_;
    double pixelsPerMmY_;
    Player player_;
};
