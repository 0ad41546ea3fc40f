#include "Workbook.h"

namespace xls {

namespace {
const RowInfo kEmptyRow;
}

SheetRows& SheetRows::operator=(const SheetRows& other) {
    if (&other == this)
        return *this;
    std::vector<std::unique_ptr<Page>> pages(other.pages_.size());
    for (std::size_t p = 0; p < pages.size(); ++p) {
        if (other.pages_[p])
            pages[p] = std::make_unique<Page>(*other.pages_[p]);
    }
    pages_ = std::move(pages);
    pageCount_ = other.pageCount_;
    size_ = other.size_;
    return *this;
}

const RowInfo* SheetRows::find(std::int32_t r) const {
    if (r < 0 || r >= size_)
        return nullptr;
    const auto p = static_cast<std::size_t>(r / kPageRows);
    if (p >= pages_.size() || !pages_[p])
        return &kEmptyRow;
    return &(*pages_[p])[static_cast<std::size_t>(r % kPageRows)];
}

RowInfo* SheetRows::stored(std::int32_t r) {
    if (r < 0 || r >= size_)
        return nullptr;
    const auto p = static_cast<std::size_t>(r / kPageRows);
    if (p >= pages_.size() || !pages_[p])
        return nullptr;
    return &(*pages_[p])[static_cast<std::size_t>(r % kPageRows)];
}

RowInfo& SheetRows::at(std::int32_t r) {
    const auto p = static_cast<std::size_t>(r / kPageRows);
    if (p >= pages_.size())
        pages_.resize(p + 1);
    if (!pages_[p]) {
        pages_[p] = std::make_unique<Page>();
        ++pageCount_;
    }
    size_ = std::max(size_, r + 1);
    return (*pages_[p])[static_cast<std::size_t>(r % kPageRows)];
}

std::size_t SheetRows::bytes() const {
    return pageCount_ * sizeof(Page) + pages_.capacity() * sizeof(pages_[0]);
}

}  // namespace xls
