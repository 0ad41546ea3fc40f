#include "AmountConflict.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <optional>

#include "Database.h"
#include "ImportErrors.h"
#include "RecordsetHelper.h"
#include "RowRules.h"
#include "gMjDisp.h"

namespace {

std::vector<AmountColumns> MakeContractAmounts() {
    return {{14, 17, "年間金額"}, {15, 18, "作業回数"}, {16, 19, "1回分の金額"}};
}

std::vector<AmountColumns> MakeBillingAmounts() {
    std::vector<AmountColumns> amounts;
    for (int month = 1; month <= 12; ++month) {
        amounts.push_back({static_cast<std::int16_t>(13 + month),
                           static_cast<std::int16_t>(25 + month),
                           "請求金額" + gMjDisp::FullWidthDigits(month)});
    }
    return amounts;
}

// A field's number without the call for the usual whole number.
double NumberOf(const FieldValue& value) {
    if (const auto* whole = std::get_if<std::int64_t>(&value))
        return static_cast<double>(*whole);
    return FieldNumber(value);
}

// The number the export put into the current-amount cell for a field:
// nothing for Null (an empty cell), otherwise the value rounded to a whole
// number as "###0" rounds it (halves away from zero).
std::optional<double> ExportedNumber(const FieldValue& value) {
    if (IsNull(value))
        return std::nullopt;
    if (const auto* whole = std::get_if<std::int64_t>(&value))
        return static_cast<double>(*whole);
    return std::round(FieldNumber(value));
}

// ReadCellNumber without the call for the usual cell, a number.
rowrules::CellNumber CellNumberOf(const xls::CellView& cell) {
    if (cell.kind() == xls::CellView::Kind::Number)
        return {false, true, cell.number()};
    return rowrules::ReadCellNumber(cell);
}

inline bool SameAsExported(const xls::CellView& cell, const FieldValue& field) {
    const rowrules::CellNumber shown = CellNumberOf(cell);
    const std::optional<double> exported = ExportedNumber(field);
    if (!exported)
        return shown.blank;
    return !shown.blank && shown.numeric && shown.value == *exported;
}

// ChangedAmountColumn over the row's cells; `held(i)` is asked only for the
// fields whose entry is not blank, so that a scan reads no other value.
template <class Held>
std::int16_t FirstChangedColumn(const SheetImage::RowCells& cells, std::int16_t sheet,
                                Held&& held) {
    const std::vector<AmountColumns>& amounts = ComparedAmounts(sheet);
    for (std::size_t i = 0; i < amounts.size(); ++i) {
        const rowrules::CellNumber entry = CellNumberOf(cells.at(amounts[i].entry));
        if (entry.blank)
            continue;
        const FieldValue& field = held(i);
        // Holding what the entry writes already (the same workbook imported
        // again after its billing sheet failed, say), the field loses nothing.
        if (!SameAsExported(cells.at(amounts[i].current), field) &&
            (IsNull(field) || NumberOf(field) != entry.value))
            return amounts[i].current;
    }
    return 0;
}

// The rules under which the write passes a row over or rejects it before it
// looks at the database.
bool PassesRowRules(const SheetImage& data, std::int16_t sheet, std::int32_t row) {
    ImportErrorList scratch;
    Currency code;
    return rowrules::RowHasData(data, row, rowrules::SheetColumns(sheet)) &&
           rowrules::RowHasRevision(data, sheet, row) &&
           rowrules::CheckCustomerCode(data, sheet, row, scratch, code) &&
           rowrules::CheckRevisedAmounts(data, sheet, row, code, scratch);
}

const char* DetailTable(std::int16_t sheet) {
    return sheet == 1 ? "浄化槽契約内訳マスタ" : "浄化槽請求テーブル";
}

// The count of commits other connections made to a file, as this one has
// seen it; none on a server.
std::optional<long long> OtherWritersVersion(Database& db) {
    if (db.dialect() != SqlDialect::SQLite)
        return std::nullopt;
    Statement& version = db.cached("PRAGMA data_version");
    std::optional<long long> result;
    if (version.step())
        result = version.columnInt(0);
    version.reset();
    return result;
}

// A record's key in one number: the customer code and the 16-bit line.
std::int64_t RecordKey(std::int64_t code, std::int64_t line) {
    return code * 65536 + (line & 0xffff);
}

}  // namespace

