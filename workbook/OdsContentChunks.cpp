#include "OdsContentChunks.h"

#include <algorithm>
#include <string_view>

namespace xls::ods {
namespace {

// Inflated bytes are asked for in pieces of this size.
constexpr std::size_t kPiece = 1u << 20;

}  // namespace

ContentChunks::ContentChunks(const zip::ZipPackage::Fill& fill, std::size_t size,
                             std::size_t longest)
    : fill_(fill), size_(std::max<std::size_t>(size, 1)), longest_(longest) {}

bool ContentChunks::fail() {
    failed_ = true;
    buffer_.clear();
    return false;
}

bool ContentChunks::more() {
    if (ended_)
        return false;
    const std::size_t at = buffer_.size();
    buffer_.resize(at + kPiece);
    const std::size_t n = fill_(reinterpret_cast<std::uint8_t*>(buffer_.data() + at), kPiece);
    buffer_.resize(at + n);
    ended_ = n == 0;
    return !ended_;
}

bool ContentChunks::start() {
    started_ = true;
    buffer_.reserve(size_ + 2 * kPiece);
    std::size_t end = std::string_view::npos;
    while ((end = RootEnd(buffer_)) == std::string_view::npos) {
        if (buffer_.size() > kLongestTag || !more())
            return false;
    }
    const auto root = RootAt(buffer_, end);
    if (!root)
        return false;
    rootOpening_ = root->startTag + "<" + root->office + ":body><" + root->office + ":spreadsheet>";
    closing_ = "</" + root->table + ":table></" + root->office + ":spreadsheet></" + root->office +
               ":body></" + root->name + ">";
    rowTag_ = "<" + root->table + ":table-row";
    // Table start tags as applications write them, a blank after the name:
    // "<table:table" alone would stop at every cell.
    tableTag_ = "<" + root->table + ":table ";
    opened_ = 0;
    rootEnd_ = end + 1;
    return true;
}

bool ContentChunks::next(ContentChunk& chunk) {
    if (done_ || failed_)
        return false;
    if (!started_ && !start())
        return fail();
    // The cut: the first row start tag at or after the wanted size.
    std::size_t from = std::max(opened_ + size_, index_ == 0 ? rootEnd_ : opened_ + 1);
    std::size_t cut = std::string_view::npos;
    for (;;) {
        bool undecided = false;
        if (buffer_.size() > from) {
            const std::size_t row = RowStart(buffer_, from, rowTag_, ended_, undecided);
            if (row != std::string_view::npos && !undecided) {
                cut = row;
                break;
            }
            if (undecided)
                from = row;
            else if (buffer_.size() >= rowTag_.size())
                from = std::max(from, buffer_.size() - rowTag_.size() + 1);
        }
        if (ended_)
            break;  // the rest is the last piece
        if (buffer_.size() - opened_ > longest_)
            return fail();
        more();
    }
    const std::size_t end = cut == std::string_view::npos ? buffer_.size() : cut;
    const std::string_view own(buffer_.data(), end);
    int tables = 0;
    for (std::size_t at = opened_; (at = Find(own, tableTag_, at)) != std::string_view::npos;) {
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
        buffer_.clear();
        done_ = true;
        return true;
    }
    // A row before any table: nothing to open the next piece with.
    if (lastTable_.empty())
        return fail();
    std::string next;
    next.reserve(std::max(buffer_.capacity(), size_ + 2 * kPiece));
    next.append(rootOpening_).append(lastTable_);
    const std::size_t opened = next.size();
    next.append(buffer_, cut, std::string::npos);
    buffer_.resize(cut);
    buffer_.append(closing_);
    chunk.bytes = std::move(buffer_);
    buffer_ = std::move(next);
    opened_ = opened;
    return true;
}

}  // namespace xls::ods
