#include "FormatRegistry.h"

#include "Orientation.h"
#include "PictureError.h"
#include "RegularFile.h"
#include "StoredOrientation.h"

#include <QFileInfo>

#include <limits>
#include <new>

#include <sys/mman.h>

const char* const kOpenPicturesFilter =
    "All Photos|*.gif;*.png;*.psp;*.cut;*.pcd;*.pic;*.cel;*.pbm;*.pgm;*.ppm;*.pdd;*.psd;*.bw;*.rgb;*.rgba;*.sgi;"
    "*.rla;*.rpf;*.scr;*.pcc;*.pcx;*.eps;*.fax;*.tif;*.tiff;*.icb;*.tga;*.vda;*.vst;*.win;*.dib;*.rle;*.jpeg;*.jpe;"
    "*.jpg;*.jfif;*.emf;*.wmf;*.bmp;*.heic;*.heif;*.hif;*.avif;*.webp;*.jxl";

QString toQtFileFilter(const QString& filter)
{
    // "Name|*.a;*.b|Other|*.c" becomes "Name (*.a *.b);;Other (*.c)".
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (int i = 0; i + 1 < parts.size(); i += 2)
        entries << QStringLiteral("%1 (%2)").arg(parts[i], QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' ')));
    return entries.join(QStringLiteral(";;"));
}

namespace {

template <QImage (*decodeRaster)(const PictureFile&)>
std::unique_ptr<Picture> rasterPicture(const PictureFile& file)
{
    return std::make_unique<RasterPicture>(decodeRaster(file));
}

void registerStandardFormats(FormatRegistry& registry)
{
    struct Row {
        const char* extension;
        const char* description;
        FormatRegistry::Decoder decode;
        FormatRegistry::ScaledDecoder decodeScaled = {};
    };
    const Row rows[] = {
        {"bmp", "Windows bitmaps", rasterPicture<decodeBmp>},
        {"ico", "Windows icons", rasterPicture<decodeIco>},
        {"wmf", "Windows metafiles", decodeWmf},
        {"emf", "Windows enhanced meta files", decodeEmf},
        {"jfif", "JFIF images", rasterPicture<decodeJpeg>, decodeJpegScaled},
        {"jpg", "JPG images", rasterPicture<decodeJpeg>, decodeJpegScaled},
        {"jpe", "JPE images", rasterPicture<decodeJpeg>, decodeJpegScaled},
        {"jpeg", "JPEG images", rasterPicture<decodeJpeg>, decodeJpegScaled},
        {"rle", "Run length encoded Windows bitmaps", rasterPicture<decodeBmp>},
        {"dib", "Device independant Windows bitmaps", rasterPicture<decodeBmp>},
        {"win", "Truevision images", rasterPicture<decodeTga>},
        {"vst", "Truevision images", rasterPicture<decodeTga>},
        {"vda", "Truevision images", rasterPicture<decodeTga>},
        {"tga", "Truevision images", rasterPicture<decodeTga>},
        {"icb", "Truevision images", rasterPicture<decodeTga>},
        {"tiff", "Macintosh TIFF images", rasterPicture<decodeTiff>},
        {"tif", "PC TIF images", rasterPicture<decodeTiff>},
        {"fax", "GFI fax images", rasterPicture<decodeTiff>},
        {"eps", "Encapsulated Postscript images", rasterPicture<decodeEps>},
        {"pcx", "ZSoft Paintbrush images", rasterPicture<decodePcx>},
        {"pcc", "ZSoft Paintbrush images", rasterPicture<decodePcx>},
        {"scr", "Word 5.x screen capture images", rasterPicture<decodePcx>},
        {"rpf", "Alias/Wavefront images", rasterPicture<decodeRla>},
        {"rla", "Alias/Wavefront images", rasterPicture<decodeRla>},
        {"sgi", "SGI true color images", rasterPicture<decodeSgi>},
        {"rgba", "SGI true color images with alpha", rasterPicture<decodeSgi>},
        {"rgb", "SGI true color images", rasterPicture<decodeSgi>},
        {"bw", "SGI black/white images", rasterPicture<decodeSgi>},
        {"psd", "Photoshop images", rasterPicture<decodePsd>},
        {"pdd", "Photoshop images", rasterPicture<decodePsd>},
        {"ppm", "Portable pixel map images", rasterPicture<decodePnm>},
        {"pgm", "Portable gray map images", rasterPicture<decodePnm>},
        {"pbm", "Portable bitmap images", rasterPicture<decodePnm>},
        {"cel", "Autodesk images", rasterPicture<decodeCel>},
        {"pic", "Autodesk images", rasterPicture<decodeCel>},
        {"pcd", "Kodak Photo-CD images", rasterPicture<decodePcd>},
        {"cut", "Dr. Halo images", rasterPicture<decodeCut>},
        {"psp", "Paintshop Pro images", rasterPicture<decodePsp>},
        {"png", "Portable network graphic images", rasterPicture<decodePng>},
        {"gif", "GIF Image", rasterPicture<decodeGif>},
        {"heic", "HEIC images", rasterPicture<decodeHeif>},
        {"heif", "HEIF images", rasterPicture<decodeHeif>},
        {"hif", "HEIF images", rasterPicture<decodeHeif>},
        {"avif", "AVIF images", rasterPicture<decodeHeif>},
        {"webp", "WebP images", rasterPicture<decodeWebp>},
        {"jxl", "JPEG XL images", rasterPicture<decodeJxl>},
    };
    for (const Row& row : rows)
        registry.add(QString::fromLatin1(row.extension), QString::fromLatin1(row.description), row.decode,
                     row.decodeScaled);
    for (const char* jpeg : {"jfif", "jpg", "jpe", "jpeg"}) {
        registry.setReducedDecoder(QString::fromLatin1(jpeg), decodeJpegReduced);
        // JPEG rows are turned as they are decoded, while they are still in the cache.
        registry.readOrientationWith(QString::fromLatin1(jpeg), jpegOrientation, decodeJpegUpright);
    }
    // The other formats that record the camera's orientation beside their pixels.
    const std::pair<const char*, int (*)(const PictureFile&)> orientations[] = {
        {"tiff", tiffOrientation}, {"tif", tiffOrientation}, {"png", pngOrientation},
        {"webp", webpOrientation}, {"psd", psdOrientation},  {"pdd", psdOrientation},
    };
    for (const auto& [extension, reader] : orientations)
        registry.readOrientationWith(QString::fromLatin1(extension), reader);
}

} // namespace

