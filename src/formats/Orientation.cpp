#include "Orientation.h"

#include "ImageConversion.h"
#include "ImageLimits.h"
#include "PictureError.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

int validOrientation(long value)
{
    return value >= 1 && value <= 8 ? int(value) : 1;
}

namespace {

// Runs work(first, end) over [0, count) in up to four bands, one thread a band (as many as
// there are cores, and only for enough rows to pay for a thread).
template <typename Work>
void inBands(int count, const Work& work)
{
    const int bands = std::clamp(int(std::thread::hardware_concurrency()), 1, std::min(4, count / 64 + 1));
    const int perBand = (count + bands - 1) / bands;
    std::vector<std::thread> helpers;
    try {
        for (int band = 1; band < bands; ++band)
            helpers.emplace_back([&work, band, perBand, count] {
                work(band * perBand, std::min(count, (band + 1) * perBand));
            });
    } catch (const std::system_error&) {
        // No thread to be had: the bands not started are done on this one.
    }
    const int started = int(helpers.size()) + 1;
    work(0, std::min(count, perBand));
    if (started < bands)
        work(std::min(count, started * perBand), count);
    for (std::thread& helper : helpers)
        helper.join();
}

// Writes the width pixels of from into to in reverse order. from holds a spare word after
// its pixels, so three-byte pixels move as words; the last one written stays narrow.
template <int N>
void reverseInto(uint8_t* to, const uint8_t* from, int width)
{
    int x = 0;
    if constexpr (N == 3) {
        for (; x + 1 < width; ++x) {
            uint32_t word;
            std::memcpy(&word, from + size_t(width - 1 - x) * 3, 4);
            std::memcpy(to + size_t(x) * 3, &word, 4);
        }
    }
    for (; x < width; ++x)
        std::memcpy(to + size_t(x) * N, from + size_t(width - 1 - x) * N, N);
}

// Orientations 2, 3 and 4: rows mirrored, exchanged, or both, in the image's own memory.
template <int N>
void turnInPlace(QImage& image, int orientation)
{
    const int width = image.width();
    const int height = image.height();
    const size_t rowBytes = size_t(width) * N;
    uint8_t* const first = image.bits();
    const qsizetype stride = image.bytesPerLine();
    auto row = [first, stride](int y) { return first + stride * y; };
    if (orientation == 2) {
        inBands(height, [&](int from, int to) {
            std::vector<uint8_t> kept(rowBytes + 4);
            for (int y = from; y < to; ++y) {
                std::memcpy(kept.data(), row(y), rowBytes);
                reverseInto<N>(row(y), kept.data(), width);
            }
        });
        return;
    }
    // Row top and row height - 1 - top change places, mirrored for a half turn.
    inBands(height / 2, [&](int from, int to) {
        std::vector<uint8_t> upper(rowBytes + 4);
        std::vector<uint8_t> lower(rowBytes + 4);
        for (int top = from; top < to; ++top) {
            uint8_t* const bottom = row(height - 1 - top);
            if (orientation == 4) {
                std::swap_ranges(row(top), row(top) + rowBytes, bottom);
                continue;
            }
            std::memcpy(upper.data(), row(top), rowBytes);
            std::memcpy(lower.data(), bottom, rowBytes);
            reverseInto<N>(row(top), lower.data(), width);
            reverseInto<N>(bottom, upper.data(), width);
        }
    });
    if (orientation == 3 && height % 2 == 1) {
        std::vector<uint8_t> kept(rowBytes + 4);
        std::memcpy(kept.data(), row(height / 2), rowBytes);
        reverseInto<N>(row(height / 2), kept.data(), width);
    }
}

// Copies one pixel. Three-byte pixels move as one four-byte word where the byte after
// either end belongs to the same row (it is overwritten by the next pixel, or is padding).
template <int N>
inline void movePixel(uint8_t* d, const uint8_t* s, bool wide)
{
    if constexpr (N == 3) {
        if (wide) {
            uint32_t word;
            std::memcpy(&word, s, 4);
            std::memcpy(d, &word, 4);
            return;
        }
    }
    (void)wide;
    std::memcpy(d, s, N);
}

// A quarter turn (orientations 5 to 8) of a stored picture of storedWidth columns into a
// picture of outWidth columns (the stored height). Output pixel (x, y) comes from stored
// column y (or storedWidth - 1 - y when columns are reversed) of the stored row that output
// column x reads.
struct QuarterTurn {
    int storedWidth;
    int outWidth;
    bool columnsReversed;
    // The stored rows have a byte of padding after their last pixel.
    bool storedPadded;