const std::vector<AmountColumns>& ComparedAmounts(std::int16_t sheet) {
    static const std::vector<AmountColumns> contract = MakeContractAmounts();
    static const std::vector<AmountColumns> billing = MakeBillingAmounts();
    return sheet == 1 ? contract : billing;
}

std::int16_t ChangedAmountColumn(const SheetImage& data, std::int16_t sheet, std::int32_t row,
                                 const std::function<const FieldValue&(std::size_t)>& field) {
    return FirstChangedColumn(data.row(row), sheet, field);
}

std::int16_t ChangedAmountColumn(const SheetImage& data, std::int16_t sheet, std::int32_t row,
                                 const RecordsetHelper& record) {
    return ChangedAmountColumn(data, sheet, row, record, ComparedFieldPositions(sheet, record));
}

std::vector<int> ComparedFieldPositions(std::int16_t sheet, const RecordsetHelper& record) {
    std::vector<int> fields;
    for (const AmountColumns& amount : ComparedAmounts(sheet))
        fields.push_back(record.FieldIndex(amount.field));
    return fields;
}

std::int16_t ChangedAmountColumn(const SheetImage& data, std::int16_t sheet, std::int32_t row,
                                 const RecordsetHelper& record, const std::vector<int>& fields) {
    return FirstChangedColumn(data.row(row), sheet, [&](std::size_t i) -> const FieldValue& {
        return record.FieldRef(fields[i]);
    });
}

void ChangedRows::Scan(Database& db, const SheetImage& data, std::int32_t endRow,
                       std::int16_t sheet) {
    const auto index = static_cast<std::size_t>(sheet - 1);
    scannedVersion_[index].reset();
    sharedRecord_[index].clear();
    if (!enabled_)
        return;
    // Read before the table is: a commit made while the scan reads counts.
    const std::optional<long long> version = OtherWritersVersion(db);
    // The rows the import may write, by their record's key. Of the row rules
    // only the customer code's is asked here; the others only of the few rows
    // found changed and of rows naming one record (they cost as much again
    // as the comparison).
    std::vector<std::pair<std::int64_t, std::int32_t>> rows;
    ImportErrorList scratch;
    for (std::int32_t row = rowrules::kFirstDataRow; row <= endRow; ++row) {
        Currency code;
        if (!rowrules::CheckCustomerCode(data, sheet, row, scratch, code)) {
            scratch.Reset();
            continue;
        }
        if (code.scaled % Currency::kScale != 0)
            continue;
        const std::optional<std::int16_t> line =
            rowrules::LineNumber(data.at(row, rowrules::kLineNumberColumn));
        if (line)
            rows.emplace_back(RecordKey(code.scaled / Currency::kScale, *line), row);
    }
    // An exported sheet is in key order already.
    if (!std::is_sorted(rows.begin(), rows.end()))
        std::sort(rows.begin(), rows.end());
    for (std::size_t first = 0; first < rows.size();) {
        std::size_t last = first + 1;
        while (last < rows.size() && rows[last].first == rows[first].first)
            ++last;
        if (last - first > 1) {
            std::vector<std::int32_t> written;
            for (std::size_t i = first; i < last; ++i) {
                if (PassesRowRules(data, sheet, rows[i].second))
                    written.push_back(rows[i].second);
            }
            if (written.size() > 1)
                sharedRecord_[index].insert(written.begin(), written.end());
        }
        first = last;
    }
    if (!rows.empty())
        ScanTable(db, data, sheet, rows);
    scannedVersion_[index] = version;
}

