#include "DecoderChecks.h"

#include "formats/FormatRegistry.h"
#include "formats/ImageConversion.h"
#include "formats/PictureError.h"
#include "TestSupport.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

QImage decodeWith(RasterDecoder decoder, std::span<const uint8_t> bytes, const QString& name)
{
    return toBgr888(decoder(PictureFile{name, bytes}));
}

QImage decodeWith(RasterDecoder decoder, const QByteArray& bytes, const QString& name)
{
    return decodeWith(decoder,
                      spanOf(bytes),
                      name);
}

QImage loadBitmap(const QString& path)
{
    return toBgr888(loadPicture(path)->toImage());
}

int expectCorpusMatchesReferences(const QStringList& extensions, const PathDecode& decode,
                                  const std::set<QString>& exceptNames, int tolerance)
{
    int compared = 0;
    for (const QString& extension : extensions) {
        for (const QString& file : corpusFiles(extension)) {
            const QString reference = referenceFor(file);
            if (reference.isEmpty() || exceptNames.count(QFileInfo(file).fileName()))
                continue;
            SCOPED_TRACE(file.toStdString());
            QImage actual;
            try {
                actual = decode(file);
            } catch (const PictureError& e) {
                ADD_FAILURE() << "failed: " << e.what();
                continue;
            }
            const std::string difference = bitmapDifference(loadReference(reference), actual, tolerance);
            if (!difference.empty())
                ADD_FAILURE() << difference << "; decode kept as " << keepMismatch(file, actual).toStdString();
            ++compared;
        }
    }
    if (compared == 0)
        ADD_FAILURE() << "no reference decodes found under " << corpusDir().toStdString();
    return compared;
}

QStringList corpusFilesWithoutReference(const QStringList& extensions)
{
    QStringList files;
    for (const QString& extension : extensions) {
        for (const QString& file : corpusFiles(extension)) {
            if (referenceFor(file).isEmpty())
                files << file;
        }
    }
    return files;
}

QStringList keptCorruptSamples(const QString& folder)
{
    const QDir dir(testDataDir() + QStringLiteral("/corrupt/") + folder);
    QStringList files;
    for (const QString& name : dir.entryList(QDir::Files, QDir::Name))
        files << dir.filePath(name);
    return files;
}

void expectEachFailsCleanly(const QStringList& files, const PathDecode& decode)
{
    for (const QString& file : files) {
        SCOPED_TRACE(file.toStdString());
        try {
            decode(file);
            ADD_FAILURE() << "decoded";
        } catch (const PictureError& e) {
            if (QFileInfo(file).fileName().contains(QLatin1String("trunc")))
                EXPECT_NE(std::string(e.what()).find("ends before the picture data is complete"), std::string::npos) << e.what();
        }
    }
}

std::string decodeFailure(const std::function<void()>& decode)
{
    try {
        decode();
    } catch (const PictureError& e) {
        return e.what();
    }
    return "(decoded)";
}

void expectEveryTruncationFails(const QByteArray& file, const std::function<QImage(const QByteArray&)>& decode)
{
    for (int n = 0; n < file.size(); ++n)
        EXPECT_THROW(decode(file.left(n)), PictureError) << n << " of " << file.size() << " bytes";
}
