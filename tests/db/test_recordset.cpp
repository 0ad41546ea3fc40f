#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "DatabaseTestSupport.h"
#include "RecordingMessages.h"
#include "RecordsetHelper.h"
#include "gMjMDB.h"

namespace {

class RecordsetTest : public ::testing::Test {
  protected:
    void SetUp() override {
        path_ = NewDatabase(dir_);
        db_ = std::make_unique<Database>(path_, false);
        db_->execute("INSERT INTO 浄化槽基本マスタ VALUES (1001, 1, 5, 1.234, 1, 0)");
        db_->execute("INSERT INTO 浄化槽基本マスタ VALUES (9999999999, 1, 7, 1.5, 2, 1)");
        const char* lines[] = {"(1001, 1, 1, 24000, 4, 6000)", "(1001, 2, 2, 36000, 12, 3000)",
                               "(9999999999, 1, 1, 10000, 1, 10000)"};
        for (const char* v : lines)
            db_->execute(std::string("INSERT INTO 浄化槽契約内訳マスタ VALUES ") + v);
    }

    // The reading loop of the export and the department lists.
    std::vector<std::string> readAll(RecordsetHelper& rs, const std::string& column) {
        std::int32_t err = 0;
        std::vector<std::string> out;
        rs.Move(0, "", "MOVELAST", {}, err);
        EXPECT_EQ(err, 0);
        rs.Move(0, "", "MOVEFIRST", {}, err);
        while (!rs.BOF() && !rs.IsEOF()) {
            out.push_back(FieldText(rs.Field(column)));
            rs.Move(0, "", "MOVENEXT", {}, err);
            EXPECT_EQ(err, 0);
        }
        return out;
    }

    TempFolder dir_;
    std::string path_;
    std::unique_ptr<Database> db_;
};

}  // namespace

TEST_F(RecordsetTest, QueryResultIsWalkedInOrderByAlias) {
    RecordsetHelper rs;
    std::int32_t err = -1;
    rs.Open(db_.get(),
            "\r\n SELECT 浄化槽契約内訳マスタ.得意先コード AS 得意先コード,"
            "\r\n        浄化槽契約内訳マスタ.ＩＤ AS 行番号, 浄化槽契約内訳マスタ.[1回分の金額] "
            "AS 単価金額"
            "\r\n FROM 浄化槽契約内訳マスタ ORDER BY 浄化槽契約内訳マスタ.得意先コード DESC, "
            "浄化槽契約内訳マスタ.ＩＤ",
            0, err);
    ASSERT_EQ(err, 0);
    rs.Move(0, "", "MOVELAST", {}, err);
    std::int32_t count = 0;
    rs.Count(count);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(readAll(rs, "行番号"), (std::vector<std::string>{"1", "1", "2"}));
    EXPECT_TRUE(rs.IsEOF());
    EXPECT_FALSE(rs.BOF());

    rs.Move(0, "", "MOVEFIRST", {}, err);
    EXPECT_EQ(rs.Field("得意先コード"), FieldValue(std::int64_t{9999999999}));
    EXPECT_EQ(rs.Field("単価金額"), FieldValue(std::int64_t{10000}));
    // Field names are case-insensitive for Latin letters.
    RecordsetHelper tel;
    tel.Open(db_.get(), "SELECT 'x' AS 設置場所TEL", 0, err);
    EXPECT_EQ(FieldText(tel.Field("設置場所tel")), "x");
    EXPECT_EQ(FieldText(tel.Field("t.設置場所TEL")), "x");

    const PlatformError e = ExpectPlatformError([&] { rs.Field("作業名称"); });
    EXPECT_NE(e.description().find("作業名称"), std::string::npos);
}

TEST_F(RecordsetTest, EmptyResultIsBothBofAndEofAndMovesDoNothing) {
    RecordsetHelper rs;
    std::int32_t err = -1;
    rs.Open(db_.get(), "SELECT * FROM 浄化槽契約内訳マスタ WHERE 得意先コード = 5", 0, err);
    ASSERT_EQ(err, 0);
    for (const char* cmd : {"MOVELAST", "MOVEFIRST", "MOVENEXT"}) {
        rs.Move(0, "", cmd, {}, err);
        EXPECT_EQ(err, 0) << cmd;
        EXPECT_TRUE(rs.BOF());
        EXPECT_TRUE(rs.IsEOF());
    }
    std::int32_t count = -1;
    rs.Count(count);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(readAll(rs, "ＩＤ"), std::vector<std::string>{});
    EXPECT_NE(ExpectPlatformError([&] { rs.Field("ＩＤ"); }).number(), 0);
}

