#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "DatabaseTestSupport.h"
#include "FieldValue.h"
#include "common/FaultProcess.h"

// --- Translation of Jet SQL text --------------------------------------------

struct TranslationCase {
    const char* jet;
    const char* sqlite;
};

TEST(TranslateJetSql, RewritesIntegerDivisionAndModWithJetPrecedence) {
    const TranslationCase cases[] = {
        {"a \\ b", "jet_idiv(a, b)"},
        {"x MOD 100", "jet_mod(x, 100)"},
        {"x mod 100", "jet_mod(x, 100)"},
        {"(a \\ 100) MOD 100", "jet_mod((jet_idiv(a, 100)), 100)"},
        // "*" and "/" bind tighter than "\", which binds tighter than MOD.
        {"a * b \\ c", "jet_idiv((a * b), c)"},
        {"a \\ b * c", "jet_idiv(a, (b * c))"},
        {"a MOD b \\ c", "jet_mod(a, jet_idiv(b, c))"},
        {"a \\ b \\ c", "jet_idiv(jet_idiv(a, b), c)"},
        {"a MOD b MOD c", "jet_mod(jet_mod(a, b), c)"},
        // "+" and "-" bind looser; a sign binds tighter.
        {"a - b \\ c + 1", "a - jet_idiv(b, c) + 1"},
        {"-7 \\ 2", "jet_idiv(-7, 2)"},
        {"x = -7 MOD 3", "x = jet_mod(-7, 3)"},
        {"7 \\ -2", "jet_idiv(7, -2)"},
        // Operands: qualified and bracketed names, function calls, groups.
        {"浄化槽契約請求マスタ.[自社管理契約期間（終了）] \\ 100",
         "jet_idiv(浄化槽契約請求マスタ.[自社管理契約期間（終了）], 100)"},
        {"[t].[a b] MOD [c]", "jet_mod([t].[a b], [c])"},
        {"Abs(x - 1) MOD 3", "jet_mod(Abs(x - 1), 3)"},
        {"(a + b) \\ (c - d)", "jet_idiv((a + b), (c - d))"},
        {"f((a \\ 2), 3)", "f((jet_idiv(a, 2)), 3)"},
        {"a \\ - -b", "jet_idiv(a, - -b)"},
        {"x MOD[y]", "jet_mod(x, [y])"},
        {"y MOD MOD[y] MOD 2", "y MOD MOD jet_mod([y], 2)"},  // never glued to a word
    };
    for (const auto& c : cases)
        EXPECT_EQ(TranslateJetSql(c.jet), c.sqlite) << c.jet;
}

TEST(TranslateJetSql, LeavesEverythingElseAlone) {
    const char* unchanged[] = {
        "SELECT コントロールマスタ.* FROM コントロールマスタ WHERE (コントロールマスタ.コード = 1)",
        "SELECT 'a \\ b', \"c MOD d\" FROM t",
        "SELECT [x \\ y] FROM t",
        "SELECT mode, modulo, t.MOD_X FROM t",
        "SELECT * FROM t WHERE a * 2 / 3 > 1",
        "SELECT count(*) FROM t",
        " AND (部門マスタ.部門コード = 1 Or 部門マスタ.部門コード = 3) ",
        "a \\",  // an operator without operand is left for SQLite to report
        "\\ b",
    };
    for (const char* sql : unchanged)
        EXPECT_EQ(TranslateJetSql(sql), sql);
}

TEST(TranslateJetSql, KeepsLineBreaksAndIndentation) {
    const std::string jet =
        "\r\n WHERE\r\n         (((t.[終了] \\ 100) MOD 100) = 3)\r\n     AND (t.x = 0)";
    EXPECT_EQ(TranslateJetSql(jet),
              "\r\n WHERE\r\n         ((jet_mod((jet_idiv(t.[終了], 100)), 100)) = 3)\r\n     AND "
              "(t.x = 0)");
}

// --- Jet arithmetic on a real connection -------------------------------------

class JetArithmetic : public ::testing::Test {
  protected:
    void SetUp() override { db_ = std::make_unique<Database>(NewDatabase(dir_), false); }
    std::string eval(const std::string& expr) { return Scalar(*db_, "SELECT " + expr); }
    TempFolder dir_;
    std::unique_ptr<Database> db_;
};

