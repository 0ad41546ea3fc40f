#include "OdsContentSplit.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <cstring>
#include <limits>
#include <string_view>

namespace xls::ods {
namespace {

constexpr std::uint64_t kNever = std::numeric_limits<std::uint64_t>::max();
// A root or table start tag longer than this is not looked for further.
constexpr std::size_t kLongestTag = 4u << 20;

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

// The prefix a start tag binds to `uri` ("table" for the table namespace).
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

// As many bytes as asked for, fewer only at the end: the parser takes a
// short read for want of bytes in places (its first read, for one).
template <typename Some>
std::size_t Whole(std::uint8_t* out, std::size_t size, Some&& some) {
    std::size_t given = 0;
    while (given < size) {
        const std::size_t n = some(out + given, size - given);
        if (n == 0)
            break;
        given += n;
    }
    return given;
}

}  // namespace

bool Window::more() {
    if (ended_)
        return false;
    if (bytes_.size() - end_ < piece_) {
        // What is at hand moves to the front; the buffer grows only for a
        // tag longer than a piece.
        if (end_ > begin_)  // an empty buffer has no storage to move from
            std::memmove(bytes_.data(), bytes_.data() + begin_, end_ - begin_);
        offset_ += begin_;
        end_ -= begin_;
        begin_ = 0;
        if (bytes_.size() - end_ < piece_)
            bytes_.resize(end_ + piece_);
    }
    const std::size_t n = fill_(reinterpret_cast<std::uint8_t*>(bytes_.data() + end_), piece_);
    if (n == 0) {
        ended_ = true;
        return false;
    }
    end_ += n;
    return true;
}

std::optional<ContentRoot> ReadRoot(Window& window) {
    for (;;) {
        const std::string_view text(window.data(), window.size());
        const std::size_t end = RootEnd(text);
        if (end != std::string_view::npos) {
            ContentRoot root;
            const std::size_t start = text.rfind('<', end);
            root.startTag = std::string(text.substr(start, end + 1 - start));
            std::size_t nameEnd = 1;
            while (nameEnd < root.startTag.size() && !NameEnds(root.startTag[nameEnd]))
                ++nameEnd;
            root.name = root.startTag.substr(1, nameEnd - 1);
            const auto table = PrefixOf(root.startTag, kTableNs);
            const auto office = PrefixOf(root.startTag, kOfficeNs);
            if (!table || !office || root.name.empty())
                return std::nullopt;
            root.table = *table;
            root.office = *office;
            return root;
        }
        if (window.size() > kLongestTag || !window.more())
            return std::nullopt;
    }
}

FirstPart::FirstPart(const Fill& fill, std::uint64_t cutFrom, std::size_t piece)
    : window_(fill, piece), cutFrom_(cutFrom), decided_(cutFrom) {}

void FirstPart::start() {
    started_ = true;
    const auto root = ReadRoot(window_);
    if (!root) {
        decided_ = kNever;  // handed on whole
        return;
    }
    rowTag_ = "<" + root->table + ":table-row";
    closing_ = "</" + root->table + ":table></" + root->office + ":spreadsheet></" + root->office +
               ":body></" + root->name + ">";
}

void FirstPart::scan() {
    const std::uint64_t base = window_.offset();
    const std::string_view text(window_.data(), window_.size());
    if (decided_ >= base + text.size())
        return;
    bool undecided = false;
    const std::size_t row = RowStart(text, static_cast<std::size_t>(decided_ - base), rowTag_,
                                     window_.ended(), undecided);
    if (row != std::string_view::npos && !undecided) {
        cut_ = base + row;
    } else if (undecided) {
        decided_ = base + row;
    } else if (window_.ended()) {
        decided_ = kNever;
    } else if (text.size() >= rowTag_.size()) {
        // A tag the window's end cuts is decided with the next piece.
        decided_ = std::max(decided_, base + text.size() - rowTag_.size());
    }
}

std::size_t FirstPart::fill(std::uint8_t* out, std::size_t size) {
    return Whole(out, size, [this](std::uint8_t* o, std::size_t n) { return some(o, n); });
}

std::size_t FirstPart::some(std::uint8_t* out, std::size_t size) {
    if (!started_)
        start();
    for (;;) {
        if (!cut_)
            scan();
        const std::uint64_t limit = cut_ ? *cut_ : decided_;
        const std::uint64_t at = window_.offset();
        if (limit > at && window_.size() > 0) {
            const auto n = static_cast<std::size_t>(
                std::min<std::uint64_t>({size, window_.size(), limit - at}));
            std::memcpy(out, window_.data(), n);
            window_.drop(n);
            return n;
        }
        if (cut_) {
            const std::size_t n = std::min(size, closing_.size() - closed_);
            std::memcpy(out, closing_.data() + closed_, n);
            closed_ += n;
            return n;
        }
        if (!window_.more() && window_.size() == 0)
            return 0;
    }
}

LaterPart::LaterPart(const Fill& fill, std::uint64_t cutFrom, std::size_t piece)
    : inflate_(fill), window_(fill, piece), cutFrom_(cutFrom) {}

bool LaterPart::findCut() {
    const auto root = ReadRoot(window_);
    if (!root)
        return false;
    // Table start tags as the application writes them, a blank after the
    // name: searching for "<table:table" would stop at every cell.
    const std::string tableTag = "<" + root->table + ":table ";
    const std::string rowTag = "<" + root->table + ":table-row";
    std::string lastTable;
    std::uint64_t scanned = 0;  // offset up to which everything is counted
    for (;;) {
        const std::uint64_t base = window_.offset();
        const std::string_view text(window_.data(), window_.size());
        const auto at = static_cast<std::size_t>(scanned - base);
        const std::size_t table = Find(text, tableTag, at);
        std::size_t row = std::string_view::npos;
        bool undecided = false;
        if (base + text.size() > cutFrom_) {
            const auto from =
                std::max<std::size_t>(at, cutFrom_ > base ? cutFrom_ - base : std::size_t{0});
            row = RowStart(text, from, rowTag, window_.ended(), undecided);
        }
        if (table != std::string_view::npos && table < row) {
            const std::size_t end = TagEnd(text, table);
            if (end != std::string_view::npos) {
                ++tables_;
                lastTable.assign(text.substr(table, end + 1 - table));
                scanned = base + end + 1;
                continue;
            }
            // The tag goes on in the next piece.
            scanned = base + table;
        } else if (row != std::string_view::npos && !undecided) {
            if (tables_ == 0)
                return false;
            window_.drop(row);
            opening_ = root->startTag + "<" + root->office + ":body><" + root->office +
                       ":spreadsheet>" + lastTable;
            return true;
        } else if (undecided) {
            scanned = base + row;
        } else if (text.size() >= rowTag.size()) {
            scanned = std::max(scanned, base + text.size() - rowTag.size());
        }
        if (window_.ended() || window_.size() > kLongestTag)
            return false;
        window_.drop(static_cast<std::size_t>(scanned - base));
        window_.more();
    }
}

std::size_t LaterPart::fill(std::uint8_t* out, std::size_t size) {
    return Whole(out, size, [this](std::uint8_t* o, std::size_t n) { return some(o, n); });
}

std::size_t LaterPart::some(std::uint8_t* out, std::size_t size) {
    if (opened_ < opening_.size()) {
        const std::size_t n = std::min(size, opening_.size() - opened_);
        std::memcpy(out, opening_.data() + opened_, n);
        opened_ += n;
        return n;
    }
    if (window_.size() > 0) {
        const std::size_t n = std::min(size, window_.size());
        std::memcpy(out, window_.data(), n);
        window_.drop(n);
        return n;
    }
    return window_.ended() ? 0 : inflate_(out, size);
}

}  // namespace xls::ods
