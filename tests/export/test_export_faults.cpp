// The export under faults at the file system: the output folder missing or
// not writable, the disk filling during the save, the target a folder, the
// user declining to replace the target. Each time the job reports failure,
// the output folder holds exactly what it held before (no partial workbook,
// no temporary file) and a file already at the target keeps every byte.

#include <gtest/gtest.h>

#include "ExportFeeData.h"
#include "ExportTestSupport.h"
#include "SampleData.h"
#include "XlsReader.h"
#include "common/FaultProcess.h"

using namespace faulttest;

namespace {

ExportRequest SampleRequest(const std::string& output) {
    ExportRequest request;
    request.outputPath = output;
    request.contractFilter =
        " AND (部門マスタ.部門コード = 1 Or 部門マスタ.部門コード = 2 Or 部門マスタ.部門コード = 3 "
        "Or 部門マスタ.部門コード = 7) ";
    request.oneOffFilter =
        " AND (部門マスタ.部門コード = 4 Or 部門マスタ.部門コード = 5 Or 部門マスタ.部門コード = "
        "6) ";
    return request;
}

// Runs the export as the window does after its pre-check.
bool Export(const std::string& db, const std::string& output, TestExportView& view) {
    Database database(db, false);
    bool expansion = CheckExpansionTable(&database);
    return ExportFeeData(&database, SampleRequest(output), expansion, view);
}

// The export in a child process, with `prepare` run in the child first (lose
// privileges, limit file sizes). Returns the child's message texts; `result`
// is 1 for true, 0 for false, -1 when the child failed on its own.
std::vector<std::string> ExportInChild(const std::string& db, const std::string& output,
                                       const std::string& report,
                                       const std::function<bool()>& prepare, int& result) {
    const int status = RunInChild([&] {
        const int out = ::open(report.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || !prepare())
            return 97;
        TestExportView view;
        const bool ok = Export(db, output, view);
        rlimit unlimited{};
        ::getrlimit(RLIMIT_FSIZE, &unlimited);
        unlimited.rlim_cur = unlimited.rlim_max;
        ::setrlimit(RLIMIT_FSIZE, &unlimited);
        if (!WriteTexts(out, view.recorded.texts()))
            return 96;
        return ok ? 1 : 0;
    });
    result = WIFEXITED(status) && WEXITSTATUS(status) <= 1 ? WEXITSTATUS(status) : -1;
    return LoadTexts(report);
}

class ExportFaults : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        root_ = new Folder;
        std::filesystem::permissions(root_->path(), std::filesystem::perms(0755));
        db_ = root_->file("sample.db");
        SampleOptions options;
        options.customers = 300;
        CreateSampleDatabase(db_, options);
        std::filesystem::permissions(db_, std::filesystem::perms(0644));
        // A workbook as an earlier export left it: the file every case must
        // leave alone.
        TestExportView view;
        reference_ = root_->file("reference.xls");
        if (Export(db_, reference_, view))
            referenceBytes_ = ReadBytes(reference_);
    }
    static void TearDownTestSuite() {
        delete root_;
        root_ = nullptr;
    }

    // An output folder with one earlier workbook, fee.xls.
    std::unique_ptr<Folder> OutputFolder() const {
        auto out = std::make_unique<Folder>();
        WriteBytes(out->file("fee.xls"), referenceBytes_);
        return out;
    }

    static Folder* root_;
    static std::string db_;
    static std::string reference_;
    static std::string referenceBytes_;
};

Folder* ExportFaults::root_ = nullptr;
std::string ExportFaults::db_;
std::string ExportFaults::reference_;
std::string ExportFaults::referenceBytes_;

constexpr rlim_t kFileSizeLimit = 16 * 1024;

}  // namespace

TEST_F(ExportFaults, UndisturbedExportWritesOneReadableWorkbook) {
    ASSERT_FALSE(referenceBytes_.empty());
    // Big enough for the file-size limit below to cut the save short.
    EXPECT_GT(referenceBytes_.size(), 4 * kFileSizeLimit);
    const auto out = OutputFolder();
    TestExportView view;
    ASSERT_TRUE(Export(db_, out->file("new.xls"), view));
    EXPECT_EQ(out->names(), (std::vector<std::string>{"fee.xls", "new.xls"}));
    EXPECT_EQ(xls::ReadXlsFile(out->file("new.xls"))->sheetCount(), 2u);
    EXPECT_TRUE(view.recorded.texts().empty());
}

