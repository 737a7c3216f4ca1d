// Our own drawings of the tool buttons' images, read back as a user reads them.
#include "ui/desktop/ToolIcons.h"

#include <QImage>
#include <QPixmap>
#include <QTest>
#include <QtMath>

#include <cmath>
#include <vector>

namespace {

struct RingPixel {
    double degrees; // counter-clockwise from three o'clock, 0 to 360
    double radius;
};

// The opaque pixels of the Rotate image around its photo: the arrow alone.
std::vector<RingPixel> arrowPixels(const QImage& image)
{
    const QPointF centre(image.width() / 2.0, image.height() / 2.0);
    std::vector<RingPixel> pixels;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) < 128)
                continue;
            const double dx = x + 0.5 - centre.x();
            const double dy = centre.y() - (y + 0.5);
            const double radius = std::hypot(dx, dy);
            if (radius < 10.5) // the photo in the middle
                continue;
            double degrees = qRadiansToDegrees(std::atan2(dy, dx));
            if (degrees < 0)
                degrees += 360;
            pixels.push_back({degrees, radius});
        }
    }
    return pixels;
}

bool arrowAt(const std::vector<RingPixel>& pixels, double degrees)
{
    degrees = std::fmod(degrees + 720, 360);
    for (const RingPixel& p : pixels) {
        const double apart = std::abs(std::remainder(p.degrees - degrees, 360.0));
        if (apart <= 6)
            return true;
    }
    return false;
}

} // namespace

class ToolIconsTest : public QObject {
    Q_OBJECT

private slots:
    // The arrow of "Rotate Clockwise" is an open ring with a head at one end of its gap. The
    // head is its widest part, so its pixel farthest from the centre marks it. Turning
    // clockwise from the head leads into the gap; turning the other way runs along the ring.
    void rotateArrowTurnsClockwise()
    {
        const QImage image = drawnToolIcon(ToolIcon::Rotate).toImage().convertToFormat(QImage::Format_ARGB32);
        const std::vector<RingPixel> pixels = arrowPixels(image);
        QVERIFY(!pixels.empty());
        RingPixel head = pixels.front();
        for (const RingPixel& p : pixels)
            if (p.radius > head.radius)
                head = p;
        QVERIFY2(!arrowAt(pixels, head.degrees - 40), qPrintable(QStringLiteral("head at %1 degrees").arg(head.degrees)));
        QVERIFY2(arrowAt(pixels, head.degrees + 40), qPrintable(QStringLiteral("head at %1 degrees").arg(head.degrees)));
    }
};

QTEST_MAIN(ToolIconsTest)
#include "tst_toolicons.moc"
