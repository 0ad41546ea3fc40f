#include "BiffWriter.h"

#include "XlsWriterParts.h"

namespace xls::biff {

std::u16string Utf16(const std::string& s) {
    std::u16string out;
    out.reserve(s.size());
    std::size_t i = 0;
    const std::size_t n = s.size();
    while (i < n) {
        const auto b0 = static_cast<unsigned char>(s[i]);
        if (b0 < 0x80) {
            out.push_back(static_cast<char16_t>(b0));
            ++i;
            continue;
        }
        std::uint32_t cp = 0;
        std::size_t len = 0;
        if ((b0 & 0xE0) == 0xC0) {
            cp = b0 & 0x1F;
            len = 2;
        } else if ((b0 & 0xF0) == 0xE0) {
            cp = b0 & 0x0F;
            len = 3;
        } else if ((b0 & 0xF8) == 0xF0) {
            cp = b0 & 0x07;
            len = 4;
        }
        bool ok = len != 0 && i + len <= n;
        for (std::size_t k = 1; ok && k < len; ++k) {
            const auto b = static_cast<unsigned char>(s[i + k]);
            if ((b & 0xC0) != 0x80) {
                ok = false;
            } else {
                cp = (cp << 6) | (b & 0x3F);
            }
        }
        if (ok &&
            ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) ||
             (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))) {
            ok = false;
        }
        if (!ok) {
            out.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += len;
    }
    return out;
}

}  // namespace xls::biff

namespace xls::writer {

using namespace biff;  // record ids

void writeBof(BiffBuffer& b, std::uint16_t dt) {
    b.begin(kBof);
    b.u16(0x0600);
    b.u16(dt);
    b.u16(0x0DBB);  // build
    b.u16(0x07CC);  // year
    b.u32(0x000100C1);
    b.u32(0x00000006);
    b.end();
}

void writeU16Record(BiffBuffer& b, std::uint16_t id, std::uint16_t v) {
    b.begin(id);
    b.u16(v);
    b.end();
}

void writeDouble(BiffBuffer& b, std::uint16_t id, double v) {
    b.begin(id);
    b.f64(v);
    b.end();
}

}  // namespace xls::writer