const FormatRegistry& FormatRegistry::standard()
{
    static const FormatRegistry registry = [] {
        FormatRegistry r;
        registerStandardFormats(r);
        return r;
    }();
    return registry;
}

void FormatRegistry::add(const QString& extension, const QString& description, Decoder decode,
                         ScaledDecoder decodeScaled)
{
    entries_.push_back(Entry{extension.toLower(), description, std::move(decode), std::move(decodeScaled), {}});
}

void FormatRegistry::readOrientationWith(const QString& extension, OrientationReader reader,
                                         UprightDecoder decodeUpright)
{
    if (Entry* entry = latestEntry(extension)) {
        entry->orientation = std::move(reader);
        entry->decodeUpright = std::move(decodeUpright);
    }
}

void FormatRegistry::setReducedDecoder(const QString& extension, ReducedDecoder decodeReduced)
{
    if (Entry* entry = latestEntry(extension))
        entry->decodeReduced = std::move(decodeReduced);
}

FormatRegistry::Entry* FormatRegistry::latestEntry(const QString& extension)
{
    return const_cast<Entry*>(find(extension));
}

const FormatRegistry::Entry* FormatRegistry::find(const QString& extension) const
{
    const QString key = extension.toLower();
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
        if (it->extension == key)
            return &*it;
    }
    return nullptr;
}

