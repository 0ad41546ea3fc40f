// The import against a real database file under faults: another program
// holding the database, a read-only file, a full disk, the process killed in
// the middle of a sheet, the workbook replaced behind the program's back.
// After each fault the database holds, per sheet, either all of the sheet's
// changes or none of them, and a sheet that was committed stays committed.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "FaultTestSupport.h"
#include "ImportJob.h"

using namespace faulttest;

namespace {

const std::string kConfirm = "浄化槽金額データの取込を開始してもよろしいですか ";
const std::string kFailed = "浄化槽金額データの取込に失敗しました";
const std::string kDone = "浄化槽金額データの取込が完了しました";
const char* const kContract = "浄化槽契約内訳マスタ";
const char* const kBilling = "浄化槽請求テーブル";

// F4 on a window that has the database open, in this process.
void RunImport(const std::string& db, const std::string& book, FaultImportView& view) {
    gMjMDB mdb(view.recorded);
    if (mdb.OpenMdb(0, db, false) != 0)
        return;
    ImportJob job(mdb, view);
    job.RunImport(book);
    job.Release();
    mdb.CloseDatabase();
}

class ImportFaults : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { sample_ = new SampleBook(1000); }
    static void TearDownTestSuite() {
        delete sample_;
        sample_ = nullptr;
    }
    const SampleBook& sample() const { return *sample_; }

    // Every change of the workbook is in the database.
    void ExpectAllStored(const std::string& db) const {
        EXPECT_EQ(CountStored(db, sample().changes), static_cast<long>(sample().changes.size()))
            << "rows lost";
    }
    void ExpectContractOnly(const std::string& db) const {
        EXPECT_EQ(CountStored(db, sample().changes, kContract), sample().contractRows);
        EXPECT_EQ(TableContent(db, kBilling), sample().originalBilling);
    }
    void ExpectNothingWritten(const std::string& db) const {
        EXPECT_EQ(TableContent(db, kContract), sample().originalContract);
        EXPECT_EQ(TableContent(db, kBilling), sample().originalBilling);
    }

    static SampleBook* sample_;
};

SampleBook* ImportFaults::sample_ = nullptr;

}  // namespace

TEST_F(ImportFaults, UndisturbedImportStoresEveryChange) {
    ASSERT_TRUE(sample().exported);
    // Enough rows on both sheets for a kill to land inside a sheet.
    ASSERT_GE(sample().contractRows, 50);
    ASSERT_GE(sample().billingRows, 20);
    std::printf("[ sample  ] %ld contract rows, %ld billing rows per import\n",
                sample().contractRows, sample().billingRows);
    // Every change differs from what the database held before.
    EXPECT_EQ(CountStored(sample().base, sample().changes, kContract), 0);
    // The rollback journal, whose hot journal the next opener rolls back.
    EXPECT_EQ(Pragma(sample().base, "journal_mode"), "delete");

    const std::string db = sample().copy("plain.db");
    FaultImportView view;
    RunImport(db, sample().book, view);
    ASSERT_EQ(view.texts().size(), 2u);
    EXPECT_EQ(view.texts()[1].rfind(kDone, 0), 0u) << view.texts()[1];
    EXPECT_EQ(view.texts()[1].find("取込ＮＧ：       0 件"), view.texts()[1].find("取込ＮＧ："));
    ExpectAllStored(db);
    EXPECT_EQ(IntegrityCheck(db), "ok");
}

