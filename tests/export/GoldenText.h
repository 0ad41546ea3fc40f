#pragma once
// Texts compared with golden files under tests/export/golden, byte for byte.
// A mismatch is reported line by line (lines end at CR LF), with the golden
// lines marked "-" and the produced ones "+", each quoted so that trailing
// blanks and stray line feeds show.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace golden {

inline std::string Path(const std::string& name) {
    return std::string(VELKAN_SOURCE_DIR) + "/tests/export/golden/" + name;
}

inline std::vector<std::string> SplitCrLf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    lines.push_back(text.substr(start));
    return lines;
}

inline std::string Quoted(const std::string& line) {
    std::string out = "\"";
    for (const char c : line) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out + "\"";
}

// Shortest edit between the two line lists, unchanged lines shown only next
// to a change.
inline std::string LineDiff(const std::vector<std::string>& want,
                            const std::vector<std::string>& got) {
    const std::size_t n = want.size();
    const std::size_t m = got.size();
    // common[i][j]: longest common run of want[i..] and got[j..].
    std::vector<std::vector<std::size_t>> common(n + 1, std::vector<std::size_t>(m + 1, 0));
    for (std::size_t i = n; i-- > 0;) {
        for (std::size_t j = m; j-- > 0;) {
            common[i][j] = want[i] == got[j] ? common[i + 1][j + 1] + 1
                                             : std::max(common[i + 1][j], common[i][j + 1]);
        }
    }
    struct Step {
        char mark;
        std::size_t line;  // from 1: in the produced text for '+', else in the golden one
        std::string text;
    };
    std::vector<Step> steps;
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < n || j < m) {
        if (i < n && j < m && want[i] == got[j]) {
            steps.push_back({' ', i + 1, want[i]});
            ++i;
            ++j;
        } else if (j < m && (i == n || common[i][j + 1] >= common[i + 1][j])) {
            steps.push_back({'+', j + 1, got[j]});
            ++j;
        } else {
            steps.push_back({'-', i + 1, want[i]});
            ++i;
        }
    }
    std::ostringstream out;
    for (std::size_t k = 0; k < steps.size(); ++k) {
        const auto changed = [&](std::size_t at) {
            return at < steps.size() && steps[at].mark != ' ';
        };
        const bool near = changed(k) || changed(k + 1) || (k > 0 && changed(k - 1));
        if (near)
            out << steps[k].mark << ' ' << steps[k].line << ": " << Quoted(steps[k].text) << '\n';
    }
    return out.str();
}

// Success when `text` equals the golden file `name` byte for byte.
inline ::testing::AssertionResult MatchesFile(const std::string& text, const std::string& name) {
    std::ifstream in(Path(name), std::ios::binary);
    if (!in)
        return ::testing::AssertionFailure() << "golden file missing: " << Path(name);
    const std::string want{std::istreambuf_iterator<char>(in), {}};
    if (text == want)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "differs from " << Path(name) << " (- golden, + produced):\n"
           << LineDiff(SplitCrLf(want), SplitCrLf(text));
}

}  // namespace golden