namespace {

QString unknownExtension(const QString& extension)
{
    return QStringLiteral("Unknown picture file extension (.%1)").arg(extension);
}

constexpr const char* kFolderReason = "It is a folder, not a picture file.";

// Why the file cannot be opened for reading, in plain words.
QString openFailureReason(const RegularFile& file)
{
    switch (file.problem()) {
    case FileProblem::Missing:
        return QStringLiteral("The file does not exist.");
    case FileProblem::Folder:
        return QString::fromLatin1(kFolderReason);
    case FileProblem::NotRegular:
        return QStringLiteral("It is not a regular file.");
    case FileProblem::NoPermission:
        return QStringLiteral("You do not have permission to read the file.");
    case FileProblem::NameNotUtf8:
        return QStringLiteral("The file name is not valid UTF-8.");
    case FileProblem::None:
    case FileProblem::TooLarge:
    case FileProblem::ReadFailed:
        break;
    }
    return QStringLiteral("The file cannot be read (%1).").arg(file.systemReason());
}

// Runs a decoder on the file's bytes. Its reason, or a failed allocation, becomes the one
// line that names the file.
template <typename Decode>
auto decodeGuarded(const QString& fileName, std::span<const uint8_t> bytes, Decode&& decode)
{
    // No format has a picture in zero bytes; saying so beats each decoder's own guess.
    if (bytes.empty())
        throw PictureError::cannotOpen(fileName, QStringLiteral("The file is empty."));
    try {
        return decode();
    } catch (const PictureError& e) {
        throw PictureError::cannotOpen(fileName, e.message());
    } catch (const std::bad_alloc&) {
        throw PictureError::cannotOpen(fileName, QString::fromLatin1(PictureReason::kOutOfMemory));
    }
}

// The bytes of a file mapped into memory while it lives.
class MappedBytes {
public:
    explicit MappedBytes(const RegularFile& file)
    {
        if (file.size() <= 0 || quint64(file.size()) > std::numeric_limits<size_t>::max())
            return;
        void* mapped = ::mmap(nullptr, size_t(file.size()), PROT_READ, MAP_PRIVATE, file.descriptor(), 0);
        if (mapped != MAP_FAILED)
            bytes_ = std::span<const uint8_t>(static_cast<const uint8_t*>(mapped), size_t(file.size()));
    }
    ~MappedBytes()
    {
        if (!bytes_.empty())
            ::munmap(const_cast<uint8_t*>(bytes_.data()), bytes_.size());
    }
    MappedBytes(const MappedBytes&) = delete;
    MappedBytes& operator=(const MappedBytes&) = delete;

    bool isMapped() const { return !bytes_.empty(); }
    std::span<const uint8_t> bytes() const { return bytes_; }

private:
    std::span<const uint8_t> bytes_;
};

// Hands the file's bytes to use: mapped where possible, else read. Only a regular file is
// read: a FIFO or a device (a link to /dev/zero, say) is refused before it is read.
// Throws PictureError.
template <typename Use>
auto withFileBytes(const QString& fileName, Use&& use)
{
    RegularFile file(fileName);
    if (!file.isOpen())
        throw PictureError::cannotOpen(fileName, openFailureReason(file));
    if (const MappedBytes mapped(file); mapped.isMapped())
        return use(mapped.bytes());
    std::optional<QByteArray> bytes;
    try {
        bytes = file.readAll(std::numeric_limits<qsizetype>::max() - 1);
    } catch (const std::bad_alloc&) {
        throw PictureError::cannotOpen(fileName, QString::fromLatin1(PictureReason::kOutOfMemory));
    }
    if (!bytes)
        throw PictureError::cannotOpen(fileName, openFailureReason(file));
    return use(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes->constData()), size_t(bytes->size())));
}

} // namespace

const FormatRegistry::Entry& FormatRegistry::entryFor(const QString& fileName) const
{
    const QString extension = pictureExtension(fileName);
    const Entry* entry = find(extension);
    if (!entry)
        throw PictureError::cannotOpen(fileName, unknownExtension(extension));
    return *entry;
}

namespace {

// The orientation to apply to a decode of the file: 1 when the pixels are wanted as stored
// or the format records none.
int orientationToApply(const FormatRegistry::Entry& entry, const PictureFile& file)
{
    if (!file.options.upright || !entry.orientation)
        return 1;
    return validOrientation(entry.orientation(file));
}

} // namespace

