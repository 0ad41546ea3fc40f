// The journal an F4 import writes: one entry per import, one line per record
// whose values changed listing each changed field, every value read back
// exactly, nothing at all when the journal cannot be written.

#include <gtest/gtest.h>

#include <bit>
#include <limits>
#include <set>
#include <tuple>

#include "ImportJournal.h"
#include "JournalTestSupport.h"
#include "PlatformError.h"
#include "RecordsetHelper.h"
#include "Schema.h"
#include "UndoImport.h"

using namespace journaltest;

namespace {

class ImportJournalTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { sample_ = new SampleBook(150); }
    static void TearDownTestSuite() {
        delete sample_;
        sample_ = nullptr;
    }
    const SampleBook& sample() const { return *sample_; }
    static SampleBook* sample_;
};

SampleBook* ImportJournalTest::sample_ = nullptr;

// The value `change` names as the base database holds it.
FieldValue BaseValue(Database& db, const Change& c) {
    Statement st = db.prepare("SELECT " + QuoteSqlName(c.column) + " FROM " +
                              QuoteSqlName(c.table) + " WHERE 得意先コード = ? AND ＩＤ = ?");
    st.bind(1, c.code);
    st.bind(2, c.line);
    return st.step() ? st.column(0) : FieldValue{};
}

}  // namespace

TEST_F(ImportJournalTest, OneLinePerChangedRecordListingEachChangedField) {
    ASSERT_TRUE(sample().exported);
    const std::string db = sample().copy("journal.db");
    const auto texts = Import(db, sample().book);
    ASSERT_EQ(texts.size(), 2u);

    // What the workbook changes, leaving out entries equal to what is held.
    std::vector<StoredField> expected;
    std::set<std::tuple<std::string, std::int64_t, std::int64_t>> records;
    {
        Database base(sample().base, true);
        for (const Change& c : sample().changes) {
            const FieldValue before = BaseValue(base, c);
            if (!SameFieldValue(before, FieldValue{c.value})) {
                expected.push_back({1, c.table, c.code, c.line, c.column, before, c.value});
                records.insert({c.table, c.code, c.line});
            }
        }
    }
    ASSERT_GT(expected.size(), 0u);
    ASSERT_LT(expected.size(), sample().changes.size()) << "some entries change nothing";
    ASSERT_LT(records.size(), expected.size()) << "some records change in several fields";

    // A line per changed record, numbered from 1, its lists as long as its count.
    const std::vector<StoredLine> stored = JournalLines(db, 1);
    ASSERT_EQ(stored.size(), records.size());
    std::set<std::tuple<std::string, std::int64_t, std::int64_t>> lineRecords;
    for (std::size_t i = 0; i < stored.size(); ++i) {
        EXPECT_EQ(stored[i].number, static_cast<std::int64_t>(i + 1));
        EXPECT_GE(stored[i].fields, 1);
        lineRecords.insert({stored[i].table, stored[i].code, stored[i].id});
    }
    EXPECT_EQ(lineRecords, records);

    const std::vector<StoredField> lines = LineFields(stored);
    ASSERT_EQ(lines.size(), expected.size());
    auto key = [](const StoredField& l) { return std::tie(l.table, l.code, l.id, l.field); };
    std::vector<StoredField> sorted = lines;
    std::sort(sorted.begin(), sorted.end(), [&](auto& a, auto& b) { return key(a) < key(b); });
    std::sort(expected.begin(), expected.end(), [&](auto& a, auto& b) { return key(a) < key(b); });
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].table + " " + std::to_string(expected[i].code) + " " +
                     expected[i].field);
        EXPECT_EQ(key(sorted[i]), key(expected[i]));
        // The old value exactly as it was stored, type and all.
        EXPECT_EQ(sorted[i].before, expected[i].before);
        EXPECT_TRUE(SameFieldValue(sorted[i].after, expected[i].after));
    }

    Database d(db, true);
    const std::vector<JournalEntry> entries = ReadJournal(d);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].file, sample().book);
    EXPECT_EQ(entries[0].ok[0], sample().contractRows);
    EXPECT_EQ(entries[0].ok[1], sample().billingRows);
    EXPECT_EQ(entries[0].ng, (std::array<std::int32_t, 2>{0, 0}));
    EXPECT_EQ(entries[0].user, CurrentIdentity().user);
    EXPECT_EQ(entries[0].when.size(), 19u);
    Statement hash = d.prepare("SELECT SHA256 FROM 浄化槽金額取込履歴");
    ASSERT_TRUE(hash.step());
    EXPECT_EQ(FieldText(hash.column(0)), FileSha256(sample().book));
}

