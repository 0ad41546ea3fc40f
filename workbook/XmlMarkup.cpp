#include "XmlMarkup.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <cstring>

namespace xls::xml {

bool NameEnds(char ch) {
    return ch == ' ' || ch == '>' || ch == '/' || ch == '\t' || ch == '\n' || ch == '\r';
}

// Where `what` (two bytes or more) first lies in `text` from `from` on.
// Sixteen places at a time are tested on its first and last byte, and only
// the few that pass are compared whole: markup repeats a tag's first bytes
// everywhere, which makes memmem several times slower.
std::size_t Find(std::string_view text, std::string_view what, std::size_t from) {
    const std::size_t m = what.size();
    if (from >= text.size() || text.size() - from < m)
        return std::string_view::npos;
    const char* const h = text.data();
    const std::size_t last = text.size() - m;  // the last place `what` fits
    std::size_t i = from;
#if defined(__SSE2__)
    const __m128i first = _mm_set1_epi8(what.front());
    const __m128i final = _mm_set1_epi8(what.back());
    for (; i + 15 <= last; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h + i + m - 1));
        auto mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, final))));
        while (mask != 0) {
            const auto bit = static_cast<std::size_t>(__builtin_ctz(mask));
            if (std::memcmp(h + i + bit + 1, what.data() + 1, m - 2) == 0)
                return i + bit;
            mask &= mask - 1;
        }
    }
#endif
    for (; i <= last; ++i) {
        if (std::memcmp(h + i, what.data(), m) == 0)
            return i;
    }
    return std::string_view::npos;
}

// The '>' that ends the tag starting at `from` ('>' may stand in a quoted
// attribute value); npos when the text ends first.
std::size_t TagEnd(std::string_view text, std::size_t from) {
    char quote = 0;
    for (std::size_t i = from; i < text.size(); ++i) {
        const char ch = text[i];
        if (quote != 0) {
            if (ch == quote)
                quote = 0;
        } else if (ch == '"' || ch == '\'') {
            quote = ch;
        } else if (ch == '>') {
            return i;
        }
    }
    return std::string_view::npos;
}

// The end of the root start tag: the first tag that is no declaration,
// processing instruction or comment.
std::size_t RootEnd(std::string_view text) {
    for (std::size_t at = text.find('<'); at != std::string_view::npos;
         at = text.find('<', at + 1)) {
        if (at + 1 >= text.size())
            return std::string_view::npos;
        if (text[at + 1] == '?' || text[at + 1] == '!')
            continue;
        return TagEnd(text, at);
    }
    return std::string_view::npos;
}

// The first row start tag in `text` from `from` on: npos when there is none,
// or when the last one found lacks the byte after its name (`undecided`,
// unless the text is the member's end).
std::size_t RowStart(std::string_view text, std::size_t from, std::string_view rowTag, bool ended,
                     bool& undecided) {
    undecided = false;
    for (std::size_t at = from; (at = Find(text, rowTag, at)) != std::string_view::npos; ++at) {
        const std::size_t next = at + rowTag.size();
        if (next >= text.size()) {
            undecided = !ended;
            return undecided ? at : std::string_view::npos;
        }
        if (NameEnds(text[next]))
            return at;
    }
    return std::string_view::npos;
}

std::optional<std::string> PrefixOf(std::string_view startTag, std::string_view uri) {
    for (std::size_t at = 0; (at = startTag.find("xmlns:", at)) != std::string_view::npos;) {
        at += 6;
        const std::size_t equals = startTag.find('=', at);
        if (equals == std::string_view::npos || equals + 2 > startTag.size())
            return std::nullopt;
        const char quote = startTag[equals + 1];
        const std::size_t end = startTag.find(quote, equals + 2);
        if (end == std::string_view::npos)
            return std::nullopt;
        if (startTag.substr(equals + 2, end - equals - 2) == uri)
            return std::string(startTag.substr(at, equals - at));
        at = end + 1;  // namespace names themselves hold "xmlns:"
    }
    return std::nullopt;
}

}  // namespace xls::xml
