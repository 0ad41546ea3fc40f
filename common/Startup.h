#pragma once
// Start-up logic shared by both windows: locating the installed databases in
// the registry, the single-instance rule and the combo item texts.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "MessageSink.h"

struct DatabaseEntry {
    std::int16_t DataBaseMode = 0;
    std::string DataBaseName;  // untrimmed, as read
    std::string UserName;      // untrimmed, as read
};

// Subkeys of Software\Tavi\Project\Package matching "*Septictank*", accepted ones only.
std::vector<DatabaseEntry> FindDatabaseEntries();
// "データベース" + full-width 1-based position + "：" + UserName.
std::string ComboItemText(std::size_t index0, const DatabaseEntry& entry);

// Per-program, per-user lock held while a window is open, so that a second
// instance of the program finds it taken; a lock left by a program that died
// is recovered.
class InstanceLock {
  public:
    virtual ~InstanceLock() = default;
};
// Path of the lock file of `programName` for this user.
std::string InstanceLockPath(const std::string& programName);
// Null when another instance of `programName` holds the lock.
std::unique_ptr<InstanceLock> AcquireInstanceLock(const std::string& programName);

enum class StartupOutcome { NotFound, AlreadyRunning, Ready };

struct StartupResult {
    StartupOutcome outcome = StartupOutcome::NotFound;
    std::vector<DatabaseEntry> entries;
    std::unique_ptr<InstanceLock> lock;
};

// What a window does while it loads, in this order: finds the database
// entries, says so and stops when there are none, then takes the instance
// lock and says so and stops when another instance holds it (caption +
// "は既に起動しています").
StartupResult RunStartup(const std::string& programName, const std::string& caption,
                         MessageSink& messages);
