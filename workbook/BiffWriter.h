#pragma once
// A growing little-endian byte buffer that BIFF records are appended to.
// Records are opened, filled and closed; closing writes the length.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace xls::biff {

inline constexpr std::size_t kMaxRecordData = 8224;

class BiffBuffer {
  public:
    // The memory is not cleared first: every byte is written before use.
    explicit BiffBuffer(std::size_t reserve = 1 << 16)
        : data_(new std::uint8_t[reserve]), capacity_(reserve) {}

    std::size_t size() const { return size_; }
    const std::uint8_t* data() const { return data_.get(); }
    std::vector<std::uint8_t> copy() const { return {data_.get(), data_.get() + size_}; }

    void begin(std::uint16_t id) {
        recordStart_ = size_;
        u16(id);
        u16(0);
    }
    // Bytes of data written since begin().
    std::size_t recordLength() const { return size_ - recordStart_ - 4; }
    void end() {
        const auto len = static_cast<std::uint16_t>(recordLength());
        data_[recordStart_ + 2] = static_cast<std::uint8_t>(len & 0xFF);
        data_[recordStart_ + 3] = static_cast<std::uint8_t>(len >> 8);
    }

    void u8(std::uint8_t v) { *room(1) = v; }
    void u16(std::uint16_t v) {
        std::uint8_t* p = room(2);
        p[0] = static_cast<std::uint8_t>(v);
        p[1] = static_cast<std::uint8_t>(v >> 8);
    }
    void u32(std::uint32_t v) {
        std::uint8_t* p = room(4);
        for (int i = 0; i < 4; ++i)
            p[i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
    void f64(double v) { std::memcpy(room(8), &v, 8); }  // little-endian hosts only
    void bytes(const void* p, std::size_t n) {
        if (n > 0)
            std::memcpy(room(n), p, n);
    }
    void zeros(std::size_t n) { std::memset(room(n), 0, n); }
    void patch32(std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            data_[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
    }

    // Characters of a string: compressed (8-bit) when every unit is below
    // 0x100, else UTF-16. Writes the flag byte, then the characters.
    void chars(const std::u16string& s, bool wide) {
        u8(wide ? 1 : 0);
        charsOnly(s, 0, s.size(), wide);
    }
    void charsOnly(const std::u16string& s, std::size_t from, std::size_t n, bool wide) {
        std::uint8_t* p = room(wide ? 2 * n : n);
        if (wide) {
            for (std::size_t i = from; i < from + n; ++i) {
                *p++ = static_cast<std::uint8_t>(s[i]);
                *p++ = static_cast<std::uint8_t>(s[i] >> 8);
            }
        } else {
            for (std::size_t i = from; i < from + n; ++i)
                *p++ = static_cast<std::uint8_t>(s[i]);
        }
    }
    // XLUnicodeString: cch(2), flags, characters.
    void xlString(const std::u16string& s) {
        u16(static_cast<std::uint16_t>(s.size()));
        chars(s, isWide(s));
    }
    // ShortXLUnicodeString: cch(1), flags, characters.
    void shortString(const std::u16string& s) {
        u8(static_cast<std::uint8_t>(s.size()));
        chars(s, isWide(s));
    }

    static bool isWide(const std::u16string& s) {
        for (char16_t c : s) {
            if (c > 0xFF)
                return true;
        }
        return false;
    }

  private:
    // n writable bytes at the end, growing the buffer when needed.
    std::uint8_t* room(std::size_t n) {
        if (size_ + n > capacity_)
            grow(size_ + n);
        std::uint8_t* p = data_.get() + size_;
        size_ += n;
        return p;
    }
    void grow(std::size_t need) {
        const std::size_t capacity = std::max(capacity_ * 2, need + 4096);
        std::unique_ptr<std::uint8_t[]> bigger(new std::uint8_t[capacity]);
        std::memcpy(bigger.get(), data_.get(), size_);
        data_ = std::move(bigger);
        capacity_ = capacity;
    }

    std::unique_ptr<std::uint8_t[]> data_;
    std::size_t capacity_ = 0;
    std::size_t size_ = 0;
    std::size_t recordStart_ = 0;
};

}  // namespace xls::biff