TEST_F(RecordsetTest, OpenFailuresReportNonZero) {
    RecordsetHelper rs;
    std::int32_t err = 0;
    rs.Open(db_.get(), "SELECT * FROM 存在しないテーブル", 0, err);
    EXPECT_NE(err, 0);
    EXPECT_TRUE(rs.IsEOF());
    err = 0;
    rs.Open(nullptr, "浄化槽基本マスタ", 0, err);
    EXPECT_NE(err, 0);
    err = 0;
    rs.Open(db_.get(), "SELECT 5 MOD 0", 0, err);  // fails while reading rows
    EXPECT_NE(err, 0);
}

TEST_F(RecordsetTest, KeySeekFindsOneRowAndReportsNoMatch) {
    RecordsetHelper basic;
    std::int32_t err = -1;
    basic.Open(db_.get(), "浄化槽基本マスタ", 0, err);
    ASSERT_EQ(err, 0);
    EXPECT_TRUE(basic.IsEOF());  // nothing read before a seek
    basic.Move(0, "PrimaryKey", "=", {9999999999.0}, err);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(basic.Field("人槽"), FieldValue(std::int64_t{7}));
    basic.Move(0, "PrimaryKey", "=", {1002.0}, err);
    EXPECT_NE(err, 0);
    EXPECT_TRUE(basic.IsEOF());

    RecordsetHelper lines;
    lines.Open(db_.get(), "浄化槽契約内訳マスタ", 0, err);
    ASSERT_EQ(err, 0);
    lines.Move(1, "PrimaryKey", "=", {1001.0, 2.0}, err);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(lines.Field("作業コード"), FieldValue(std::int64_t{2}));
    EXPECT_EQ(lines.Field("1回分の金額"), FieldValue(std::int64_t{3000}));
    lines.Move(1, "PrimaryKey", "=", {1001.0, 3.0}, err);
    EXPECT_NE(err, 0);
    lines.Move(1, "PrimaryKey", "=", {std::int64_t{1001}, std::string("1")}, err);
    EXPECT_EQ(err, 0) << "keys given as integer and text";
    lines.Move(1, "PrimaryKey", "=", {1001.0, 1.0, 1.0}, err);
    EXPECT_NE(err, 0) << "more keys than the primary key has";
    lines.Move(1, "Other", "=", {1001.0, 1.0}, err);
    EXPECT_NE(err, 0);
}

TEST_F(RecordsetTest, KeySeekDoesNotScanTheTable) {
    db_->execute("BEGIN");
    for (int i = 0; i < 20000; ++i) {
        db_->execute("INSERT INTO 浄化槽契約内訳マスタ VALUES (?, 1, 1, 0, 1, 0)",
                     {std::int64_t{100000 + i}});
    }
    db_->execute("COMMIT");
    long steps = 0;
    sqlite3_progress_handler(
        db_->handle(), 1,
        [](void* p) {
            ++*static_cast<long*>(p);
            return 0;
        },
        &steps);
    RecordsetHelper rs;
    std::int32_t err = -1;
    rs.Open(db_.get(), "浄化槽契約内訳マスタ", 0, err);
    rs.Move(1, "PrimaryKey", "=", {119999.0, 1.0}, err);
    sqlite3_progress_handler(db_->handle(), 0, nullptr, nullptr);
    EXPECT_EQ(err, 0);
    EXPECT_LT(steps, 2000) << "virtual machine steps for one seek";
}

TEST_F(RecordsetTest, UpdateWritesOnlyStagedColumnsOfTheSoughtRow) {
    RecordsetHelper rs;
    std::int32_t err = -1;
    rs.Open(db_.get(), "浄化槽契約内訳マスタ", 0, err);
    rs.Move(1, "PrimaryKey", "=", {1001.0, 1.0}, err);
    ASSERT_EQ(err, 0);
    rs.SetField("年間金額", 30000.0);
    rs.SetField("1回分の金額", 7500.5);
    rs.Update(err);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(rs.Field("年間金額"), FieldValue(30000.0));

    EXPECT_EQ(Scalar(*db_,
                     "SELECT 年間金額 || '/' || 作業回数 || '/' || [1回分の金額] FROM "
                     "浄化槽契約内訳マスタ WHERE 得意先コード = 1001 AND ＩＤ = 1"),
              "30000/4/7500.5");
    EXPECT_EQ(Scalar(*db_,
                     "SELECT typeof(年間金額) FROM 浄化槽契約内訳マスタ WHERE ＩＤ = 1 "
                     "AND 得意先コード = 1001"),
              "integer");
    EXPECT_EQ(Scalar(*db_,
                     "SELECT 年間金額 FROM 浄化槽契約内訳マスタ WHERE 得意先コード = 1001 "
                     "AND ＩＤ = 2"),
              "36000");
    EXPECT_NE(ExpectPlatformError([&] { rs.SetField("存在しない列", 1.0); }).number(), 0);
}

