#pragma once
// ReadControlMaster: opens the chosen database and applies the settings row
// (コード 1) of コントロールマスタ to the window.

#include <cstdint>
#include <string>
#include <vector>

#include "MessageSink.h"
#include "Startup.h"
#include "gMjMDB.h"

struct ControlMasterSettings {
    int calendarMode = 0;  // 西・和暦区分
    bool SiblingDeptsSet = false;
    std::int32_t cleaningDept = 0;    // ぱるも清掃部門コード (0 unless SiblingDeptsSet)
    std::int32_t inspectionDept = 0;  // ぱるも点検部門コード (0 unless SiblingDeptsSet)
};

enum class ControlMasterVariant { Export, Import };

// The window's side of the procedure.
class ControlMasterWindow {
  public:
    virtual ~ControlMasterWindow() = default;
    virtual void setCalendarMode(int mode) = 0;                  // every date input
    virtual void showDatabasePath(const std::string& path) = 0;  // TaviText1 (1)
    // Export only, after the path: default output path and department lists.
    virtual void afterSettings(const ControlMasterSettings&) {}
};

std::string ControlMasterQuery();

bool ReadControlMaster(std::int16_t entryIndex, const std::vector<DatabaseEntry>& entries,
                       gMjMDB& mdb, MessageSink& messages, ControlMasterVariant variant,
                       ControlMasterWindow& window, ControlMasterSettings& settings);
