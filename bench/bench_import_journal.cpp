// What the import journal costs and how long an undo takes: the import of
// 65,533 + 65,533 revised rows into fresh copies of one database, without
// and with the journal (alternating, seven of each, each import in a process
// of its own), then the undo of the journaled import, checked to leave both
// tables as they were.
//
// Usage: bench_import_journal [work folder [on|off]]
//   (default: a fresh temporary folder). With on or off, one import with or
//   without the journal and nothing else: for a profiler such as callgrind.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "Database.h"
#include "ImportBenchData.h"
#include "ImportState.h"
#include "LargePages.h"
#include "ProcessTime.h"
#include "ReadSheet.h"
#include "RecordingJobView.h"
#include "RecordingMessages.h"
#include "UndoImport.h"
#include "UpdateFromSheet.h"
#include "gMjMDB.h"

namespace {

using BenchView = QuietJobView<ImportView>;

struct Times {
    double wall = 0;
    double cpu = 0;
};

Times Measure(const std::function<void()>& work) {
    const auto t = std::chrono::steady_clock::now();
    const double c = ProcessCpuSeconds();
    work();
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count(),
            ProcessCpuSeconds() - c};
}

struct Run {
    Times whole;  // reading, checking and writing both sheets
    Times write;  // checking and writing alone
};

// Both sheets read, checked and written as F4 does, the journal on or off.
Run ImportBoth(const std::string& db, const std::string& book, bool journal) {
    RecordingMessages messages;
    gMjMDB mdb(messages);
    if (mdb.OpenMdb(0, db, false) != 0)
        std::exit(1);
    BenchView view;
    ImportState state(mdb, view);
    state.ImportPath = book;
    state.Journal.SetEnabled(journal);
    Run run;
    run.whole = Measure([&] {
        state.Journal.Start(book);
        for (std::int16_t sheet = 1; sheet <= 2; ++sheet) {
            if (!ReadSheet(state, sheet))
                std::exit(1);
            const Times t = Measure([&] {
                if (!UpdateFromSheet(state, sheet))
                    std::exit(1);
            });
            run.write.wall += t.wall;
            run.write.cpu += t.cpu;
            state.SheetData.clear();
        }
        state.Prefetch.reset();
    });
    mdb.CloseDatabase();
    return run;
}

// The same in a process of its own, as the clerk's import runs: in one
// process that has imported before, the heap is already in place, and the
// import without the journal, which gains the most from that, looked a
// third faster than the clerk ever sees it.
Run ImportInFreshProcess(const std::string& db, const std::string& book, bool journal) {
    int ends[2];
    if (::pipe(ends) != 0)
        std::exit(1);
    std::fflush(stdout);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(ends[0]);
        const Run r = ImportBoth(db, book, journal);
        const bool sent = ::write(ends[1], &r, sizeof r) == static_cast<ssize_t>(sizeof r);
        ::_exit(sent ? 0 : 1);
    }
    ::close(ends[1]);
    Run r;
    const bool got = child > 0 && ::read(ends[0], &r, sizeof r) == static_cast<ssize_t>(sizeof r);
    ::close(ends[0]);
    int status = 0;
    if (child > 0)
        ::waitpid(child, &status, 0);
    if (!got || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        std::exit(1);
    return r;
}

// Both tables, row for row, as one number.
std::size_t Fingerprint(const std::string& path) {
    Database db(path, true);
    std::size_t hash = 0;
    for (const char* table : {"浄化槽契約内訳マスタ", "浄化槽請求テーブル"}) {
        Statement st = db.prepare(std::string("SELECT * FROM ") + table + " ORDER BY rowid");
        while (st.step()) {
            for (int i = 0; i < st.columnCount(); ++i) {
                const FieldValue v = st.column(i);
                hash = hash * 1000003u ^ std::hash<std::string>{}(FieldText(v)) ^ v.index();
            }
        }
    }
    return hash;
}