TEST_F(JetArithmetic, KnownAnswers) {
    const std::pair<const char*, const char*> cases[] = {
        {"7 \\ 2", "3"},
        {"-7 \\ 2", "-3"},  // truncated toward zero
        {"7 \\ -2", "-3"},
        {"-7 \\ -2", "3"},
        {"7 MOD 3", "1"},
        {"-7 MOD 3", "-1"},  // sign of the dividend
        {"7 MOD -3", "1"},
        {"-7 MOD -3", "-1"},
        {"2.5 \\ 1", "2"},  // operands rounded half to even
        {"3.5 \\ 1", "4"},
        {"-2.5 \\ 1", "-2"},
        {"7.5 MOD 2", "0"},  // 8 MOD 2
        {"6.5 MOD 4", "2"},  // 6 MOD 4
        {"10 \\ 2.6", "3"},  // 10 \ 3
        {"20240315 \\ 100 MOD 100", "3"},
        {"'12' \\ 5", "2"},
        {"NULL \\ 2", "<null>"},
        {"7 MOD NULL", "<null>"},
        {"9007199254740993 \\ 1", "9007199254740993"},  // whole numbers stay exact
    };
    for (const auto& [expr, expected] : cases)
        EXPECT_EQ(eval(expr), expected) << expr;
}

TEST_F(JetArithmetic, DivisionByZeroAndNonNumbersAreErrors) {
    for (const char* expr : {"5 \\ 0", "5 MOD 0", "5 \\ 0.4", "'abc' \\ 2", "1e300 \\ 1"}) {
        const PlatformError e = ExpectPlatformError([&] { eval(expr); });
        EXPECT_NE(e.number(), 0) << expr;
    }
    EXPECT_NE(ExpectPlatformError([&] { eval("5 MOD 0"); }).description().find("0 で除算"),
              std::string::npos);
}

// The contract-period condition of the export, as the export builds it.
TEST_F(JetArithmetic, ContractPeriodConditionSelectsSameMonthNotLater) {
    const std::pair<int, int> contracts[] = {{1, 0},        {2, 20240315}, {3, 20230331},
                                             {4, 20240415}, {5, 20250301}, {6, 20240331}};
    for (const auto& [code, end] : contracts) {
        db_->execute("INSERT INTO 浄化槽契約請求マスタ VALUES (?, 1, 20200101, ?)",
                     {std::int64_t{code}, std::int64_t{end}});
    }
    const std::string ym = "202403";
    const std::string m = "3";
    const std::string sql =
        "\r\n SELECT 浄化槽契約請求マスタ.得意先コード"
        "\r\n FROM 浄化槽契約請求マスタ"
        "\r\n WHERE ((浄化槽契約請求マスタ.[自社管理契約期間（終了）] = 0)"
        "\r\n    OR ((((浄化槽契約請求マスタ.[自社管理契約期間（終了）] \\ 100) MOD 100) = " +
        m +
        ")"
        "\r\n   AND ((浄化槽契約請求マスタ.[自社管理契約期間（終了）] \\ 100) <= " +
        ym +
        ")))"
        "\r\n ORDER BY 浄化槽契約請求マスタ.得意先コード;";
    EXPECT_EQ(Column0(*db_, sql), (std::vector<std::string>{"1", "2", "3", "6"}));
}

// --- Opening -------------------------------------------------------------------

