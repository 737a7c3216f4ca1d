// lumatrim-render: renders one source file with one photo's settings through the same photo
// core as the program and writes the result. Needs no display.
#include "formats/FileReplacement.h"
#include "formats/FormatRegistry.h"
#include "formats/ImageConversion.h"
#include "formats/JpegWriter.h"
#include "formats/RegularFile.h"
#include "model/BitmapMemory.h"
#include "model/KeyValueFile.h"
#include "model/OrientationChoice.h"
#include "model/PhotoCore.h"
#include "model/ProgramFolder.h"

#include <QFileInfo>
#include <QGuiApplication>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>

namespace {

const char* const kUsage =
    "usage: lumatrim-render [OPTIONS] SOURCE OUTPUT\n"
    "  --settings FILE      key/value file to read the settings block from\n"
    "                       (default: the program folder's lumatrim.dat, as a newly opened photo)\n"
    "  --section NAME       section of that file (default PHOTO)\n"
    "  --crop L,T,R,B       crop rectangle in source pixels\n"
    "  --rotation DEG       0, 90, 180 or 270\n"
    "  --contrast N  --brightness N  --red N  --green N  --blue N  --grayscale  --negative\n"
    "  --decode-only        write the decoded source, converted to 24 bits, without the pipeline\n"
    "  --thumbnail          write the 32 x 32 thumbnail instead of the rendered photo\n"
    "  --stored-orientation the pixels as the file stores them, without the turn its camera\n"
    "                       recorded (default: as the program folder's lumatrim.dat chooses)\n"
    "  -h, --help           print this usage and exit\n"
    "OUTPUT by extension: .jpg or .jpeg (JPEG, at the settings' quality and size limit),\n"
    "  .ppm (binary P6) or .bmp (24-bit).\n";

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct Options {
    QString source;
    QString output;
    QString settingsFile;
    QString section = QStringLiteral("PHOTO");
    std::optional<TRect> crop;
    std::optional<int> rotation, contrast, brightness, red, green, blue;
    bool grayscale = false;
    bool negative = false;
    bool decodeOnly = false;
    bool thumbnail = false;
    bool storedOrientation = false;
    bool help = false;
};

int toInt(const char* option, const QString& text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok)
        throw UsageError(std::string(option) + " needs a whole number, not \"" + text.toStdString() + "\"");
    return value;
}

Options parse(const QStringList& args)
{
    Options o;
    QStringList positional;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == "--help" || a == "-h") {
            o.help = true;
            return o;
        }
        auto value = [&]() -> QString {
            if (i + 1 >= args.size())
                throw UsageError(a.toStdString() + " needs a value");
            return args[++i];
        };
        if (a == "--settings") o.settingsFile = value();
        else if (a == "--section") o.section = value();
        else if (a == "--crop") {
            const QStringList parts = value().split(',');
            if (parts.size() != 4)
                throw UsageError("--crop needs L,T,R,B");
            o.crop = TRect{toInt("--crop", parts[0]), toInt("--crop", parts[1]), toInt("--crop", parts[2]),
                           toInt("--crop", parts[3])};
        } else if (a == "--rotation") {
            o.rotation = toInt("--rotation", value());
            if (*o.rotation != 0 && *o.rotation != 90 && *o.rotation != 180 && *o.rotation != 270)
                throw UsageError("--rotation must be 0, 90, 180 or 270");
        } else if (a == "--contrast") o.contrast = toInt("--contrast", value());
        else if (a == "--brightness") o.brightness = toInt("--brightness", value());
        else if (a == "--red") o.red = toInt("--red", value());
        else if (a == "--green") o.green = toInt("--green", value());
        else if (a == "--blue") o.blue = toInt("--blue", value());
        else if (a == "--grayscale") o.grayscale = true;
        else if (a == "--negative") o.negative = true;
        else if (a == "--decode-only") o.decodeOnly = true;
        else if (a == "--thumbnail") o.thumbnail = true;
        else if (a == "--stored-orientation") o.storedOrientation = true;
        else if (a.startsWith("--")) throw UsageError("unknown option " + a.toStdString());
        else positional << a;
    }
    if (positional.size() != 2)
        throw UsageError("needs SOURCE and OUTPUT");
    o.source = positional[0];
    o.output = positional[1];
    const QString ext = o.output.section('.', -1).toLower();
    if (ext != "jpg" && ext != "jpeg" && ext != "ppm" && ext != "bmp")
        throw UsageError("OUTPUT must end in .jpg, .jpeg, .ppm or .bmp");
    return o;
}

