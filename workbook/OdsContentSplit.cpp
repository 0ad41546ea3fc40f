#include "OdsContentSplit.h"

#include <cstring>
#include <limits>
#include <string_view>

namespace xls::ods {
namespace {

constexpr std::uint64_t kNever = std::numeric_limits<std::uint64_t>::max();

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
        const std::size_t end = xml::RootEnd(text);
        if (end != std::string_view::npos)
            return RootAt(text, end);
        if (window.size() > xml::kLongestTag || !window.more())
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
    const std::size_t row = xml::RowStart(text, static_cast<std::size_t>(decided_ - base), rowTag_,
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
        const std::size_t table = xml::Find(text, tableTag, at);
        std::size_t row = std::string_view::npos;
        bool undecided = false;
        if (base + text.size() > cutFrom_) {
            const auto from =
                std::max<std::size_t>(at, cutFrom_ > base ? cutFrom_ - base : std::size_t{0});
            row = xml::RowStart(text, from, rowTag, window_.ended(), undecided);
        }
        if (table != std::string_view::npos && table < row) {
            const std::size_t end = xml::TagEnd(text, table);
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
        if (window_.ended() || window_.size() > xml::kLongestTag)
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
