#pragma once
// Statements are built line by line, each line preceded by CR LF, so the
// text begins with a line break (to SQL a line break is only a blank).

#include <string>
#include <string_view>

inline void AppendLine(std::string& sql, std::string_view line) {
    sql += "\r\n";
    sql += line;
}
