#include "UpdateFromSheet.h"

#include <sqlite3.h>

#include <cmath>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "AmountConflict.h"
#include "Database.h"
#include "DatabaseRefusal.h"
#include "ImportState.h"
#include "PlatformError.h"
#include "RecordsetHelper.h"
#include "RowRules.h"
#include "Transaction.h"
#include "gMjDisp.h"

const char* const kBillingTableOpenMessage = "ファイルがオープンできません（浄化槽請求テーブル）";

namespace {

using rowrules::kCodeColumn;
using rowrules::kCustomerCodeColumn;
using rowrules::kFirstDataRow;
using rowrules::kLineNumberColumn;

const char* const kBasicTable = "浄化槽基本マスタ";
const char* const kPrimaryKey = "PrimaryKey";

struct SheetTables {
    const char* detailTable;
    const char* detailOpenMessage;
    const char* codeField;  // 作業コード / 部門コード
    const char* phase;
    const char* checkPhase;
};

SheetTables TablesOf(std::int16_t sheet) {
    if (sheet == 1) {
        return {"浄化槽契約内訳マスタ", "ファイルがオープンできません（浄化槽契約内訳マスタ）",
                "作業コード", "（契約内訳情報）Excelデータ取込中・・・",
                "（契約内訳情報）Excelデータ確認中・・・"};
    }
    return {"浄化槽請求テーブル", kBillingTableOpenMessage, "部門コード",
            "（請求情報）Excelデータ取込中・・・", "（請求情報）Excelデータ確認中・・・"};
}

// The fields the entry cells of a sheet are written to, in the order of the
// entry columns; on the billing sheet each month's flag, then its amount.
std::vector<std::string> RevisedFieldNames(std::int16_t sheet) {
    if (sheet == 1)
        return {"年間金額", "作業回数", "1回分の金額"};
    std::vector<std::string> names;
    for (int month = 1; month <= 12; ++month) {
        const std::string m = gMjDisp::FullWidthDigits(month);
        names.push_back("請求フラグ" + m);
        names.push_back("請求金額" + m);
    }
    return names;
}

enum class RowStatus { PassedOver = 0, Imported = 1, Rejected = 2 };

class SheetUpdate {
  public:
    // With `check` the rows are looked up but nothing is written.
    SheetUpdate(ImportState& state, std::int16_t sheet, AcceptedRowCheck* check)
        : state_(state),
          sheet_(sheet),
          tables_(TablesOf(sheet)),
          phase_(check != nullptr ? tables_.checkPhase : tables_.phase),
          check_(check) {}

    // False ends the sheet (the caller rolls back).
    bool ProcessRows() {
        const SheetImage& data = state_.SheetData;
        const std::int32_t endRow = state_.SheetEndRow;
        const std::size_t index = static_cast<std::size_t>(sheet_ - 1);
        for (std::int32_t row = kFirstDataRow; row <= endRow; ++row) {
            RowStatus status = RowStatus::PassedOver;
            if (rowrules::RowHasData(data, row, rowrules::SheetColumns(sheet_)) &&
                rowrules::RowHasRevision(data, sheet_, row)) {
                status = RowStatus::Rejected;
                bool ok = true;
                if (!ProcessRow(row, ok))
                    return false;
                if (ok)
                    status = RowStatus::Imported;
            }
            if (status == RowStatus::Imported)
                ++state_.ImportOkCount[index];
            if (status == RowStatus::Rejected)
                ++state_.ImportNgCount[index];
            ShowProgress(row, endRow);
        }
        return true;
    }

