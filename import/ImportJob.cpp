#include "ImportJob.h"

#include "ImportState.h"
#include "ReadSheet.h"
#include "UpdateFromSheet.h"
#include "gMjDisp.h"

namespace {

const char* const kCrLf = "\r\n";
const char* const kImportFailed = "浄化槽金額データの取込に失敗しました";

// The trimmed path names an existing file whose name ends in .xls (any case).
bool CheckImportPath(ImportState& state, const std::string& txtPath) {
    const std::string path = gMjDisp::Trim(txtPath);
    if (path.empty()) {
        state.view.messages().warn("Excel取込先を指定してください");
        return false;
    }
    bool extensionOk = path.size() >= 4;
    if (extensionOk) {
        std::string extension = path.substr(path.size() - 4);
        for (char& c : extension) {
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        }
        extensionOk = extension == ".xls";
    }
    if (!extensionOk || !ImportFileExists(path)) {
        state.view.messages().warn("指定されたExcelファイルが見つかりません");
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

}  // namespace

std::string ImportSummaryText(const std::array<std::int32_t, 2>& ok,
                              const std::array<std::int32_t, 2>& ng) {
    return std::string("【 契約内訳情報 】") + kCrLf + CountLine("　取込ＯＫ：", ok[0]) + kCrLf +
           CountLine("　取込ＮＧ：", ng[0]) + kCrLf + kCrLf + kCrLf + "【 　請求情報 　】" + kCrLf +
           CountLine("　取込ＯＫ：", ok[1]) + kCrLf + CountLine("　取込ＮＧ：", ng[1]);
}

ImportJob::ImportJob(gMjMDB& mdb, ImportView& view)
    : state_(std::make_unique<ImportState>(mdb, view)) {}

ImportJob::~ImportJob() = default;

void ImportJob::RunImport(const std::string& txtPath) {
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
    MessageSink& messages = state.view.messages();
    if (!CheckImportPath(state, txtPath))
        return;
    if (!messages.confirm("浄化槽金額データの取込を開始してもよろしいですか "))
        return;

    LockWindow(state);
    state.ImportOkCount = {};
    state.ImportNgCount = {};
    for (std::int16_t sheet = 1; sheet <= 2; ++sheet) {
        if (!ReadSheet(state, sheet)) {
            messages.warn(kImportFailed);
            state.view.setErrorListVisible(false);
            state.view.clearErrorList();
            UnlockWindow(state);
            return;
        }
        const bool updated = UpdateFromSheet(state, sheet);
        // Sheet 2 reads into the same image; sheet 1's is no longer needed.
        state.SheetData.clear();
        if (!updated) {
            messages.warn(std::string(kImportFailed) +
                          (sheet == 1 ? "(契約内訳情報)" : "(請求情報)"));
            state.Errors.Reset();
            state.view.setErrorListVisible(false);
            state.view.clearErrorList();
            UnlockWindow(state);
            return;
        }
    }

    const bool nothing = state.ImportOkCount[0] == 0 && state.ImportNgCount[0] == 0 &&
                         state.ImportOkCount[1] == 0 && state.ImportNgCount[1] == 0;
    if (nothing) {
        messages.inform("指定されたExcelには取込対象となるデータがありません");
    } else {
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
    UnlockWindow(state);
}

void ImportJob::Release() {
    // A later run creates a new workbook object. A run under way still reads
    // from this one, so it goes only when none is.
    if (!state_->Running)
        state_->ExcelBook.reset();
}

std::int32_t ImportJob::ImportOkCount(int sheetIndex0) const {
    return state_->ImportOkCount.at(static_cast<std::size_t>(sheetIndex0));
}

std::int32_t ImportJob::ImportNgCount(int sheetIndex0) const {
    return state_->ImportNgCount.at(static_cast<std::size_t>(sheetIndex0));
}
