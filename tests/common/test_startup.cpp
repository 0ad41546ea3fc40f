#include <gtest/gtest.h>
#include <unistd.h>

#include <QLockFile>
#include <QString>
#include <fstream>
#include <string>
#include <vector>

#include "RecordingMessages.h"
#include "Startup.h"
#include "common/RegistryTestSupport.h"

namespace {

const char* const kNotFound =
    "浄化槽システムのデーターベースが見つかりません。\r\n"
    "浄化槽システムがインストールされているパソコンで実行してください。";

// One subkey of the package key with the values given (nullptr: value absent).
struct Sub {
    std::string name;
    const char* dbName;
    const char* mode;
    const char* user;
};

std::string Escape(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\\' || c == '"')
            out.push_back('\\');
        out.push_back(c);
    }
    return out;
}

std::string Store(const std::vector<Sub>& subs) {
    std::string text = "Windows Registry Editor Version 5.00\r\n\r\n";
    text += "[HKEY_CURRENT_USER\\Software\\Tavi\\Project\\Package]\r\n";
    for (const Sub& s : subs) {
        text += "\r\n[HKEY_CURRENT_USER\\Software\\Tavi\\Project\\Package\\" + s.name + "]\r\n";
        if (s.dbName)
            text += "\"DataBaseName\"=\"" + Escape(s.dbName) + "\"\r\n";
        if (s.mode) {
            const std::string mode = s.mode;
            // "dword:..." stands for a REG_DWORD value, anything else is text.
            text += mode.rfind("dword:", 0) == 0 || mode.rfind("hex", 0) == 0
                        ? "\"DataBaseMode\"=" + mode + "\r\n"
                        : "\"DataBaseMode\"=\"" + Escape(mode) + "\"\r\n";
        }
        if (s.user)
            text += "\"UserName\"=\"" + Escape(s.user) + "\"\r\n";
    }
    return text;
}

std::vector<std::string> Names(const std::vector<DatabaseEntry>& entries) {
    std::vector<std::string> names;
    for (const auto& e : entries)
        names.push_back(e.DataBaseName);
    return names;
}

std::string UniqueProgram(const char* base) {
    return std::string(base) + "-" + std::to_string(getpid());
}

}  // namespace

TEST(FindDatabaseEntries, CandidatesMatchSeptictankCaseSensitively) {
    TempRegistry registry;
    registry.write(Store({{"XSeptictankY", "/db/x.sqlite", "0", "X"},
                          {"septictank", "/db/lower.sqlite", "0", "lower"},
                          {"SEPTICTANK2", "/db/upper.sqlite", "0", "upper"},
                          {"My_Septictank", "/db/plain.sqlite", "0", "plain"},
                          {"Septic tank", "/db/space.sqlite", "0", "space"}}));
    EXPECT_EQ(Names(FindDatabaseEntries()),
              (std::vector<std::string>{"/db/plain.sqlite", "/db/x.sqlite"}));
}

TEST(FindDatabaseEntries, KeyNameIsTheOneFirstWritten) {
    // Key names ignore case, so these two sections are one key named as first
    // written; that name does not match and the key is no candidate.
    TempRegistry registry;
    registry.write(Store({{"septictank", "/db/lower.sqlite", "0", "lower"},
                          {"Septictank", "/db/plain.sqlite", "0", "plain"}}));
    EXPECT_TRUE(FindDatabaseEntries().empty());
}

