#include "pClExcel.h"

#include <sys/stat.h>

#include <algorithm>

#include "BookFileReader.h"
#include "CellText.h"
#include "TextCodec.h"
#include "XlsWriter.h"
#include "pClExcelShared.h"

// The object, its engine, books and sheets, and saving.

using xls::CellFormat;
using xls::CellRange;
using xls::CellValue;
using xls::RangeKind;
using namespace pclexcel;

namespace {

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

}  // namespace
pClExcel::pClExcel(MessageSink& messages) : messages_(messages) {
    Class_Initialize();
}

pClExcel::~pClExcel() {
    Class_Terminate();
}

// Starting the engine cannot fail, so the retry prompt of an application
// that does not start never appears.
void pClExcel::Class_Initialize() {
    mBookOpen = false;
    mBook.reset();
    mSheet = nullptr;
    mApp = true;
}

// Closes the book without saving and stops the engine; quiet when repeated.
void pClExcel::Class_Terminate() {
    if (mBookOpen)
        displayAlerts_ = false;
    mSheet = nullptr;
    mBook.reset();
    mApp = false;
}

void pClExcel::Report(const PlatformError& error) const {
    messages_.show(error.description() + "(" + std::to_string(error.number()) + ")", "",
                   MsgIcon::None, MsgButtons::Ok);
}

void pClExcel::RequireApp() const {
    if (!mApp)
        throw PlatformError(xls::kErrNoBook, "表計算エンジンが起動していません。");
}

xls::Workbook& pClExcel::RequireBook() const {
    RequireApp();
    if (!mBook)
        throw PlatformError(xls::kErrNoBook, "ブックが開かれていません。");
    return *mBook;
}

xls::Sheet& pClExcel::CurrentSheet() const {
    RequireBook();
    if (mSheet == nullptr)
        throw PlatformError(xls::kErrNoBook, "対象のシートが選ばれていません。");
    return *mSheet;
}

xls::Sheet& pClExcel::ActiveSheet() const {
    xls::Workbook& book = RequireBook();
    if (book.sheetCount() == 0)
        throw PlatformError(xls::kErrNoBook, "シートがありません。");
    return book.sheet(std::min(book.activeSheet, book.sheetCount() - 1));
}

std::size_t pClExcel::IndexOf(const xls::Sheet& sheet) const {
    for (std::size_t i = 0; i < mBook->sheetCount(); ++i) {
        if (&mBook->sheet(i) == &sheet)
            return i;
    }
    return 0;
}

void pClExcel::Activate(xls::Sheet& sheet) {
    if (!sheet.visible) {
        throw refused("Worksheet クラスの Activate メソッドが失敗しました(シート '" + sheet.name() +
                      "' は表示されていません)。");
    }
    mBook->activeSheet = IndexOf(sheet);
}

void pClExcel::CheckSheetName(const std::string& name, const xls::Sheet* renamed) const {
    const std::size_t len = textcodec::Utf16Length(name);
    const bool badChar = name.find_first_of(":\\/?*[]") != std::string::npos;
    if (len == 0 || len > 31 || badChar || name.front() == '\'' || name.back() == '\'') {
        throw refused("シート名 '" + name +
                      "' は使用できません。シート名は 31 文字以内で、: \\ / ? * [ ] "
                      "を含めることはできません。");
    }
    const auto found = mBook->findSheet(name);
    if (found && &mBook->sheet(*found) != renamed) {
        throw refused("シート名 '" + name + "' は既に使われています。");
    }
}

std::string pClExcel::UnusedSheetName(const std::string& base) const {
    for (int n = 2;; ++n) {
        std::string suffix = " (" + std::to_string(n) + ")";
        std::string stem = base;
        while (textcodec::Utf16Length(stem) + suffix.size() > 31 && !stem.empty()) {
            do {
                stem.pop_back();
            } while (!stem.empty() && (static_cast<unsigned char>(stem.back()) & 0xC0) == 0x80);
            if (!stem.empty() && static_cast<unsigned char>(stem.back()) >= 0xC0)
                stem.pop_back();
        }
        const std::string name = stem + suffix;
        if (!mBook->findSheet(name))
            return name;
    }
}

std::int16_t pClExcel::SheetCount() const {
    return static_cast<std::int16_t>(RequireBook().sheetCount());
}

bool pClExcel::OpenBook(const std::string& vBookName) {
    try {
        RequireApp();
        xls::BookFile file = xls::ReadBookFile(vBookName);
        if (!file.book || file.book->sheetCount() == 0) {
            throw PlatformError(xls::kErrDamaged, "'" + vBookName + "' にはシートがありません。");
        }
        mBook = std::move(file.book);
        mSheet = &mBook->sheet(0);
        // A save under the book's own name writes .xls: never over an .xlsx or .ods.
        bookPath_ = file.format == xls::BookFormat::Xls ? vBookName : std::string();
        mBookOpen = true;
        return true;
    } catch (const PlatformError& e) {
        Report(e);
        return false;
    }
}