long Count(const std::string& path, const char* sql) {
    Database db(path, true);
    Statement st = db.prepare(sql);
    return st.step() ? static_cast<long>(FieldNumber(st.column(0))) : -1;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    // The import's memory as the import program has it.
    UseLargePages(argv);
    BenchFolder work;
    if (!OpenBenchFolder(argc, argv, "velkan-bench-journal", work))
        return 1;
    const std::string folder = work.path;
    const std::string base = work.database();
    const std::string book = work.book();
    const std::string db = folder + "/run.db";
    if (argc > 2) {
        const bool journal = std::string(argv[2]) == "on";
        std::filesystem::copy_file(base, db, std::filesystem::copy_options::overwrite_existing);
        const Run r = ImportBoth(db, book, journal);
        std::printf("journal %s: whole %.3f s (cpu %.3f), check+write %.3f s (cpu %.3f)\n",
                    journal ? "on" : "off", r.whole.wall, r.whole.cpu, r.write.wall, r.write.cpu);
        return 0;
    }
    const std::size_t before = Fingerprint(base);

    // [journal][whole, write][wall, cpu]
    std::vector<double> figures[2][2][2];
    // Seven rounds: on a shared machine three left the figure to chance.
    constexpr int kRounds = 7;
    for (int round = 0; round < kRounds; ++round) {
        for (const bool journal : {false, true}) {
            std::filesystem::copy_file(base, db, std::filesystem::copy_options::overwrite_existing);
            const Run r = ImportInFreshProcess(db, book, journal);
            int part = 0;
            for (const Times& t : {r.whole, r.write}) {
                figures[journal][part][0].push_back(t.wall);
                figures[journal][part][1].push_back(t.cpu);
                ++part;
            }
            std::printf(
                "round %d, journal %s: whole %.3f s (cpu %.3f), check+write %.3f s (cpu "
                "%.3f)\n",
                round + 1, journal ? "on " : "off", r.whole.wall, r.whole.cpu, r.write.wall,
                r.write.cpu);
        }
    }
    const long lines = Count(db, "SELECT count(*) FROM 浄化槽金額取込履歴明細");
    const long fields = Count(db, "SELECT sum(項目数) FROM 浄化槽金額取込履歴明細");
    std::printf(
        "import of %d + %d rows, %ld journal lines (records) of %ld fields, each import in "
        "a process of its own; median of %d:\n",
        kLines, kLines, lines, fields, kRounds);
    const char* const parts[] = {"whole import", "check+write"};
    for (int part = 0; part < 2; ++part) {
        const double off = Median(figures[0][part][0]);
        const double on = Median(figures[1][part][0]);
        const double offCpu = Median(figures[0][part][1]);
        const double onCpu = Median(figures[1][part][1]);
        std::printf(
            "  %s: without journal %.3f s (cpu %.3f), with %.3f s (cpu %.3f): +%.1f %% "
            "(cpu +%.1f %%)\n",
            parts[part], off, offCpu, on, onCpu, (on / off - 1) * 100, (onCpu / offCpu - 1) * 100);
        // Each round's two imports ran one after the other: their ratio
        // moves less with the machine's load than the medians do.
        std::vector<double> ratios;
        for (int round = 0; round < kRounds; ++round)
            ratios.push_back(figures[1][part][0][round] / figures[0][part][0][round]);
        std::printf("    the same, median of the rounds' own ratios: +%.1f %%\n",
                    (Median(ratios) - 1) * 100);
    }

    UndoResult result;
    const Times undo = Measure([&] {
        Database d(db, false);
        result = UndoImport(d, 1);
    });
    std::printf("undo: %.3f s (cpu %.3f); %lld fields restored, %zu kept; tables %s\n", undo.wall,
                undo.cpu, static_cast<long long>(result.restored), result.kept.size(),
                Fingerprint(db) == before ? "as before the import" : "DIFFER");
    if (!result.done)
        std::printf("  message: %s\n", result.message.c_str());
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    const long imports = usage.ru_maxrss;
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("peak memory: imports %.0f MB, undo %.0f MB\n",
                static_cast<double>(imports) / 1024.0,
                static_cast<double>(usage.ru_maxrss) / 1024.0);
    return 0;
}
