// Temporary stand-in until the export job lands.
#include "ExportFeeData.h"

bool CheckExpansionTable(const Database* gDatabase) {
    return gDatabase != nullptr && gDatabase->hasTable("浄化槽請求展開テーブル");
}

bool ExportFeeData(Database*, const ExportRequest&, bool&, ExportView&) { return false; }