TEST(DatabaseOpen, RefusesWhatIsNotAnSqliteDatabase) {
    TempFolder dir;
    const std::string missing = dir.file("missing.db");
    const std::string jet = dir.file("old.mdb");
    const std::string ace = dir.file("new.accdb");
    const std::string text = dir.file("notes.txt");
    WriteBytes(jet, std::string("\0\1\0\0Standard Jet DB\0\1\0\0\0", 24) + std::string(2000, 'x'));
    WriteBytes(ace, std::string("\0\1\0\0Standard ACE DB\0\2\0\0\0", 24) + std::string(2000, 'x'));
    WriteBytes(text, "得意先コード,名称\n1,佐藤\n");
    const std::string fifo = dir.file("pipe.db");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);

    struct Case {
        std::string path;
        int number;
        const char* mentions;
    };
    const Case cases[] = {{missing, SQLITE_CANTOPEN, "見つかりません"},
                          {jet, SQLITE_NOTADB, "Access"},
                          {ace, SQLITE_NOTADB, "Access"},
                          {text, SQLITE_NOTADB, "SQLite のデータベースファイルではありません"},
                          {dir.file(""), SQLITE_CANTOPEN, "フォルダ"},
                          {fifo, SQLITE_CANTOPEN, "データベースファイルではありません"}};
    for (const auto& c : cases) {
        const PlatformError e = ExpectPlatformError([&] { Database db(c.path, false); });
        EXPECT_EQ(e.number(), c.number) << c.path;
        EXPECT_NE(e.description().find(c.path), std::string::npos) << e.description();
        EXPECT_NE(e.description().find(c.mentions), std::string::npos) << e.description();
    }
    // Nothing was created for the missing file.
    struct stat st {};
    EXPECT_NE(stat(missing.c_str(), &st), 0);
}

TEST(DatabaseOpen, DamagedSqliteFileFailsAtOpenNamingThePath) {
    TempFolder dir;
    const std::string path = NewDatabase(dir);
    std::string bytes(4096, '\xff');
    bytes.replace(0, 16, std::string("SQLite format 3\0", 16));
    WriteBytes(path, bytes);
    const PlatformError e = ExpectPlatformError([&] { Database db(path, false); });
    EXPECT_NE(e.number(), 0);
    EXPECT_NE(e.description().find(path), std::string::npos) << e.description();
}

TEST(DatabaseOpen, ReadOnlyConnectionRefusesWrites) {
    TempFolder dir;
    Database db(NewDatabase(dir), true);
    const PlatformError e =
        ExpectPlatformError([&] { db.execute("INSERT INTO 固定契約区分 VALUES (1, '年間')"); });
    EXPECT_EQ(e.number(), SQLITE_READONLY);
}

// --- Catalogue -------------------------------------------------------------------

TEST(DatabaseCatalogue, TablesKeysAndColumns) {
    TempFolder dir;
    Database with(NewDatabase(dir, "with.db", true), false);
    Database without(NewDatabase(dir, "without.db", false), false);

    const auto names = with.tableNames();
    ASSERT_EQ(names.size(), 11u);
    EXPECT_EQ(names.front(), "コントロールマスタ");
    EXPECT_EQ(names.back(), "浄化槽請求展開テーブル");
    EXPECT_EQ(without.tableNames().size(), 10u);

    EXPECT_TRUE(with.hasTable("浄化槽請求展開テーブル"));
    EXPECT_FALSE(without.hasTable("浄化槽請求展開テーブル"));
    EXPECT_FALSE(with.hasTable("浄化槽請求展開"));
    EXPECT_FALSE(with.hasTable("sqlite_master"));
    EXPECT_FALSE(with.hasTable("Sample"));
    with.execute("CREATE TABLE Sample (x)");
    EXPECT_TRUE(with.hasTable("Sample")) << "the catalogue is read again after a change";
    EXPECT_FALSE(with.hasTable("sample"));  // exact, as the export compares

    EXPECT_EQ(with.primaryKey("浄化槽契約内訳マスタ"),
              (std::vector<std::string>{"得意先コード", "ＩＤ"}));
    EXPECT_EQ(with.primaryKey("浄化槽基本マスタ"), (std::vector<std::string>{"得意先コード"}));
    EXPECT_TRUE(with.primaryKey("Sample").empty());
    with.execute("DROP TABLE Sample");
    with.execute("CREATE TABLE Sample (y, x, PRIMARY KEY (x, y))");
    EXPECT_EQ(with.primaryKey("Sample"), (std::vector<std::string>{"x", "y"}));
    EXPECT_EQ(with.columnNames("Sample"), (std::vector<std::string>{"y", "x"}));

    const auto billing = with.columnNames("浄化槽請求テーブル");
    ASSERT_EQ(billing.size(), 27u);
    EXPECT_EQ(billing[3], "請求フラグ１");
    EXPECT_EQ(billing[14], "請求フラグ１２");
    EXPECT_EQ(billing[15], "請求金額１");
    EXPECT_EQ(billing[26], "請求金額１２");
    EXPECT_EQ(with.columnNames("浄化槽契約内訳マスタ")[5], "1回分の金額");
    EXPECT_EQ(with.columnNames("処理方式マスタ")[1], "処理方式名（正式）");
}

