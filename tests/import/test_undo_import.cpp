// The undo of an import: both tables row for row as before, fields changed
// since kept and listed while the other fields of their record go back, a
// second undo refused, a journal naming fields that are gone or holding lines
// that do not read refused, and a kill during the undo leaving all or nothing.

#include <gtest/gtest.h>

#include "ImportJournal.h"
#include "JournalTestSupport.h"
#include "UndoImport.h"

using namespace journaltest;

namespace {

class UndoImportTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        sample_ = new SampleBook(150);
        // The imported state every case starts from.
        imported_ = new std::string(sample_->copy("imported.db"));
        Import(*imported_, sample_->book);
    }
    static void TearDownTestSuite() {
        delete imported_;
        delete sample_;
        sample_ = nullptr;
    }
    const SampleBook& sample() const { return *sample_; }
    std::string imported(const std::string& name) const {
        const std::string path = sample().folder.file(name);
        std::filesystem::copy_file(*imported_, path,
                                   std::filesystem::copy_options::overwrite_existing);
        return path;
    }
    std::string original() const {
        return sample().originalContract + "--\n" + sample().originalBilling;
    }

    static SampleBook* sample_;
    static std::string* imported_;
};

SampleBook* UndoImportTest::sample_ = nullptr;
std::string* UndoImportTest::imported_ = nullptr;

UndoResult Undo(const std::string& path, std::int64_t entry) {
    Database db(path, false);
    return UndoImport(db, entry);
}

std::vector<JournalEntry> Entries(const std::string& path) {
    Database db(path, true);
    return ReadJournal(db);
}

}  // namespace

TEST_F(UndoImportTest, ImportThenUndoLeavesBothTablesAsBefore) {
    const std::string db = imported("undo.db");
    ASSERT_NE(Dump(db), original());
    const std::vector<StoredLine> forwardLines = JournalLines(db, 1);
    const std::vector<StoredField> forward = LineFields(forwardLines);
    ASSERT_GT(forward.size(), forwardLines.size());

    const UndoResult result = Undo(db, 1);
    ASSERT_TRUE(result.done) << result.message;
    EXPECT_TRUE(result.kept.empty());
    EXPECT_EQ(result.restored, static_cast<std::int64_t>(forward.size()));
    EXPECT_EQ(Dump(db), original());

    // The undo is journaled: a line per record restored, last first, each
    // with the import's fields the other way round.
    const std::vector<JournalEntry> entries = Entries(db);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].undoes, 1);
    EXPECT_EQ(entries[1].undoneBy, entries[0].number);
    EXPECT_EQ(entries[0].ok[0] + entries[0].ok[1], static_cast<std::int32_t>(forward.size()));
    EXPECT_NE(JournalEntryLine(entries[1]).find("取消済み"), std::string::npos);
    EXPECT_EQ(JournalEntryLine(entries[0]).find("取消済み"), std::string::npos);
    const std::vector<StoredLine> backLines = JournalLines(db, entries[0].number);
    ASSERT_EQ(backLines.size(), forwardLines.size());
    for (std::size_t i = 0; i < backLines.size(); ++i) {
        const StoredLine& f = forwardLines[forwardLines.size() - 1 - i];
        const StoredLine& b = backLines[i];
        EXPECT_EQ(std::tie(b.table, b.code, b.id, b.fields, b.names),
                  std::tie(f.table, f.code, f.id, f.fields, f.names));
        // Restored to the old values exactly as they were stored, from the
        // values the import wrote.
        EXPECT_EQ(b.after, f.before);
        const std::vector<StoredField> bf = LineFields({b});
        const std::vector<StoredField> ff = LineFields({f});
        ASSERT_EQ(bf.size(), ff.size());
        for (std::size_t k = 0; k < bf.size(); ++k)
            EXPECT_TRUE(SameFieldValue(bf[k].before, ff[k].after)) << bf[k].field;
    }

    // Undoing it again, or undoing the undo, is refused and changes nothing.
    const std::string bytes = ReadBytes(db);
    EXPECT_EQ(Undo(db, 1).message, "選択した取込はすでに元に戻されています");
    EXPECT_EQ(Undo(db, entries[0].number).message, "取消の記録は元に戻せません");
    EXPECT_EQ(Undo(db, 99).message, "選択した取込の履歴が見つかりません");
    EXPECT_TRUE(ReadBytes(db) == bytes);
}

