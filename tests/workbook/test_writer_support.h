#pragma once
// Helpers of the workbook engine's tests: temporary folders, files as
// bytes, and running python3-xlrd on a written workbook.

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "Variant.h"

namespace wbtest {

// A single value read from pClExcel (a block gives empty).
inline xls::CellValue CellOf(const xls::Variant& v) {
    return std::visit(
        [](const auto& x) -> xls::CellValue {
            if constexpr (std::is_same_v<std::decay_t<decltype(x)>, xls::Array2D>) {
                return {};
            } else {
                return x;
            }
        },
        v);
}

// A temporary folder removed with everything in it.
class TempDir {
  public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "wbw-XXXXXX").string();
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (::mkdtemp(name.data()) != nullptr)
            path_ = name.data();
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    std::vector<std::string> entries() const {
        std::vector<std::string> out;
        for (const auto& e : std::filesystem::directory_iterator(path_)) {
            out.push_back(e.path().filename().string());
        }
        return out;
    }

  private:
    std::string path_;
};

inline std::vector<std::uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in),
                                     std::istreambuf_iterator<char>());
}

inline void writeText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

inline bool pythonHas(const std::string& module) {
    const std::string cmd = "/usr/bin/python3 -c 'import " + module + "' >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

// Runs a Python script with arguments; returns its standard output, or
// "ERROR: ..." with the exit status.
inline std::string runPython(const std::string& script, const std::string& args,
                             const TempDir& dir) {
    const std::string scriptPath = dir.file("check.py");
    writeText(scriptPath, script);
    const std::string cmd = "/usr/bin/python3 '" + scriptPath + "' " + args + " 2>&1";
    FILE* pipe = ::popen(cmd.c_str(), "r");
    if (pipe == nullptr)
        return "ERROR: popen";
    std::string out;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0)
        out.append(buf, n);
    const int status = ::pclose(pipe);
    if (status != 0)
        return "ERROR: exit " + std::to_string(status) + "\n" + out;
    return out;
}

// "key<TAB>value" lines into a map.
inline std::map<std::string, std::string> keyValues(const std::string& text) {
    std::map<std::string, std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const auto tab = line.find('\t');
        if (tab == std::string::npos)
            continue;
        out[line.substr(0, tab)] = line.substr(tab + 1);
    }
    return out;
}

}  // namespace wbtest
