#include "ControlMaster.h"

#include <cmath>

#include "DatabaseName.h"
#include "PlatformError.h"
#include "RecordsetHelper.h"

std::string ControlMasterQuery() {
    std::string q;
    q += "\r\n SELECT";
    q += "\r\n          コントロールマスタ.*";
    q += "\r\n FROM";
    q += "\r\n          コントロールマスタ";
    q += "\r\n WHERE";
    q += "\r\n         (コントロールマスタ.コード = 1)";
    return q;
}

namespace {

// A settings column read as a number: Null is an error (no value where a
// number is expected), text counts by its leading number, and the result is
// rounded to a whole number with halves to even (2.5 gives 2, 3.5 gives 4).
std::int32_t SettingNumber(const RecordsetHelper& rs, const std::string& column) {
    const FieldValue v = rs.Field(column);
    if (IsNull(v)) {
        throw PlatformError(SQLITE_MISMATCH, "Null の使い方が不正です。(" + column + ")");
    }
    const double x = FieldNumber(v);
    double r = std::round(x);
    if (std::fabs(x - std::trunc(x)) == 0.5)
        r = 2.0 * std::round(x / 2.0);
    if (!std::isfinite(r) || r > 2147483647.0 || r < -2147483648.0) {
        throw PlatformError(SQLITE_RANGE, "オーバーフローしました。(" + column + ")");
    }
    return static_cast<std::int32_t>(r);
}

}  // namespace

bool ReadControlMaster(std::int16_t entryIndex, const std::vector<DatabaseEntry>& entries,
                       gMjMDB& mdb, MessageSink& messages, ControlMasterVariant variant,
                       ControlMasterWindow& window, ControlMasterSettings& settings) {
    if (entryIndex < 0 || static_cast<std::size_t>(entryIndex) >= entries.size())
        return false;
    const DatabaseEntry& entry = entries[static_cast<std::size_t>(entryIndex)];
    try {
        if (mdb.OpenMdb(0, entry.DataBaseName, false) != 0) {
            messages.warn("データーベースがオープンできません（ＭＤＢ）");
            return false;
        }
        RecordsetHelper rs;
        std::int32_t err = 0;
        rs.Open(mdb.gDbObject(), ControlMasterQuery(), 0, err);
        if (err != 0) {
            messages.warn(std::string("ファイルがオープンできません（") + "コントロールマスタ" +
                          "）");
            return false;
        }
        if (rs.IsEOF()) {
            messages.warn("コントロールマスタの設定が正しくありません");
            return false;
        }
        ControlMasterSettings read;
        read.calendarMode = SettingNumber(rs, "西・和暦区分");
        window.setCalendarMode(read.calendarMode);
        if (variant == ControlMasterVariant::Export) {
            const std::int32_t cleaning = SettingNumber(rs, "ぱるも清掃部門コード");
            const std::int32_t inspection = SettingNumber(rs, "ぱるも点検部門コード");
            read.SiblingDeptsSet = !(cleaning == 0 && inspection == 0);
            read.cleaningDept = read.SiblingDeptsSet ? cleaning : 0;
            read.inspectionDept = read.SiblingDeptsSet ? inspection : 0;
        }
        settings = read;
        window.showDatabasePath(DatabaseDisplayName(entry.DataBaseName));
        if (variant == ControlMasterVariant::Export)
            window.afterSettings(settings);
        return true;
    } catch (const PlatformError&) {
        return false;
    }
}
