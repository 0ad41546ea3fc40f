#pragma once
// Statements are built line by line, each line preceded by CR LF, so the
// text begins with a line break (the way the queries have always been sent).

#include <string>
#include <string_view>

inline void AppendLine(std::string& sql, std::string_view line) {
    sql += "\r\n";
    sql += line;
}
