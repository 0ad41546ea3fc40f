// The fee workbook saved as .xlsx or .ods: the path check of every ending,
// the same import (messages, rows written, error list) and the same check
// with its marked copy (an .xls beside it) as for the .xls itself, and files
// named as workbooks whose content is none.

#include <gtest/gtest.h>

#include "BookFileReader.h"
#include "ImportJob.h"
#include "ImportTestSupport.h"
#include "ZipBookWriter.h"

using namespace importtest;

namespace {

const std::string kConfirm = "浄化槽金額データの取込を開始してもよろしいですか ";
const std::string kFailed = "浄化槽金額データの取込に失敗しました";
const std::string kNotFound = "指定されたExcelファイルが見つかりません";
const std::string kFormat =
    "指定されたファイルの形式は取り込めません（Excel形式（.xls/.xlsx）またはODF形式（.ods）の"
    "ファイルを指定してください）";

struct Fixture {
    explicit Fixture(const std::string& database = "septic.db")
        : opened(MakeDatabase(dir, database)), job(opened.mdb, view) {
        Database& db = opened.db();
        AddCustomer(db, 12345);
        AddContractLine(db, 12345, 1, 10, 12000, 12, 1000);
        AddContractLine(db, 12345, 2, 20, 24000, 4, 6000);
        AddBillingLine(db, 12345, 3, 2, 1000);
    }
    TempDir dir;
    OpenedDatabase opened;
    TestImportView view;
    ImportJob job;
};

// One good contract line, one rejected (text in an amount), one good billing line.
std::vector<SheetSpec> Sheets() {
    SheetSpec contract = ContractSheet();
    contract.rows.push_back(ContractRow(12345.0, 1.0, 10.0, "清掃", 13200.0, {}, 1100.0));
    contract.rows.push_back(ContractRow(12345.0, 2.0, 20.0, "点検", std::string("未定"), {}, {}));
    SheetSpec billing = BillingSheet();
    billing.rows.push_back(BillingRow(12345.0, 3.0, 2.0, "浄化槽清掃", {{4, 1100.0}, {5, true}}));
    return {contract, billing};
}

// The workbook as .xls, and the same cells saved as `extension`.
std::string WriteAs(const TempDir& dir, const std::string& extension) {
    const std::string xls = dir.file("source.xls");
    WriteWorkbook(xls, Sheets());
    const std::string path = dir.file("fee" + extension);
    const xls::BookFile file = xls::ReadBookFile(xls);
    if (extension == ".xlsx")
        zipbook::WriteXlsxBook(path, *file.book);
    else if (extension == ".ods")
        zipbook::WriteOdsBook(path, *file.book);
    else
        std::filesystem::copy_file(xls, path);
    return path;
}

struct Outcome {
    std::vector<std::string> texts;
    std::vector<std::string> errorLines;
    std::string annual1, perVisit1, annual2, april, may;
    bool operator==(const Outcome&) const = default;
};

std::string Text(const FieldValue& v) {
    if (const auto* n = std::get_if<std::int64_t>(&v))
        return std::to_string(*n);
    if (const auto* d = std::get_if<double>(&v))
        return std::to_string(*d);
    return "null";
}

Outcome Import(const std::string& extension) {
    Fixture f;
    f.job.RunImport(WriteAs(f.dir, extension));
    Outcome o{f.view.texts(), f.view.errorLines, {}, {}, {}, {}, {}};
    const ContractRecord line1 = ReadContract(f.opened.db(), 12345, 1);
    const ContractRecord line2 = ReadContract(f.opened.db(), 12345, 2);
    o.annual1 = Text(line1.annual);
    o.perVisit1 = Text(line1.perVisit);
    o.annual2 = Text(line2.annual);
    o.april = Text(ReadBillingMonth(f.opened.db(), 12345, 3, 4).second);
    o.may = Text(ReadBillingMonth(f.opened.db(), 12345, 3, 5).second);
    return o;
}

}  // namespace

