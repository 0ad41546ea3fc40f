#include "TextCodec.h"

#include <iconv.h>

#include <cerrno>
#include <utility>

namespace textcodec {
namespace {

// One iconv conversion descriptor, closed on destruction.
class Iconv {
  public:
    Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Iconv() {
        if (ok())
            iconv_close(cd_);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts as much as possible; on a sequence that cannot be converted
    // calls `onError(in, left)`, which appends a substitute to `out` and
    // returns how many input bytes to skip (at least one).
    template <typename OnError>
    std::string convert(std::string_view input, OnError onError) {
        std::string out;
        char buffer[256];
        char* in = const_cast<char*>(input.data());
        std::size_t left = input.size();
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        while (left > 0) {
            char* outPtr = buffer;
            std::size_t outLeft = sizeof buffer;
            const std::size_t rc = iconv(cd_, &in, &left, &outPtr, &outLeft);
            const int error = errno;
            out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
            if (rc != static_cast<std::size_t>(-1))
                break;
            if (error == E2BIG)
                continue;
            std::size_t skip = onError(out, std::string_view(in, left));
            if (skip == 0 || skip > left)
                skip = left;
            in += skip;
            left -= skip;
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        }
        return out;
    }

  private:
    iconv_t cd_;
};

}  // namespace

// Decodes one code point of UTF-8 at `i`, advancing `i`. Malformed input
// (overlong forms, surrogates, truncation) yields U+FFFD and advances by one
// byte so that decoding always makes progress.
char32_t NextCodePoint(std::string_view s, std::size_t& i) {
    const auto lead = static_cast<unsigned char>(s[i]);
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    std::size_t length = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        cp = lead & 0x1F;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        cp = lead & 0x0F;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        cp = lead & 0x07;
        minimum = 0x10000;
    } else {
        ++i;
        return kReplacement;
    }
    if (s.size() - i < length) {
        ++i;
        return kReplacement;
    }
    for (std::size_t k = 1; k < length; ++k) {
        const auto c = static_cast<unsigned char>(s[i + k]);
        if ((c & 0xC0) != 0x80) {
            ++i;
            return kReplacement;
        }
        cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return kReplacement;
    }
    i += length;
    return cp;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

bool IsValidUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const std::size_t at = i;
        if (NextCodePoint(s, i) == kReplacement && i == at + 1) {
            // A literal U+FFFD is three bytes; one byte of progress means malformed.
            return false;
        }
    }
    return true;
}

std::string SanitizeUtf8(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size())
        AppendUtf8(out, NextCodePoint(s, i));
    return out;
}

std::size_t CodePointCount(std::string_view s) {
    std::size_t count = 0;
    std::size_t i = 0;
    while (i < s.size()) {
        NextCodePoint(s, i);
        ++count;
    }
    return count;
}

std::size_t Utf16Length(std::string_view utf8) {
    std::size_t units = 0;
    std::size_t i = 0;
    while (i < utf8.size())
        units += NextCodePoint(utf8, i) >= 0x10000 ? 2 : 1;
    return units;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const char32_t cp = NextCodePoint(utf8, i);
        if (cp >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

void AppendUtf16AsUtf8(std::u16string_view units, std::string& out) {
    out.reserve(out.size() + units.size());
    for (std::size_t u = 0; u < units.size(); ++u) {
        char32_t cp = units[u];
        if (cp >= 0xD800 && cp <= 0xDBFF && u + 1 < units.size() && units[u + 1] >= 0xDC00 &&
            units[u + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (units[u + 1] - 0xDC00);
            ++u;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = kReplacement;
        }
        AppendUtf8(out, cp);
    }
}

std::string Utf16ToUtf8(std::u16string_view units) {
    std::string out;
    AppendUtf16AsUtf8(units, out);
    return out;
}

std::string Utf16LeToUtf8(std::span<const std::uint8_t> bytes) {
    std::u16string units(bytes.size() / 2, u'\0');
    for (std::size_t u = 0; u < units.size(); ++u)
        units[u] = static_cast<char16_t>(bytes[2 * u] | (bytes[2 * u + 1] << 8));
    return Utf16ToUtf8(units);
}

std::vector<std::uint8_t> Utf8ToUtf16Le(std::string_view text) {
    const std::u16string units = Utf8ToUtf16(text);
    std::vector<std::uint8_t> out;
    out.reserve(units.size() * 2);
    for (const char16_t u : units) {
        out.push_back(static_cast<std::uint8_t>(u & 0xFF));
        out.push_back(static_cast<std::uint8_t>(u >> 8));
    }
    return out;
}

std::string Utf8ToCp932(std::string_view text) {
    // Opening a conversion is costly compared to the short texts converted.
    thread_local Iconv cd("CP932", "UTF-8");
    if (!cd.ok()) {
        std::string out;
        std::size_t i = 0;
        while (i < text.size()) {
            const char32_t cp = NextCodePoint(text, i);
            out.push_back(cp < 0x80 ? static_cast<char>(cp) : '?');
        }
        return out;
    }
    return cd.convert(text, [](std::string& out, std::string_view rest) {
        out.push_back('?');
        std::size_t i = 0;
        NextCodePoint(rest, i);
        return i;
    });
}

std::string Cp932ToUtf8(std::string_view bytes) {
    thread_local Iconv cd("UTF-8", "CP932");
    if (!cd.ok()) {
        std::string out;
        for (char c : bytes) {
            AppendUtf8(out, static_cast<unsigned char>(c) < 0x80 ? static_cast<char32_t>(c)
                                                                 : kReplacement);
        }
        return out;
    }
    return cd.convert(bytes, [](std::string& out, std::string_view) {
        AppendUtf8(out, kReplacement);
        return std::size_t{1};
    });
}

// Decodes the whole file to UTF-8 text.
std::string DecodeText(std::span<const std::uint8_t> bytes) {
    const std::string_view raw(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (raw.size() >= 3 && raw.substr(0, 3) == "\xEF\xBB\xBF")
        return SanitizeUtf8(raw.substr(3));
    if (raw.size() >= 2 && raw.substr(0, 2) == "\xFF\xFE")
        return Utf16LeToUtf8(bytes.subspan(2));
    if (raw.size() >= 2 && raw.substr(0, 2) == "\xFE\xFF") {
        std::vector<std::uint8_t> swapped(bytes.begin() + 2, bytes.end());
        for (std::size_t i = 0; i + 1 < swapped.size(); i += 2) {
            std::swap(swapped[i], swapped[i + 1]);
        }
        return Utf16LeToUtf8(swapped);
    }
    if (IsValidUtf8(raw))
        return std::string(raw);
    // An ANSI export written on a Japanese system.
    return Cp932ToUtf8(raw);
}

}  // namespace textcodec
