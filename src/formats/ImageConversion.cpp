#include "ImageConversion.h"

#include <cstdint>
#include <cstring>

namespace {

void storePixel(uint8_t* d, QRgb c)
{
    d[0] = uint8_t(qBlue(c));
    d[1] = uint8_t(qGreen(c));
    d[2] = uint8_t(qRed(c));
}

} // namespace

QImage toBgr888(const QImage& image)
{
    if (image.format() == kBitmapFormat || image.isNull())
        return image;

    const int w = image.width();
    const int h = image.height();
    QImage out(w, h, kBitmapFormat);
    if (out.isNull())
        return out;

    switch (image.format()) {
    case QImage::Format_Indexed8: {
        const QList<QRgb> table = image.colorTable();
        QRgb lut[256];
        for (int i = 0; i < 256; ++i)
            lut[i] = i < table.size() ? table[i] : qRgb(0, 0, 0);
        for (int y = 0; y < h; ++y) {
            const uint8_t* s = image.constScanLine(y);
            uint8_t* d = out.scanLine(y);
            for (int x = 0; x < w; ++x, d += 3)
                storePixel(d, lut[s[x]]);
        }
        return out;
    }
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32: {
        for (int y = 0; y < h; ++y) {
            const QRgb* s = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            uint8_t* d = out.scanLine(y);
            for (int x = 0; x < w; ++x, d += 3)
                storePixel(d, s[x]);
        }
        return out;
    }
    case QImage::Format_RGB888: {
        for (int y = 0; y < h; ++y) {
            const uint8_t* s = image.constScanLine(y);
            uint8_t* d = out.scanLine(y);
            for (int x = 0; x < w; ++x, s += 3, d += 3) {
                d[0] = s[2];
                d[1] = s[1];
                d[2] = s[0];
            }
        }
        return out;
    }
    case QImage::Format_Grayscale8: {
        for (int y = 0; y < h; ++y) {
            const uint8_t* s = image.constScanLine(y);
            uint8_t* d = out.scanLine(y);
            for (int x = 0; x < w; ++x, d += 3)
                d[0] = d[1] = d[2] = s[x];
        }
        return out;
    }
    default: {
        // Other layouts: Qt's straight (non-premultiplied) 32-bit form keeps the stored
        // colors of opaque formats; premultiplied sources are brought back first.
        const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
        return toBgr888(argb);
    }
    }
}