TEST_F(RecordsetTest, UpdateWithoutCurrentRowOrOnReadOnlyDatabaseFails) {
    RecordsetHelper rs;
    std::int32_t err = -1;
    rs.Open(db_.get(), "浄化槽契約内訳マスタ", 0, err);
    rs.Update(err);
    EXPECT_NE(err, 0);
    rs.Move(1, "PrimaryKey", "=", {1001.0, 9.0}, err);
    rs.Update(err);
    EXPECT_NE(err, 0);

    Database readOnly(path_, true);
    RecordsetHelper ro;
    ro.Open(&readOnly, "浄化槽契約内訳マスタ", 0, err);
    ro.Move(1, "PrimaryKey", "=", {1001.0, 1.0}, err);
    ASSERT_EQ(err, 0);
    ro.SetField("年間金額", 1.0);
    ro.Update(err);
    EXPECT_EQ(err, SQLITE_READONLY);
}

TEST_F(RecordsetTest, UpdateWhileAnotherConnectionWritesReportsBusy) {
    Database other(path_, false);
    other.begin();
    other.execute("UPDATE 浄化槽基本マスタ SET 人槽 = 8");
    sqlite3_busy_timeout(db_->handle(), 50);
    RecordsetHelper rs;
    std::int32_t err = -1;
    rs.Open(db_.get(), "浄化槽契約内訳マスタ", 0, err);
    rs.Move(1, "PrimaryKey", "=", {1001.0, 1.0}, err);
    ASSERT_EQ(err, 0);
    rs.SetField("作業回数", 2.0);
    rs.Update(err);
    EXPECT_EQ(err, SQLITE_BUSY);
    other.rollback();
}

// The import's pattern: one transaction per sheet; a failure rolls back
// every row written before it.
TEST_F(RecordsetTest, RollbackDiscardsUpdatesOfEarlierRows) {
    db_.reset();
    RecordingMessages messages;
    gMjMDB mdb(messages);
    ASSERT_EQ(mdb.OpenMdb(0, path_, false), 0);
    ASSERT_EQ(mdb.BeginTransaction(), 0);
    for (double id : {1.0, 2.0}) {
        RecordsetHelper rs;
        std::int32_t err = -1;
        rs.Open(mdb.gDbObject(), "浄化槽契約内訳マスタ", 0, err);
        rs.Move(1, "PrimaryKey", "=", {1001.0, id}, err);
        rs.SetField("年間金額", 1.0);
        rs.Update(err);
        ASSERT_EQ(err, 0);
    }
    EXPECT_EQ(Scalar(*mdb.gDbObject(), "SELECT sum(年間金額) FROM 浄化槽契約内訳マスタ"), "10002");
    EXPECT_EQ(mdb.RollbackTransaction(), 0);
    EXPECT_EQ(Scalar(*mdb.gDbObject(), "SELECT sum(年間金額) FROM 浄化槽契約内訳マスタ"), "70000");

    ASSERT_EQ(mdb.BeginTransaction(), 0);
    RecordsetHelper rs;
    std::int32_t err = -1;
    rs.Open(mdb.gDbObject(), "浄化槽契約内訳マスタ", 0, err);
    rs.Move(1, "PrimaryKey", "=", {1001.0, 1.0}, err);
    rs.SetField("年間金額", 2.0);
    rs.Update(err);
    EXPECT_EQ(mdb.CommitTransaction(), 0);
    EXPECT_TRUE(mdb.CloseDatabase());
    Database check(path_, true);
    EXPECT_EQ(Scalar(check, "SELECT sum(年間金額) FROM 浄化槽契約内訳マスタ"), "46002");
    EXPECT_TRUE(messages.shown.empty());
}