// The same workbook again changes nothing: a second entry without lines.
TEST_F(ImportJournalTest, ReimportJournalsNoLines) {
    const std::string db = sample().copy("twice.db");
    Import(db, sample().book);
    const std::string after = Dump(db);
    Import(db, sample().book);
    EXPECT_EQ(Dump(db), after);
    EXPECT_FALSE(JournalLines(db, 1).empty());
    EXPECT_TRUE(JournalLines(db, 2).empty());
    Database d(db, true);
    const std::vector<JournalEntry> entries = ReadJournal(d);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].number, 2);  // newest first
    EXPECT_EQ(entries[0].ok[0], sample().contractRows);
}

// Turned off to measure what it costs, the journal leaves the import's rows
// and messages as they are and writes nothing of its own, not even its tables.
TEST_F(ImportJournalTest, OffTheImportWritesTheSameRowsAndNoJournal) {
    const std::string with = sample().copy("with.db");
    const std::string without = sample().copy("without.db");
    EXPECT_EQ(Import(without, sample().book, false, false), Import(with, sample().book));
    EXPECT_EQ(Dump(without), Dump(with));
    EXPECT_NE(Dump(without), Dump(sample().base));
    Database d(without, true);
    for (const char* table : {kJournalTable, kJournalLineTable})
        EXPECT_TRUE(d.columnNames(table).empty()) << table;
}

// A journal table left by something else, without the columns the journal
// writes: the sheet fails with the reason, and nothing is written.
TEST_F(ImportJournalTest, WrongShapeJournalTableWritesNothing) {
    const std::string db = sample().copy("shape.db");
    {
        Database d(db, false);
        d.execute("CREATE TABLE 浄化槽金額取込履歴明細 (取込番号 INTEGER, 内容 TEXT)");
    }
    const std::string before = ReadBytes(db);
    const auto texts = Import(db, sample().book);
    ASSERT_EQ(texts.size(), 3u) << ::testing::PrintToString(texts);
    EXPECT_EQ(texts[1],
              "取込履歴テーブル（浄化槽金額取込履歴明細）の形式が正しくありません\r\n"
              "項目「行番号」がありません");
    EXPECT_EQ(texts[2], "浄化槽金額データの取込に失敗しました(契約内訳情報)");
    EXPECT_TRUE(ReadBytes(db) == before) << "the database changed";
}

// A line table of one line per field, as an earlier journal kept it: refused
// by the import, the history and the undo alike, never read as lists.
TEST_F(ImportJournalTest, LineTableOfOneLinePerFieldIsRefused) {
    const std::string db = sample().copy("perfield.db");
    {
        Database d(db, false);
        d.executeScript(JournalSchemaSql().substr(0, JournalSchemaSql().find("-- One line")));
        d.execute(
            "CREATE TABLE 浄化槽金額取込履歴明細 (取込番号 INTEGER NOT NULL, 行番号 INTEGER NOT "
            "NULL, テーブル名 TEXT NOT NULL, 得意先コード INTEGER NOT NULL, ＩＤ INTEGER NOT NULL, "
            "項目名 TEXT NOT NULL, 変更前, 変更後, PRIMARY KEY (取込番号, 行番号))");
        d.execute("INSERT INTO 浄化槽金額取込履歴 (取込番号, 取込日時) VALUES (1, '2024/01/01')");
        d.execute("INSERT INTO 浄化槽金額取込履歴明細 VALUES (1, 1, ?, 1, 1, '年間金額', 5, 6)",
                  {FieldValue{std::string(kContract)}});
    }
    const std::string message =
        "取込履歴テーブル（浄化槽金額取込履歴明細）の形式が正しくありません"
        "\r\n項目「項目数」がありません";
    const std::string before = ReadBytes(db);
    const auto texts = Import(db, sample().book);
    ASSERT_EQ(texts.size(), 3u) << ::testing::PrintToString(texts);
    EXPECT_EQ(texts[1], message);
    {
        Database d(db, false);
        EXPECT_THROW(ReadJournal(d), PlatformError);
        const UndoResult undo = UndoImport(d, 1);
        EXPECT_FALSE(undo.done);
        EXPECT_EQ(undo.message, message);
    }
    EXPECT_TRUE(ReadBytes(db) == before) << "the database changed";
}