// A field changed after the import keeps its new value and is listed; every
// other field goes back.
TEST_F(UndoImportTest, FieldChangedSinceIsKeptAndListed) {
    const std::string db = imported("changed.db");
    const std::vector<StoredField> lines = JournalFields(db, 1);
    ASSERT_GE(lines.size(), 2u);
    // A field of a record with other fields changed too: those go back.
    std::size_t at = lines.size() / 2;
    while (at + 1 < lines.size() &&
           std::tie(lines[at].table, lines[at].code, lines[at].id) !=
               std::tie(lines[at + 1].table, lines[at + 1].code, lines[at + 1].id))
        ++at;
    ASSERT_LT(at + 1, lines.size());
    const StoredField& touched = lines[at];
    const std::string where = " WHERE 得意先コード = " + std::to_string(touched.code) +
                              " AND ＩＤ = " + std::to_string(touched.id);
    {
        Database d(db, false);
        d.execute("UPDATE " + QuoteSqlName(touched.table) + " SET " + QuoteSqlName(touched.field) +
                  " = 4321" + where);
    }
    const UndoResult result = Undo(db, 1);
    ASSERT_TRUE(result.done) << result.message;
    ASSERT_EQ(result.kept.size(), 1u);
    EXPECT_EQ(result.kept[0].table, touched.table);
    EXPECT_EQ(result.kept[0].code, touched.code);
    EXPECT_EQ(result.kept[0].field, touched.field);
    EXPECT_EQ(result.restored, static_cast<std::int64_t>(lines.size() - 1));
    const std::string line = KeptFieldLine(result.kept[0]);
    EXPECT_NE(line.find(touched.field + "は取込後に変更されているため元に戻せません"),
              std::string::npos)
        << line;
    EXPECT_EQ(line.find(std::string(touched.table == kContract ? "【契約内訳】" : "【請求情報】") +
                        "(ID" + std::to_string(touched.id)),
              0u)
        << line;

    // Apart from the kept field, both tables are as before the import.
    {
        Database d(db, false);
        Statement st = d.prepare("SELECT " + QuoteSqlName(touched.field) + " FROM " +
                                 QuoteSqlName(touched.table) + where);
        ASSERT_TRUE(st.step());
        EXPECT_EQ(st.column(0), FieldValue{std::int64_t{4321}});
        st = d.prepare("UPDATE " + QuoteSqlName(touched.table) + " SET " +
                       QuoteSqlName(touched.field) + " = ?" + where);
        st.bind(1, touched.before);
        st.step();
    }
    EXPECT_EQ(Dump(db), original());
    const std::vector<JournalEntry> entries = Entries(db);
    EXPECT_EQ(entries[0].ng[0] + entries[0].ng[1], 1);
}