  private:
    // Rules, look-ups and the write of one counted row. `imported` tells
    // whether the row was stored; false as the result ends the sheet.
    bool ProcessRow(std::int32_t row, bool& imported) {
        imported = false;
        const SheetImage& data = state_.SheetData;
        ImportErrorList& errors = state_.Errors;
        Currency code;
        if (!rowrules::CheckCustomerCode(data, sheet_, row, errors, code))
            return true;
        if (!rowrules::CheckRevisedAmounts(data, sheet_, row, code, errors))
            return true;

        std::int32_t err = 0;
        if (!basic_) {
            basic_.emplace();
            basic_->Open(state_.mdb.gDbObject(), kBasicTable, 0, err);
            if (err != 0) {
                WarnOpenFailure("ファイルがオープンできません（浄化槽基本マスタ）", err);
                return false;
            }
        }
        // A customer's lines follow one another on the sheet, and nothing
        // writes the basic master while a sheet is imported: the previous
        // row's answer holds for the same customer.
        if (basicCode_ != code.scaled) {
            basic_->Move(0, kPrimaryKey, "=", {FieldValue{code.ToDouble()}}, basicErr_);
            basicCode_ = code.scaled;
        }
        err = basicErr_;
        if (err != 0) {
            errors.AddImportError(sheet_, kCustomerCodeColumn, row, code, "浄化槽",
                                  ImportErrorKind::NotInMaster);
            return true;
        }

        if (!detail_) {
            detail_.emplace();
            detail_->Open(state_.mdb.gDbObject(), tables_.detailTable, 0, err);
            if (err != 0) {
                WarnOpenFailure(tables_.detailOpenMessage, err);
                return false;
            }
            detail_->KeepChanges(check_ == nullptr && state_.Journal.Enabled());
        }
        // A line number beyond the 16-bit range names no line of the table.
        const std::optional<std::int16_t> line =
            rowrules::LineNumber(data.at(row, kLineNumberColumn));
        if (line) {
            detail_->Move(1, kPrimaryKey, "=",
                          {FieldValue{code.ToDouble()}, FieldValue{static_cast<double>(*line)}},
                          err);
        }
        if (!line || err != 0) {
            errors.AddImportError(sheet_, kCustomerCodeColumn, row, code,
                                  rowrules::LineItem(data, sheet_, row),
                                  ImportErrorKind::NotInMaster);
            return true;
        }
        const double sheetCode = rowrules::KeyCellNumber(data.at(row, kCodeColumn));
        if (sheetCode != FieldNumber(detail_->FieldRef(tables_.codeField))) {
            errors.AddImportError(sheet_, kCustomerCodeColumn, row, code,
                                  rowrules::LineItem(data, sheet_, row),
                                  ImportErrorKind::DiffersFromMaster);
            return true;
        }

        if (check_ != nullptr) {
            check_->Accepted(data, sheet_, row, *detail_);
            imported = true;
            return true;
        }
        // Compare and set: inside the write transaction nobody else changes
        // the row until the commit (a file's write lock, the server's table
        // lock), so what is compared here is what the write replaces.
        if (comparedFields_.empty())
            comparedFields_ = ComparedFieldPositions(sheet_, *detail_);
        if (const std::int16_t column =
                state_.Changed.RefusedColumn(data, sheet_, row, *detail_, comparedFields_);
            column != 0) {
            ImportError changed;
            changed.column = column;
            changed.row = row;
            changed.sheet = sheet_;
            changed.customerCode = code;
            changed.message = kStaleAmountMessage;
            errors.Add(std::move(changed));
            return true;
        }
        StageRevisedAmounts(row);
        detail_->Update(err);
        if (err != 0) {
            // A row the database refuses ends the sheet silently; a database
            // that refuses every write (locked, read-only, disk full) is said
            // so, or the user could not tell it from a bad row.
            const std::string reason = DatabaseRefusal(err);
            if (!reason.empty()) {
                state_.view.messages().warn("データベースに書き込めません\r\n" + reason + "(" +
                                            std::to_string(err) + ")");
            }
            return false;
        }
        state_.Journal.Record(tables_.detailTable, code.scaled / Currency::kScale, *line, *detail_);
        imported = true;
        return true;
    }

    // A table the database cannot open because it refuses the connection
    // altogether (lost, locked) is said so: the table itself is not at fault.
    void WarnOpenFailure(const std::string& message, std::int32_t err) {
        const std::string reason = DatabaseRefusal(err);
        state_.view.messages().warn(
            reason.empty() ? message : message + "\r\n" + reason + "(" + std::to_string(err) + ")");
    }

    // Stages the non-blank entry cells of an accepted row.
    void StageRevisedAmounts(std::int32_t row) {
        const SheetImage& data = state_.SheetData;
        if (sheet_ == 1) {
            const auto& entries = rowrules::EntryColumns(1);
            for (std::size_t i = 0; i < entries.size(); ++i) {
                const rowrules::CellNumber cell =
                    rowrules::ReadCellNumber(data.at(row, entries[i].column));
                if (!cell.blank)
                    detail_->SetField(RevisedField(i), FieldValue{cell.value});
            }
            return;
        }
        for (int month = 1; month <= 12; ++month) {
            const rowrules::CellNumber cell = rowrules::ReadCellNumber(data.at(row, 25 + month));
            if (cell.blank)
                continue;
            const auto flag = static_cast<std::size_t>(month - 1) * 2;
            detail_->SetField(RevisedField(flag), FieldValue{std::int64_t{cell.value > 0 ? 1 : 0}});
            detail_->SetField(RevisedField(flag + 1), FieldValue{cell.value});
        }
    }

    // The position of an entry column's field, found by name the first time
    // it is written (a field missing from the table fails that write only).
    int RevisedField(std::size_t i) {
        if (revisedFields_.empty())
            revisedFields_.assign(revisedNames_.size(), -1);
        int& position = revisedFields_[i];
        if (position < 0)
            position = detail_->FieldIndex(revisedNames_[i]);
        return position;
    }

