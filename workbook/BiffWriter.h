#pragma once
// A growing little-endian byte buffer that BIFF records are appended to.
// Records are opened, filled and closed; closing writes the length.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace xls::biff {

inline constexpr std::size_t kMaxRecordData = 8224;

// UTF-8 to UTF-16 code units; malformed bytes become U+FFFD.
std::u16string Utf16(const std::string& utf8);

class BiffBuffer {
  public:
    explicit BiffBuffer(std::size_t reserve = 1 << 16) { data_.reserve(reserve); }

    std::size_t size() const { return data_.size(); }
    std::vector<std::uint8_t>& bytes() { return data_; }

    void begin(std::uint16_t id) {
        recordStart_ = data_.size();
        u16(id);
        u16(0);
    }
    // Bytes of data written since begin().
    std::size_t recordLength() const { return data_.size() - recordStart_ - 4; }
    void end() {
        const auto len = static_cast<std::uint16_t>(recordLength());
        data_[recordStart_ + 2] = static_cast<std::uint8_t>(len & 0xFF);
        data_[recordStart_ + 3] = static_cast<std::uint8_t>(len >> 8);
    }

    void u8(std::uint8_t v) { data_.push_back(v); }
    void u16(std::uint16_t v) {
        std::uint8_t b[2] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)};
        data_.insert(data_.end(), b, b + 2);
    }
    void u32(std::uint32_t v) {
        std::uint8_t b[4] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                             static_cast<std::uint8_t>(v >> 16),
                             static_cast<std::uint8_t>(v >> 24)};
        data_.insert(data_.end(), b, b + 4);
    }
    void f64(double v) {
        std::uint8_t b[8];
        std::memcpy(b, &v, 8);  // little-endian hosts only (x86-64, arm64)
        data_.insert(data_.end(), b, b + 8);
    }
    void bytes(const void* p, std::size_t n) {
        const auto* b = static_cast<const std::uint8_t*>(p);
        data_.insert(data_.end(), b, b + n);
    }
    void zeros(std::size_t n) { data_.insert(data_.end(), n, 0); }
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
        if (wide) {
            for (std::size_t i = from; i < from + n; ++i)
                u16(s[i]);
        } else {
            for (std::size_t i = from; i < from + n; ++i)
                u8(static_cast<std::uint8_t>(s[i]));
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
    std::vector<std::uint8_t> data_;
    std::size_t recordStart_ = 0;
};

}  // namespace xls::biff