// Statements are kept prepared between seeks; none may keep the file locked.
TEST_F(RecordsetTest, SeeksAndUpdatesLeaveNoLockBehind) {
    RecordsetHelper rs;
    std::int32_t err = -1;
    rs.Open(db_.get(), "浄化槽契約内訳マスタ", 0, err);
    rs.Move(1, "PrimaryKey", "=", {1001.0, 1.0}, err);
    ASSERT_EQ(err, 0);
    rs.SetField("作業回数", 3.0);
    rs.Update(err);
    ASSERT_EQ(err, 0);
    rs.Move(1, "PrimaryKey", "=", {1001.0, 7.0}, err);
    ASSERT_NE(err, 0);

    Database other(path_, false);
    sqlite3_busy_timeout(other.handle(), 50);
    EXPECT_NO_THROW({
        other.begin();
        other.execute("UPDATE 浄化槽契約内訳マスタ SET 作業回数 = 5");
        other.commit();
    });
    rs.Move(1, "PrimaryKey", "=", {1001.0, 1.0}, err);
    EXPECT_EQ(rs.Field("作業回数"), FieldValue(std::int64_t{5}));
}

// A commit that cannot get the file (another program still reading) fails
// with a number and leaves nothing half-done behind.
TEST_F(RecordsetTest, FailedCommitRollsBackAndReportsTheNumber) {
    db_.reset();
    RecordingMessages messages;
    gMjMDB mdb(messages);
    ASSERT_EQ(mdb.OpenMdb(0, path_, false), 0);
    sqlite3_busy_timeout(mdb.gDbObject()->handle(), 50);
    ASSERT_EQ(mdb.BeginTransaction(), 0);
    RecordsetHelper rs;
    std::int32_t err = -1;
    rs.Open(mdb.gDbObject(), "浄化槽契約内訳マスタ", 0, err);
    rs.Move(1, "PrimaryKey", "=", {1001.0, 1.0}, err);
    rs.SetField("年間金額", 1.0);
    rs.Update(err);
    ASSERT_EQ(err, 0);

    Database reader(path_, true);
    Statement open = reader.prepare("SELECT 年間金額 FROM 浄化槽契約内訳マスタ");
    ASSERT_TRUE(open.step());  // holds a read lock until reset
    EXPECT_EQ(mdb.CommitTransaction(), SQLITE_BUSY);
    open.reset();

    EXPECT_EQ(Scalar(*mdb.gDbObject(), "SELECT sum(年間金額) FROM 浄化槽契約内訳マスタ"), "70000");
    EXPECT_EQ(mdb.BeginTransaction(), 0) << "no transaction was left open";
    EXPECT_EQ(mdb.CommitTransaction(), 0);
}

TEST_F(RecordsetTest, LargeResultReadsBackEveryRowAcrossItsStorageBlocks) {
    // Past the small first block and the first large one.
    const int kRows = 16700;
    db_->execute("BEGIN");
    for (int i = 0; i < kRows; ++i) {
        db_->execute("INSERT INTO 浄化槽契約内訳マスタ VALUES (?, 1, 1, ?, 1, 0)",
                     {std::int64_t{200000 + i}, std::int64_t{i}});
    }
    db_->execute("COMMIT");
    RecordsetHelper rs;
    std::int32_t err = -1;
    rs.Open(db_.get(),
            "SELECT 得意先コード, 年間金額, 'x' || 年間金額 AS 名 FROM 浄化槽契約内訳マスタ "
            "WHERE 得意先コード BETWEEN 200000 AND 299999 ORDER BY 得意先コード",
            0, err);
    ASSERT_EQ(err, 0);
    std::int32_t count = 0;
    rs.Count(count);
    ASSERT_EQ(count, kRows);
    const std::vector<std::string> names = readAll(rs, "名");
    ASSERT_EQ(names.size(), static_cast<std::size_t>(kRows));
    for (int i : {0, 255, 256, 257, 1023, 1024, 2499, 16639, 16640, 16641, kRows - 1})
        EXPECT_EQ(names[static_cast<std::size_t>(i)], "x" + std::to_string(i));
    rs.Move(0, "", "MOVELAST", {}, err);
    EXPECT_EQ(rs.Field("年間金額"), FieldValue(std::int64_t{kRows - 1}));
    rs.Move(0, "", "MOVEPREVIOUS", {}, err);
    EXPECT_EQ(rs.FieldRef("得意先コード"), FieldValue(std::int64_t{200000 + kRows - 2}));
}