    void ShowProgress(std::int32_t row, std::int32_t endRow) {
        state_.view.setPhase(phase_);
        int value = 10000;
        if (row <= endRow && endRow > 0) {
            value =
                static_cast<int>(static_cast<float>(row) / static_cast<float>(endRow) * 10000.0f);
        }
        state_.view.setProgress(value);
        state_.view.pumpEvents();
    }

    ImportState& state_;
    std::int16_t sheet_;
    SheetTables tables_;
    const std::string phase_;
    // Opened at the first row that reaches the database and kept for the
    // sheet, so that each row costs two key seeks and one update.
    std::optional<RecordsetHelper> basic_;
    std::optional<std::int64_t> basicCode_;  // the customer last sought in basic_
    std::int32_t basicErr_ = 0;              // and whether it was found
    std::optional<RecordsetHelper> detail_;
    const std::vector<std::string> revisedNames_ = RevisedFieldNames(sheet_);
    std::vector<int> revisedFields_;   // positions in detail_, -1 until first written
    std::vector<int> comparedFields_;  // positions in detail_, found at the first compare
    AcceptedRowCheck* check_;
};

// A server lets other workstations change rows while a transaction reads
// them: the table the sheet writes is locked against writers first, so that
// every row compared with the workbook stays as compared until the commit.
// Readers go on; a file's write transaction has excluded writers already.
void LockDetailTable(Database& db, std::int16_t sheet) {
    if (db.dialect() != SqlDialect::PostgreSQL)
        return;
    db.executeScript("LOCK TABLE " + QuoteSqlName(TablesOf(sheet).detailTable) +
                     " IN SHARE ROW EXCLUSIVE MODE");
}

void ShowTransactionError(ImportState& state, const std::string& what, std::int32_t rc) {
    const std::string reason = DatabaseRefusal(rc);
    state.view.messages().warn(what + "\r\n" + reason + "(" + std::to_string(rc) + ")");
}

// The rows of one sheet with the window's progress; writes them in one
// transaction unless `check` is given (the caller holds a read transaction).
bool RunSheet(ImportState& state, std::int16_t sheet, AcceptedRowCheck* check) {
    const std::size_t index = static_cast<std::size_t>(sheet - 1);
    JobView& view = state.view;
    bool result = false;
    {
        TransactionGuard transaction(state.mdb.gDatabase());
        view.setPhase("");
        view.setPhaseVisible(true);
        view.setProgress(0);
        view.setProgressVisible(true);
        state.ImportOkCount[index] = 0;
        state.ImportNgCount[index] = 0;

        // Without a transaction every row would be stored on its own and a
        // failure half way would leave the sheet half written.
        const std::int32_t begun = check != nullptr ? 0 : transaction.Begin();
        if (begun != 0) {
            ShowTransactionError(state, "データベースの更新を開始できません", begun);
        } else {
            try {
                bool processed = false;
                // The journal of the sheet's changes is stored with them or not at all.
                if (check == nullptr) {
                    state.Changed.BeginWrite(*state.mdb.gDatabase(), sheet);
                    LockDetailTable(*state.mdb.gDatabase(), sheet);
                    state.Journal.BeginSheet(*state.mdb.gDatabase(), sheet);
                }
                {
                    // The record sets go before the commit, so that no statement of
                    // theirs is still open when the transaction ends.
                    SheetUpdate update(state, sheet, check);
                    processed = update.ProcessRows();
                }
                if (processed && check == nullptr) {
                    state.Journal.EndSheet(*state.mdb.gDatabase(), sheet,
                                           state.ImportOkCount[index], state.ImportNgCount[index]);
                }
                if (processed) {
                    const std::int32_t committed = check != nullptr ? 0 : transaction.Commit();
                    if (committed == 0) {
                        result = true;
                    } else {
                        ShowTransactionError(state, "データベースへの書込みを確定できません",
                                             committed);
                    }
                }
            } catch (const PlatformError& e) {
                transaction.Rollback();
                view.messages().warn(e.description());
            } catch (const std::bad_alloc&) {
                transaction.Rollback();
                view.messages().warn("メモリが不足しています");
            } catch (const std::exception& e) {
                transaction.Rollback();
                view.messages().warn(e.what());
            }
        }
        // Leaving the scope rolls back whatever was not committed.
    }
    view.setPhase("");
    view.setPhaseVisible(false);
    view.setProgress(10000);
    view.setProgressVisible(false);
    view.pumpEvents();
    return result;
}

}  // namespace

bool UpdateFromSheet(ImportState& state, std::int16_t sheet) {
    return RunSheet(state, sheet, nullptr);
}

bool CheckSheet(ImportState& state, std::int16_t sheet, AcceptedRowCheck& check) {
    return RunSheet(state, sheet, &check);
}