// --- Statements and transactions ---------------------------------------------------

TEST(DatabaseStatement, ValuesRoundTripWithTheirTypes) {
    TempFolder dir;
    Database db(NewDatabase(dir), false);
    db.execute("CREATE TABLE v (a, b, c, d)");
    db.execute("INSERT INTO v VALUES (?, ?, ?, ?)",
               {std::int64_t{9999999999}, 1234.5, std::string("名称（漢字）"), FieldNull{}});
    Statement st = db.prepare("SELECT a, b, c, d FROM v");
    ASSERT_TRUE(st.step());
    EXPECT_EQ(st.column(0), FieldValue(std::int64_t{9999999999}));
    EXPECT_EQ(st.column(1), FieldValue(1234.5));
    EXPECT_EQ(st.column(2), FieldValue(std::string("名称（漢字）")));
    EXPECT_TRUE(IsNull(st.column(3)));
    EXPECT_EQ(st.columnName(2), "c");
    // Read into one value again and again, whatever it held before.
    FieldValue into = std::string("前の値");
    for (int i : {0, 2, 1, 3, 1, 0, 2}) {
        st.columnInto(i, into);
        EXPECT_EQ(into.index(), st.column(i).index()) << i;
        EXPECT_TRUE(SameFieldValue(into, st.column(i))) << i;
    }
    EXPECT_FALSE(st.step());

    // An empty text and bytes with a zero among them, into a value holding a number.
    Statement other = db.prepare("SELECT '', x'610062'");
    ASSERT_TRUE(other.step());
    FieldValue number = 1.5;
    other.columnInto(0, number);
    EXPECT_EQ(number, FieldValue(std::string()));
    other.columnInto(1, number);
    EXPECT_EQ(number, FieldValue(std::string("a\0b", 3)));
}

// Run again after rewind(), a statement keeps its parameters; after reset()
// they are cleared, and a parameter not set again is Null.
TEST(DatabaseStatement, RewindKeepsTheParametersResetClearsThem) {
    TempFolder dir;
    Database db(NewDatabase(dir), false);
    Statement st = db.prepare("SELECT ? IS NULL");
    st.bind(1, std::int64_t{5});
    ASSERT_TRUE(st.step());
    EXPECT_EQ(st.columnInt(0), 0);
    st.rewind();
    ASSERT_TRUE(st.step());
    EXPECT_EQ(st.columnInt(0), 0);
    st.reset();
    ASSERT_TRUE(st.step());
    EXPECT_EQ(st.columnInt(0), 1);
}

TEST(DatabaseStatement, RefusesEmptyAndMultipleStatements) {
    TempFolder dir;
    Database db(NewDatabase(dir), false);
    EXPECT_NE(ExpectPlatformError([&] { db.prepare("   "); }).number(), 0);
    EXPECT_NE(ExpectPlatformError([&] { db.prepare("SELECT 1; DELETE FROM 部門マスタ"); }).number(),
              0);
    EXPECT_NO_THROW(db.prepare("SELECT 1;\r\n"));
    const PlatformError e =
        ExpectPlatformError([&] { db.prepare("SELECT nosuch FROM 部門マスタ"); });
    EXPECT_EQ(e.number(), SQLITE_ERROR);
    EXPECT_NE(e.description().find("nosuch"), std::string::npos);
}

