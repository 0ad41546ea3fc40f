#include "XmlPieces.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <utility>

#include "XmlMarkup.h"

namespace xls::xml {
namespace {

// Inflated bytes are asked for in pieces of this size.
constexpr std::size_t kPiece = 256u << 10;

// At least `size` bytes of room in `s`; what is there is kept.
void Room(std::string& s, std::size_t size) {
    if (s.size() < size)
        s.resize(std::max(size, s.size() + s.size() / 2));
}

}  // namespace

XmlPieces::XmlPieces(const zip::ZipPackage::Fill& fill, std::size_t size, MarkupOf markup,
                     std::size_t longest, Spare spare)
    : fill_(fill),
      size_(std::max<std::size_t>(size, 1)),
      longest_(longest),
      markupOf_(std::move(markup)),
      spare_(std::move(spare)) {}

bool XmlPieces::fail() {
    failed_ = true;
    buffer_ = std::string();
    used_ = 0;
    return false;
}

bool XmlPieces::more() {
    if (ended_)
        return false;
    Room(buffer_, used_ + kPiece);
    const std::size_t n = fill_(reinterpret_cast<std::uint8_t*>(buffer_.data() + used_), kPiece);
    used_ += n;
    ended_ = n == 0;
    return !ended_;
}

bool XmlPieces::start() {
    started_ = true;
    if (spare_)
        buffer_ = spare_();
    std::size_t end = std::string_view::npos;
    while ((end = RootEnd(text())) == std::string_view::npos) {
        if (used_ > kLongestTag || !more())
            return false;
    }
    const std::string_view all = text();
    const std::size_t begin = all.rfind('<', end);
    const std::string_view startTag = all.substr(begin, end + 1 - begin);
    std::size_t nameEnd = 1;
    while (nameEnd < startTag.size() && !NameEnds(startTag[nameEnd]))
        ++nameEnd;
    auto markup = markupOf_(startTag, startTag.substr(1, nameEnd - 1));
    if (!markup || markup->rowTag.size() < 2)
        return false;
    markup_ = std::move(*markup);
    rootOpening_ = std::string(startTag) + markup_.opening;
    opened_ = 0;
    rootEnd_ = end + 1;
    return true;
}

bool XmlPieces::next(Piece& chunk) {
    if (done_ || failed_)
        return false;
    if (!started_ && !start())
        return fail();
    // The cut: the first row start tag at or after the wanted size.
    std::size_t from = std::max(opened_ + size_, index_ == 0 ? rootEnd_ : opened_ + 1);
    std::size_t cut = std::string_view::npos;
    for (;;) {
        bool undecided = false;
        if (used_ > from) {
            const std::size_t row = RowStart(text(), from, markup_.rowTag, ended_, undecided);
            if (row != std::string_view::npos && !undecided) {
                cut = row;
                break;
            }
            if (undecided)
                from = row;
            else if (used_ >= markup_.rowTag.size())
                from = std::max(from, used_ - markup_.rowTag.size() + 1);
        }
        if (ended_)
            break;  // the rest is the last piece
        if (used_ - opened_ > longest_)
            return fail();
        more();
    }
    const std::size_t end = cut == std::string_view::npos ? used_ : cut;
    const std::string_view own(buffer_.data(), end);
    int tables = 0;
    for (std::size_t at = opened_;
         !markup_.tableTag.empty() &&
         (at = Find(own, markup_.tableTag, at)) != std::string_view::npos;) {
        const std::size_t close = TagEnd(own, at);
        if (close == std::string_view::npos)
            return fail();
        lastTable_.assign(own.substr(at, close + 1 - at));
        ++tables;
        at = close + 1;
    }
    chunk.index = index_++;
    chunk.tablesBegun = tables;
    if (cut == std::string_view::npos) {
        chunk.bytes = std::move(buffer_);
        chunk.size = used_;
        buffer_ = std::string();
        used_ = 0;
        done_ = true;
        return true;
    }
    // A row before any table: nothing to open the next piece with.
    if (!markup_.tableTag.empty() && lastTable_.empty())
        return fail();
    // The next piece: its opening, then the bytes from the cut on.
    std::string next = spare_ ? spare_() : std::string();
    const std::size_t opening = rootOpening_.size() + lastTable_.size();
    const std::size_t tail = used_ - cut;
    Room(next, opening + tail + size_ + 2 * kPiece);
    std::memcpy(next.data(), rootOpening_.data(), rootOpening_.size());
    std::memcpy(next.data() + rootOpening_.size(), lastTable_.data(), lastTable_.size());
    std::memcpy(next.data() + opening, buffer_.data() + cut, tail);
    Room(buffer_, cut + markup_.closing.size());
    std::memcpy(buffer_.data() + cut, markup_.closing.data(), markup_.closing.size());
    chunk.bytes = std::move(buffer_);
    chunk.size = cut + markup_.closing.size();
    buffer_ = std::move(next);
    used_ = opening + tail;
    opened_ = opening;
    return true;
}

}  // namespace xls::xml
