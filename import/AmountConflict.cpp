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

// The number the export put into the current-amount cell for a field:
// nothing for Null (an empty cell), otherwise the value rounded to a whole
// number as "###0" rounds it (halves away from zero).
std::optional<double> ExportedNumber(const FieldValue& value) {
    if (IsNull(value))
        return std::nullopt;
    return std::round(FieldNumber(value));
}

bool SameAsExported(const xls::CellView& cell, const FieldValue& field) {
    const rowrules::CellNumber shown = rowrules::ReadCellNumber(cell);
    const std::optional<double> exported = ExportedNumber(field);
    if (!exported)
        return shown.blank;
    return !shown.blank && shown.numeric && shown.value == *exported;
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
    const std::vector<AmountColumns>& amounts = ComparedAmounts(sheet);
    for (std::size_t i = 0; i < amounts.size(); ++i) {
        const rowrules::CellNumber entry = rowrules::ReadCellNumber(data.at(row, amounts[i].entry));
        if (entry.blank)
            continue;
        const FieldValue& held = field(i);
        // Holding what the entry writes already (the same workbook imported
        // again after its billing sheet failed, say), the field loses nothing.
        if (!SameAsExported(data.at(row, amounts[i].current), held) &&
            (IsNull(held) || FieldNumber(held) != entry.value))
            return amounts[i].current;
    }
    return 0;
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
    return ChangedAmountColumn(data, sheet, row, [&](std::size_t i) -> const FieldValue& {
        return record.FieldRef(fields[i]);
    });
}

void ChangedRows::Scan(Database& db, const SheetImage& data, std::int32_t endRow,
                       std::int16_t sheet) {
    const auto index = static_cast<std::size_t>(sheet - 1);
    scannedVersion_[index].reset();
    sharedRecord_[index].clear();
    // Read before the table is: a commit made while the scan reads counts.
    const std::optional<long long> version = OtherWritersVersion(db);
    // The rows the import would write, by their record's key.
    std::vector<std::pair<std::int64_t, std::int32_t>> rows;
    ImportErrorList scratch;
    for (std::int32_t row = rowrules::kFirstDataRow; row <= endRow; ++row) {
        Currency code;
        if (!rowrules::RowHasData(data, row, rowrules::SheetColumns(sheet)) ||
            !rowrules::RowHasRevision(data, sheet, row) ||
            !rowrules::CheckCustomerCode(data, sheet, row, scratch, code) ||
            !rowrules::CheckRevisedAmounts(data, sheet, row, code, scratch) ||
            code.scaled % Currency::kScale != 0) {
            continue;
        }
        const std::optional<std::int16_t> line =
            rowrules::LineNumber(data.at(row, rowrules::kLineNumberColumn));
        if (line)
            rows.emplace_back(RecordKey(code.scaled / Currency::kScale, *line), row);
    }
    std::sort(rows.begin(), rows.end());
    for (std::size_t i = 1; i < rows.size(); ++i) {
        if (rows[i].first == rows[i - 1].first) {
            sharedRecord_[index].insert(rows[i - 1].second);
            sharedRecord_[index].insert(rows[i].second);
        }
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
    Statement table = db.prepare(sql + " FROM " + QuoteSqlName(DetailTable(sheet)));
    Statement& basic =
        db.cached("SELECT 1 FROM \"浄化槽基本マスタ\" WHERE \"得意先コード\" = ? LIMIT 1");
    std::vector<FieldValue> values(amounts.size());
    FieldValue codeField;
    while (table.step()) {
        const std::int64_t code = table.columnInt(0);
        const std::int64_t id = table.columnInt(1);
        // A sheet's line number is 16-bit: a record beyond names no row.
        if (id < INT16_MIN || id > INT16_MAX)
            continue;
        const auto [first, last] =
            std::equal_range(rows.begin(), rows.end(),
                             std::pair<std::int64_t, std::int32_t>(RecordKey(code, id), INT32_MIN),
                             [](const auto& a, const auto& b) { return a.first < b.first; });
        if (first == last)
            continue;
        table.columnInto(2, codeField);
        for (std::size_t i = 0; i < values.size(); ++i)
            table.columnInto(static_cast<int>(3 + i), values[i]);
        for (auto it = first; it != last; ++it) {
            const std::int32_t row = it->second;
            // A line whose code differs from the sheet's is rejected, not written.
            if (rowrules::KeyCellNumber(data.at(row, rowrules::kCodeColumn)) !=
                FieldNumber(codeField))
                continue;
            const std::int16_t column = ChangedAmountColumn(
                data, sheet, row, [&](std::size_t i) -> const FieldValue& { return values[i]; });
            if (column == 0)
                continue;
            basic.bindInt(1, code);
            const bool customer = basic.step();
            basic.reset();
            if (customer)
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