TEST(DatabaseTransaction, RollbackDiscardsAndCommitKeeps) {
    TempFolder dir;
    const std::string path = NewDatabase(dir);
    {
        Database db(path, false);
        db.begin();
        db.execute("INSERT INTO 部門マスタ VALUES (1, '清掃', 1)");
        db.rollback();
        EXPECT_EQ(Scalar(db, "SELECT count(*) FROM 部門マスタ"), "0");
        db.begin();
        db.execute("INSERT INTO 部門マスタ VALUES (2, '点検', 1)");
        db.commit();
        db.begin();
        db.execute("INSERT INTO 部門マスタ VALUES (3, '検査', 1)");
        // Closed with the transaction open: it is rolled back.
    }
    Database again(path, false);
    EXPECT_EQ(Column0(again, "SELECT 部門コード FROM 部門マスタ"), (std::vector<std::string>{"2"}));
    EXPECT_NE(ExpectPlatformError([&] { again.commit(); }).number(), 0);
}

// A write holds its changed pages until the commit; a read, and the
// connection after a commit or a rollback, have the connection's own cache.
TEST(DatabaseTransaction, WriteCacheIsTheTransactionsOnly) {
    TempFolder dir;
    Database db(NewDatabase(dir), false);
    db.execute("PRAGMA cache_size = -500");
    const auto cacheAfter = [&](void (Database::*start)(), void (Database::*end)()) {
        (db.*start)();
        const std::string during = Scalar(db, "PRAGMA cache_size");
        (db.*end)();
        return during + " " + Scalar(db, "PRAGMA cache_size");
    };
    EXPECT_EQ(cacheAfter(&Database::beginRead, &Database::rollback), "-500 -500");
    EXPECT_EQ(cacheAfter(&Database::begin, &Database::commit), "-65536 -500");
    EXPECT_EQ(cacheAfter(&Database::begin, &Database::rollback), "-65536 -500");
}

TEST(DatabaseTransaction, SecondWriterWaitsThenReportsBusy) {
    TempFolder dir;
    const std::string path = NewDatabase(dir);
    Database first(path, false);
    Database second(path, false);
    first.begin();
    sqlite3_busy_timeout(second.handle(), 50);  // keep the test short
    EXPECT_EQ(ExpectPlatformError([&] { second.begin(); }).number(), SQLITE_BUSY);
    first.rollback();
    EXPECT_NO_THROW(second.begin());
    second.rollback();
}

// --- Writes handed on in runs ------------------------------------------------------

namespace {

// Counts the write calls of SQLite's file layer and, once armed, fails every
// one from the n-th on as a full disk does, until the object goes.
class SystemWrites {
  public:
    SystemWrites() : vfs_(sqlite3_vfs_find("unix")) {
        for (const char* name : kNames) {
            if (vfs_->xGetSystemCall(vfs_, name) != nullptr)
                vfs_->xSetSystemCall(vfs_, name, reinterpret_cast<sqlite3_syscall_ptr>(&Write));
        }
        failFrom(-1);
    }
    ~SystemWrites() {
        for (const char* name : kNames)
            vfs_->xSetSystemCall(vfs_, name, nullptr);
        failFrom(-1);
    }
    SystemWrites(const SystemWrites&) = delete;
    SystemWrites& operator=(const SystemWrites&) = delete;

    int calls() const { return calls_; }
    // Counts from 0 again; from the n-th call on they fail (-1: none does).
    void failFrom(int n) {
        calls_ = 0;
        failFrom_ = n;
    }

  private:
    static ssize_t Write(int fd, const void* data, size_t size, off_t offset) {
        if (const int call = calls_++; failFrom_ >= 0 && call >= failFrom_) {
            errno = ENOSPC;
            return -1;
        }
        return ::pwrite(fd, data, size, offset);
    }
    static constexpr const char* kNames[] = {"pwrite", "pwrite64"};
    static inline int calls_ = 0;
    static inline int failFrom_ = -1;
    sqlite3_vfs* vfs_;
};

// 3,000 rows of 800 characters: some 600 pages in one transaction.
constexpr const char* kFillRows =
    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
    "INSERT INTO 大きな表 SELECT i, printf('%0800d', i) FROM n";
constexpr const char* kRowsKnownAnswer = "SELECT count(*) || ' ' || sum(length(v)) FROM 大きな表";

std::string WithBigTable(const TempFolder& dir, const std::string& name) {
    const std::string path = NewDatabase(dir, name);
    Database db(path, false);
    db.execute("CREATE TABLE 大きな表 (k INTEGER PRIMARY KEY, v TEXT)");
    return path;
}

}  // namespace