// A connection opened read-only cannot create the journal: said so, nothing written.
TEST_F(ImportJournalTest, ReadOnlyConnectionWritesNothing) {
    const std::string db = sample().copy("readonly.db");
    const std::string before = ReadBytes(db);
    const auto texts = Import(db, sample().book, true);
    ASSERT_EQ(texts.size(), 3u) << ::testing::PrintToString(texts);
    EXPECT_NE(texts[1].find("読み取り専用"), std::string::npos) << texts[1];
    EXPECT_TRUE(ReadBytes(db) == before);
}

TEST(JournalPieces, Sha256KnownAnswers) {
    TempFolder folder;
    const struct {
        std::string bytes, hex;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& c : cases) {
        const std::string path = folder.file("f");
        WriteBytes(path, c.bytes);
        EXPECT_EQ(FileSha256(path), c.hex) << c.bytes.size();
    }
    EXPECT_EQ(FileSha256(folder.file("missing")), "");
}

// Each kind of value, written as the journal writes it and read back bit for
// bit, through the functions and through the TEXT columns of the table.
TEST(JournalPieces, ValueTextsKnownAnswersAndRoundTrips) {
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        FieldValue value;
        std::string text;
    } cases[] = {
        {std::int64_t{0}, "0"},
        {std::int64_t{1000}, "1000"},
        {std::int64_t{-12}, "-12"},
        {std::int64_t{7}, "7"},
        {std::int64_t{99}, "99"},
        {std::int64_t{100}, "100"},
        {std::int64_t{-10203}, "-10203"},
        {5.0, "5.0"},
        {-10.0, "-10.0"},
        {123456.0, "123456.0"},
        {std::numeric_limits<std::int64_t>::min(), "-9223372036854775808"},
        {std::numeric_limits<std::int64_t>::max(), "9223372036854775807"},
        {1000.0, "1000.0"},
        {1e6, "1000000.0"},
        {-123456789012345.0, "-123456789012345.0"},
        {9007199254740991.0, "9007199254740991.0"},
        {9007199254740992.0, "9007199254740992.0"},
        {9007199254740994.0, "9007199254740994.0"},
        {1e16, "1e+16"},
        {0.1, "0.1"},
        {0.1 + 0.2, "0.30000000000000004"},
        {1e300, "1e+300"},
        {-1e-300, "-1e-300"},
        {5e-324, "5e-324"},
        {-0.0, "-0.0"},
        {0.0, "0.0"},
        {-2.5, "-2.5"},
        {inf, "inf"},
        {-inf, "-inf"},
        {FieldNull{}, "NULL"},
        {std::string(), "\"\""},
        {std::string("NULL"), "\"NULL\""},
        {std::string("12"), "\"12\""},
        {std::string("1.5"), "\"1.5\""},
        {std::string("a\tb\nc\r\"q\" \\n"), "\"a\\tb\\nc\\r\"q\" \\\\n\""},
        {std::string("\""), "\"\"\""},
        {std::string("合併処理 年間"), "\"合併処理 年間\""},
    };
    auto same = [](const FieldValue& a, const FieldValue& b) {
        if (a.index() != b.index())
            return false;
        if (const auto* d = std::get_if<double>(&a))
            return std::bit_cast<std::uint64_t>(*d) ==
                   std::bit_cast<std::uint64_t>(std::get<double>(b));
        return a == b;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::string text;
        AppendJournalValue(text, c.value);
        EXPECT_EQ(text, c.text);
        FieldValue back = std::string("room");
        ASSERT_TRUE(ReadJournalValue(c.text, back));
        EXPECT_TRUE(same(back, c.value)) << FieldText(back);
    }

    // Texts no value is written as.
    for (const char* bad :
         {"", "+1", "abc", "nul", "Null", "1 ", " 1", "1,5", "\"abc", "abc\"", "\"a\\x\"",
          "\"a\\\"", "\"a\tb\"", "99999999999999999999", "-", "0x10", "1e400"}) {
        FieldValue v;
        EXPECT_FALSE(ReadJournalValue(bad, v)) << bad;
    }

    // All of them in one line of a real journal table, read back as stored.
    TempFolder folder;
    const std::string path = folder.file("values.db");
    CreateEmptyDatabase(path, false);
    {
        Database db(path, false);
        db.begin();
        EnsureJournalTables(db);
        const std::int64_t entry = AddJournalEntry(db, CurrentIdentity(), "book.xls", "", 0);
        JournalLineWriter writer(db, entry, 1);
        JournalRecordLine& line = writer.Open(kContract, 7, 3);
        for (std::size_t i = 0; i < std::size(cases); ++i)
            line.AddField("f" + std::to_string(i), cases[i].value,
                          cases[std::size(cases) - 1 - i].value);
        writer.Close();
        writer.Open(kContract, 7, 4);  // no field: no line
        writer.Close();
        writer.Flush();
        db.commit();
    }
    const std::vector<StoredField> fields = JournalFields(path, 1);
    ASSERT_EQ(fields.size(), std::size(cases));
    ASSERT_EQ(JournalLines(path, 1).size(), 1u);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        SCOPED_TRACE(cases[i].text);
        EXPECT_EQ(fields[i].field, "f" + std::to_string(i));
        EXPECT_EQ(std::tie(fields[i].table, fields[i].code, fields[i].id),
                  std::make_tuple(std::string(kContract), std::int64_t{7}, std::int64_t{3}));
        EXPECT_TRUE(same(fields[i].before, cases[i].value));
        EXPECT_TRUE(same(fields[i].after, cases[std::size(cases) - 1 - i].value));
    }
}

