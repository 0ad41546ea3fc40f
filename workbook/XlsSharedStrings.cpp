#include <algorithm>

#include "TextCodec.h"
#include "XlsWriterParts.h"

namespace xls::writer {

using namespace biff;  // record ids

namespace {

// The UTF-16 of a string, as Utf8ToUtf16 gives it, into a buffer kept from
// one string to the next: a workbook holds a few hundred thousand of them.
void toUtf16(std::string_view utf8, std::u16string& out) {
    out.clear();
    std::size_t i = 0;
    while (i < utf8.size()) {
        const char32_t cp = textcodec::NextCodePoint(utf8, i);
        if (cp >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
}

}  // namespace

// Shared strings with CONTINUE records; a string's header stays with its
// first character and continued character data starts with a flag byte.
void writeSst(BiffBuffer& b, const StringTable& strings, std::uint32_t total) {
    const std::size_t count = strings.size();
    const std::size_t bucketSize = std::max<std::size_t>(8, (count + 127) / 128);
    std::vector<std::pair<std::uint32_t, std::uint16_t>> buckets;

    b.begin(kSst);
    std::size_t recordStart = b.size() - 4;
    b.u32(total);
    b.u32(static_cast<std::uint32_t>(count));
    auto newContinue = [&] {
        b.end();
        b.begin(kContinue);
        recordStart = b.size() - 4;
    };
    std::u16string s;
    for (std::size_t i = 0; i < count; ++i) {
        toUtf16(strings.get(static_cast<std::uint32_t>(i)), s);
        const bool wide = BiffBuffer::isWide(s);
        const std::size_t unit = wide ? 2 : 1;
        const std::size_t head = 3 + (s.empty() ? 0 : unit);
        if (kMaxRecordData - b.recordLength() < head)
            newContinue();
        if (i % bucketSize == 0) {
            buckets.emplace_back(static_cast<std::uint32_t>(b.size()),
                                 static_cast<std::uint16_t>(b.size() - recordStart));
        }
        b.u16(static_cast<std::uint16_t>(s.size()));
        b.u8(wide ? 1 : 0);
        std::size_t done = 0;
        while (done < s.size()) {
            std::size_t room = (kMaxRecordData - b.recordLength()) / unit;
            if (room == 0) {
                newContinue();
                b.u8(wide ? 1 : 0);
                room = (kMaxRecordData - 1) / unit;
            }
            std::size_t n = std::min(room, s.size() - done);
            // Never part a surrogate pair.
            if (wide && done + n < s.size() && n > 1 && s[done + n - 1] >= 0xD800 &&
                s[done + n - 1] <= 0xDBFF) {
                --n;
            }
            b.charsOnly(s, done, n, wide);
            done += n;
        }
    }
    b.end();

    b.begin(kExtSst);
    b.u16(static_cast<std::uint16_t>(bucketSize));
    for (const auto& [ib, cb] : buckets) {
        b.u32(ib);
        b.u16(cb);
        b.u16(0);
    }
    b.end();
}

}  // namespace xls::writer