std::unique_ptr<Picture> FormatRegistry::decode(const QString& fileName, std::span<const uint8_t> bytes,
                                                DecodeOptions options) const
{
    const Entry& entry = entryFor(fileName);
    const PictureFile file{fileName, bytes, options};
    return decodeGuarded(fileName, bytes, [&] {
        const int orientation = orientationToApply(entry, file);
        if (orientation != 1 && entry.decodeUpright)
            return std::unique_ptr<Picture>(std::make_unique<RasterPicture>(entry.decodeUpright(file, orientation)));
        std::unique_ptr<Picture> picture = entry.decode(file);
        const auto* raster = dynamic_cast<const RasterPicture*>(picture.get());
        if (orientation == 1 || !raster)
            return picture;
        // The decode's own pixels are turned: the picture lets go of them first.
        QImage stored = raster->image();
        picture.reset();
        return std::unique_ptr<Picture>(std::make_unique<RasterPicture>(orientImage(std::move(stored), orientation)));
    });
}

std::unique_ptr<Picture> FormatRegistry::load(const QString& fileName, DecodeOptions options) const
{
    // The extension decides before the file is touched. Only a name of no known extension is
    // looked at first, so that a folder (one dropped on the window, say) is named as such; a
    // folder with a known extension is refused when it is opened.
    if (!find(pictureExtension(fileName))) {
        if (QFileInfo(fileName).isDir())
            throw PictureError::cannotOpen(fileName, QString::fromLatin1(kFolderReason));
    }
    entryFor(fileName);
    return withFileBytes(fileName, [&](std::span<const uint8_t> bytes) { return decode(fileName, bytes, options); });
}

std::optional<ScaledImage> FormatRegistry::decodeScaled(const QString& fileName, std::span<const uint8_t> bytes,
                                                        QSize box, DecodeOptions options) const
{
    const Entry& entry = entryFor(fileName);
    if (!entry.decodeScaled)
        return std::nullopt;
    const PictureFile file{fileName, bytes, options};
    return decodeGuarded(fileName, bytes, [&] {
        const int orientation = orientationToApply(entry, file);
        // The box holds the turned picture: the stored one is reduced for the box turned alike.
        ScaledImage scaled = entry.decodeScaled(file, orientedSize(box, orientation));
        scaled.image = orientImage(std::move(scaled.image), orientation);
        scaled.pictureSize = orientedSize(scaled.pictureSize, orientation);
        return std::optional(std::move(scaled));
    });
}

std::optional<ScaledImage> FormatRegistry::loadScaled(const QString& fileName, QSize box, DecodeOptions options) const
{
    if (!entryFor(fileName).decodeScaled)
        return std::nullopt;
    return withFileBytes(fileName,
                         [&](std::span<const uint8_t> bytes) { return decodeScaled(fileName, bytes, box, options); });
}

std::optional<ReducedImage> FormatRegistry::decodeReduced(const QString& fileName, std::span<const uint8_t> bytes,
                                                          const ReductionChoice& choose, DecodeOptions options) const
{
    const Entry& entry = entryFor(fileName);
    if (!entry.decodeReduced)
        return std::nullopt;
    const PictureFile file{fileName, bytes, options};
    return decodeGuarded(fileName, bytes, [&] {
        const int orientation = orientationToApply(entry, file);
        // The reduction is chosen for the picture as it is shown, and the reduced decode is
        // turned as the full one is.
        ReductionChoice chooseUpright;
        if (choose)
            chooseUpright = [&](QSize stored) { return choose(orientedSize(stored, orientation)); };
        ReducedImage reduced = entry.decodeReduced(file, chooseUpright);
        return std::optional(orientReducedImage(std::move(reduced), orientation));
    });
}

std::optional<ReducedImage> FormatRegistry::loadReduced(const QString& fileName, const ReductionChoice& choose,
                                                        DecodeOptions options) const
{
    if (!entryFor(fileName).decodeReduced)
        return std::nullopt;
    return withFileBytes(fileName,
                         [&](std::span<const uint8_t> bytes) { return decodeReduced(fileName, bytes, choose, options); });
}

QString pictureExtension(const QString& fileName)
{
    const int slash = std::max(fileName.lastIndexOf(QLatin1Char('/')), fileName.lastIndexOf(QLatin1Char('\\')));
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot <= slash)
        return {};
    return fileName.mid(dot + 1);
}

std::unique_ptr<Picture> loadPicture(const QString& fileName, DecodeOptions options)
{
    return FormatRegistry::standard().load(fileName, options);
}