bool pClExcel::NewBook(const std::string& vSheetsName) {
    try {
        RequireApp();
        mBook = std::make_unique<xls::Workbook>();
        mBook->addSheet("Sheet1");
        mBook->activeSheet = 0;
        bookPath_.clear();
        mSheet = &mBook->sheet(0);
        CheckSheetName(vSheetsName, mSheet);
        mSheet->setName(vSheetsName);
        mBookOpen = true;
        return true;
    } catch (const PlatformError& e) {
        Report(e);
        return false;
    }
}

bool pClExcel::NewSheets(const std::string& vName) {
    mSheet = nullptr;
    xls::Workbook& book = RequireBook();
    const std::size_t after = std::min(book.activeSheet, book.sheetCount() - 1);
    std::string name;
    for (std::size_t n = book.sheetCount() + 1;; ++n) {
        name = "Sheet" + std::to_string(n);
        if (!book.findSheet(name))
            break;
    }
    xls::Sheet& sheet = book.insertSheet(after + 1, name);
    book.activeSheet = after + 1;
    CheckSheetName(vName, &sheet);
    sheet.setName(vName);
    mSheet = &sheet;
    return true;
}

bool pClExcel::SheetsVisible(const std::string& vName, bool vMode) {
    try {
        xls::Workbook& book = RequireBook();
        const auto index = book.findSheet(vName);
        if (!index)
            throw PlatformError(xls::kErrNoSuchSheet, "シート '" + vName + "' がありません。");
        xls::Sheet& sheet = book.sheet(*index);
        if (!vMode && sheet.visible) {
            std::size_t shown = 0;
            for (std::size_t i = 0; i < book.sheetCount(); ++i)
                shown += book.sheet(i).visible;
            if (shown <= 1) {
                throw refused("ブックには表示されたシートが少なくとも 1 つ必要です。");
            }
        }
        sheet.visible = vMode;
        if (!vMode && book.activeSheet == *index) {
            for (std::size_t k = 1; k < book.sheetCount(); ++k) {
                const std::size_t i = (*index + k) % book.sheetCount();
                if (book.sheet(i).visible) {
                    book.activeSheet = i;
                    break;
                }
            }
        }
        return true;
    } catch (const PlatformError& e) {
        Report(e);
        return false;
    }
}

bool pClExcel::DeleteSheets(const std::string& vName, bool vMsgMode) {
    try {
        displayAlerts_ = vMsgMode;
        xls::Workbook& book = RequireBook();
        const auto index = book.findSheet(vName);
        if (!index)
            throw PlatformError(xls::kErrNoSuchSheet, "シート '" + vName + "' がありません。");
        xls::Sheet& sheet = book.sheet(*index);
        std::size_t shown = 0;
        for (std::size_t i = 0; i < book.sheetCount(); ++i)
            shown += book.sheet(i).visible;
        if (sheet.visible && shown <= 1) {
            throw refused("ブックには表示されたシートが少なくとも 1 つ必要です。");
        }
        bool remove = true;
        if (displayAlerts_) {
            remove = messages_.show("シート '" + vName + "' を削除します。よろしいですか?", "",
                                    MsgIcon::Question, MsgButtons::YesNo) == MsgAnswer::Yes;
        }
        if (remove) {
            if (mSheet == &sheet)
                mSheet = nullptr;
            const bool wasActive = book.activeSheet == *index;
            book.removeSheet(*index);
            if (wasActive && !book.sheet(book.activeSheet).visible) {
                for (std::size_t i = 0; i < book.sheetCount(); ++i) {
                    if (book.sheet(i).visible) {
                        book.activeSheet = i;
                        break;
                    }
                }
            }
        }
        displayAlerts_ = true;
        return true;
    } catch (const PlatformError& e) {
        Report(e);
        return false;
    }
}

bool pClExcel::ChangeSheets(const SheetRef& vName) {
    try {
        mSheet = nullptr;
        xls::Workbook& book = RequireBook();
        std::optional<std::size_t> index;
        if (const auto* name = std::get_if<std::string>(&vName)) {
            index = book.findSheet(*name);
        } else {
            const std::int32_t n = std::get<std::int32_t>(vName);
            if (n >= 1 && static_cast<std::size_t>(n) <= book.sheetCount()) {
                index = static_cast<std::size_t>(n - 1);
            }
        }
        if (!index) {
            throw PlatformError(xls::kErrNoSuchSheet,
                                "インデックスが有効範囲にありません(指定したシートがありません)。");
        }
        mSheet = &book.sheet(*index);
        Activate(*mSheet);
        return true;
    } catch (const PlatformError& e) {
        Report(e);
        return false;
    }
}