void ChangedRows::ScanTable(Database& db, const SheetImage& data, std::int16_t sheet,
                            const std::vector<std::pair<std::int64_t, std::int32_t>>& rows) {
    const std::vector<AmountColumns>& amounts = ComparedAmounts(sheet);
    std::string sql = std::string("SELECT \"得意先コード\", \"ＩＤ\", ") +
                      (sheet == 1 ? "\"作業コード\"" : "\"部門コード\"");
    for (const AmountColumns& amount : amounts)
        sql += ", " + QuoteSqlName(amount.field);
    // The records of customers before the sheet's first and after its last
    // are passed over without their amounts read; the unary plus keeps the
    // key's index out of it (a seek per record costs more than the scan).
    Statement table = db.prepare(sql + " FROM " + QuoteSqlName(DetailTable(sheet)) +
                                 " WHERE +\"得意先コード\" BETWEEN ? AND ?");
    table.bindInt(1, rows.front().first / 65536);
    table.bindInt(2, rows.back().first / 65536);
    Statement& basic =
        db.cached("SELECT 1 FROM \"浄化槽基本マスタ\" WHERE \"得意先コード\" = ? LIMIT 1");
    std::vector<FieldValue> values(amounts.size());
    std::uint32_t read = 0;  // the bits of the values read from the record under the cursor
    const auto held = [&](std::size_t i) -> const FieldValue& {
        if ((read & (1u << i)) == 0) {
            table.columnInto(static_cast<int>(3 + i), values[i]);
            read |= 1u << i;
        }
        return values[i];
    };
    FieldValue codeField;
    // The table is read mostly in the sheet's order: the next record is
    // looked for where the last one was found first.
    std::size_t next = 0;
    while (table.step()) {
        const std::int64_t code = table.columnInt(0);
        const std::int64_t id = table.columnInt(1);
        // A sheet's line number is 16-bit: a record beyond names no row.
        if (id < INT16_MIN || id > INT16_MAX)
            continue;
        const std::int64_t key = RecordKey(code, id);
        std::size_t first = next;
        if (first >= rows.size() || rows[first].first != key) {
            first = static_cast<std::size_t>(
                std::lower_bound(rows.begin(), rows.end(),
                                 std::pair<std::int64_t, std::int32_t>(key, INT32_MIN)) -
                rows.begin());
            if (first == rows.size() || rows[first].first != key)
                continue;
        }
        std::size_t last = first + 1;
        while (last < rows.size() && rows[last].first == key)
            ++last;
        next = last;
        read = 0;
        for (std::size_t i = first; i < last; ++i) {
            const std::int32_t row = rows[i].second;
            const std::int16_t column = FirstChangedColumn(data.row(row), sheet, held);
            if (column == 0)
                continue;
            // The write passes over or rejects a row that breaks a rule, and
            // rejects a line whose code differs from the sheet's.
            if (!PassesRowRules(data, sheet, row))
                continue;
            table.columnInto(2, codeField);
            if (rowrules::KeyCellNumber(data.at(row, rowrules::kCodeColumn)) !=
                FieldNumber(codeField))
                continue;
            basic.bindInt(1, code);
            const bool customer = basic.step();
            basic.reset();
            if (!customer)
                continue;
            for (std::size_t field = 0; field < values.size(); ++field)
                held(field);
            seen_[{sheet, row}] = Seen{values, column};
        }
    }
}

void ChangedRows::Reset() {
    seen_.clear();
    scannedVersion_ = {};
    sharedRecord_ = {};
    unchangedSinceScan_ = {};
    answer = ChangedRowsAnswer::NoneFound;
}

void ChangedRows::BeginWrite(Database& db, std::int16_t sheet) {
    const auto index = static_cast<std::size_t>(sheet - 1);
    unchangedSinceScan_[index] = false;
    const std::optional<long long> scanned = scannedVersion_[index];
    // This connection itself writes nothing in between but the sheets, each
    // its own table, which the version does not count.
    unchangedSinceScan_[index] = scanned && OtherWritersVersion(db) == scanned;
}

std::int16_t ChangedRows::RefusedColumn(const SheetImage& data, std::int16_t sheet,
                                        std::int32_t row, const RecordsetHelper& record,
                                        const std::vector<int>& fields) const {
    if (!enabled_)
        return 0;
    const auto index = static_cast<std::size_t>(sheet - 1);
    const auto seen = seen_.find({sheet, row});
    if (unchangedSinceScan_[index] && !sharedRecord_[index].contains(row)) {
        // The record holds what the scan read: the comparison's answer is the scan's.
        if (seen == seen_.end() || answer == ChangedRowsAnswer::Overwrite)
            return 0;
        return seen->second.column;
    }
    const std::int16_t column = ChangedAmountColumn(data, sheet, row, record, fields);
    if (column == 0 || answer != ChangedRowsAnswer::Overwrite)
        return column;
    if (seen == seen_.end())
        return column;  // changed after the question: the clerk agreed to nothing
    const std::vector<AmountColumns>& amounts = ComparedAmounts(sheet);
    for (std::size_t i = 0; i < amounts.size(); ++i) {
        if (!SameFieldValue(seen->second.values[i], record.FieldRef(fields[i])))
            return amounts[i].current;
    }
    return 0;
}
