// The line a user reads when a picture cannot be opened, "Cannot open <path>. <reason>",
// for damaged files of every decoder family and for files that cannot be read at all.
#include "DecoderChecks.h"
#include "TestSupport.h"

#include "formats/FormatRegistry.h"
#include "formats/PictureError.h"

#include <gtest/gtest.h>

#include <QDir>

#include <functional>

namespace {

// Words of the libraries and of the decoders' insides that must never reach the user.
const char* const kJargon[] = {
    "JPEG data:", "libjpeg", "libpng", "libtiff", "giflib", "zlib", "TIFFRead", "TIFFClientOpen", "DGif", "png_",
    "jpeg_", "IHDR", "IDAT", "CRC", "Huffman", "Bogus", "Sorry", "Premature", "Corrupt", "PhotometricInterpretation",
    "decodeJpeg", "decodePng", "decodeTiff", "decodeGif", "ByteReader", "Cannot read the",
};

QString keptSample(const char* relative)
{
    return testDataDir() + QStringLiteral("/corrupt/") + QString::fromUtf8(relative);
}

// A corpus file, or an empty path without the corpus.
QString corpusSample(const char* relative)
{
    return corpusPresent() ? corpusFile(relative) : QString();
}

// The first part of a corpus file, written as name; an empty path without the corpus, and
// also (with a failure naming the corpus file) when the corpus file cannot be read.
QString cutCorpusFile(const QString& folder, const char* relative, double fraction, const char* name)
{
    if (!corpusPresent())
        return {};
    const QByteArray bytes = readFileBytes(corpusFile(relative));
    if (bytes.isEmpty()) {
        ADD_FAILURE() << "corpus file missing: " << corpusFile(relative).toStdString();
        return {};
    }
    const QString path = folder + QLatin1Char('/') + QString::fromUtf8(name);
    writeFileBytes(path, bytes.left(qsizetype(double(bytes.size()) * fraction)));
    return path;
}

QString writtenFile(const QString& folder, const char* name, const QByteArray& bytes)
{
    const QString path = folder + QLatin1Char('/') + QString::fromUtf8(name);
    writeFileBytes(path, bytes);
    return path;
}

TEST(OpenErrorMessage, NamesTheFileOnceThenThePlainReasonOnOneLine)
{
    const QString folder = freshFolder(QStringLiteral("open-errors"));
    const QByteArray garbage("This is a note, not a picture. It is long enough for every header check.");
    QDir(folder).mkpath(QStringLiteral("album.png"));
    QDir(folder).mkpath(QStringLiteral("Holiday"));

    const struct {
        const char* name;
        std::function<QString()> file;
        const char* reason;
    } cases[] = {
        // JPEG through libjpeg
        {"JPEG cut in its scan", [] { return keptSample("jpg/truncated-scan.jpg"); }, PictureReason::kTruncated},
        {"JPEG cut in half", [&] { return cutCorpusFile(folder, "jpg/gen_im_baseline_420_q90.jpg", 0.5, "half.jpg"); },
         PictureReason::kTruncated},
        {"JPEG garbage", [&] { return writtenFile(folder, "note.jpg", garbage); }, "The file is not a JPEG picture."},
        {"JPEG of 12 bits", [] { return corpusSample("jpg/libjpegturbo_monkey12.jpg"); },
         "12-bit JPEG pictures are not supported."},
        // PNG through libpng
        {"PNG with a bad checksum", [] { return keptSample("png/bad-ihdr-crc.png"); },
         "The picture data is damaged: a checksum does not match."},
        {"PNG cut", [&] { return cutCorpusFile(folder, "png/pngsuite_basn2c08.png", 0.6, "cut.png"); },
         PictureReason::kTruncated},
        {"PNG garbage", [&] { return writtenFile(folder, "note.png", garbage); }, "The file is not a PNG picture."},
        {"PNG too large", [] { return keptSample("png/claims-60000x60000.png"); },
         "The picture is too large: 60000 x 60000 pixels (at most 65535 pixels a side and 400 megapixels)."},
        // TIFF through libtiff
        {"TIFF cut in a strip", [] { return keptSample("tif/truncated-strip.tif"); }, PictureReason::kTruncated},
        {"TIFF directory past the end", [] { return keptSample("tif/ifd-past-end.tif"); }, PictureReason::kTruncated},
        {"TIFF garbage", [&] { return writtenFile(folder, "note.tif", garbage); }, "The file is not a TIFF picture."},
        {"EPS with a damaged TIFF preview", [] { return keptSample("eps/tiff_preview_damaged.eps"); },
         "The TIFF preview inside it cannot be read. The picture data is damaged."},
        // GIF through giflib
        {"GIF cut in its image", [] { return keptSample("gif/truncated-image.gif"); }, PictureReason::kTruncated},
        {"GIF header alone", [] { return keptSample("gif/header-only.gif"); }, PictureReason::kTruncated},
        {"GIF garbage", [&] { return writtenFile(folder, "note.gif", garbage); }, "The file is not a GIF picture."},
        // our own decoders
        {"BMP cut", [] { return keptSample("bmp/shortfile.bmp"); }, PictureReason::kTruncated},
        {"BMP garbage", [&] { return writtenFile(folder, "note.bmp", garbage); }, "The file is not a Windows bitmap."},
        {"Truevision cut", [&] { return cutCorpusFile(folder, "tga/gen_im_cmap8_raw.tga", 0.5, "cut.tga"); },
         PictureReason::kTruncated},
        {"Photoshop row past the width", [] { return keptSample("psd/rle_run_past_row.psd"); },
         "The picture data is damaged: compressed row 0 of channel 1 does not fill the picture's width."},
        {"SGI without its magic number", [] { return keptSample("sgi/bad_magic.sgi"); },
         "The file is not an SGI picture (it does not start with the magic number 474)."},
        {"PCX of an unsupported layout", [] { return keptSample("pcx/eight_bits_two_planes.pcx"); },
         "PCX pictures of 8 bits x 2 planes are not supported."},
        {"Paint Shop Pro with damaged deflate data", [] { return keptSample("psp/damaged_deflate.psp"); },
         "The compressed picture data is damaged."},
        {"Windows metafile of version 5", [] { return keptSample("wmf/unknown-version.wmf"); },
         "Windows metafiles of version 5.0 are not supported."},
        // files that cannot be read at all
        {"missing file", [&] { return folder + QStringLiteral("/gone.jpg"); }, "The file does not exist."},
        {"folder", [&] { return folder + QStringLiteral("/album.png"); }, "It is a folder, not a picture file."},
        {"folder without an extension", [&] { return folder + QStringLiteral("/Holiday"); },
         "It is a folder, not a picture file."},
        {"empty file", [&] { return writtenFile(folder, "empty.tif", {}); }, "The file is empty."},
        {"unknown extension", [&] { return writtenFile(folder, "photo.txt", garbage); },
         "Unknown picture file extension (.txt)."},
    };
    for (const auto& c : cases) {
        const QString path = c.file();
        if (path.isEmpty())
            continue; // no corpus, or the missing corpus file is already reported
        SCOPED_TRACE(c.name);
        const QString message = QString::fromStdString(decodeFailure([&] { loadPicture(path); }));
        EXPECT_EQ(message, "Cannot open " + path + ". " + QString::fromUtf8(c.reason));
        EXPECT_EQ(message.count(path), 1) << message.toStdString();
        EXPECT_FALSE(message.contains(QLatin1Char('\n')) || message.contains(QLatin1Char('\r'))) << message.toStdString();
        EXPECT_TRUE(message.endsWith(QLatin1Char('.'))) << message.toStdString();
        const QString withoutPath = QString(message).remove(path);
        for (const char* word : kJargon)
            EXPECT_FALSE(withoutPath.contains(QLatin1String(word))) << word << " in " << message.toStdString();
    }
    // The cases above made from corpus files were left out.
    SKIP_WITHOUT_CORPUS();
}

} // namespace
