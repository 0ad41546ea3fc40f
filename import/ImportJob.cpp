#include "ImportJob.h"

#include <exception>

#include "Database.h"
#include "ImportState.h"
#include "MarkedCopy.h"
#include "ReadSheet.h"
#include "UpdateFromSheet.h"
#include "gMjDisp.h"

namespace {

const char* const kCrLf = "\r\n";
const std::string kImportFailed = "浄化槽金額データの取込に失敗しました";
const std::string kCheckFailed = "浄化槽金額データの確認に失敗しました";
const char* const kNoData = "指定されたExcelには取込対象となるデータがありません";

// The endings of the formats the import reads, compared in lower case.
bool HasImportExtension(const std::string& path) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos)
        return false;
    std::string extension = path.substr(dot);
    for (char& c : extension) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return extension == ".xls" || extension == ".xlsx" || extension == ".ods";
}

// The trimmed path names an existing file whose name ends in .xls, .xlsx or
// .ods (any case). A file that exists under another name is said to be of a
// format the import cannot read, not to be missing.
bool CheckImportPath(ImportState& state, const std::string& txtPath) {
    const std::string path = gMjDisp::Trim(txtPath);
    if (path.empty()) {
        state.view.messages().warn("Excel取込先を指定してください");
        return false;
    }
    if (!ImportFileExists(path)) {
        state.view.messages().warn("指定されたExcelファイルが見つかりません");
        return false;
    }
    if (!HasImportExtension(path)) {
        state.view.messages().warn(
            "指定されたファイルの形式は取り込めません（Excel形式（.xls/"
            ".xlsx）またはODF形式（.ods）の"
            "ファイルを指定してください）");
        return false;
    }
    state.ImportPath = path;
    return true;
}

void LockWindow(ImportState& state) {
    ImportView& view = state.view;
    view.setBusy(true);
    view.setProgressVisible(true);
    view.setPhaseVisible(true);
    view.setErrorListVisible(false);
    view.clearErrorList();
    state.Errors.Reset();
}

void UnlockWindow(ImportState& state) {
    ImportView& view = state.view;
    view.setProgressVisible(false);
    view.setPhaseVisible(false);
    view.setBusy(false);
    view.pumpEvents();
}

std::string CountLine(const char* caption, std::int32_t count) {
    return std::string(caption) + gMjDisp::FormatNumberRight(count, 8, 0, true) + " 件";
}

std::string SummaryText(const char* okCaption, const std::array<std::int32_t, 2>& ok,
                        const std::array<std::int32_t, 2>& ng) {
    return std::string("【 契約内訳情報 】") + kCrLf + CountLine(okCaption, ok[0]) + kCrLf +
           CountLine("　取込ＮＧ：", ng[0]) + kCrLf + kCrLf + kCrLf + "【 　請求情報 　】" + kCrLf +
           CountLine(okCaption, ok[1]) + kCrLf + CountLine("　取込ＮＧ：", ng[1]);
}

std::string SheetSuffix(std::int16_t sheet) {
    return sheet == 1 ? "(契約内訳情報)" : "(請求情報)";
}

// A run that ends before its result: the rows listed so far go.
void ShowRunFailure(ImportState& state, const std::string& text) {
    state.view.messages().warn(text);
    state.Errors.Reset();
    state.Findings.Reset();
    state.view.setErrorListVisible(false);
    state.view.clearErrorList();
}

bool NothingCounted(const ImportState& state) {
    return state.ImportOkCount[0] == 0 && state.ImportNgCount[0] == 0 &&
           state.ImportOkCount[1] == 0 && state.ImportNgCount[1] == 0;
}

}  // namespace

std::string ImportSummaryText(const std::array<std::int32_t, 2>& ok,
                              const std::array<std::int32_t, 2>& ng) {
    return SummaryText("　取込ＯＫ：", ok, ng);
}

std::string CheckSummaryText(const std::array<std::int32_t, 2>& ok,
                             const std::array<std::int32_t, 2>& ng, std::int32_t changing,
                             std::int32_t stale) {
    return SummaryText("　取込可能：", ok, ng) + kCrLf + kCrLf + kCrLf +
           CountLine("　変更される金額：", changing) + kCrLf +
           CountLine("　出力後にマスタが変更された行：", stale);
}

