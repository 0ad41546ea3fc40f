// velkan-sample-db <path> [--customers N] [--seed S] [--no-expansion] [--rows-per-sheet R]
// Creates a sample septic-tank database; never replaces an existing file.
// --rows-per-sheet adds customers until an export without a contract-end
// month writes exactly R rows on each sheet (65533 fills both sheets).

#include <cstdio>
#include <cstdlib>
#include <string>

#include "Database.h"
#include "DatabaseName.h"
#include "PlatformError.h"
#include "SampleData.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: velkan-sample-db <path> [--customers N] [--seed S] [--no-expansion] "
                 "[--rows-per-sheet R]\n");
    return 2;
}

bool ParseNumber(const char* text, long long min, long long max, long long& out) {
    char* end = nullptr;
    const long long v = std::strtoll(text, &end, 10);
    if (!*text || *end || v < min || v > max)
        return false;
    out = v;
    return true;
}

std::string Scalar(const Database& db, const std::string& sql) {
    Statement st = db.prepare(sql);
    return st.step() ? FieldText(st.column(0)) : std::string();
}

}  // namespace

int main(int argc, char** argv) {
    SampleOptions options;
    std::string path;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        long long v = 0;
        if (arg == "--customers" && i + 1 < argc) {
            if (!ParseNumber(argv[++i], 0, 10000000, v))
                return Usage();
            options.customers = static_cast<int>(v);
        } else if (arg == "--seed" && i + 1 < argc) {
            if (!ParseNumber(argv[++i], 0, 4294967295LL, v))
                return Usage();
            options.seed = static_cast<std::uint32_t>(v);
        } else if (arg == "--rows-per-sheet" && i + 1 < argc) {
            if (!ParseNumber(argv[++i], 1, 10000000, v))
                return Usage();
            options.exportRowsPerSheet = static_cast<long>(v);
        } else if (arg == "--no-expansion") {
            options.expansionTable = false;
        } else if (arg == "-h" || arg == "--help") {
            Usage();
            return 0;
        } else if (!arg.empty() && arg[0] != '-' && path.empty()) {
            path = arg;
        } else {
            return Usage();
        }
    }
    if (path.empty())
        return Usage();
    try {
        CreateSampleDatabase(path, options);
        Database db(path, true);
        const ExportRowCounts none = CountExportRows(db, 0);
        const std::string customers = Scalar(db, "SELECT count(*) FROM 浄化槽基本マスタ");
        std::printf("%s: %s installations, seed %u%s\n", DatabaseDisplayName(path).c_str(),
                    customers.c_str(), options.seed,
                    options.expansionTable ? "" : ", no expansion table");
        std::printf("export rows without a contract-end month: %ld contract, %ld billing\n",
                    none.contractRows, none.billingRows);
    } catch (const PlatformError& e) {
        std::fprintf(stderr, "velkan-sample-db: %s\n", e.description().c_str());
        return 1;
    }
    return 0;
}