// The file ends byte for byte as SQLite's own layer leaves it, with a fraction
// of the system's write calls.
TEST(DatabaseWriteRuns, SameFileInFewerWrites) {
    TempFolder dir;
    const std::string combined = WithBigTable(dir, "combined.db");
    const std::string plain = dir.file("plain.db");
    std::filesystem::copy_file(combined, plain);
    SystemWrites writes;
    {
        Database db(combined, false);
        db.begin();
        db.execute(kFillRows);
        writes.failFrom(-1);
        db.commit();
    }
    const int combinedCalls = writes.calls();
    {
        sqlite3* opened = nullptr;
        sqlite3_open_v2(plain.c_str(), &opened, SQLITE_OPEN_READWRITE, nullptr);
        const std::unique_ptr<sqlite3, int (*)(sqlite3*)> raw(opened, sqlite3_close);
        const auto run = [&](const char* sql) { return sqlite3_exec(opened, sql, 0, 0, 0); };
        run("PRAGMA synchronous = FULL; PRAGMA cache_size = -65536; BEGIN IMMEDIATE");
        ASSERT_EQ(run(kFillRows), SQLITE_OK);
        writes.failFrom(-1);
        ASSERT_EQ(run("COMMIT"), SQLITE_OK);
    }
    const int plainCalls = writes.calls();
    EXPECT_GT(plainCalls, 600);
    EXPECT_LT(combinedCalls * 8, plainCalls) << combinedCalls << " against " << plainCalls;
    EXPECT_TRUE(faulttest::ReadBytes(combined) == faulttest::ReadBytes(plain));
    EXPECT_FALSE(std::filesystem::exists(combined + "-journal"));
}

// Rows written out of a small cache before the commit are read back from the
// file inside the same transaction.
TEST(DatabaseWriteRuns, ReadsInsideTheTransactionSeeTheWrites) {
    TempFolder dir;
    Database db(WithBigTable(dir, "spill.db"), false);
    db.begin();
    db.execute("PRAGMA cache_size = 2");
    db.execute(kFillRows);
    db.execute("UPDATE 大きな表 SET v = v || 'x' WHERE k % 7 = 0");
    EXPECT_EQ(Scalar(db, kRowsKnownAnswer), "3000 2400428");
    db.commit();
    EXPECT_EQ(Scalar(db, kRowsKnownAnswer), "3000 2400428");
    EXPECT_EQ(Scalar(db, "PRAGMA integrity_check"), "ok");
}

// The disk is full from the n-th write call of a commit on, for every n the
// commit makes: the commit reports a full disk, and once there is room again
// the file holds exactly what it held before, whether the failure hit the
// journal or the database's own pages.
TEST(DatabaseWriteRuns, FullDiskAtAnyWriteOfTheCommitLosesNothing) {
    TempFolder dir;
    const std::string original = WithBigTable(dir, "original.db");
    {
        Database db(original, false);
        db.execute("INSERT INTO 大きな表 VALUES (1, 'before')");
    }
    SystemWrites writes;
    int failures = 0;
    for (int n = 0;; ++n) {
        SCOPED_TRACE("failing from write " + std::to_string(n));
        const std::string path = dir.file("full" + std::to_string(n) + ".db");
        std::filesystem::copy_file(original, path);
        int number = 0;
        {
            Database db(path, false);
            db.begin();
            db.execute("DELETE FROM 大きな表");
            db.execute(kFillRows);
            writes.failFrom(n);
            try {
                db.commit();
            } catch (const PlatformError& e) {
                number = e.number();
            }
        }
        writes.failFrom(-1);
        if (number == 0)
            break;  // all of this commit's writes came before the n-th
        ++failures;
        EXPECT_EQ(number, SQLITE_FULL);
        Database again(path, false);
        EXPECT_EQ(Scalar(again, "PRAGMA integrity_check"), "ok");
        EXPECT_EQ(Scalar(again, "SELECT group_concat(k || v) FROM 大きな表"), "1before");
        ASSERT_LT(n, 500);
    }
    EXPECT_GE(failures, 3);
}