std::string ChangedRowsQuestion(std::int32_t rows) {
    return "出力後にマスタの金額が変更された行が " + std::to_string(rows) +
           " 件あります。変更された行も取り込みますか";
}

ImportJob::ImportJob(gMjMDB& mdb, ImportView& view)
    : state_(std::make_unique<ImportState>(mdb, view)) {}

ImportJob::~ImportJob() = default;

void ImportJob::RunImport(const std::string& txtPath) {
    Run(txtPath, false);
}

void ImportJob::RunCheck(const std::string& txtPath) {
    Run(txtPath, true);
}

void ImportJob::SetJournalEnabled(bool enabled) {
    state_->Journal.SetEnabled(enabled);
}

void ImportJob::SetChangedRowsCheckEnabled(bool enabled) {
    state_->Changed.SetEnabled(enabled);
}

void ImportJob::Run(const std::string& txtPath, bool checkOnly) {
    ImportState& state = *state_;
    // The window lets its events run between rows; a second F4 arriving
    // there would clear the sheet image that the running import walks and
    // try to open a transaction inside the running one.
    if (state.Running)
        return;
    struct RunningFlag {
        explicit RunningFlag(bool& flag) : flag_(flag) { flag_ = true; }
        ~RunningFlag() { flag_ = false; }
        bool& flag_;
    } running(state.Running);
    // However the run ends, a read-ahead of the billing sheet is ended
    // before the window is usable again (SheetPrefetch.h).
    struct PrefetchEnd {
        explicit PrefetchEnd(ImportState& state) : state_(state) {}
        ~PrefetchEnd() { state_.Prefetch.reset(); }
        ImportState& state_;
    } prefetchEnd(state);
    MessageSink& messages = state.view.messages();
    if (!CheckImportPath(state, txtPath))
        return;
    if (!messages.confirm(checkOnly ? "浄化槽金額データの確認を開始してもよろしいですか "
                                    : "浄化槽金額データの取込を開始してもよろしいですか ")) {
        return;
    }

    LockWindow(state);
    state.ImportOkCount = {};
    state.ImportNgCount = {};
    state.Findings.Reset();
    if (!checkOnly) {
        state.Journal.Start(state.ImportPath);
        if (ImportBothSheets())
            ShowImportResult();
        UnlockWindow(state);
        return;
    }
    // The check sees both sheets' rows in one state of the database; the
    // lock it holds goes before any message box waits for the user.
    ReadTransaction reading(state.mdb.gDatabase());
    for (std::int16_t sheet = 1; sheet <= 2; ++sheet) {
        if (!ReadSheet(state, sheet)) {
            reading.End();
            ShowRunFailure(state, kCheckFailed);
            UnlockWindow(state);
            return;
        }
        bool processed = false;
        if (const std::int32_t begun = reading.active() ? 0 : reading.Begin(); begun != 0) {
            messages.warn("データベースを読み込めません\r\n(" + std::to_string(begun) + ")");
        } else {
            processed = CheckSheet(state, sheet, state.Findings);
        }
        // Sheet 2 reads into the same image; sheet 1's is no longer needed.
        state.SheetData.clear();
        if (!processed) {
            reading.End();
            ShowRunFailure(state, kCheckFailed + SheetSuffix(sheet));
            UnlockWindow(state);
            return;
        }
    }
    reading.End();
    ShowCheckResult();
    UnlockWindow(state);
}

