#include "RecordsetMove.h"

#include <string>

#include "PlatformError.h"

void MoveRecord(RecordsetHelper& recordset, const char* command) {
    std::int32_t err = 0;
    recordset.Move(0, "", command, {}, err);
    if (err != 0)
        throw PlatformError(err, std::string("レコードの移動に失敗しました(") + command + ")");
}
