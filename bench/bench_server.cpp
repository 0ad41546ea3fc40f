// The export and the import of a full fee workbook (65,533 contract lines
// and 65,533 billing lines, every one revised) on a PostgreSQL server on this
// machine, beside the same jobs on the SQLite file holding the same data, in
// the same run. Also the copy of the file to the server (a site's move).
//
// Usage: bench_server [work folder]
// The server: VELKAN_TEST_PG (libpq key=value text of a database where new
// databases may be created, e.g. from scripts/pg-test-server); without it a
// throw-away cluster is started with scripts/pg-test-server and stopped.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "CopyDatabase.h"
#include "Database.h"
#include "DepartmentFilter.h"
#include "ExportFeeData.h"
#include "ImportBenchData.h"
#include "ImportJob.h"
#include "ProcessTime.h"
#include "RecordingJobView.h"
#include "gMjMDB.h"

namespace {

double Since(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

double TimeExport(const std::string& database, const std::string& book, long& rows) {
    RecordingMessages messages;
    gMjMDB mdb(messages);
    if (mdb.OpenMdb(0, database, false) != 0)
        std::exit(1);
    QuietJobView<ExportView> view;
    ExportRequest request;
    request.outputPath = book;
    request.contractFilter = TargetDepartmentFilter({1, 2, 3, 7, 11, 12});
    request.oneOffFilter = TargetDepartmentFilter({4, 5, 6});
    bool expansion = CheckExpansionTable(mdb.gDatabase());
    const auto t = std::chrono::steady_clock::now();
    if (!ExportFeeData(mdb.gDbObject(), request, expansion, view))
        std::exit(1);
    const double seconds = Since(t);
    rows = static_cast<long>(std::filesystem::file_size(book));
    return seconds;
}

// Processor time of every process of this machine named "postgres": the
// server's side of a job when the server is local (0 when /proc says nothing).
double ServerCpuSeconds() {
    double ticks = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line))
            continue;
        const std::size_t open = line.find('('), close = line.rfind(')');
        if (open == std::string::npos || close == std::string::npos ||
            line.substr(open + 1, close - open - 1) != "postgres")
            continue;
        std::istringstream rest(line.substr(close + 2));
        std::string field;
        double utime = 0, stime = 0;
        for (int i = 3; i <= 15 && rest >> field; ++i) {
            if (i == 14)
                utime = std::atof(field.c_str());
            if (i == 15)
                stime = std::atof(field.c_str());
        }
        ticks += utime + stime;
    }
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// The wall time; `cpu` the processor time of this side (every thread).
double TimeImport(const std::string& database, const std::string& book, int& ok, double& cpu) {
    RecordingMessages messages;
    gMjMDB mdb(messages);
    if (mdb.OpenMdb(0, database, false) != 0)
        std::exit(1);
    QuietJobView<ImportView> view;
    ImportJob job(mdb, view);
    const auto t = std::chrono::steady_clock::now();
    const double cpu0 = ProcessCpuSeconds();
    job.RunImport(book);
    const double seconds = Since(t);
    cpu = ProcessCpuSeconds() - cpu0;
    ok = job.ImportOkCount(0) + job.ImportOkCount(1);
    for (const std::string& text : view.texts()) {
        if (text.find("失敗") != std::string::npos)
            std::printf("  message: %s\n", text.c_str());
    }
    return seconds;
}

std::string Run(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, p))
            out += buffer;
        if (pclose(p) != 0)
            out.clear();
    }
    while (!out.empty() && out.back() == '\n')
        out.pop_back();
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    BenchFolder work;
    if (!OpenBenchFolder(argc, argv, "velkan-bench-server", work))
        return 1;

    std::string admin = std::getenv("VELKAN_TEST_PG") ? std::getenv("VELKAN_TEST_PG") : "";
    std::string cluster;
    if (admin.empty()) {
        // A folder of its own: the server runs as another user, who may not
        // enter the work folder.
        cluster = (std::filesystem::temp_directory_path() / "velkan-bench-cluster-XXXXXX").string();
        if (mkdtemp(cluster.data()) == nullptr) {
            std::fprintf(stderr, "no folder for the server\n");
            return 1;
        }
        admin = Run(std::string(VELKAN_SOURCE_DIR) + "/scripts/pg-test-server start " + cluster);
        if (admin.empty()) {
            std::fprintf(stderr, "no server: set VELKAN_TEST_PG or install postgresql\n");
            return 1;
        }
    }
    const std::string name = "velkan_bench_" + std::to_string(::getpid());
    const std::string server = admin + " dbname=" + name;
    int status = 0;
    try {
        Database(admin, false).executeScript("CREATE DATABASE " + name);
        const std::string file = work.path + "/bench-copy.db";
        std::filesystem::copy_file(work.database(), file,
                                   std::filesystem::copy_options::overwrite_existing);
        auto t = std::chrono::steady_clock::now();
        {
            const Database from(file, true);
            Database to(server, false);
            CopyDatabase(from, to);
        }
        std::printf("copy of the file to the server: %.3f s\n", Since(t));

        long sizeFile = 0, sizeServer = 0;
        const double exportFile = TimeExport(file, work.path + "/export-file.xls", sizeFile);
        const double exportServer =
            TimeExport(server, work.path + "/export-server.xls", sizeServer);
        std::printf("export: SQLite %.3f s, server %.3f s (%.2f x); workbooks %ld / %ld bytes\n",
                    exportFile, exportServer, exportServer / exportFile, sizeFile, sizeServer);

        int okFile = 0, okServer = 0;
        double cpuFile = 0, cpuServer = 0;
        const double importFile = TimeImport(file, work.book(), okFile, cpuFile);
        const double serverCpu0 = ServerCpuSeconds();
        const double importServer = TimeImport(server, work.book(), okServer, cpuServer);
        const double serverCpu = ServerCpuSeconds() - serverCpu0;
        std::printf(
            "import (every row revised, with the journal): SQLite %.3f s, server %.3f s "
            "(%.2f x); rows imported %d / %d; processor time of this side %.3f / %.3f s, of "
            "the server's processes %.3f s\n",
            importFile, importServer, importServer / importFile, okFile, okServer, cpuFile,
            cpuServer, serverCpu);
        std::filesystem::remove(file);
    } catch (const PlatformError& e) {
        std::fprintf(stderr, "bench_server: %s\n", e.description().c_str());
        status = 1;
    }
    try {
        Database(admin, false).executeScript("DROP DATABASE IF EXISTS " + name + " WITH (FORCE)");
    } catch (const PlatformError&) {
    }
    if (!cluster.empty())
        Run(std::string(VELKAN_SOURCE_DIR) + "/scripts/pg-test-server stop " + cluster);
    return status;
}