// Rows of a sheet change different sets of columns one after another; each
// row must get exactly its own columns, whatever was prepared before.
TEST_F(RecordsetTest, UpdatesOfDifferentColumnSetsRowAfterRow) {
    RecordsetHelper rs;
    std::int32_t err = -1;
    rs.Open(db_.get(), "浄化槽契約内訳マスタ", 0, err);
    struct Step {
        double id;
        std::vector<std::pair<std::string, FieldValue>> fields;
        const char* after;  // 年間金額/作業回数/1回分の金額 of that row afterwards
    };
    const std::vector<Step> steps = {
        {1, {{"年間金額", 1.0}}, "1/4/6000"},
        {2, {{"作業回数", std::int64_t{3}}, {"年間金額", 2.0}}, "2/3/3000"},
        {1, {{"年間金額", 5.0}, {"作業回数", std::int64_t{9}}}, "5/9/6000"},
        {2, {{"年間金額", 6.0}}, "6/3/3000"},
        // The same column twice: the last value is written.
        {1, {{"1回分の金額", 7.0}, {"1回分の金額", 8.0}}, "5/9/8"},
        {2,
         {{"作業回数", std::int64_t{4}}, {"年間金額", 7.0}, {"作業回数", std::int64_t{5}}},
         "7/5/3000"},
    };
    for (const Step& step : steps) {
        rs.Move(1, "PrimaryKey", "=", {1001.0, step.id}, err);
        ASSERT_EQ(err, 0);
        // By name and by position alike.
        bool byPosition = false;
        for (const auto& [name, value] : step.fields) {
            if (byPosition)
                rs.SetField(rs.FieldIndex(name), value);
            else
                rs.SetField(name, value);
            byPosition = !byPosition;
        }
        rs.Update(err);
        ASSERT_EQ(err, 0);
        EXPECT_EQ(Scalar(*db_,
                         "SELECT 年間金額 || '/' || 作業回数 || '/' || [1回分の金額] FROM "
                         "浄化槽契約内訳マスタ WHERE 得意先コード = 1001 AND ＩＤ = " +
                             std::to_string(static_cast<int>(step.id))),
                  step.after);
    }
    // What was set on a row left without an update is not written with the next.
    rs.Move(1, "PrimaryKey", "=", {1001.0, 1.0}, err);
    rs.SetField("年間金額", 50.0);
    rs.Move(1, "PrimaryKey", "=", {1001.0, 2.0}, err);
    rs.SetField("作業回数", std::int64_t{7});
    rs.Update(err);
    ASSERT_EQ(err, 0);
    EXPECT_EQ(Scalar(*db_,
                     "SELECT group_concat(年間金額 || '/' || 作業回数, ' ') FROM "
                     "浄化槽契約内訳マスタ WHERE 得意先コード = 1001 AND ＩＤ IN (1, 2)"),
              "5/9 7/7");
    EXPECT_EQ(Scalar(*db_,
                     "SELECT 年間金額 FROM 浄化槽契約内訳マスタ WHERE 得意先コード = "
                     "9999999999"),
              "10000");
    EXPECT_THROW(rs.FieldIndex("年間金額２"), PlatformError);
    EXPECT_THROW(rs.SetField(-1, 1.0), PlatformError);
    EXPECT_THROW(rs.SetField(rs.FieldIndex("年間金額") + 100, 1.0), PlatformError);
}

TEST_F(RecordsetTest, SeekSeesAColumnAddedAndTextsOfEveryLength) {
    RecordsetHelper rs;
    std::int32_t err = -1;
    rs.Open(db_.get(), "浄化槽契約内訳マスタ", 0, err);
    rs.Move(1, "PrimaryKey", "=", {1001.0, 1.0}, err);
    ASSERT_EQ(err, 0);
    db_->execute("ALTER TABLE 浄化槽契約内訳マスタ ADD COLUMN 備考 TEXT");
    db_->execute(
        "UPDATE 浄化槽契約内訳マスタ SET 備考 = 'とても長い備考の文章です。とても長い' "
        "WHERE 得意先コード = 1001 AND ＩＤ = 1");
    db_->execute("UPDATE 浄化槽契約内訳マスタ SET 備考 = '短' WHERE ＩＤ = 2");
    rs.Move(1, "PrimaryKey", "=", {1001.0, 1.0}, err);
    ASSERT_EQ(err, 0);
    EXPECT_EQ(FieldText(rs.Field("備考")), "とても長い備考の文章です。とても長い");
    rs.Move(1, "PrimaryKey", "=", {1001.0, 2.0}, err);
    EXPECT_EQ(FieldText(rs.Field("備考")), "短");
    rs.SetField("備考", std::string("改"));
    rs.Update(err);
    EXPECT_EQ(err, 0);
    rs.Move(1, "PrimaryKey", "=", {9999999999.0, 1.0}, err);
    EXPECT_TRUE(IsNull(rs.Field("備考")));
    EXPECT_EQ(Scalar(*db_, "SELECT 備考 FROM 浄化槽契約内訳マスタ WHERE ＩＤ = 2"), "改");
}