bool ImportJob::ImportBothSheets() {
    ImportState& state = *state_;
    MessageSink& messages = state.view.messages();
    state.Changed.Reset();
    struct ReadImage {
        SheetImage data;
        std::int32_t endRow = -1;
        std::int16_t columns = 0;
    };
    std::array<ReadImage, 2> images;
    bool billingRead = true;
    for (std::int16_t sheet = 1; sheet <= 2; ++sheet) {
        if (!ReadSheet(state, sheet)) {
            if (sheet == 1) {
                ShowRunFailure(state, kImportFailed);
                return false;
            }
            // As ever, the contract sheet is written before this is said.
            billingRead = false;
            break;
        }
        // The question only asks; each write compares its rows again. A
        // database that cannot be read here fails the write with its message.
        if (Database* db = state.mdb.gDatabase(); db != nullptr) {
            try {
                state.Changed.Scan(*db, state.SheetData, state.SheetEndRow, sheet);
            } catch (const std::exception&) {
                // Unreadable or out of memory: the write meets it and says so.
            }
        }
        ReadImage& image = images[static_cast<std::size_t>(sheet - 1)];
        image.data = std::move(state.SheetData);
        image.endRow = state.SheetEndRow;
        image.columns = state.SheetColumnCount;
        state.SheetData.clear();
    }
    if (state.Changed.Count() > 0) {
        switch (messages.ask(ChangedRowsQuestion(state.Changed.Count()))) {
            case MsgAnswer::Yes:
                state.Changed.answer = ChangedRowsAnswer::Overwrite;
                break;
            case MsgAnswer::No:
                state.Changed.answer = ChangedRowsAnswer::Skip;
                break;
            default:
                messages.inform(std::string("浄化槽金額データの取込を中止しました") + kCrLf +
                                "データベースには何も書き込まれていません");
                return false;
        }
    }
    for (std::int16_t sheet = 1; sheet <= 2; ++sheet) {
        if (sheet == 2 && !billingRead) {
            ShowRunFailure(state, kImportFailed);
            return false;
        }
        ReadImage& image = images[static_cast<std::size_t>(sheet - 1)];
        state.SheetData = std::move(image.data);
        state.SheetEndRow = image.endRow;
        state.SheetColumnCount = image.columns;
        const bool processed = UpdateFromSheet(state, sheet);
        state.SheetData.clear();
        if (!processed) {
            ShowRunFailure(state, kImportFailed + SheetSuffix(sheet));
            return false;
        }
    }
    return true;
}

void ImportJob::ShowImportResult() {
    ImportState& state = *state_;
    MessageSink& messages = state.view.messages();
    if (NothingCounted(state)) {
        messages.inform(kNoData);
        return;
    }
    const std::string summary = ImportSummaryText(state.ImportOkCount, state.ImportNgCount);
    if (state.Errors.HasImportErrors()) {
        ShowImportErrors(state.Book(), state.Errors, state.view);
        state.view.setErrorListVisible(true);
        messages.warn(std::string("浄化槽金額データの取込が完了しました") + kCrLf +
                      "取込できなかったデータを確認してください" + kCrLf + kCrLf + summary);
    } else {
        messages.inform(std::string("浄化槽金額データの取込が完了しました") + kCrLf + kCrLf +
                        summary);
    }
}

void ImportJob::ShowCheckResult() {
    ImportState& state = *state_;
    MessageSink& messages = state.view.messages();
    if (NothingCounted(state)) {
        messages.inform(kNoData);
        return;
    }
    const CheckFindings& findings = state.Findings;
    const std::string summary = CheckSummaryText(state.ImportOkCount, state.ImportNgCount,
                                                 findings.ChangingAmounts(), findings.StaleCount());
    const bool rejected = state.Errors.HasImportErrors();
    const bool stale = findings.StaleCount() > 0;
    if (!rejected && !stale) {
        messages.inform(std::string("浄化槽金額データの確認が完了しました") + kCrLf + kCrLf +
                        summary);
        return;
    }
    // The rows F4 would reject, in F4's order, then the stale rows.
    ShowImportErrors(state.Book(), state.Errors, state.view);
    for (const ImportError& row : findings.StaleRows())
        state.view.addErrorLine(ImportErrorLine(state.Book(), row));
    state.view.setErrorListVisible(true);
    messages.warn(std::string("浄化槽金額データの確認が完了しました") + kCrLf +
                  "一覧の内容を確認してください" + kCrLf + kCrLf + summary);
    if (messages.confirm("確認結果を印を付けたExcelに保存しますか")) {
        SaveMarkedCopy(state.Book(), state.ImportPath, state.Errors, findings.StaleRows(),
                       messages);
    }
}

void ImportJob::Release() {
    // A later run creates a new workbook object. A run under way still reads
    // from this one, so it goes only when none is.
    if (!state_->Running) {
        state_->SheetData.clear();  // its texts are the book's
        state_->ExcelBook.reset();
    }
}

std::int32_t ImportJob::ImportOkCount(int sheetIndex0) const {
    return state_->ImportOkCount.at(static_cast<std::size_t>(sheetIndex0));
}

std::int32_t ImportJob::ImportNgCount(int sheetIndex0) const {
    return state_->ImportNgCount.at(static_cast<std::size_t>(sheetIndex0));
}

const CheckFindings& ImportJob::Findings() const {
    return state_->Findings;
}