TEST(FindDatabaseEntries, AcceptanceOfNameAndMode) {
    struct Case {
        const char* dbName;
        const char* mode;
        bool accepted;
    };
    const Case cases[] = {
        {"/db/a.sqlite", "0", true},
        {"/db/a.sqlite", "00", true},
        {"/db/a.sqlite", " 0", true},
        {"/db/a.sqlite", "0 ", true},
        {"/db/a.sqlite", "0abc", true},
        {"/db/a.sqlite", "-0", true},
        {"/db/a.sqlite", "&H0", true},
        {"/db/a.sqlite", "dword:00000000", true},
        {"/db/a.sqlite", "1", false},
        {"/db/a.sqlite", "01", false},
        {"/db/a.sqlite", " 2", false},
        {"/db/a.sqlite", "-1", false},
        {"/db/a.sqlite", "&H10", false},
        {"/db/a.sqlite", "dword:00000001", false},
        {"/db/a.sqlite", "hex:00,00,00,00", false},  // REG_BINARY cannot be read
        {"/db/a.sqlite", "", false},
        {"/db/a.sqlite", "   ", false},
        {"/db/a.sqlite", nullptr, false},
        {"   ", "0", false},
        {"", "0", false},
        {nullptr, "0", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "name=" << (c.dbName ? c.dbName : "(none)")
                                        << " mode=" << (c.mode ? c.mode : "(none)"));
        TempRegistry registry;
        registry.write(Store({{"Septictank", c.dbName, c.mode, "user"}}));
        const auto entries = FindDatabaseEntries();
        ASSERT_EQ(entries.size(), c.accepted ? 1u : 0u);
        if (c.accepted) {
            EXPECT_EQ(entries[0].DataBaseMode, 0);
        }
    }
}

TEST(FindDatabaseEntries, KeepsUntrimmedTextsAndEnumerationOrder) {
    TempRegistry registry;
    registry.write(Store({{"Septictank_b", " /db/b.sqlite ", "0", " 山田 "},
                          {"Septictank_A", "/db/a.sqlite", "0", "鈴木"}}));
    const auto entries = FindDatabaseEntries();
    ASSERT_EQ(entries.size(), 2u);
    // Subkeys come in Windows order: by name, ignoring case.
    EXPECT_EQ(entries[0].DataBaseName, "/db/a.sqlite");
    EXPECT_EQ(entries[1].DataBaseName, " /db/b.sqlite ");
    EXPECT_EQ(entries[1].UserName, " 山田 ");
}

TEST(FindDatabaseEntries, RejectedEntryDoesNotTakeAPosition) {
    TempRegistry registry;
    registry.write(Store({{"Septictank1", "/db/1.sqlite", "0", "一"},
                          {"Septictank2", "/db/2.sqlite", "1", "二"},
                          {"Septictank3", "/db/3.sqlite", "0", "三"}}));
    const auto entries = FindDatabaseEntries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(ComboItemText(0, entries[0]), "データベース１：一");
    EXPECT_EQ(ComboItemText(1, entries[1]), "データベース２：三");
}

TEST(FindDatabaseEntries, MissingOrUnreadableUserNameIsAcceptedAsEmpty) {
    TempRegistry registry;
    const std::string longUser(128, 'u');  // does not fit the 128-byte read
    registry.write(Store({{"Septictank1", "/db/1.sqlite", "0", nullptr},
                          {"Septictank2", "/db/2.sqlite", "0", longUser.c_str()}}));
    const auto entries = FindDatabaseEntries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].UserName, "");
    EXPECT_EQ(ComboItemText(0, entries[0]), "データベース１：");
    EXPECT_EQ(entries[1].UserName, "");
}

TEST(FindDatabaseEntries, NoStoreOrNoPackageKeyFindsNothing) {
    TempRegistry registry;
    EXPECT_TRUE(FindDatabaseEntries().empty());
    registry.write("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software]\r\n");
    EXPECT_TRUE(FindDatabaseEntries().empty());
}

TEST(ComboItemText, PositionsInFullWidthDigits) {
    const DatabaseEntry entry{0, "/db.sqlite", "本社"};
    EXPECT_EQ(ComboItemText(0, entry), "データベース１：本社");
    EXPECT_EQ(ComboItemText(9, entry), "データベース１０：本社");
    EXPECT_EQ(ComboItemText(11, entry), "データベース１２：本社");
}

TEST(ComboItemText, TenthAcceptedEntry) {
    TempRegistry registry;
    std::vector<Sub> subs;
    std::vector<std::string> names;
    for (int i = 0; i < 12; ++i)
        names.push_back("Septictank" + std::string(1, char('a' + i)));
    for (int i = 0; i < 12; ++i) {
        subs.push_back({names[static_cast<std::size_t>(i)], "/db.sqlite", i == 3 ? "1" : "0",
                        i == 10 ? "十番目" : "x"});
    }
    registry.write(Store(subs));
    const auto entries = FindDatabaseEntries();
    ASSERT_EQ(entries.size(), 11u);
    EXPECT_EQ(ComboItemText(9, entries[9]), "データベース１０：十番目");
}

