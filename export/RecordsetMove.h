#pragma once
// Navigation of a query's record set while the export reads it.

#include "RecordsetHelper.h"

// "MOVEFIRST", "MOVELAST" or "MOVENEXT" (nothing happens on an empty result).
// A failing move throws PlatformError: a loop that cannot advance must not spin.
void MoveRecord(RecordsetHelper& recordset, const char* command);