[[noreturn]] void failWrite(const QString& path, const QString& reason)
{
    throw std::runtime_error(QStringLiteral("Unable to write to %1: %2").arg(path, reason).toStdString());
}

void writeWhole(const QString& path, const QByteArray& bytes)
{
    if (const std::optional<QString> failure = replaceFile(path, bytes))
        failWrite(path, *failure);
}

// The writers hold every size in 64 bits; a format's own fields are checked before anything
// is allocated.
void writePpm(const QImage& bitmap, const QString& path)
{
    QByteArray bytes = QStringLiteral("P6\n%1 %2\n255\n").arg(bitmap.width()).arg(bitmap.height()).toLatin1();
    const int64_t header = bytes.size();
    const int64_t rowSize = int64_t(bitmap.width()) * 3;
    bytes.resize(qsizetype(header + rowSize * bitmap.height()));
    const int width = bitmap.width();
    for (int y = 0; y < bitmap.height(); ++y) {
        const uint8_t* s = bitmap.constScanLine(y);
        char* row = bytes.data() + header + rowSize * y;
        for (int x = 0; x < width; ++x) {
            row[3 * x] = char(s[3 * x + 2]);
            row[3 * x + 1] = char(s[3 * x + 1]);
            row[3 * x + 2] = char(s[3 * x]);
        }
    }
    writeWhole(path, bytes);
}

void writeBmp(const QImage& bitmap, const QString& path)
{
    const uint64_t stride = (uint64_t(bitmap.width()) * 3 + 3) & ~uint64_t(3);
    const uint64_t imageSize = stride * uint64_t(bitmap.height());
    // The file header gives the whole file's size in 32 bits.
    if (54 + imageSize > UINT32_MAX)
        failWrite(path, QStringLiteral("a BMP file holds at most 4 GB, and %1 x %2 pixels need %3 bytes")
                            .arg(bitmap.width())
                            .arg(bitmap.height())
                            .arg(54 + imageSize));
    QByteArray header(54, '\0');
    auto put32 = [&](int at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            header[at + i] = char((v >> (8 * i)) & 0xFF);
    };
    header[0] = 'B';
    header[1] = 'M';
    put32(2, uint32_t(54 + imageSize));
    put32(10, 54);
    put32(14, 40);
    put32(18, uint32_t(bitmap.width()));
    put32(22, uint32_t(bitmap.height()));
    header[26] = 1;
    header[28] = 24;
    put32(34, uint32_t(imageSize));
    QByteArray bytes = header;
    bytes.resize(54 + qsizetype(imageSize), '\0');
    char* row = bytes.data() + 54;
    for (int y = bitmap.height() - 1; y >= 0; --y, row += qsizetype(stride))
        std::memcpy(row, bitmap.constScanLine(y), size_t(bitmap.width()) * 3);
    writeWhole(path, bytes);
}

// OUTPUT's extension was checked with the options: .jpg, .jpeg, .ppm or .bmp.
void writeOutput(const QImage& bitmap, const QString& path)
{
    const QString ext = path.section('.', -1).toLower();
    if (ext == "jpg" || ext == "jpeg") {
        writeJpeg(bitmap, path);
        return;
    }
    if (bitmap.isNull() || bitmap.width() <= 0 || bitmap.height() <= 0)
        failWrite(path, QStringLiteral("the picture is empty"));
    try {
        const QImage bgr = toBgr888(bitmap);
        if (bgr.isNull())
            throw std::bad_alloc();
        if (ext == "ppm")
            writePpm(bgr, path);
        else
            writeBmp(bgr, path);
    } catch (const std::bad_alloc&) {
        failWrite(path, QStringLiteral("not enough memory"));
    }
}

