#include "FeeCellText.h"

#include "gMjDisp.h"

namespace {

// Wide enough for any double written without exponent, sign and decimals included.
constexpr std::int16_t kWholeNumberWidth = 400;

}  // namespace

std::string NumberCellText(const FieldValue& value, std::int16_t width, std::int16_t decimals) {
    if (IsNull(value))
        return {};
    const double number = FieldNumber(value);
    std::string text = gMjDisp::Trim(gMjDisp::FormatNumberRight(number, width, decimals, false));
    // Text filling the whole width may have lost leading characters.
    if (text.size() >= static_cast<std::size_t>(width)) {
        text =
            gMjDisp::Trim(gMjDisp::FormatNumberRight(number, kWholeNumberWidth, decimals, false));
    }
    return text;
}

std::string TextCellText(const FieldValue& value) {
    return FieldText(value);
}

std::string FieldCellText(const RecordsetHelper& recordset, const RecordField& field) {
    const FieldValue value = recordset.Field(field.alias);
    return field.width == 0 ? TextCellText(value)
                            : NumberCellText(value, field.width, field.decimals);
}