TEST(ImportFormats, PathCheckOfEveryEnding) {
    Fixture f;
    const std::string book = WriteAs(f.dir, ".xls");
    const auto copy = [&](const std::string& name) {
        std::filesystem::copy_file(book, f.dir.file(name));
        return f.dir.file(name);
    };
    std::filesystem::create_directory(f.dir.file("folder.xlsx"));
    const struct {
        std::string path;
        std::string first;  // the first message
    } cases[] = {
        {copy("a.xls"), kConfirm},
        {copy("b.XLS"), kConfirm},
        {copy("c.xlsx"), kConfirm},
        {copy("d.XlsX"), kConfirm},
        {copy("e.ods"), kConfirm},
        {copy("f.ODS"), kConfirm},
        {copy("g.csv"), kFormat},
        {copy("h.txt"), kFormat},
        {copy("i.xls.bak"), kFormat},
        {copy("noending"), kFormat},
        {copy("j.xlsm"), kFormat},
        {f.dir.file("missing.xls"), kNotFound},
        {f.dir.file("missing.xlsx"), kNotFound},
        {f.dir.file("missing.ods"), kNotFound},
        {f.dir.file("missing.csv"), kNotFound},
        {f.dir.file("folder.xlsx"), kNotFound},
    };
    for (const auto& c : cases) {
        f.view.recorded.clear();
        f.view.recorded.answerNext(MsgAnswer::No);
        f.job.RunImport(c.path);
        ASSERT_EQ(f.view.texts().size(), 1u) << c.path;
        EXPECT_EQ(f.view.texts()[0], c.first) << c.path;
        EXPECT_EQ(f.view.recorded.shown[0].icon,
                  c.first == kConfirm ? MsgIcon::Question : MsgIcon::Exclamation);
    }
    EXPECT_TRUE(f.view.busyChanges.empty());
}

TEST(ImportFormats, TheSameImportInEveryFormat) {
    const Outcome xls = Import(".xls");
    ASSERT_EQ(xls.texts.size(), 2u);
    EXPECT_EQ(xls.annual1, "13200");
    EXPECT_EQ(xls.annual2, "24000");
    EXPECT_EQ(xls.april, "1000") << "the billing row is rejected for its TRUE";
    ASSERT_EQ(xls.errorLines.size(), 2u);
    for (const std::string extension : {".xlsx", ".ods"})
        EXPECT_EQ(Import(extension), xls) << extension;
}

TEST(ImportFormats, TheCheckMarksACopyBesideAsXls) {
    for (const std::string extension : {".xlsx", ".ods"}) {
        Fixture f;
        const std::string path = WriteAs(f.dir, extension);
        f.job.RunCheck(path);
        const std::string copy = f.dir.file("fee_確認結果.xls");
        EXPECT_EQ(f.view.texts().back(), "確認結果を保存しました\r\n" + copy) << extension;
        EXPECT_EQ(xls::ReadBookFile(copy).format, xls::BookFormat::Xls);
        EXPECT_EQ(xls::ReadBookFile(path).format,
                  extension == ".ods" ? xls::BookFormat::Ods : xls::BookFormat::Xlsx);
        // The copy imports as the workbook does: the same rows are rejected.
        Fixture again("septic2.db");
        again.job.RunImport(copy);
        EXPECT_EQ(again.job.ImportOkCount(0), 1);
        EXPECT_EQ(again.job.ImportNgCount(0), 1);
    }
}

TEST(ImportFormats, ContentNoWorkbookFailsWithTheReason) {
    Fixture f;
    const std::string book = WriteAs(f.dir, ".xlsx");
    const auto write = [&](const std::string& name, const std::string& bytes) {
        std::ofstream(f.dir.file(name), std::ios::binary) << bytes;
        return f.dir.file(name);
    };
    zipbook::WriteZip(f.dir.file("document.xlsx"), {{"word/document.xml", "<w/>"}});
    const struct {
        std::string path;
        std::string reason;  // a part of OpenBook's message
    } cases[] = {
        {write("page.xlsx", "<html><body>一覧</body></html>"), "HTML"},
        {write("list.ods", "得意先コード,金額\r\n12345,13200\r\n"), ".xls"},
        {write("cut.xlsx", "PK\x03\x04 broken"), "zip"},
        {f.dir.file("document.xlsx"), "zip"},
        {write("page.xls", "<!DOCTYPE html><html></html>"), "HTML"},
    };
    for (const auto& c : cases) {
        f.view.recorded.clear();
        f.job.RunImport(c.path);
        const std::vector<std::string> texts = f.view.texts();
        ASSERT_EQ(texts.size(), 3u) << c.path;
        EXPECT_EQ(texts[0], kConfirm);
        EXPECT_NE(texts[1].find(c.reason), std::string::npos) << texts[1];
        EXPECT_EQ(texts[2], kFailed);
    }
    // A workbook under another of the three endings is read by its content.
    std::filesystem::copy_file(book, f.dir.file("renamed.ods"));
    f.view.recorded.clear();
    f.job.RunImport(f.dir.file("renamed.ods"));
    EXPECT_EQ(f.job.ImportOkCount(0), 1);
}