TEST(AcquireInstanceLock, HeldLockRefusesASecondInstance) {
    TempRegistry registry;
    const std::string program = UniqueProgram("VelkanLockTest");
    QLockFile other(QString::fromStdString(InstanceLockPath(program)));
    ASSERT_TRUE(other.tryLock(0));
    EXPECT_EQ(AcquireInstanceLock(program), nullptr);
    // Another program is not affected.
    EXPECT_NE(AcquireInstanceLock(program + "-other"), nullptr);
    other.unlock();
    EXPECT_NE(AcquireInstanceLock(program), nullptr);
}

TEST(AcquireInstanceLock, LockIsReleasedWithItsObject) {
    TempRegistry registry;
    const std::string program = UniqueProgram("VelkanLockTest");
    auto first = AcquireInstanceLock(program);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(AcquireInstanceLock(program), nullptr);
    first.reset();
    EXPECT_NE(AcquireInstanceLock(program), nullptr);
}

TEST(AcquireInstanceLock, StaleLockOfADeadProcessIsRecovered) {
    TempRegistry registry;
    const std::string program = UniqueProgram("VelkanLockTest");
    // A lock file left by a process that no longer exists, on this machine.
    std::ofstream(InstanceLockPath(program)) << "2147483646\n" << program << "\n\n";
    EXPECT_NE(AcquireInstanceLock(program), nullptr);
}

TEST(RunStartup, NotFoundComesBeforeTheSecondInstanceTest) {
    TempRegistry registry;
    const std::string program = UniqueProgram("VelkanStartupTest");
    QLockFile other(QString::fromStdString(InstanceLockPath(program)));
    ASSERT_TRUE(other.tryLock(0));
    RecordingMessages messages;
    const StartupResult result = RunStartup(program, "浄化槽金額データ出力", messages);
    EXPECT_EQ(result.outcome, StartupOutcome::NotFound);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, kNotFound);
    EXPECT_EQ(messages.shown[0].title, kMessageTitle);
    EXPECT_EQ(messages.shown[0].icon, MsgIcon::Exclamation);
    EXPECT_EQ(messages.shown[0].buttons, MsgButtons::Ok);
}

TEST(RunStartup, SecondInstanceIsRefusedWithTheCaption) {
    TempRegistry registry;
    registry.write(Store({{"Septictank", "/db/a.sqlite", "0", "本社"}}));
    const std::string program = UniqueProgram("VelkanStartupTest");
    QLockFile other(QString::fromStdString(InstanceLockPath(program)));
    ASSERT_TRUE(other.tryLock(0));
    RecordingMessages messages;
    const StartupResult result = RunStartup(program, "消費税対応処理(データ取込)", messages);
    EXPECT_EQ(result.outcome, StartupOutcome::AlreadyRunning);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "消費税対応処理(データ取込)は既に起動しています");
    EXPECT_EQ(messages.shown[0].title, kMessageTitle);
    EXPECT_EQ(messages.shown[0].icon, MsgIcon::Exclamation);
    EXPECT_EQ(messages.shown[0].buttons, MsgButtons::Ok);
}

TEST(RunStartup, ReadyHoldsTheLockAndTheEntries) {
    TempRegistry registry;
    registry.write(Store({{"Septictank", "/db/a.sqlite", "0", "本社"}}));
    const std::string program = UniqueProgram("VelkanStartupTest");
    RecordingMessages messages;
    StartupResult result = RunStartup(program, "浄化槽金額データ出力", messages);
    EXPECT_EQ(result.outcome, StartupOutcome::Ready);
    EXPECT_TRUE(messages.shown.empty());
    ASSERT_EQ(result.entries.size(), 1u);
    EXPECT_EQ(result.entries[0].UserName, "本社");
    EXPECT_EQ(AcquireInstanceLock(program), nullptr);

    RecordingMessages second;
    EXPECT_EQ(RunStartup(program, "浄化槽金額データ出力", second).outcome,
              StartupOutcome::AlreadyRunning);
    result.lock.reset();
    EXPECT_NE(AcquireInstanceLock(program), nullptr);
}