bool pClExcel::ChangeSheetName(const std::string& vName, const std::string& vNewname) {
    try {
        xls::Workbook& book = RequireBook();
        const auto index = book.findSheet(vName);
        if (!index)
            throw PlatformError(xls::kErrNoSuchSheet, "シート '" + vName + "' がありません。");
        xls::Sheet& sheet = book.sheet(*index);
        CheckSheetName(vNewname, &sheet);
        sheet.setName(vNewname);
        mSheet = &sheet;
        Activate(sheet);
        return true;
    } catch (const PlatformError& e) {
        Report(e);
        return false;
    }
}

bool pClExcel::InsertSheet(const std::string& vName, const std::string& vNewname,
                           std::int16_t vPos) {
    try {
        xls::Workbook& book = RequireBook();
        const auto index = book.findSheet(vName);
        if (!index)
            throw PlatformError(xls::kErrNoSuchSheet, "シート '" + vName + "' がありません。");
        const xls::Sheet& source = book.sheet(*index);
        book.copySheet(source, *index + 1, UnusedSheetName(source.name()));
        if (vPos < 1 || static_cast<std::size_t>(vPos) > book.sheetCount()) {
            throw PlatformError(
                xls::kErrNoSuchSheet,
                "インデックスが有効範囲にありません(シート番号 " + std::to_string(vPos) + ")。");
        }
        xls::Sheet& target = book.sheet(static_cast<std::size_t>(vPos - 1));
        CheckSheetName(vNewname, &target);
        target.setName(vNewname);
        mSheet = &target;
        Activate(target);
        return true;
    } catch (const PlatformError& e) {
        Report(e);
        return false;
    }
}

bool pClExcel::ExcelVisible(bool) {
    RequireApp();
    return true;
}

bool pClExcel::ExcelWindowState(std::int16_t) {
    RequireApp();
    return true;
}

bool pClExcel::BookSave(const std::string& vSaveFile, bool OverwriteFlg) {
    if (!mBookOpen)
        return false;
    try {
        xls::Workbook& book = RequireBook();
        displayAlerts_ = OverwriteFlg;
        const std::string target = vSaveFile.empty() ? bookPath_ : vSaveFile;
        if (target.empty()) {
            throw PlatformError(xls::kErrFileAccess,
                                "ブックはまだ保存されていないため、保存先のファイル名が必要です。");
        }
        if (!vSaveFile.empty() && displayAlerts_ && fileExists(target)) {
            const MsgAnswer answer =
                messages_.show("'" + target + "' は既に存在します。置き換えますか?", "",
                               MsgIcon::Question, MsgButtons::YesNo);
            if (answer != MsgAnswer::Yes) {
                throw PlatformError(xls::kErrSaveCancelled,
                                    "'" + target + "' への保存は取り消されました。");
            }
        }
        xls::WriteXlsFile(book, target);
        bookPath_ = target;
        return true;
    } catch (const PlatformError& e) {
        Report(e);
        return false;
    }
}

std::string pClExcel::GetSheetsName(std::int16_t vSheetNum) {
    if (!mApp || !mBook || vSheetNum < 1 ||
        static_cast<std::size_t>(vSheetNum) > mBook->sheetCount()) {
        return std::string();
    }
    return mBook->sheet(static_cast<std::size_t>(vSheetNum - 1)).name();
}

std::int32_t pClExcel::CopySheets(const std::string& vBookName, const std::string& vSheetName,
                                  std::int16_t vCopyPos) {
    try {
        RequireApp();
        std::unique_ptr<xls::Workbook> other = xls::ReadBookFile(vBookName).book;
        const auto index = other->findSheet(vSheetName);
        if (!index) {
            throw PlatformError(xls::kErrNoSuchSheet, "シート '" + vSheetName + "' がありません。");
        }
        xls::Workbook& book = RequireBook();
        std::size_t position = 0;
        if (vCopyPos != 0) {
            if (vCopyPos < 1 || static_cast<std::size_t>(vCopyPos) > book.sheetCount()) {
                throw PlatformError(xls::kErrNoSuchSheet, "インデックスが有効範囲にありません。");
            }
            position = static_cast<std::size_t>(vCopyPos);
        }
        const xls::Sheet& source = other->sheet(*index);
        const std::string name =
            book.findSheet(source.name()) ? UnusedSheetName(source.name()) : source.name();
        xls::Sheet& copy = book.copySheet(source, position, name);
        copy.visible = true;
        book.activeSheet = IndexOf(copy);
        return 0;
    } catch (const PlatformError& e) {
        return e.number();
    }
}
