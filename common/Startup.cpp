#include "Startup.h"

#include <unistd.h>

#include <QDir>
#include <QLockFile>
#include <QStandardPaths>
#include <QString>
#include <cstddef>
#include <limits>

#include "GMojRege.h"
#include "NumberText.h"
#include "gMjDisp.h"

namespace {

constexpr const char* kPackageKey = "Software\\Tavi\\Project\\Package";
constexpr const char* kCandidateMark = "Septictank";
constexpr std::size_t kMaxEntries = std::numeric_limits<std::int16_t>::max();

std::string ReadValueText(const std::string& keyPath, const char* valueName) {
    // A value that is missing or cannot be read counts as empty text.
    std::string text;
    GMojRege::GetRegistryString(GMojRege::HKEY_CURRENT_USER, keyPath, valueName, text);
    return text;
}

class LockFileInstanceLock : public InstanceLock {
  public:
    explicit LockFileInstanceLock(std::unique_ptr<QLockFile> file) : file_(std::move(file)) {}

  private:
    std::unique_ptr<QLockFile> file_;  // unlocks when destroyed
};

}  // namespace

std::vector<DatabaseEntry> FindDatabaseEntries() {
    std::vector<DatabaseEntry> entries;
    std::vector<std::string> names;
    const std::int32_t count =
        GMojRege::EnumRegistrySubKeys(GMojRege::HKEY_CURRENT_USER, kPackageKey, names);
    for (std::int32_t i = 0; i < count && static_cast<std::size_t>(i) < names.size(); ++i) {
        if (names[i].find(kCandidateMark) == std::string::npos)
            continue;
        const std::string keyPath = std::string(kPackageKey) + "\\" + names[i];
        DatabaseEntry entry;
        entry.DataBaseName = ReadValueText(keyPath, "DataBaseName");
        const std::string mode = ReadValueText(keyPath, "DataBaseMode");
        entry.UserName = ReadValueText(keyPath, "UserName");
        if (gMjDisp::Trim(entry.DataBaseName).empty() || gMjDisp::Trim(mode).empty() ||
            !numbertext::LeadingNumberIsZero(mode)) {
            continue;
        }
        entry.DataBaseMode = 0;
        entries.push_back(std::move(entry));
        if (entries.size() == kMaxEntries)
            break;
    }
    return entries;
}

std::string ComboItemText(std::size_t index0, const DatabaseEntry& entry) {
    return "データベース" + gMjDisp::FullWidthDigits(static_cast<long long>(index0) + 1) + "：" +
           entry.UserName;
}

std::string InstanceLockPath(const std::string& programName) {
    // The runtime folder is private to the user (created 0700 by Qt when the
    // session provides none), so one lock per program and user. Should it be
    // unavailable, the shared temporary folder serves with the user id in the
    // name, so that users never block each other.
    const QString program = QString::fromStdString(programName);
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty())
        return QDir(runtime).filePath(program + ".lock").toStdString();
    return QDir(QDir::tempPath())
        .filePath(program + "-" + QString::number(::getuid()) + ".lock")
        .toStdString();
}

std::unique_ptr<InstanceLock> AcquireInstanceLock(const std::string& programName) {
    auto file = std::make_unique<QLockFile>(QString::fromStdString(InstanceLockPath(programName)));
    // A running holder keeps its lock however long it runs; a lock left by a
    // process that has died is recognised by its process id and taken over.
    file->setStaleLockTime(0);
    if (file->tryLock(0))
        return std::make_unique<LockFileInstanceLock>(std::move(file));
    if (file->error() == QLockFile::LockFailedError)
        return nullptr;
    // The lock cannot be written at all (no writable folder): that must not
    // keep the user from working, so the program runs without the guard.
    return std::make_unique<LockFileInstanceLock>(nullptr);
}

StartupResult RunStartup(const std::string& programName, const std::string& caption,
                         MessageSink& messages) {
    StartupResult result;
    result.entries = FindDatabaseEntries();
    if (result.entries.empty()) {
        messages.warn(
            "浄化槽システムのデーターベースが見つかりません。\r\n"
            "浄化槽システムがインストールされているパソコンで実行してください。");
        result.outcome = StartupOutcome::NotFound;
        return result;
    }
    result.lock = AcquireInstanceLock(programName);
    if (!result.lock) {
        messages.warn(caption + "は既に起動しています");
        result.outcome = StartupOutcome::AlreadyRunning;
        return result;
    }
    result.outcome = StartupOutcome::Ready;
    return result;
}