// --- FieldValue ------------------------------------------------------------------------

TEST(FieldValue, TextAndNumberKnownAnswers) {
    EXPECT_EQ(FieldText(FieldNull{}), "");
    EXPECT_EQ(FieldText(std::int64_t{-42}), "-42");
    EXPECT_EQ(FieldText(5000.0), "5000");
    EXPECT_EQ(FieldText(1.1), "1.1");
    EXPECT_EQ(FieldText(0.1 + 0.2), "0.30000000000000004");
    EXPECT_EQ(FieldText(std::string("ＴＥＬ")), "ＴＥＬ");

    const std::pair<const char*, double> numbers[] = {
        {"12", 12}, {" 12abc", 12},    {"-3.5", -3.5},      {"+7", 7},    {"1e3", 1000},
        {"1e", 1},  {"2.5e-1x", 0.25}, {"abc", 0},          {"", 0},      {".5", 0.5},
        {"-", 0},   {"1.2.3", 1.2},    {"1e999", HUGE_VAL}, {"1e-999", 0}};
    for (const auto& [text, value] : numbers) {
        EXPECT_EQ(FieldNumber(std::string(text)), value) << text;
    }
    EXPECT_EQ(FieldNumber(FieldNull{}), 0);
    EXPECT_EQ(FieldNumber(std::int64_t{9999999999}), 9999999999.0);
}

TEST(FieldValue, WholeNumbersOnlyWhereTheyFit) {
    using std::nullopt;
    const double nan = std::nan("");
    const struct {
        double number;
        std::optional<std::int32_t> int32;
        std::optional<std::int64_t> int64;
    } cases[] = {
        {0, 0, 0},
        {-0.0, 0, 0},
        {2.9, 2, 2},
        {-2.9, -2, -2},
        {2147483647.9, 2147483647, 2147483647},
        {2147483648.0, nullopt, 2147483648},
        {-2147483648.9, -2147483647 - 1, -2147483648},
        {-2147483649.0, nullopt, -2147483649},
        {9223372036854774784.0, nullopt, 9223372036854774784},
        {9223372036854775808.0, nullopt, nullopt},
        {-9223372036854775808.0, nullopt, INT64_MIN},
        {-9223372036854777856.0, nullopt, nullopt},
        {nan, nullopt, nullopt},
        {1e300, nullopt, nullopt},
        {-1e300, nullopt, nullopt},
        {HUGE_VAL, nullopt, nullopt},
        {-HUGE_VAL, nullopt, nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WholeNumberIn<std::int32_t>(c.number), c.int32) << c.number;
        EXPECT_EQ(WholeNumberIn<std::int64_t>(c.number), c.int64) << c.number;
        if (c.int32) {
            EXPECT_EQ(FieldWhole<std::int32_t>(c.number, "x"), *c.int32);
        } else {
            try {
                FieldWhole<std::int32_t>(c.number, "部門コード");
                ADD_FAILURE() << c.number << " read as a number";
            } catch (const PlatformError& e) {
                EXPECT_EQ(e.number(), SQLITE_RANGE);
                EXPECT_EQ(e.description().rfind("数値が範囲外です（部門コード）: ", 0), 0u)
                    << e.description();
            }
        }
    }
    // Whole numbers and texts of the database too.
    EXPECT_EQ(FieldWhole<std::int32_t>(std::int64_t{-7}, "x"), -7);
    EXPECT_THROW(FieldWhole<std::int32_t>(std::int64_t{1} << 40, "x"), PlatformError);
    EXPECT_EQ(FieldWhole<std::int64_t>(std::int64_t{1} << 40, "x"), std::int64_t{1} << 40);
    EXPECT_EQ(FieldWhole<std::int32_t>(std::string("12abc"), "x"), 12);
    EXPECT_THROW(FieldWhole<std::int32_t>(std::string("1e300"), "x"), PlatformError);
    EXPECT_EQ(FieldWhole<std::int32_t>(FieldNull{}, "x"), 0);
}
