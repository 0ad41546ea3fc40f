#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ControlMaster.h"
#include "RecordingMessages.h"
#include "ShownTexts.h"
#include "db/DatabaseTestSupport.h"
#include "gMjMDB.h"

namespace {

const char* const kCannotOpenMdb = "データーベースがオープンできません（ＭＤＢ）";
const char* const kCannotOpenTable = "ファイルがオープンできません（コントロールマスタ）";
const char* const kBadSettings = "コントロールマスタの設定が正しくありません";

class FakeWindow : public ControlMasterWindow {
  public:
    void setCalendarMode(int mode) override { calls.push_back("mode " + std::to_string(mode)); }
    void showDatabasePath(const std::string& path) override {
        shown::Note(path);
        calls.push_back("path " + path);
    }
    void afterSettings(const ControlMasterSettings& s) override {
        calls.push_back("after " + std::to_string(s.cleaningDept) + "," +
                        std::to_string(s.inspectionDept));
    }
    std::vector<std::string> calls;
};

class ControlMasterTest : public ::testing::Test {
  protected:
    // A database whose コントロールマスタ holds the given rows (SQL values).
    std::string database(const std::vector<std::string>& rows, const std::string& name = "cm.db") {
        const std::string path = NewDatabase(dir_, name);
        Database db(path, false);
        for (const auto& r : rows)
            db.execute("INSERT INTO コントロールマスタ VALUES " + r);
        return path;
    }
    bool read(const std::string& path, ControlMasterVariant variant) {
        entries_ = {DatabaseEntry{0, path, "テスト"}};
        return ReadControlMaster(0, entries_, mdb_, messages_, variant, window_, settings_);
    }

    TempFolder dir_;
    RecordingMessages messages_;
    gMjMDB mdb_{messages_};
    FakeWindow window_;
    ControlMasterSettings settings_;
    std::vector<DatabaseEntry> entries_;
};

}  // namespace

TEST(ControlMasterQuery, IsTheFixedStatement) {
    EXPECT_EQ(ControlMasterQuery(),
              "\r\n SELECT\r\n          コントロールマスタ.*\r\n FROM\r\n          "
              "コントロールマスタ\r\n WHERE\r\n         (コントロールマスタ.コード = 1)");
}

TEST_F(ControlMasterTest, ExportAppliesSettingsInOrder) {
    const std::string path = database({"(1, 1, 11, 12)", "(2, 0, 0, 0)"});
    ASSERT_TRUE(read(path, ControlMasterVariant::Export));
    EXPECT_EQ(settings_.calendarMode, 1);
    EXPECT_TRUE(settings_.SiblingDeptsSet);
    EXPECT_EQ(settings_.cleaningDept, 11);
    EXPECT_EQ(settings_.inspectionDept, 12);
    EXPECT_EQ(window_.calls, (std::vector<std::string>{"mode 1", "path " + path, "after 11,12"}));
    EXPECT_TRUE(messages_.shown.empty());
    ASSERT_NE(mdb_.gDbObject(), nullptr);
    EXPECT_EQ(mdb_.gDbObject()->path(), path);
}

TEST_F(ControlMasterTest, SiblingDepartmentCodes) {
    struct Case {
        const char* row;
        bool set;
        int cleaning;
        int inspection;
    };
    const Case cases[] = {{"(1, 0, 0, 0)", false, 0, 0},
                          {"(1, 0, 5, 0)", true, 5, 0},
                          {"(1, 0, 0, 7)", true, 0, 7},
                          {"(1, 0, '12', 13.4)", true, 12, 13}};
    int n = 0;
    for (const auto& c : cases) {
        const std::string path = database({c.row}, "s" + std::to_string(n++) + ".db");
        settings_ = {};
        ASSERT_TRUE(read(path, ControlMasterVariant::Export)) << c.row;
        EXPECT_EQ(settings_.SiblingDeptsSet, c.set) << c.row;
        EXPECT_EQ(settings_.cleaningDept, c.cleaning) << c.row;
        EXPECT_EQ(settings_.inspectionDept, c.inspection) << c.row;
    }
}

TEST_F(ControlMasterTest, CalendarModeIsTheRoundedLeadingNumber) {
    const std::pair<const char*, int> cases[] = {
        {"2", 2}, {"'1'", 1}, {"' 2年号'", 2}, {"'abc'", 0}, {"1.5", 2}, {"2.5", 2}, {"0.6", 1}};
    int n = 0;
    for (const auto& [value, mode] : cases) {
        const std::string path =
            database({std::string("(1, ") + value + ", 0, 0)"}, "m" + std::to_string(n++) + ".db");
        ASSERT_TRUE(read(path, ControlMasterVariant::Import)) << value;
        EXPECT_EQ(settings_.calendarMode, mode) << value;
    }
}

TEST_F(ControlMasterTest, NoSettingsRowWarnsAndFails) {
    const std::string path = database({"(2, 1, 0, 0)"});
    EXPECT_FALSE(read(path, ControlMasterVariant::Export));
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_EQ(messages_.shown[0].text, kBadSettings);
    EXPECT_EQ(messages_.shown[0].title, kMessageTitle);
    EXPECT_EQ(messages_.shown[0].icon, MsgIcon::Exclamation);
    EXPECT_EQ(messages_.shown[0].buttons, MsgButtons::Ok);
    EXPECT_TRUE(window_.calls.empty());
    EXPECT_NE(mdb_.gDbObject(), nullptr) << "the database stays open";
}

