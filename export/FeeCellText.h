#pragma once
// How a field of an export query becomes the text handed to a cell.

#include <cstdint>
#include <string>

#include "FieldValue.h"
#include "RecordsetHelper.h"
#include "pClExcel.h"

// One field of a query row as the row writers put it into a column.
struct RecordField {
    const char* alias;
    std::int16_t width = 0;  // 0: text, handed over unchanged
    std::int16_t decimals = 0;
};

// A number as FormatNumberRight gives it with "###0" (`decimals` places),
// trimmed. A value wider than `width` is written whole: cut to its rightmost
// digits it would name another customer or line when the workbook comes back.
// Null gives the empty text (an empty cell).
std::string NumberCellText(const FieldValue& value, std::int16_t width, std::int16_t decimals);

// Text as stored; Null gives the empty text.
std::string TextCellText(const FieldValue& value);

// The current row's field, by the rules above.
std::string FieldCellText(const RecordsetHelper& recordset, const RecordField& field);

// Puts a field into a cell as SetCellValue with the text of the rules above
// would, with fewer steps: a text field as stored, and a whole number whose
// digits the engine reads back as exactly that number as the number itself.
// The result is SetCellValue's.
bool SetFieldCell(pClExcel& excel, std::int32_t row, std::int16_t column, const FieldValue& value,
                  std::int16_t width, std::int16_t decimals);
