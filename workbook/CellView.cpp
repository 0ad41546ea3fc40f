#include "CellView.h"

#include <type_traits>

namespace xls {

CellView::CellView(const CellValue& value) : number_(0) {
    std::visit(
        [this](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, double>) {
                *this = OfNumber(v);
            } else if constexpr (std::is_same_v<T, std::string>) {
                *this = OfText(v);
            } else if constexpr (std::is_same_v<T, bool>) {
                *this = OfBoolean(v);
            } else if constexpr (std::is_same_v<T, ErrorValue>) {
                *this = OfError(v.code);
            }
        },
        value);
}

CellView CellView::OfNumber(double number) {
    CellView view;
    view.kind_ = Kind::Number;
    view.number_ = number;
    return view;
}

CellView CellView::OfText(const std::string& text) {
    CellView view;
    view.kind_ = Kind::Text;
    view.text_ = &text;
    return view;
}

CellView CellView::OfBoolean(bool value) {
    CellView view;
    view.kind_ = Kind::Boolean;
    view.small_ = value ? 1 : 0;
    return view;
}

CellView CellView::OfError(std::uint8_t code) {
    CellView view;
    view.kind_ = Kind::Error;
    view.small_ = code;
    return view;
}

CellValue CellView::value() const {
    switch (kind_) {
        case Kind::Number:
            return number_;
        case Kind::Text:
            return *text_;
        case Kind::Boolean:
            return small_ != 0;
        case Kind::Error:
            return ErrorValue{small_};
        case Kind::Empty:
            break;
    }
    return std::monostate{};
}

bool CellView::operator==(const CellView& other) const {
    if (kind_ != other.kind_)
        return false;
    switch (kind_) {
        case Kind::Number:
            return number_ == other.number_;
        case Kind::Text:
            return *text_ == *other.text_;
        case Kind::Boolean:
        case Kind::Error:
            return small_ == other.small_;
        case Kind::Empty:
            break;
    }
    return true;
}

CellView CellBlock::ownText(std::string text) {
    owned.push_back(std::make_unique<const std::string>(std::move(text)));
    return CellView::OfText(*owned.back());
}

CellBlock CellBlockOf(const Array2D& values) {
    CellBlock block;
    block.rows = values.rows;
    block.cols = values.cols;
    block.data.reserve(values.data.size());
    for (const CellValue& value : values.data) {
        if (const auto* text = std::get_if<std::string>(&value)) {
            block.data.push_back(block.ownText(*text));
        } else {
            block.data.emplace_back(value);
        }
    }
    return block;
}

Array2D ValuesOf(const CellBlock& block) {
    Array2D values;
    values.rows = block.rows;
    values.cols = block.cols;
    values.data.reserve(block.data.size());
    for (const CellView& cell : block.data)
        values.data.push_back(cell.value());
    return values;
}

}  // namespace xls
