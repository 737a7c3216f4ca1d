// Metafile samples written by other programs, and damaged metafiles.
#include "formats/metafile/EmfPlayer.h"
#include "formats/FormatRegistry.h"
#include "formats/ImageConversion.h"
#include "formats/PictureError.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <map>

namespace {

constexpr uint32_t kWhite = 0xFFFFFF;

// The bounding box of the pixels that are not white.
QRect inkBox(const QImage& bitmap)
{
    QRect box;
    for (int y = 0; y < bitmap.height(); ++y)
        for (int x = 0; x < bitmap.width(); ++x)
            if (rgbAt(bitmap, x, y) != kWhite)
                box |= QRect(x, y, 1, 1);
    return box;
}

QImage drawInto(const Picture& picture, QSize surface, const QRect& target)
{
    QImage image = solidBitmap(surface.width(), surface.height(), 255, 255, 255);
    QPainter painter(&image);
    picture.draw(painter, target);
    return image;
}

// Share of pixels whose channels all lie within tolerance of the reference.
double shareWithin(const QImage& expected, const QImage& actual, int tolerance)
{
    int64_t close = 0;
    for (int y = 0; y < expected.height(); ++y) {
        const uint8_t* e = expected.constScanLine(y);
        const uint8_t* a = actual.constScanLine(y);
        for (int x = 0; x < expected.width() * 3; x += 3)
            close += std::abs(e[x] - a[x]) <= tolerance && std::abs(e[x + 1] - a[x + 1]) <= tolerance
                && std::abs(e[x + 2] - a[x + 2]) <= tolerance;
    }
    return double(close) / (double(expected.width()) * expected.height());
}

QString corruptDir(const char* format)
{
    return testDataDir() + QStringLiteral("/corrupt/") + QLatin1String(format);
}

TEST(MetafileCorpus, EveryWmfDecodesAtTheSizeItDeclaresAtNinetySixDpi)
{
    SKIP_WITHOUT_CORPUS();
    // Placeable bounds in logical units at their units per inch, shown at 96 pixels per inch.
    const std::map<QString, QSize> sizes = {
        {"imagemagick_clock.wmf", {490, 495}},  // 3096 x 3124 units at 606 per inch
        {"imagemagick_wizard.wmf", {490, 642}}, // 3096 x 4053 units at 606 per inch
        {"pillow_drawing.wmf", {110, 110}},     // 1369 x 1369 units at 1200 per inch
    };
    const QStringList files = corpusFiles(QStringLiteral("wmf"));
    ASSERT_EQ(files.size(), int(sizes.size()));
    for (const QString& file : files) {
        const auto picture = loadPicture(file);
        const QSize expected = sizes.at(QFileInfo(file).fileName());
        EXPECT_EQ(QSize(picture->width(), picture->height()), expected) << file.toStdString();
        EXPECT_EQ(picture->toImage().size(), expected) << file.toStdString();
    }
}

// The references were drawn by a renderer that stretches the area its records draw over the
// whole picture, where we keep the rectangle the file declares. So our picture is drawn into
// the rectangle that puts its drawn area where the reference has it, and then at least 90 %
// of the pixels must lie within 48 levels of the reference in every channel.
TEST(MetafileCorpus, WmfDrawsCloseToItsReference)
{
    SKIP_WITHOUT_CORPUS();
    for (const QString& name : {QStringLiteral("imagemagick_clock.wmf"), QStringLiteral("imagemagick_wizard.wmf")}) {
        const QString file = corpusDir() + QStringLiteral("/wmf/") + name;
        const QImage reference = loadReference(referenceFor(file));
        ASSERT_FALSE(reference.isNull()) << "no reference decode for " << file.toStdString();
        const auto picture = loadPicture(file);
        const QSize own(picture->width(), picture->height());
        const QRect ownInk = inkBox(drawInto(*picture, own * 3, QRect(QPoint(own.width(), own.height()), own)))
                                 .translated(-own.width(), -own.height());
        const QRect referenceInk = inkBox(reference);
        ASSERT_FALSE(ownInk.isEmpty()) << name.toStdString();
        const double sx = double(referenceInk.width()) / ownInk.width();
        const double sy = double(referenceInk.height()) / ownInk.height();
        const QRect target(int(std::lround(referenceInk.left() - ownInk.left() * sx)),
                           int(std::lround(referenceInk.top() - ownInk.top() * sy)), int(std::lround(own.width() * sx)),
                           int(std::lround(own.height() * sy)));
        const QImage actual = drawInto(*picture, reference.size(), target);
        const double share = shareWithin(reference, actual, 48);
        if (share < 0.9)
            keepMismatch(file, actual);
        EXPECT_GE(share, 0.9) << name.toStdString();
    }
}

TEST(MetafileCorpus, WmfDrawingOutsideItsDeclaredRectangleIsCut)
{
    SKIP_WITHOUT_CORPUS();
    // This file declares a window of 0..1369 units but draws its circle over 263..1587: the
    // circle's centre (925) lies at two thirds of the picture and its lower right part is cut.
    const auto picture = loadPicture(corpusDir() + QStringLiteral("/wmf/pillow_drawing.wmf"));
    const QImage image = toBgr888(picture->toImage());
    const int centre = int(925.0 / 1369 * 110);
    EXPECT_EQ(rgbAt(image, centre, centre), 0xFF0000u);
    EXPECT_EQ(rgbAt(image, 109, 109), 0xFF0000u);
    EXPECT_EQ(rgbAt(image, 5, 5), kWhite);
    EXPECT_EQ(rgbAt(image, 25, 100), kWhite);
}

TEST(MetafileCorpus, EveryEmfDrawsWhereItsHeaderBoundsSay)
{
    SKIP_WITHOUT_CORPUS();
    // The header's bounds are what the writing system measured of the drawing, in device
    // pixels. Our drawing must cover the same area of the picture, give or take a few pixels.
    // The drawings are also kept under the build folder for inspection.
    QDir out(QString::fromUtf8(LUMATRIM_BINARY_DIR));
    out.mkpath(QStringLiteral("metafile-renders"));
    out.cd(QStringLiteral("metafile-renders"));
    int decoded = 0;
    for (const QString& file : corpusFiles(QStringLiteral("emf"))) {
        const QString name = QFileInfo(file).fileName();
        if (name.contains(QLatin1String("bad_corrupted_2014"))) {
            EXPECT_THROW(loadPicture(file), PictureError); // its header claims 59,296 bytes of 1,444
            continue;
        }
        std::unique_ptr<Picture> picture;
        ASSERT_NO_THROW(picture = loadPicture(file)) << name.toStdString();
        ++decoded;
        const QImage image = toBgr888(picture->toImage());
        image.save(out.filePath(name + QStringLiteral(".png")));

        const QByteArray bytes = readFileBytes(file);
        const metafile::EmfHeader header = metafile::readEmfHeader(
            spanOf(bytes));
        const QRect ink = inkBox(image);
        if (header.bounds.right() < header.bounds.left()) {
            EXPECT_TRUE(ink.isEmpty()) << name.toStdString() << " draws nothing";
            continue;
        }
        auto toPicture = [&](double device, double perMm, int frameStart) {
            return (device / perMm - frameStart / 100.0) * 96 / 25.4;
        };
        const double left = std::max(0.0, toPicture(header.bounds.left(), header.devicePixelsPerMmX, header.frame.left()));
        const double top = std::max(0.0, toPicture(header.bounds.top(), header.devicePixelsPerMmY, header.frame.top()));
        const double right = std::min(double(image.width()),
                                      toPicture(header.bounds.right() + 1, header.devicePixelsPerMmX, header.frame.left()));
        const double bottom = std::min(double(image.height()),
                                       toPicture(header.bounds.bottom() + 1, header.devicePixelsPerMmY, header.frame.top()));
        ASSERT_FALSE(ink.isEmpty()) << name.toStdString();
        EXPECT_NEAR(ink.left(), left, 6) << name.toStdString();
        EXPECT_NEAR(ink.top(), top, 6) << name.toStdString();
        EXPECT_NEAR(ink.right() + 1, right, 6) << name.toStdString();
        EXPECT_NEAR(ink.bottom() + 1, bottom, 6) << name.toStdString();
    }
    EXPECT_EQ(decoded, 17);
}

TEST(MetafileCorpus, EmfPictureSizeIsItsFrameAtNinetySixDpi)
{
    SKIP_WITHOUT_CORPUS();
    const struct {
        const char* name;
        QSize size;
    } cases[] = {
        {"libemf2svg_test-001.emf", {623, 467}}, // frame 164.94 x 123.63 mm
        {"libemf2svg_test-010.emf", {55, 54}},   // 14.46 x 14.29 mm
        {"libemf2svg_test-015.emf", {554, 663}}, // 146.49 x 175.50 mm
        {"libemf2svg_test-040.emf", {1122, 794}}, // 296.99 x 209.99 mm
        {"pillow_drawing.emf", {110, 110}},     // 28.99 mm square
    };
    for (const auto& c : cases) {
        const auto picture = loadPicture(corpusDir() + QStringLiteral("/emf/") + QLatin1String(c.name));
        EXPECT_EQ(QSize(picture->width(), picture->height()), c.size) << c.name;
    }
}

TEST(MetafileCorpus, DrawingIntoAnyRectangleScalesThePicture)
{
    SKIP_WITHOUT_CORPUS();
    // The same picture drawn at twice its size covers the same places.
    const auto picture = loadPicture(corpusDir() + QStringLiteral("/emf/libemf2svg_test-010.emf"));
    const QImage own = toBgr888(picture->toImage());
    const QImage twice = drawInto(*picture, own.size() * 2, QRect(QPoint(0, 0), own.size() * 2));
    int same = 0;
    for (int y = 0; y < own.height(); ++y)
        for (int x = 0; x < own.width(); ++x)
            same += (rgbAt(own, x, y) == kWhite) == (rgbAt(twice, 2 * x + 1, 2 * y + 1) == kWhite);
    EXPECT_GE(same, own.width() * own.height() * 9 / 10);
}

TEST(MetafileCorrupt, DamagedFilesFailWithAMessageOrDrawWhatTheyCan)
{
    // nullptr: the file loads and draws; otherwise a part of the error message.
    const std::map<QString, const char*> expected = {
        {"wmf/truncated-header.wmf", "ends before the picture data is complete"},
        {"wmf/not-a-metafile.wmf", "not a Windows metafile"},
        {"wmf/zero-units-per-inch.wmf", "no units per inch"},
        {"wmf/empty-bounds.wmf", "picture rectangle is empty"},
        {"wmf/huge-bounds.wmf", "too large"},
        {"wmf/unknown-version.wmf", "version 5.0 are not supported"},
        {"wmf/plain-draws-nothing.wmf", "draws nothing"},
        {"wmf/record-past-end.wmf", nullptr},
        {"wmf/zero-size-record.wmf", nullptr},
        {"wmf/lying-counts.wmf", nullptr},
        {"wmf/huge-bitmap.wmf", nullptr},
        {"wmf/save-without-restore.wmf", nullptr},
        {"emf/truncated-header.emf", "ends before the picture data is complete"},
        {"emf/bad-signature.emf", "not a Windows enhanced metafile"},
        {"emf/header-size-past-end.emf", "header claims"},
        {"emf/empty-frame.emf", "picture frame is empty"},
        {"emf/huge-frame.emf", "too large"},
        {"emf/record-past-end.emf", nullptr},
        {"emf/lying-counts.emf", nullptr},
        {"emf/extreme-transforms.emf", nullptr},
        {"emf/deep-nesting.emf", nullptr},
        {"emf/fuzz-wide-font.emf", nullptr},       // a font 1.8 billion units wide
        {"emf/fuzz-flattened-text.emf", nullptr}, // text squeezed to almost nothing by the device size
    };
    int seen = 0;
    for (const char* format : {"wmf", "emf"}) {
        const QDir dir(corruptDir(format));
        for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
            const QString key = QLatin1String(format) + QLatin1Char('/') + name;
            const auto it = expected.find(key);
            ASSERT_NE(it, expected.end()) << key.toStdString() << " has no expected outcome";
            ++seen;
            try {
                const auto picture = loadPicture(dir.filePath(name));
                EXPECT_EQ(it->second, nullptr) << key.toStdString() << " loaded";
                const QImage image = toBgr888(picture->toImage());
                EXPECT_EQ(image.size(), QSize(picture->width(), picture->height())) << key.toStdString();
                drawInto(*picture, QSize(64, 64), QRect(0, 0, 64, 64));
            } catch (const PictureError& e) {
                ASSERT_NE(it->second, nullptr) << key.toStdString() << ": " << e.what();
                EXPECT_NE(std::string(e.what()).find(it->second), std::string::npos) << key.toStdString() << ": " << e.what();
            }
        }
    }
    EXPECT_EQ(seen, int(expected.size()));
}

TEST(MetafileCorrupt, DamageAfterTheHeaderKeepsWhatWasDrawnBefore)
{
    // Both files draw a black ellipse over the whole picture before their damage.
    for (const char* name : {"wmf/record-past-end.wmf", "wmf/lying-counts.wmf", "emf/record-past-end.emf",
                             "emf/lying-counts.emf"}) {
        const auto picture = loadPicture(testDataDir() + QStringLiteral("/corrupt/") + QLatin1String(name));
        const QImage image = toBgr888(picture->toImage());
        EXPECT_EQ(rgbAt(image, image.width() / 2, image.height() / 2), 0u) << name;
        EXPECT_EQ(rgbAt(image, 0, 0), kWhite) << name;
    }
}

} // namespace