TEST(JournalPieces, ListsSplitIntoTheirCount) {
    std::vector<std::string_view> items;
    EXPECT_TRUE(SplitJournalList("a\tb\tc", 3, items));
    EXPECT_EQ(items, (std::vector<std::string_view>{"a", "b", "c"}));
    EXPECT_TRUE(SplitJournalList("a\t", 2, items));
    EXPECT_EQ(items, (std::vector<std::string_view>{"a", ""}));
    EXPECT_TRUE(SplitJournalList("", 1, items));
    EXPECT_FALSE(SplitJournalList("a\tb", 1, items));
    EXPECT_FALSE(SplitJournalList("a\tb", 3, items));
    EXPECT_FALSE(SplitJournalList("a", 0, items));
}

TEST(JournalPieces, SameFieldValueTable) {
    const struct {
        FieldValue a, b;
        bool same;
    } cases[] = {
        {std::int64_t{1000}, 1000.0, true},
        {std::int64_t{1000}, std::int64_t{1000}, true},
        {1000.5, 1000.0, false},
        {std::int64_t{0}, FieldNull{}, false},
        {FieldNull{}, FieldNull{}, true},
        {std::string("10"), std::int64_t{10}, false},
        {std::string("a"), std::string("a"), true},
        // Beyond 2^53 the integers are compared exactly, not as doubles.
        {std::int64_t{9007199254740993}, std::int64_t{9007199254740992}, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SameFieldValue(c.a, c.b), c.same) << FieldText(c.a) << " / " << FieldText(c.b);
        EXPECT_EQ(SameFieldValue(c.b, c.a), c.same);
    }
}

// The record set lists only the fields an update really changed.
TEST(JournalPieces, RecordsetListsRealChanges) {
    TempFolder folder;
    const std::string path = folder.file("r.db");
    CreateEmptyDatabase(path, false);
    Database db(path, false);
    db.execute("INSERT INTO 浄化槽契約内訳マスタ VALUES (1, 1, 5, 1000, 2, 500)");
    RecordsetHelper rs;
    std::int32_t err = 0;
    rs.Open(&db, "浄化槽契約内訳マスタ", 0, err);
    rs.KeepChanges(true);
    rs.Move(1, "PrimaryKey", "=", {FieldValue{1.0}, FieldValue{1.0}}, err);
    ASSERT_EQ(err, 0);
    rs.SetField("年間金額", 1000.0);  // the same amount
    rs.SetField("作業回数", FieldValue{4.0});
    rs.Update(err);
    ASSERT_EQ(err, 0);
    ASSERT_EQ(rs.LastChanges().size(), 1u);
    EXPECT_EQ(rs.ColumnName(rs.LastChanges()[0].column), "作業回数");
    EXPECT_EQ(rs.LastChanges()[0].before, FieldValue{std::int64_t{2}});
    EXPECT_EQ(rs.LastChanges()[0].after, FieldValue{4.0});
    // Nothing new: the list of the previous update is gone.
    rs.SetField("作業回数", FieldValue{4.0});
    rs.Update(err);
    EXPECT_TRUE(rs.LastChanges().empty());
    // The schema of new databases has no journal; the import makes it.
    EXPECT_FALSE(db.hasTable(kJournalTable));
}
