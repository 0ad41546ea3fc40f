#include "gMjMDB.h"

#include "PlatformError.h"

namespace {

// Slots 0 to 10 exist; the programs only use 0.
constexpr std::int16_t kLastWorkspace = 10;
constexpr std::int32_t kNotOpen = SQLITE_MISUSE;

}  // namespace

std::int32_t gMjMDB::OpenMdb(std::int16_t slot, const std::string& path, bool readOnly) {
    std::int32_t number = 0;
    std::string description;
    try {
        if (slot < 0 || slot > kLastWorkspace) {
            throw PlatformError(SQLITE_RANGE,
                                "ワークスペース番号が範囲外です: " + std::to_string(slot));
        }
        gWorkspaceNo_ = slot;
        // The previous connection stays usable until the new one is open.
        auto opened = std::make_unique<Database>(path, readOnly);
        gDatabase_ = std::move(opened);
        return 0;
    } catch (const PlatformError& e) {
        number = ErrorNumber(e);
        description = e.description();
    }
    messages_.show("(" + std::to_string(number) + "):" + description, "", MsgIcon::None,
                   MsgButtons::Ok);
    return number;
}

bool gMjMDB::CloseDatabase() {
    // Closing rolls back an open transaction; nothing here can be reported.
    gDatabase_.reset();
    return true;
}

std::int32_t gMjMDB::BeginTransaction() {
    if (!gDatabase_)
        return kNotOpen;
    try {
        gDatabase_->begin();
    } catch (const PlatformError& e) {
        return ErrorNumber(e);
    }
    return 0;
}

std::int32_t gMjMDB::CommitTransaction() {
    if (!gDatabase_)
        return kNotOpen;
    try {
        gDatabase_->commit();
    } catch (const PlatformError& e) {
        return ErrorNumber(e);
    }
    return 0;
}

std::int32_t gMjMDB::RollbackTransaction() {
    if (!gDatabase_)
        return kNotOpen;
    try {
        gDatabase_->rollback();
    } catch (const PlatformError& e) {
        return ErrorNumber(e);
    }
    return 0;
}
