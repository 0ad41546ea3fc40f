#pragma once
// The marked copy of a checked workbook: the workbook as the check read it
// (sheets, headers, formats, current amounts, the clerk's entries), each
// rejected cell filled red, each stale row's current amounts filled orange,
// and one more column with the row's message. The structure check reads only
// its own columns, so the clerk can correct the copy and import it as it is.

#include <cstdint>
#include <string>
#include <vector>

#include "ImportErrors.h"

class MessageSink;
class pClExcel;

inline constexpr const char* kMessageColumnTitle = "取込エラー内容";
inline constexpr std::int32_t kRejectedCellColor = 3;  // red
inline constexpr std::int32_t kStaleCellColor = 45;    // orange
inline constexpr double kMessageColumnWidth = 50;

// Beside the workbook: "<name>_確認結果.xls" (the name without its extension).
std::string MarkedCopyPath(const std::string& workbookPath);

// Marks the workbook open in `book` and saves it as MarkedCopyPath: an
// existing copy is replaced only after the engine's overwrite question, the
// clerk's own workbook never; a failed save leaves no file. The outcome is
// told through `messages`. True when the copy was written.
bool SaveMarkedCopy(pClExcel& book, const std::string& workbookPath, const ImportErrorList& errors,
                    const std::vector<ImportError>& staleRows, MessageSink& messages);
