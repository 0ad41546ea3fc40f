// interop_driver export <database> <workbook> [yyyymm]
// interop_driver import <database> <workbook>
//
// Runs the export job (every eligible department chosen, as the window offers
// them) or the import job the way F4 does, answering Yes to every question,
// and prints what the user would have seen, one item per line:
//   box<TAB>icon<TAB>text     every message box, in order
//   error<TAB>line            every line of the import's error list
//   result<TAB>0|1            the export job's result
//   count<TAB>sheet<TAB>ok<TAB>ng   the import's counters per sheet
// Backslash, CR, LF and TAB inside a text are written as \\, \r, \n and \t.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ControlMaster.h"
#include "DepartmentFilter.h"
#include "ExportFeeData.h"
#include "ImportJob.h"
#include "PlatformError.h"
#include "RecordingJobView.h"
#include "RecordingMessages.h"
#include "gMjMDB.h"

namespace {

std::string Escape(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                out += c;
        }
    }
    return out;
}

const char* IconName(MsgIcon icon) {
    switch (icon) {
        case MsgIcon::Question:
            return "question";
        case MsgIcon::Exclamation:
            return "exclamation";
        case MsgIcon::Information:
            return "information";
        case MsgIcon::None:
            break;
    }
    return "none";
}

void PrintBoxes(const RecordingMessages& messages) {
    for (const auto& box : messages.shown) {
        std::printf("box\t%s\t%s\n", IconName(box.icon), Escape(box.text).c_str());
    }
}

class NoWindow : public ControlMasterWindow {
  public:
    void setCalendarMode(int) override {}
    void showDatabasePath(const std::string&) override {}
};

std::vector<std::int32_t> Codes(const std::vector<DepartmentItem>& items) {
    std::vector<std::int32_t> codes;
    for (const auto& item : items)
        codes.push_back(item.code);
    return codes;
}

int RunExport(const std::string& database, const std::string& workbook, std::int32_t yearMonth) {
    RecordingMessages messages;
    gMjMDB mdb(messages);
    const std::vector<DatabaseEntry> entries{{0, database, "interop"}};
    NoWindow window;
    ControlMasterSettings settings;
    if (!ReadControlMaster(0, entries, mdb, messages, ControlMasterVariant::Export, window,
                           settings)) {
        PrintBoxes(messages);
        return 1;
    }
    std::vector<DepartmentItem> contract;
    std::vector<DepartmentItem> oneOff;
    LoadDepartments(mdb.gDbObject(), ContractDepartmentQuery(settings), contract);
    LoadDepartments(mdb.gDbObject(), OneOffDepartmentQuery(settings), oneOff);

    ExportRequest request;
    request.ContractEndYearMonth = yearMonth;
    request.outputPath = workbook;
    request.contractFilter = TargetDepartmentFilter(Codes(contract));
    request.oneOffFilter = TargetDepartmentFilter(Codes(oneOff));
    bool expansionMode = CheckExpansionTable(mdb.gDatabase());

    RecordingJobView<ExportView> view(messages);
    const bool result = ExportFeeData(mdb.gDbObject(), request, expansionMode, view);
    mdb.CloseDatabase();
    PrintBoxes(messages);
    std::printf("result\t%d\n", result ? 1 : 0);
    return 0;
}

int RunImport(const std::string& database, const std::string& workbook) {
    RecordingMessages messages;
    gMjMDB mdb(messages);
    if (mdb.OpenMdb(0, database, false) != 0) {
        PrintBoxes(messages);
        return 1;
    }
    RecordingJobView<ImportView> view(messages);
    {
        ImportJob job(mdb, view);
        job.RunImport(workbook);
        PrintBoxes(messages);
        for (const auto& line : view.errorLines)
            std::printf("error\t%s\n", Escape(line).c_str());
        for (int sheet = 0; sheet < 2; ++sheet) {
            std::printf("count\t%d\t%d\t%d\n", sheet + 1,
                        static_cast<int>(job.ImportOkCount(sheet)),
                        static_cast<int>(job.ImportNgCount(sheet)));
        }
        job.Release();
    }
    mdb.CloseDatabase();
    return 0;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: interop_driver export <database> <workbook> [yyyymm]\n"
                 "       interop_driver import <database> <workbook>\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4)
        return Usage();
    const std::string mode = argv[1];
    try {
        if (mode == "export" && argc <= 5)
            return RunExport(argv[2], argv[3], argc == 5 ? std::atoi(argv[4]) : 0);
        if (mode == "import" && argc == 4)
            return RunImport(argv[2], argv[3]);
    } catch (const PlatformError& error) {
        std::fprintf(stderr, "platform error %d: %s\n", static_cast<int>(error.number()),
                     error.description().c_str());
        return 1;
    }
    return Usage();
}
