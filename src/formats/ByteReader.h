#pragma once

#include "PictureError.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

// Bounds-checked reading of a file's bytes. Every read that would pass the end throws a
// PictureError, so a truncated or lying file fails cleanly.
class ByteReader {
public:
    explicit ByteReader(std::span<const uint8_t> data) : data_(data) {}

    size_t size() const { return data_.size(); }
    size_t pos() const { return pos_; }
    size_t remaining() const { return data_.size() - pos_; }
    bool atEnd() const { return pos_ >= data_.size(); }
    std::span<const uint8_t> data() const { return data_; }

    void seek(size_t offset)
    {
        if (offset > data_.size())
            fail();
        pos_ = offset;
    }
    void skip(size_t count) { seek(checkedEnd(count)); }

    uint8_t u8()
    {
        require(1);
        return data_[pos_++];
    }
    uint16_t u16le()
    {
        require(2);
        uint16_t v = uint16_t(data_[pos_] | (data_[pos_ + 1] << 8));
        pos_ += 2;
        return v;
    }
    uint16_t u16be()
    {
        require(2);
        uint16_t v = uint16_t((data_[pos_] << 8) | data_[pos_ + 1]);
        pos_ += 2;
        return v;
    }
    uint32_t u32le()
    {
        require(4);
        uint32_t v = uint32_t(data_[pos_]) | (uint32_t(data_[pos_ + 1]) << 8) | (uint32_t(data_[pos_ + 2]) << 16)
            | (uint32_t(data_[pos_ + 3]) << 24);
        pos_ += 4;
        return v;
    }
    uint32_t u32be()
    {
        require(4);
        uint32_t v = (uint32_t(data_[pos_]) << 24) | (uint32_t(data_[pos_ + 1]) << 16) | (uint32_t(data_[pos_ + 2]) << 8)
            | uint32_t(data_[pos_ + 3]);
        pos_ += 4;
        return v;
    }
    int16_t i16le() { return int16_t(u16le()); }
    int16_t i16be() { return int16_t(u16be()); }
    int32_t i32le() { return int32_t(u32le()); }
    int32_t i32be() { return int32_t(u32be()); }

    // Copies count bytes to dst and advances.
    void read(void* dst, size_t count)
    {
        require(count);
        if (count)
            std::memcpy(dst, data_.data() + pos_, count);
        pos_ += count;
    }
    // A view of the next count bytes; advances past them.
    std::span<const uint8_t> bytes(size_t count)
    {
        require(count);
        auto view = data_.subspan(pos_, count);
        pos_ += count;
        return view;
    }
    // A view of count bytes at an absolute offset; does not move.
    std::span<const uint8_t> bytesAt(size_t offset, size_t count) const
    {
        if (offset > data_.size() || count > data_.size() - offset)
            fail();
        return data_.subspan(offset, count);
    }

    // A read would pass the end. A lying offset or count looks the same as a cut file; the
    // user hears the likelier cause.
    [[noreturn]] void fail() const { throw PictureError(PictureReason::kTruncated); }

private:
    void require(size_t count) const
    {
        if (count > data_.size() - pos_)
            fail();
    }
    size_t checkedEnd(size_t count) const
    {
        if (count > data_.size() - pos_)
            fail();
        return pos_ + count;
    }

    std::span<const uint8_t> data_;
    size_t pos_ = 0;
};
