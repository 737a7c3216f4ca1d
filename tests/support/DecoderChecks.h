#pragma once

#include "formats/Decoders.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <set>
#include <span>
#include <string>

// Checks every decoder test shares: the corpus against its reference decodes, and damaged
// files that must fail with a PictureError rather than crash or decode.

using RasterDecoder = QImage (*)(const PictureFile&);
using PathDecode = std::function<QImage(const QString& path)>;

// Runs one decoder on bytes as if they were a file of that name, giving a 24-bit bitmap.
QImage decodeWith(RasterDecoder decoder, std::span<const uint8_t> bytes, const QString& name);
QImage decodeWith(RasterDecoder decoder, const QByteArray& bytes, const QString& name);
// Loads a file the way the program does (the registry chooses by extension), as a 24-bit bitmap.
QImage loadBitmap(const QString& path);

// Decodes every corpus file of these folders that has a reference decode, except the named
// files, and expects each to equal its reference (exactly, or each sample within tolerance);
// a mismatch is kept beside the build. Returns how many files were compared.
int expectCorpusMatchesReferences(const QStringList& extensions, const PathDecode& decode = loadBitmap,
                                  const std::set<QString>& exceptNames = {}, int tolerance = 0);
// The corpus files of these folders that have no reference decode.
QStringList corpusFilesWithoutReference(const QStringList& extensions);
// Our own damaged samples (past fuzzer findings among them) in tests/data/corrupt/<folder>.
QStringList keptCorruptSamples(const QString& folder);
// Expects each file to fail with a PictureError; a file named "...trunc..." must say that the
// file ends before the picture data is complete.
void expectEachFailsCleanly(const QStringList& files, const PathDecode& decode = loadBitmap);
// What a decode says: the message of its PictureError, or "(decoded)" when it succeeds.
std::string decodeFailure(const std::function<void()>& decode);
// Expects every proper prefix of a valid file to fail with a PictureError.
void expectEveryTruncationFails(const QByteArray& file, const std::function<QImage(const QByteArray&)>& decode);
