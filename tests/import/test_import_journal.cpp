// The journal an F4 import writes: one entry per import, one line per field
// whose value changed, nothing at all when the journal cannot be written.

#include <gtest/gtest.h>

#include "ImportJournal.h"
#include "JournalTestSupport.h"
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

TEST_F(ImportJournalTest, OneLinePerChangedFieldWithItsOldAndNewValue) {
    ASSERT_TRUE(sample().exported);
    const std::string db = sample().copy("journal.db");
    const auto texts = Import(db, sample().book);
    ASSERT_EQ(texts.size(), 2u);

    // What the workbook changes, leaving out entries equal to what is held.
    std::vector<StoredLine> expected;
    {
        Database base(sample().base, true);
        for (const Change& c : sample().changes) {
            const FieldValue before = BaseValue(base, c);
            if (!SameFieldValue(before, FieldValue{c.value}))
                expected.push_back({1, c.table, c.code, c.line, c.column, before, c.value});
        }
    }
    ASSERT_GT(expected.size(), 0u);
    ASSERT_LT(expected.size(), sample().changes.size()) << "some entries change nothing";

    const std::vector<StoredLine> lines = JournalLines(db, 1);
    ASSERT_EQ(lines.size(), expected.size());
    auto key = [](const StoredLine& l) { return std::tie(l.table, l.code, l.id, l.field); };
    std::vector<StoredLine> sorted = lines;
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