// The settings file named on the command line must be there: a missing file would
// otherwise pass unnoticed as the defaults, and anything but a regular file (a folder, a
// FIFO, a device) is never opened.
void requireSettingsFile(const QString& path)
{
    const QFileInfo file(path);
    if (!file.exists())
        throw std::runtime_error(QStringLiteral("Cannot open %1. The file does not exist.").arg(path).toStdString());
    if (!file.isFile())
        throw std::runtime_error(QStringLiteral("Cannot open %1. It is not a regular file.").arg(path).toStdString());
}

void run(const Options& o)
{
    TPhotoInfo info(o.source);
    // Decoded as a photo opened in the program now would be, unless told to keep it as stored.
    info.Decoding = o.storedOrientation ? DecodeOptions{.upright = false} : loadOrientationChoice(settingsFilePath());
    if (!o.settingsFile.isEmpty()) {
        requireSettingsFile(o.settingsFile);
        takeFileNotices(); // the program folder's settings give way to these
        info.LoadSettings(o.settingsFile, o.section);
    } else if (o.section != QStringLiteral("PHOTO"))
        info.LoadSettings(settingsFilePath(), o.section);
    // A settings file too large to read leaves a notice; for the tool it is the error.
    if (const QStringList notices = takeFileNotices(); !notices.isEmpty())
        throw std::runtime_error(notices.constFirst().toStdString());
    if (o.crop) info.CropRect = *o.crop;
    if (o.rotation) info.Rotation = *o.rotation;
    if (o.contrast) info.Contrast = *o.contrast;
    if (o.brightness) info.Brightness = *o.brightness;
    if (o.red) info.Red = *o.red;
    if (o.green) info.Green = *o.green;
    if (o.blue) info.Blue = *o.blue;
    info.Grayscale = info.Grayscale || o.grayscale;
    info.Negative = info.Negative || o.negative;

    if (o.thumbnail) {
        writeOutput(info.CreateThumbnail(*loadPicture(o.source, info.Decoding), 32, 32), o.output);
        return;
    }
    PhotoCore photo;
    // Only the rendered photo is written: a high-quality render may then decode the source
    // reduced and never in full.
    photo.SetRenderOnly(!o.decodeOnly);
    photo.SetPhotoInfo(&info);
    // A source that cannot be read fails with the decoder's message.
    if (const PictureError* error = photo.LoadError())
        throw *error;
    // A photo without a rendered bitmap (over the size limits, no pixels left, out of memory)
    // fails with the core's message, whatever the output format. Without a source bitmap
    // there is no rendered one either, so --decode-only fails the same way.
    const bool decoded = o.decodeOnly && !photo.SourceBitmap().isNull();
    const QImage& bitmap = decoded ? photo.SourceBitmap() : photo.RenderedBitmap();
    // A rendered photo written as JPEG is the program's Save As: its quality and size limit.
    const QString ext = o.output.section('.', -1).toLower();
    if (!decoded && (ext == "jpg" || ext == "jpeg"))
        photo.SaveToFile(o.output);
    else
        writeOutput(bitmap, o.output);
}

} // namespace

// Qt's own diagnostics (missing runtime folder, font fallbacks) are not ours to print: the
// tool writes nothing on success and one line on failure.
void dropQtMessages(QtMsgType, const QMessageLogContext&, const QString&) {}

int main(int argc, char** argv)
{
    qInstallMessageHandler(dropQtMessages);
    keepLargeBitmapsInHeap();
    // No display needed, and none of the platform's plugins beyond the offscreen one.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    // Arguments reach the toolkit as text: a name that is not valid UTF-8 would come back as
    // another name, and the tool would read or write a file no one named.
    for (int i = 1; i < argc; ++i) {
        if (!isValidUtf8Name(argv[i])) {
            std::fprintf(stderr, "%s: The file name is not valid UTF-8.\n", argv[i]);
            return 1;
        }
    }
    try {
        const Options options = parse(QCoreApplication::arguments());
        if (options.help) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        run(options);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "lumatrim-render: %s\n%s", e.what(), kUsage);
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