    QuarterTurn(int storedWidth, int storedHeight, int orientation, bool storedPadded)
        : storedWidth(storedWidth), outWidth(storedHeight), columnsReversed(orientation == 7 || orientation == 8),
          storedPadded(storedPadded)
    {
    }

    // Output columns run against the stored rows (the stored bottom row is output column 0).
    static bool rowsReversed(int orientation) { return orientation == 6 || orientation == 7; }
};

// Writes output columns [x0, x0 + columns) of output rows [y0, y1); output column x0 + i reads
// the stored row rows[i].
template <int N>
void turnBlock(const QuarterTurn& turn, const uint8_t* const* rows, int x0, int columns, uint8_t* out,
               qsizetype outStride, int y0, int y1)
{
    // The block's last column is written narrow: the byte after it belongs to the next
    // block, which may have been written already, or to the next row.
    const int wide = columns - 1;
    for (int y = y0; y < y1; ++y) {
        const int storedColumn = turn.columnsReversed ? turn.storedWidth - 1 - y : y;
        const size_t column = size_t(storedColumn) * N;
        // Reading a word at the stored row's last pixel needs a byte of padding after it.
        const bool wideRead = storedColumn + 1 < turn.storedWidth || turn.storedPadded;
        uint8_t* d = out + outStride * y + size_t(x0) * N;
        int i = 0;
        for (; i < wide; ++i, d += N)
            movePixel<N>(d, rows[i] + column, wideRead);
        for (; i < columns; ++i, d += N)
            movePixel<N>(d, rows[i] + column, false);
    }
}

// Orientations 5 to 8 into a picture of exchanged sides, output rows [firstRow, endRow),
// written in square tiles, so that the stored rows one tile reads stay in the cache while it
// is written.
template <int N>
void turnQuarter(const QImage& stored, uint8_t* const out, qsizetype outStride, int orientation, int firstRow,
                 int endRow)
{
    constexpr int kTile = 32;
    const int storedHeight = stored.height();
    const QuarterTurn turn(stored.width(), storedHeight, orientation,
                           stored.bytesPerLine() > qsizetype(stored.width()) * N);
    const bool rowsReversed = QuarterTurn::rowsReversed(orientation);
    // The stored row each output column reads.
    std::vector<const uint8_t*> sourceRow(static_cast<size_t>(storedHeight));
    for (int x = 0; x < storedHeight; ++x)
        sourceRow[size_t(x)] = stored.constScanLine(rowsReversed ? storedHeight - 1 - x : x);
    for (int y0 = firstRow; y0 < endRow; y0 += kTile) {
        const int y1 = std::min(endRow, y0 + kTile);
        for (int x0 = 0; x0 < storedHeight; x0 += kTile)
            turnBlock<N>(turn, sourceRow.data() + x0, x0, std::min(kTile, storedHeight - x0), out, outStride, y0, y1);
    }
}

// The quarter turns, the output rows in bands.
template <int N>
void turnQuarterInBands(const QImage& stored, QImage& turned, int orientation)
{
    // Taken once: the threads share the pixels, not the image.
    uint8_t* const out = turned.bits();
    const qsizetype outStride = turned.bytesPerLine();
    inBands(turned.height(), [&](int from, int to) { turnQuarter<N>(stored, out, outStride, orientation, from, to); });
}

template <int N>
QImage turn(QImage image, int orientation)
{
    if (orientation <= 4) {
        if (image.bits() == nullptr) // the copy of a shared image found no memory
            throw notEnoughMemory(image.width(), image.height());
        turnInPlace<N>(image, orientation);
        return image;
    }
    QImage turned(image.height(), image.width(), image.format());
    if (turned.isNull())
        throw notEnoughMemory(image.height(), image.width());
    turned.setColorTable(image.colorTable());
    turned.setDotsPerMeterX(image.dotsPerMeterY());
    turned.setDotsPerMeterY(image.dotsPerMeterX());
    turnQuarterInBands<N>(image, turned, orientation);
    return turned;
}

} // namespace

QImage orientImage(QImage stored, int orientation)
{
    orientation = validOrientation(orientation);
    if (orientation == 1 || stored.isNull())
        return stored;
    switch (stored.depth()) {
    case 8: return turn<1>(std::move(stored), orientation);
    case 16: return turn<2>(std::move(stored), orientation);
    case 24: return turn<3>(std::move(stored), orientation);
    case 32: return turn<4>(std::move(stored), orientation);
    case 48: return turn<6>(std::move(stored), orientation);
    case 64: return turn<8>(std::move(stored), orientation);
    default: break;
    }
    // Fewer than 8 bits a pixel: turned as the 24-bit bitmap every photo becomes anyway.
    QImage bitmap = toRenderedBitmap(stored);
    stored = QImage();
    return turn<3>(std::move(bitmap), orientation);
}