TEST_F(ExportFaults, MissingOutputFolder) {
    const auto out = OutputFolder();
    TestExportView view;
    EXPECT_FALSE(Export(db_, out->file("gone") + "/fee.xls", view));
    ASSERT_EQ(view.recorded.texts().size(), 1u);
    EXPECT_NE(view.recorded.texts()[0].find("gone"), std::string::npos) << view.recorded.texts()[0];
    EXPECT_EQ(out->names(), std::vector<std::string>{"fee.xls"});
    EXPECT_TRUE(ReadBytes(out->file("fee.xls")) == referenceBytes_);
}

TEST_F(ExportFaults, TargetIsAFolder) {
    const auto out = OutputFolder();
    std::filesystem::create_directory(out->file("folder.xls"));
    TestExportView view;
    EXPECT_FALSE(Export(db_, out->file("folder.xls"), view));
    EXPECT_EQ(view.recorded.texts().size(), 1u);
    EXPECT_TRUE(std::filesystem::is_directory(out->file("folder.xls")));
    EXPECT_EQ(out->names(), (std::vector<std::string>{"fee.xls", "folder.xls"}));
}

// Running as root, a folder's mode stops nothing: the export runs in a child
// that has become "nobody", for whom the folder (root's, mode 0555) is
// read-only. Neither a new file nor the replacement of an existing one
// (answered Yes) gets through.
TEST_F(ExportFaults, OutputFolderNotWritable) {
    const auto out = OutputFolder();
    std::filesystem::permissions(out->path(), std::filesystem::perms(0555));
    for (const char* name : {"new.xls", "fee.xls"}) {
        SCOPED_TRACE(name);
        int result = -1;
        const auto texts =
            ExportInChild(db_, out->file(name), root_->file("report"), DropPrivileges, result);
        EXPECT_EQ(result, 0);
        // The replace question (fee.xls only), then the engine's report.
        ASSERT_FALSE(texts.empty());
        EXPECT_NE(texts.back().find(name), std::string::npos) << texts.back();
        EXPECT_NE(texts.back().find("書き込みが許可されていません"), std::string::npos);
        EXPECT_EQ(out->names(), std::vector<std::string>{"fee.xls"});
        EXPECT_TRUE(ReadBytes(out->file("fee.xls")) == referenceBytes_);
    }
}

// The disk fills during the save: the child may write no file beyond 16 KiB
// (SIGXFSZ ignored, so the write fails with EFBIG instead of killing it).
TEST_F(ExportFaults, DiskFullDuringTheSave) {
    const auto out = OutputFolder();
    const auto limit = [] {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit now{};
        ::getrlimit(RLIMIT_FSIZE, &now);
        const rlimit full{kFileSizeLimit, now.rlim_max};
        return ::setrlimit(RLIMIT_FSIZE, &full) == 0;
    };
    for (const char* name : {"new.xls", "fee.xls"}) {
        SCOPED_TRACE(name);
        int result = -1;
        const auto texts =
            ExportInChild(db_, out->file(name), root_->file("report"), limit, result);
        EXPECT_EQ(result, 0);
        ASSERT_FALSE(texts.empty());
        EXPECT_NE(texts.back().find(name), std::string::npos) << texts.back();
        EXPECT_NE(texts.back().find("ディスクの空き領域が不足しています"), std::string::npos);
        EXPECT_EQ(out->names(), std::vector<std::string>{"fee.xls"});
        EXPECT_TRUE(ReadBytes(out->file("fee.xls")) == referenceBytes_);
    }
}

TEST_F(ExportFaults, DecliningToReplaceKeepsTheFileByteForByte) {
    const auto out = OutputFolder();
    const auto before = std::filesystem::last_write_time(out->file("fee.xls"));
    TestExportView view;
    view.recorded.answerNext(MsgAnswer::No);
    EXPECT_FALSE(Export(db_, out->file("fee.xls"), view));
    ASSERT_EQ(view.recorded.texts().size(), 2u);
    EXPECT_EQ(view.recorded.shown[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(out->names(), std::vector<std::string>{"fee.xls"});
    EXPECT_TRUE(ReadBytes(out->file("fee.xls")) == referenceBytes_);
    EXPECT_EQ(std::filesystem::last_write_time(out->file("fee.xls")), before);
}