TEST_F(ControlMasterTest, MissingValueFailsWithoutMessage) {
    const std::string nullMode = database({"(1, NULL, 0, 0)"}, "a.db");
    EXPECT_FALSE(read(nullMode, ControlMasterVariant::Import));
    EXPECT_TRUE(messages_.shown.empty());
    EXPECT_TRUE(window_.calls.empty());

    // The export reads the sibling codes after setting the calendar mode.
    const std::string nullSibling = database({"(1, 1, NULL, 0)"}, "b.db");
    EXPECT_FALSE(read(nullSibling, ControlMasterVariant::Export));
    EXPECT_TRUE(messages_.shown.empty());
    EXPECT_EQ(window_.calls, (std::vector<std::string>{"mode 1"}));

    // The import does not read them.
    window_.calls.clear();
    EXPECT_TRUE(read(nullSibling, ControlMasterVariant::Import));
    EXPECT_EQ(window_.calls, (std::vector<std::string>{"mode 1", "path " + nullSibling}));
}

TEST_F(ControlMasterTest, MissingTableWarnsCannotOpen) {
    const std::string path = dir_.file("bare.db");
    CreateEmptyDatabase(path, false);
    {
        Database db(path, false);
        db.execute("DROP TABLE コントロールマスタ");
    }
    EXPECT_FALSE(read(path, ControlMasterVariant::Import));
    EXPECT_EQ(messages_.texts(), (std::vector<std::string>{kCannotOpenTable}));
}

TEST_F(ControlMasterTest, UnopenableDatabaseShowsNumberBoxThenMdbMessage) {
    const std::string missing = dir_.file("nowhere.db");
    EXPECT_FALSE(read(missing, ControlMasterVariant::Export));
    ASSERT_EQ(messages_.shown.size(), 2u);
    const auto& box = messages_.shown[0];
    EXPECT_EQ(box.text.rfind("(" + std::to_string(SQLITE_CANTOPEN) + "):", 0), 0u) << box.text;
    EXPECT_NE(box.text.find(missing), std::string::npos);
    EXPECT_EQ(box.title, "");
    EXPECT_EQ(box.icon, MsgIcon::None);
    EXPECT_EQ(box.buttons, MsgButtons::Ok);
    EXPECT_EQ(messages_.shown[1].text, kCannotOpenMdb);
    EXPECT_EQ(messages_.shown[1].title, kMessageTitle);
    EXPECT_EQ(messages_.shown[1].icon, MsgIcon::Exclamation);
    EXPECT_TRUE(window_.calls.empty());
    // The window unloads: closing after the failed open shows nothing.
    EXPECT_TRUE(mdb_.CloseDatabase());
    EXPECT_EQ(messages_.shown.size(), 2u);
}

TEST_F(ControlMasterTest, EntryIndexOutOfRangeFails) {
    entries_ = {};
    EXPECT_FALSE(ReadControlMaster(0, entries_, mdb_, messages_, ControlMasterVariant::Export,
                                   window_, settings_));
    EXPECT_FALSE(ReadControlMaster(-1, entries_, mdb_, messages_, ControlMasterVariant::Export,
                                   window_, settings_));
}

// --- The connection module ------------------------------------------------------

TEST_F(ControlMasterTest, ConnectionOpenReopenAndClose) {
    const std::string first = database({"(1, 0, 0, 0)"}, "first.db");
    const std::string second = database({"(1, 1, 0, 0)"}, "second.db");

    EXPECT_TRUE(mdb_.CloseDatabase()) << "nothing open";
    EXPECT_EQ(mdb_.BeginTransaction(), SQLITE_MISUSE);

    ASSERT_EQ(mdb_.OpenMdb(0, first, false), 0);
    EXPECT_EQ(mdb_.gDbObject()->path(), first);
    // A failed open keeps the previous connection.
    const std::string jet = dir_.file("old.mdb");
    WriteBytes(jet, std::string("\0\1\0\0Standard Jet DB\0", 20) + std::string(500, '\0'));
    EXPECT_EQ(mdb_.OpenMdb(0, jet, false), SQLITE_NOTADB);
    EXPECT_EQ(mdb_.gDbObject()->path(), first);
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_EQ(messages_.shown[0].text.rfind("(26):", 0), 0u) << messages_.shown[0].text;

    ASSERT_EQ(mdb_.OpenMdb(0, second, false), 0);
    EXPECT_EQ(mdb_.gDbObject()->path(), second);
    EXPECT_EQ(mdb_.gDatabase(), mdb_.gDbObject());

    EXPECT_EQ(mdb_.CommitTransaction(), SQLITE_ERROR) << "no transaction";
    EXPECT_EQ(mdb_.BeginTransaction(), 0);
    EXPECT_EQ(mdb_.BeginTransaction(), SQLITE_ERROR) << "already in one";
    EXPECT_EQ(mdb_.RollbackTransaction(), 0);

    EXPECT_TRUE(mdb_.CloseDatabase());
    EXPECT_EQ(mdb_.gDbObject(), nullptr);
    EXPECT_TRUE(mdb_.CloseDatabase());
    EXPECT_EQ(messages_.shown.size(), 1u) << "closing shows nothing";
}

TEST_F(ControlMasterTest, SlotOutsideTheWorkspacesIsRefused) {
    const std::string path = database({"(1, 0, 0, 0)"});
    EXPECT_NE(mdb_.OpenMdb(11, path, false), 0);
    EXPECT_NE(mdb_.OpenMdb(-1, path, false), 0);
    EXPECT_EQ(mdb_.gDbObject(), nullptr);
    EXPECT_EQ(messages_.shown.size(), 2u);
}
