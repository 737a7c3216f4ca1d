#pragma once

#include "ReducedImage.h"

#include <QImage>
#include <QSize>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

// The eight orientations a camera records (EXIF and TIFF Orientation): how the stored pixels
// are turned to show the picture as it was taken. 1 is upright as stored; 2 mirrored left to
// right; 3 turned half a turn; 4 mirrored top to bottom; 5 mirrored along the main diagonal;
// 6 turned a quarter clockwise; 7 mirrored along the other diagonal; 8 turned a quarter
// counterclockwise.

// The value as an orientation: 1 to 8 as they are, anything else (0, 9, 65535) is 1.
int validOrientation(long value);

// Whether the orientation exchanges width and height (5 to 8).
inline bool swapsSides(int orientation)
{
    return orientation >= 5 && orientation <= 8;
}

// The size of a stored picture of this size once turned.
inline QSize orientedSize(QSize stored, int orientation)
{
    return swapsSides(orientation) ? stored.transposed() : stored;
}

// The stored picture turned upright. Orientations 2 to 4 reuse the image's own memory when it
// is not shared; 5 to 8 write a new image of exchanged sides, tile by tile. Works on every
// format of whole bytes a pixel (8, 24, 32 and 64 bits keep their format and palette); others
// are first converted to the 24-bit bitmap format. Throws PictureError when the memory for the
// turned picture cannot be had.
QImage orientImage(QImage stored, int orientation);

// A reduced decode of the stored picture turned upright: image and pictureSize turned, and
// blockStart set where the turn reversed a direction whose size is no multiple of the
// denominator. Throws as orientImage.
ReducedImage orientReducedImage(ReducedImage stored, int orientation);

// Puts the rows of a 24-bit picture, decoded top to bottom as stored, into the picture turned
// upright, a band of rows at a time while the band is still in the cache: a decoder that
// delivers rows in order turns its picture with no second full-size picture and no second
// pass over it. Orientation 1 and 4 rows are decoded straight into their places. Where there
// is a second core, a helper thread turns each band while the decoder fills the next one.
class UprightRowWriter {
public:
    static constexpr int kBandRows = 16;

    // upright is the turned picture, 24 bits, of orientedSize(stored, orientation). Throws
    // PictureError when the bands' memory cannot be had.
    UprightRowWriter(QImage& upright, QSize stored, int orientation);
    // Waits for the bands already placed: the picture is complete when it returns.
    ~UprightRowWriter();
    UprightRowWriter(const UprightRowWriter&) = delete;
    UprightRowWriter& operator=(const UprightRowWriter&) = delete;

    // Where stored row storedRow of the band that starts at stored row first is decoded.
    // Bands are decoded in order, each of kBandRows rows but the last.
    uint8_t* landing(int first, int storedRow) noexcept;

    // Stored rows [first, first + count), count at most kBandRows, are decoded: turns them
    // into their places, or hands them to the helper thread to do so.
    void place(int first, int count) noexcept;

    // Waits until every band placed so far is in the picture.
    void finish() noexcept;

private:
    // Bands decoded ahead of the helper thread.
    static constexpr int kSlots = 4;

    uint8_t* bandRow(int band, int i) noexcept
    {
        return band_.data() + bandStride_ * (size_t(band % kSlots) * kBandRows + size_t(i));
    }
    void turnBand(int band, int first, int count) noexcept;
    void helperLoop() noexcept;

    uint8_t* bits_;
    qsizetype stride_;
    QSize stored_;
    int orientation_;
    size_t bandStride_ = 0;
    std::vector<uint8_t> band_;

    // Bands [turned_, placed_) wait for the helper thread, at most kSlots of them.
    std::thread helper_;
    std::mutex mutex_;
    std::condition_variable changed_;
    int placed_ = 0;
    int turned_ = 0;
    int counts_[kSlots] = {};
    bool stopping_ = false;
};