// A journal line naming a field the table no longer has, or a journal of
// the wrong shape: the reason, and nothing written.
TEST_F(UndoImportTest, JournalThatNoLongerFitsWritesNothing) {
    const std::string db = imported("gone.db");
    {
        // The first field of line 2 renamed, the others kept.
        const std::string names = JournalLines(db, 1).at(1).names;
        const auto tab = names.find('\t');
        Database d(db, false);
        d.execute("UPDATE 浄化槽金額取込履歴明細 SET 項目名 = ? WHERE 行番号 = 2 AND 取込番号 = 1",
                  {FieldValue{"旧金額" + (tab == std::string::npos ? "" : names.substr(tab))}});
    }
    std::string bytes = ReadBytes(db);
    const UndoResult gone = Undo(db, 1);
    EXPECT_FALSE(gone.done);
    EXPECT_EQ(gone.message.rfind("取込履歴の項目がデータベースにありません\r\n", 0), 0u)
        << gone.message;
    EXPECT_NE(gone.message.find("旧金額"), std::string::npos);
    EXPECT_TRUE(ReadBytes(db) == bytes);

    // A line whose lists do not read: refused whole, even when it comes
    // last in the undo (line 1), after every other record was restored.
    for (const char* set : {"変更前 = 変更前 || char(9) || '1'", "変更後 = '\"open'",
                            "項目数 = 項目数 + 1", "変更後 = 'x' || 変更後"}) {
        SCOPED_TRACE(set);
        const std::string broken = imported("broken.db");
        {
            Database d(broken, false);
            d.execute(std::string("UPDATE 浄化槽金額取込履歴明細 SET ") + set +
                      " WHERE 取込番号 = 1 AND 行番号 = 1");
        }
        bytes = ReadBytes(broken);
        const UndoResult unread = Undo(broken, 1);
        EXPECT_FALSE(unread.done);
        EXPECT_EQ(unread.message,
                  "取込履歴テーブル（浄化槽金額取込履歴明細）の形式が正しくありません\r\n"
                  "行番号 1 を読み取れません");
        EXPECT_TRUE(ReadBytes(broken) == bytes);
    }

    const std::string shape = imported("shape.db");
    {
        Database d(shape, false);
        d.execute("ALTER TABLE 浄化槽金額取込履歴 DROP COLUMN 取消番号");
    }
    bytes = ReadBytes(shape);
    const UndoResult wrong = Undo(shape, 1);
    EXPECT_FALSE(wrong.done);
    EXPECT_NE(wrong.message.find("形式が正しくありません"), std::string::npos) << wrong.message;
    EXPECT_TRUE(ReadBytes(shape) == bytes);

    // Opened read-only: refused with SQLite's reason, nothing written.
    const std::string readOnly = imported("readonly.db");
    bytes = ReadBytes(readOnly);
    {
        Database d(readOnly, true);
        const UndoResult refused = UndoImport(d, 1);
        EXPECT_FALSE(refused.done);
        EXPECT_FALSE(refused.message.empty());
    }
    EXPECT_TRUE(ReadBytes(readOnly) == bytes);
}

// Killed after the first line, half way and after the last line (right
// before the commit): the next opener finds the import as it was, not undone,
// and the undo then runs whole.
TEST_F(UndoImportTest, KilledDuringTheUndoGivesAllOrNothing) {
    const std::string importedDump = Dump(*imported_);
    const std::int64_t lines = static_cast<std::int64_t>(JournalLines(*imported_, 1).size());
    int n = 0;
    for (const std::int64_t at : {std::int64_t{1}, lines / 2, lines}) {
        SCOPED_TRACE("killed after line " + std::to_string(at));
        const std::string db = imported("killed" + std::to_string(n++) + ".db");
        const int status = RunInChild([&] {
            Database d(db, false);
            UndoImport(d, 1, [&](std::int64_t line) {
                // A cache of a few pages writes changed pages into the file
                // before the commit, so only the journal can restore it (set
                // inside the transaction, which starts with a large cache).
                if (line == 1)
                    d.execute("PRAGMA cache_size = 2");
                if (line == at)
                    ::raise(SIGKILL);
            });
            return 0;
        });
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
        EXPECT_EQ(IntegrityCheck(db), "ok");
        EXPECT_EQ(Dump(db), importedDump);
        const std::vector<JournalEntry> entries = Entries(db);
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].undoneBy, 0);
        ASSERT_TRUE(Undo(db, 1).done);
        EXPECT_EQ(Dump(db), original());
    }
}