// Another program holds a write transaction past the busy timeout when the
// billing sheet is to begin: sheet 2 fails with a reason and none of it is
// written; sheet 1, committed before, stays.
TEST_F(ImportFaults, WriterHoldingTheDatabasePastTheBusyTimeout) {
    const std::string db = sample().copy("busy.db");
    Pipe lockNow;
    Pipe locked;
    Pipe release;
    const pid_t other = StartChild([&] {
        if (!lockNow.receive())
            return 1;
        sqlite3* handle = nullptr;
        if (sqlite3_open_v2(db.c_str(), &handle, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
            return 2;
        if (sqlite3_exec(handle, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
            return 3;
        locked.send();
        release.receive();  // or end of file when the parent has gone
        sqlite3_exec(handle, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close_v2(handle);
        return 0;
    });

    FaultImportView view;
    int sheetsBegun = 0;
    view.onProgress = [&](int value) {
        // Each sheet's update sets the bar to 0 right before its transaction.
        if (value == 0 && ++sheetsBegun == 2) {
            lockNow.send();
            ASSERT_TRUE(locked.receive());
        }
    };
    RunImport(db, sample().book, view);
    release.send();
    EXPECT_TRUE(ExitedWith(WaitChild(other), 0));

    ASSERT_EQ(view.texts().size(), 3u) << ::testing::PrintToString(view.texts());
    EXPECT_EQ(view.texts()[1].rfind("データベースの更新を開始できません", 0), 0u);
    EXPECT_NE(view.texts()[1].find("他のプログラムが使用中です"), std::string::npos)
        << view.texts()[1];
    EXPECT_EQ(view.texts()[2], kFailed + "(請求情報)");
    ExpectContractOnly(db);
    EXPECT_EQ(IntegrityCheck(db), "ok");
}

// The other program ends its transaction a second after the import began to
// wait for it: the import waits and goes through.
TEST_F(ImportFaults, WriterFinishingWithinTheBusyTimeoutIsWaitedFor) {
    const std::string db = sample().copy("wait.db");
    Pipe locked;
    Pipe waiting;
    const pid_t other = StartChild([&] {
        sqlite3* handle = nullptr;
        if (sqlite3_open_v2(db.c_str(), &handle, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
            return 2;
        if (sqlite3_exec(handle, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
            return 3;
        // A change of its own, which the import must not lose either.
        if (sqlite3_exec(handle,
                         "UPDATE 部門マスタ SET 部門名称 = '他のプログラム' WHERE 部門コード = 1",
                         nullptr, nullptr, nullptr) != SQLITE_OK)
            return 4;
        locked.send();
        if (!waiting.receive())
            return 5;
        std::this_thread::sleep_for(std::chrono::seconds(1));
        const int rc = sqlite3_exec(handle, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close_v2(handle);
        return rc == SQLITE_OK ? 0 : 6;
    });
    ASSERT_TRUE(locked.receive());

    FaultImportView view;
    bool told = false;
    view.onProgress = [&](int value) {
        if (value == 0 && !told) {
            told = true;
            waiting.send();
        }
    };
    RunImport(db, sample().book, view);
    EXPECT_TRUE(ExitedWith(WaitChild(other), 0));

    ASSERT_EQ(view.texts().size(), 2u) << ::testing::PrintToString(view.texts());
    EXPECT_EQ(view.texts()[1].rfind(kDone, 0), 0u);
    ExpectAllStored(db);
    EXPECT_NE(TableContent(db, "部門マスタ").find("他のプログラム"), std::string::npos);
    EXPECT_EQ(IntegrityCheck(db), "ok");
}

// Another program keeps reading past the busy timeout, so the commit of
// sheet 1 cannot take the file: the sheet is rolled back, nothing of either
// sheet is written, and once the reader has gone the same import goes through.
TEST_F(ImportFaults, ReaderBlockingTheCommitRollsTheSheetBack) {
    const std::string db = sample().copy("reader.db");
    Pipe reading;
    Pipe release;
    const pid_t other = StartChild([&] {
        sqlite3* handle = nullptr;
        if (sqlite3_open_v2(db.c_str(), &handle, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
            return 2;
        // A read transaction keeps its shared lock until it ends.
        if (sqlite3_exec(handle, "BEGIN; SELECT count(*) FROM 浄化槽契約内訳マスタ", nullptr,
                         nullptr, nullptr) != SQLITE_OK)
            return 3;
        reading.send();
        release.receive();
        sqlite3_exec(handle, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close_v2(handle);
        return 0;
    });
    ASSERT_TRUE(reading.receive());

    FaultImportView view;
    RunImport(db, sample().book, view);
    release.send();
    EXPECT_TRUE(ExitedWith(WaitChild(other), 0));

    ASSERT_EQ(view.texts().size(), 3u) << ::testing::PrintToString(view.texts());
    EXPECT_EQ(view.texts()[1].rfind("データベースへの書込みを確定できません", 0), 0u);
    EXPECT_NE(view.texts()[1].find("他のプログラムが使用中です"), std::string::npos);
    EXPECT_EQ(view.texts()[2], kFailed + "(契約内訳情報)");
    ExpectNothingWritten(db);
    EXPECT_EQ(IntegrityCheck(db), "ok");

    FaultImportView again;
    RunImport(db, sample().book, again);
    ASSERT_EQ(again.texts().size(), 2u);
    EXPECT_EQ(again.texts()[1].rfind(kDone, 0), 0u);
    ExpectAllStored(db);
}

// A database file the user may read but not write. Running as root, file
// modes stop nothing, so the import runs in a child process that has become
// "nobody". The first write is refused, the sheet rolls back, and the message
// says that the file is read-only.
TEST_F(ImportFaults, ReadOnlyDatabaseFile) {
    Folder folder;
    std::filesystem::permissions(folder.path(), std::filesystem::perms(0755));
    const std::string db = folder.file("readonly.db");
    const std::string book = folder.file("fee.xls");
    std::filesystem::copy_file(sample().base, db);
    std::filesystem::copy_file(sample().book, book);
    std::filesystem::permissions(book, std::filesystem::perms(0644));
    std::filesystem::permissions(db, std::filesystem::perms(0444));
    const std::string before = ReadBytes(db);
    const std::string report = sample().folder.file("readonly-messages");

    const int status = RunInChild([&] {
        const int out = ::open(report.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || !DropPrivileges())
            return 97;
        FaultImportView view;
        RunImport(db, book, view);
        return WriteTexts(out, view.texts()) ? 0 : 96;
    });
    ASSERT_TRUE(WIFEXITED(status)) << status;
    ASSERT_EQ(WEXITSTATUS(status), 0);
    const std::vector<std::string> texts = LoadTexts(report);
    ASSERT_EQ(texts.size(), 3u) << ::testing::PrintToString(texts);
    EXPECT_EQ(texts[0], kConfirm);
    EXPECT_NE(texts[1].find("読み取り専用"), std::string::npos) << texts[1];
    EXPECT_EQ(texts[2], kFailed + "(契約内訳情報)");
    EXPECT_TRUE(ReadBytes(db) == before) << "the read-only file changed";
    EXPECT_FALSE(std::filesystem::exists(db + "-journal"));
}

// The disk fills while the sheet is written: the child may not grow any file
// beyond a few bytes, so the journal cannot be written. The sheet rolls back
// and says why; the database is as it was.
TEST_F(ImportFaults, DiskFullWhileWritingTheSheet) {
    const std::string db = sample().copy("full.db");
    const std::string report = sample().folder.file("full-messages");
    const int status = RunInChild([&] {
        const int out = ::open(report.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0)
            return 97;
        FaultImportView view;
        gMjMDB mdb(view.recorded);
        if (mdb.OpenMdb(0, db, false) != 0)
            return 95;
        ImportJob job(mdb, view);
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        const rlimit full{1024, limit.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &full);
        job.RunImport(sample().book);
        mdb.CloseDatabase();
        ::setrlimit(RLIMIT_FSIZE, &limit);
        return WriteTexts(out, view.texts()) ? 0 : 96;
    });
    ASSERT_TRUE(WIFEXITED(status)) << status;
    ASSERT_EQ(WEXITSTATUS(status), 0);
    const std::vector<std::string> texts = LoadTexts(report);
    ASSERT_EQ(texts.size(), 3u) << ::testing::PrintToString(texts);
    EXPECT_NE(texts[1].find("ディスク"), std::string::npos) << texts[1];
    EXPECT_EQ(texts[2], kFailed + "(契約内訳情報)");
    ExpectNothingWritten(db);
    EXPECT_EQ(IntegrityCheck(db), "ok");
}

// The process is killed (SIGKILL, nothing runs after it) after the n-th row
// of a sheet; the last case of each sheet dies after its last row, right
// before the commit. The next opener rolls the hot journal back: the killed
// sheet is not there at all, the sheet committed before it is there whole.
TEST_F(ImportFaults, KilledInsideASheet) {
    struct Case {
        std::string phase;
        long row;  // after which pumped row the process dies
    };
    const long c = sample().contractRows;
    const long b = sample().billingRows;
    const std::vector<Case> cases{{kContractPhase, 1}, {kContractPhase, c / 2}, {kContractPhase, c},
                                  {kBillingPhase, 1},  {kBillingPhase, b / 2},  {kBillingPhase, b}};
    int n = 0;
    int spilled = 0;  // cases whose database file held uncommitted pages
    for (const Case& k : cases) {
        SCOPED_TRACE(k.phase + " row " + std::to_string(k.row));
        const std::string db = sample().copy("killed" + std::to_string(n++) + ".db");
        const std::string spillFile = db + ".spilled";
        const int status = RunInChild([&] {
            FaultImportView view;
            gMjMDB mdb(view.recorded);
            if (mdb.OpenMdb(0, db, false) != 0)
                return 2;
            ImportJob job(mdb, view);
            long pumped = 0;
            std::string pressed;  // the phase the cache was made small in
            view.onPump = [&](const std::string& phase) {
                // Memory pressure: with a cache of a few pages SQLite writes
                // changed pages into the database file before the commit, so
                // the kill leaves a file that only the journal can restore.
                // Set inside each sheet's transaction, which starts with a
                // large cache of its own.
                if (phase != pressed && mdb.gDatabase()->inTransaction()) {
                    mdb.gDatabase()->execute("PRAGMA cache_size = 2");
                    pressed = phase;
                }
                if (phase == k.phase && ++pumped == k.row) {
                    int pages = 0;
                    int highest = 0;
                    sqlite3_db_status(mdb.gDatabase()->handle(), SQLITE_DBSTATUS_CACHE_SPILL,
                                      &pages, &highest, 0);
                    WriteBytes(spillFile, std::to_string(pages));
                    ::raise(SIGKILL);
                }
            };
            job.RunImport(sample().book);
            return 0;
        });
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
        // It died inside a write transaction: the journal is there. Early in
        // a sheet its first pages may still have been on their way to it,
        // as nothing had reached the database file yet either.
        EXPECT_TRUE(std::filesystem::exists(db + "-journal"));
        const long pages = std::atol(ReadBytes(spillFile).c_str());
        spilled += pages > 0 ? 1 : 0;
        EXPECT_EQ(IntegrityCheck(db), "ok");
        if (k.phase == kContractPhase) {
            ExpectNothingWritten(db);
        } else {
            ExpectContractOnly(db);
        }
    }
    // The hot journal really restored written pages, not only a cache that died.
    EXPECT_GE(spilled, 3);
    std::printf("[ kills   ] %zu kills inside a sheet, %d with uncommitted pages in the file\n",
                cases.size(), spilled);
}

// Killed from outside at moments spread over one import's run time, wherever
// it happens to be (reading, writing, committing): every outcome is one of
// nothing, sheet 1 whole, or both sheets whole.
TEST_F(ImportFaults, KilledAtAnyMoment) {
    // One undisturbed run in a child process gives the time to spread over.
    const std::string timing = sample().copy("timing.db");
    const auto start = std::chrono::steady_clock::now();
    RunInChild([&] {
        FaultImportView view;
        RunImport(timing, sample().book, view);
        return 0;
    });
    const auto runTime = std::chrono::steady_clock::now() - start;

    constexpr int kTrials = 12;
    int none = 0, first = 0, both = 0;
    for (int i = 1; i <= kTrials; ++i) {
        SCOPED_TRACE("trial " + std::to_string(i));
        const std::string db = sample().copy("moment" + std::to_string(i) + ".db");
        const pid_t pid = StartChild([&] {
            FaultImportView view;
            RunImport(db, sample().book, view);
            return 0;
        });
        std::this_thread::sleep_for(runTime * i / (kTrials + 1));
        ::kill(pid, SIGKILL);
        WaitChild(pid);
        ASSERT_EQ(IntegrityCheck(db), "ok");
        const bool contractNone = TableContent(db, kContract) == sample().originalContract;
        const bool billingNone = TableContent(db, kBilling) == sample().originalBilling;
        const bool contractAll =
            CountStored(db, sample().changes, kContract) == sample().contractRows;
        const bool billingAll =
            CountStored(db, sample().changes, kBilling) == 4 * sample().billingRows;
        if (contractNone && billingNone) {
            ++none;
        } else if (contractAll && billingNone) {
            ++first;
        } else if (contractAll && billingAll) {
            ++both;
        } else {
            ADD_FAILURE() << "half a sheet is in the database";
        }
    }
    EXPECT_EQ(none + first + both, kTrials);
    RecordProperty("nothing", none);
    RecordProperty("sheet1", first);
    RecordProperty("both", both);
    std::printf("[ kills   ] %d trials over %.2f s: %d nothing, %d sheet 1 only, %d both\n",
                kTrials, std::chrono::duration<double>(runTime).count(), none, first, both);
}

// The workbook is deleted or replaced while the confirmation is on screen,
// i.e. after the path check: a clear message and nothing written.
TEST_F(ImportFaults, WorkbookGoneOrReplacedAfterThePathCheck) {
    struct Case {
        const char* name;
        std::function<void(const std::string&)> act;
        std::string message;  // expected among the boxes ("" = any report of the engine)
    };
    const std::string bytes = ReadBytes(sample().book);
    const std::vector<Case> cases{
        {"deleted", [](const std::string& p) { std::filesystem::remove(p); },
         "指定されたExcelファイルが見つかりません"},
        {"folder",
         [](const std::string& p) {
             std::filesystem::remove(p);
             std::filesystem::create_directory(p);
         },
         "指定されたExcelファイルが見つかりません"},
        {"text", [](const std::string& p) { WriteBytes(p, "得意先コード,年間金額\n1,2\n"); }, ""},
        {"empty", [](const std::string& p) { WriteBytes(p, ""); }, ""},
        {"zip", [](const std::string& p) { WriteBytes(p, std::string("PK\x03\x04", 4) + "xlsx"); },
         ""},
        {"half", [&](const std::string& p) { WriteBytes(p, bytes.substr(0, bytes.size() / 2)); },
         ""},
    };
    int n = 0;
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        const std::string db = sample().copy("replaced" + std::to_string(n) + ".db");
        const std::string book = sample().folder.file("replaced" + std::to_string(n++) + ".xls");
        WriteBytes(book, bytes);
        FaultImportView view;
        view.recorded.onShow = [&](const std::string& text) {
            if (text == kConfirm)
                k.act(book);
        };
        RunImport(db, book, view);
        const auto texts = view.texts();
        ASSERT_GE(texts.size(), 3u) << ::testing::PrintToString(texts);
        EXPECT_EQ(texts.front(), kConfirm);
        EXPECT_EQ(texts.back(), kFailed);
        if (!k.message.empty()) {
            EXPECT_EQ(texts[1], k.message);
        } else {
            EXPECT_FALSE(texts[1].empty());
        }
        EXPECT_FALSE(view.busy);
        ExpectNothingWritten(db);
    }
}

// Once read, the workbook is in memory: replacing the file while the rows are
// written changes nothing of the run.
TEST_F(ImportFaults, WorkbookReplacedWhileTheRowsAreWritten) {
    const std::string db = sample().copy("midway.db");
    const std::string book = sample().folder.file("midway.xls");
    std::filesystem::copy_file(sample().book, book,
                               std::filesystem::copy_options::overwrite_existing);
    FaultImportView view;
    bool replaced = false;
    view.onPump = [&](const std::string& phase) {
        if (phase == kContractPhase && !replaced) {
            replaced = true;
            WriteBytes(book, "not a workbook");
        }
    };
    RunImport(db, book, view);
    ASSERT_TRUE(replaced);
    ASSERT_EQ(view.texts().size(), 2u) << ::testing::PrintToString(view.texts());
    EXPECT_EQ(view.texts()[1].rfind(kDone, 0), 0u);
    ExpectAllStored(db);
}