ReducedImage orientReducedImage(ReducedImage stored, int orientation)
{
    if (orientation <= 1 || orientation > 8)
        return stored;
    ReducedImage upright;
    upright.denominator = stored.denominator;
    upright.pictureSize = orientedSize(stored.pictureSize, orientation);
    upright.image = orientImage(std::move(stored.image), orientation);
    // Directions of the upright picture that run against the stored rows or columns: there
    // the partial block at the stored end comes first.
    const bool reversedX = orientation == 2 || orientation == 3 || orientation == 6 || orientation == 7;
    const bool reversedY = orientation == 3 || orientation == 4 || orientation == 7 || orientation == 8;
    const int d = std::max(upright.denominator, 1);
    const auto lacking = [d](int size) { return (d - size % d) % d; };
    upright.blockStart = QPoint(reversedX ? -lacking(upright.pictureSize.width()) : 0,
                                reversedY ? -lacking(upright.pictureSize.height()) : 0);
    return upright;
}

UprightRowWriter::UprightRowWriter(QImage& upright, QSize stored, int orientation)
    : bits_(upright.bits()), stride_(upright.bytesPerLine()), stored_(stored), orientation_(validOrientation(orientation))
{
    if (orientation_ == 1 || orientation_ == 4)
        return;
    // A spare word after each row lets three-byte pixels move as words.
    bandStride_ = size_t(stored.width()) * 3 + 4;
    try {
        band_.resize(bandStride_ * kBandRows * kSlots);
    } catch (const std::bad_alloc&) {
        throw notEnoughMemory(stored.width(), kBandRows * kSlots);
    }
    // A helper pays for itself only over many bands; without one this thread turns them.
    if (std::thread::hardware_concurrency() > 1 && stored.height() >= 8 * kBandRows) {
        try {
            helper_ = std::thread([this] { helperLoop(); });
        } catch (const std::system_error&) {
        }
    }
}

UprightRowWriter::~UprightRowWriter()
{
    if (!helper_.joinable())
        return;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    helper_.join();
}

uint8_t* UprightRowWriter::landing(int first, int storedRow) noexcept
{
    switch (orientation_) {
    case 1: return bits_ + stride_ * storedRow;
    case 4: return bits_ + stride_ * (stored_.height() - 1 - storedRow);
    default: break;
    }
    const int band = first / kBandRows;
    if (storedRow == first && helper_.joinable()) {
        // The band's slot is free once the band kSlots before it is turned.
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return turned_ > band - kSlots; });
    }
    return bandRow(band, storedRow - first);
}

void UprightRowWriter::place(int first, int count) noexcept
{
    if (orientation_ == 1 || orientation_ == 4)
        return;
    const int band = first / kBandRows;
    if (!helper_.joinable()) {
        turnBand(band, first, count);
        return;
    }
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        counts_[band % kSlots] = count;
        placed_ = band + 1;
    }
    changed_.notify_all();
}

void UprightRowWriter::finish() noexcept
{
    if (!helper_.joinable())
        return;
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return turned_ == placed_; });
}

void UprightRowWriter::helperLoop() noexcept
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return turned_ < placed_ || stopping_; });
        if (turned_ == placed_)
            return; // stopping, and every band placed is turned
        const int band = turned_;
        const int count = counts_[band % kSlots];
        lock.unlock();
        turnBand(band, band * kBandRows, count);
        lock.lock();
        ++turned_;
        changed_.notify_all();
    }
}

void UprightRowWriter::turnBand(int band, int first, int count) noexcept
{
    const int width = stored_.width();
    const int height = stored_.height();
    if (orientation_ == 2 || orientation_ == 3) {
        for (int i = 0; i < count; ++i) {
            const int y = orientation_ == 2 ? first + i : height - 1 - (first + i);
            reverseInto<3>(bits_ + stride_ * y, bandRow(band, i), width);
        }
        return;
    }
    // The band's rows become output columns [x0, x0 + count), in stored order or against it.
    const bool reversed = QuarterTurn::rowsReversed(orientation_);
    const int x0 = reversed ? height - first - count : first;
    const uint8_t* rows[kBandRows];
    for (int i = 0; i < count; ++i)
        rows[i] = bandRow(band, reversed ? count - 1 - i : i);
    turnBlock<3>(QuarterTurn(width, height, orientation_, true), rows, x0, count, bits_, stride_, 0, width);
}
