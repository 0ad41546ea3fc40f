// What the clerk waits for: the export and the import of a full fee workbook
// (65,533 contract lines and 65,533 billing lines, every one revised for the
// import) driven through the real windows, F4 and "Yes" through the windows'
// own key handling, timed from the answer to the confirmation to the result
// box; then the check (F3) of the same workbook, before the import and after
// it (every row stale, listed and marked in a copy). Beside each figure: the same job without a
// window on the same data, and the peak memory of each run (every run is a process of its own).
//
// Runs on the offscreen platform, and on X11 when DISPLAY names an X server
// (for example Xvfb); there also with the accessibility bridge on when
// dbus-run-session and an AT-SPI bus are installed.
//
// Usage: bench_windows [customers [folder [rounds]]]   (default 160000
//        customers, which give 65,533 rows on each sheet; fewer give fewer
//        rows). With rounds, every figure is the median of that many runs,
//        the runs of one round following each other, with the slowest and
//        fastest beside it: this machine's speed drifts from minute to minute.

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "BillingQuery.h"
#include "CheckRun.h"
#include "ContractBreakdownQuery.h"
#include "Database.h"
#include "DepartmentFilter.h"
#include "ExportFeeData.h"
#include "ExportedRows.h"
#include "FieldValue.h"
#include "ImportJob.h"
#include "LargePages.h"
#include "MarkedCopy.h"
#include "RecordingJobView.h"
#include "RecordsetHelper.h"
#include "SampleData.h"
#include "SheetWriteCheck.h"
#include "TaviDate.h"
#include "TaviText.h"
#include "ZipBookWriter.h"
#include "frmVelkanDataExport.h"
#include "frmVelkanDataImport.h"
#include "gMjMDB.h"
#include "pClExcel.h"
#include "pMjList.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::int32_t kYearMonth = 202403;

double Seconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

double PeakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// Answers every question with Yes and notes when the confirmation was
// answered and when the first box after it (the result) appeared.
class TimingMessages : public MessageSink {
  public:
    MsgAnswer show(const std::string& text, const std::string&, MsgIcon icon,
                   MsgButtons buttons) override {
        if (icon == MsgIcon::Question && buttons == MsgButtons::YesNo && !answered) {
            answered = Clock::now();
            return MsgAnswer::Yes;
        }
        if (answered && !result) {
            result = Clock::now();
            resultText = text;
        }
        if (buttons == MsgButtons::RetryCancel)
            return MsgAnswer::Cancel;
        return buttons == MsgButtons::YesNo ? MsgAnswer::Yes : MsgAnswer::Ok;
    }
    double jobSeconds() const { return answered && result ? Seconds(*answered, *result) : -1.0; }

    std::optional<Clock::time_point> answered, result;
    std::string resultText;
};

struct Folder {
    fs::path root;
    fs::path database() const { return root / "septic.db"; }
    fs::path pristine() const { return root / "septic-before-import.db"; }
    fs::path filters() const { return root / "filters.txt"; }
    // The revised workbook as the export wrote it (.xls), or saved as .xlsx or .ods.
    fs::path revised(const std::string& extension = ".xls") const {
        return root / ("revised" + extension);
    }
};

std::pair<std::string, std::string> ReadFilters(const Folder& folder) {
    std::ifstream in(folder.filters());
    std::string contract, oneOff;
    std::getline(in, contract);
    std::getline(in, oneOff);
    return {contract, oneOff};
}

// One measurement, printed for the parent: seconds, peak megabytes, result.
int Report(double seconds, const std::string& result) {
    std::printf("%.3f %.1f %s\n", seconds, PeakMegabytes(), result.c_str());
    return seconds < 0 ? 1 : 0;
}

bool ShowWindow(QWidget& window) {
    window.show();
    QApplication::setActiveWindow(&window);
    window.activateWindow();
    if (!QTest::qWaitForWindowExposed(&window))
        return false;
    // Without a window manager the window may never become active; the keys
    // the benchmark sends reach it all the same.
    const bool active = QTest::qWaitForWindowActive(&window, 2000);
    return active || window.isVisible();
}

// The department filters the export window makes from its default lists.
int RunFilters(int argc, char** argv, const Folder& folder) {
    QApplication app(argc, argv);
    TimingMessages messages;
    frmVelkanDataExport window(messages);
    if (!window.Startup())
        return 1;
    std::ofstream out(folder.filters());
    out << TargetDepartmentFilter(pMjList::AllItemData(window.SelectList(1, 1))) << '\n'
        << TargetDepartmentFilter(pMjList::AllItemData(window.SelectList(2, 1))) << '\n';
    return out ? 0 : 1;
}

int RunExport(int argc, char** argv, const Folder& folder, bool windowed) {
    const std::string output = (folder.root / (windowed ? "window.xls" : "headless.xls")).string();
    // Each run writes a new file, as the clerk's default path does.
    std::error_code ignored;
    fs::remove(output, ignored);
    TimingMessages messages;
    if (!windowed) {
        const auto [contract, oneOff] = ReadFilters(folder);
        Database db(folder.database().string(), false);
        ExportRequest request;
        request.ContractEndYearMonth = kYearMonth;
        request.outputPath = output;
        request.contractFilter = contract;
        request.oneOffFilter = oneOff;
        bool expansionMode = CheckExpansionTable(&db);
        QuietJobView<ExportView> view(messages);
        messages.answered = Clock::now();
        const bool ok = ExportFeeData(&db, request, expansionMode, view);
        messages.result = Clock::now();
        return Report(ok ? messages.jobSeconds() : -1.0, ok ? "written" : "failed");
    }
    QApplication app(argc, argv);
    frmVelkanDataExport window(messages);
    if (!window.Startup() || !ShowWindow(window))
        return Report(-1.0, "window did not start");
    // Leaving the database box first: leaving it re-reads the settings and
    // puts the default output path back.
    window.TaviDate1(0)->setFocus(Qt::OtherFocusReason);
    QApplication::processEvents();
    window.TaviDate1(0)->setValue(kYearMonth);
    window.TaviText1(0)->setText(QString::fromStdString(output));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F4);
    const bool ok = messages.resultText == "Ecxelデータ出力が完了しました";
    return Report(ok ? messages.jobSeconds() : -1.0, ok ? "written" : messages.resultText);
}

std::string Imported(const ImportJob& job) {
    return "imported " + std::to_string(job.ImportOkCount(0)) + " + " +
           std::to_string(job.ImportOkCount(1)) + " rows";
}

int RunImport(int argc, char** argv, const Folder& folder, bool windowed, bool journal = true,
              const std::string& extension = ".xls") {
    TimingMessages messages;
    const std::string book = folder.revised(extension).string();
    if (!windowed) {
        gMjMDB mdb(messages);
        if (mdb.OpenMdb(0, folder.database().string(), false) != 0)
            return Report(-1.0, "database did not open");
        QuietJobView<ImportView> view(messages);
        ImportJob job(mdb, view);
        job.SetJournalEnabled(journal);
        job.RunImport(book);
        const bool ok = job.ImportNgCount(0) == 0 && job.ImportNgCount(1) == 0 &&
                        job.ImportOkCount(0) > 0 && job.ImportOkCount(1) > 0;
        return Report(ok ? messages.jobSeconds() : -1.0, ok ? Imported(job) : messages.resultText);
    }
    QApplication app(argc, argv);
    frmVelkanDataImport window(messages);
    if (!window.Startup() || !ShowWindow(window))
        return Report(-1.0, "window did not start");
    window.txtPath()->setText(QString::fromStdString(book));
    window.txtPath()->setFocus(Qt::OtherFocusReason);
    QApplication::processEvents();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F4);
    const bool ok = window.job().ImportNgCount(0) == 0 && window.job().ImportNgCount(1) == 0 &&
                    window.job().ImportOkCount(0) > 0 && window.job().ImportOkCount(1) > 0;
    return Report(ok ? messages.jobSeconds() : -1.0,
                  ok ? Imported(window.job()) : messages.resultText);
}

// F3 on the revised workbook, answering Yes to everything: the check to its
// result box, and the marked copy from the answer to its question to the
// box that says it was saved (when the check found anything).
int RunCheck(int argc, char** argv, const Folder& folder, bool windowed) {
    class Stamps : public MessageSink {
      public:
        MsgAnswer show(const std::string& text, const std::string&, MsgIcon,
                       MsgButtons buttons) override {
            boxes.emplace_back(Clock::now(), text);
            return buttons == MsgButtons::YesNo ? MsgAnswer::Yes : MsgAnswer::Ok;
        }
        // Seconds from the box whose text starts with `from` to the next box.
        double after(const std::string& from) const {
            for (std::size_t i = 0; i + 1 < boxes.size(); ++i) {
                if (boxes[i].second.rfind(from, 0) == 0)
                    return Seconds(boxes[i].first, boxes[i + 1].first);
            }
            return -1.0;
        }
        std::vector<std::pair<Clock::time_point, std::string>> boxes;
    } messages;
    const std::string book = folder.revised().string();
    // Each run writes a new marked copy, as the first check of a workbook does.
    std::error_code ignored;
    fs::remove(MarkedCopyPath(book), ignored);
    std::optional<QApplication> app;
    std::optional<frmVelkanDataImport> window;
    std::optional<gMjMDB> mdb;
    std::optional<QuietJobView<ImportView>> view;
    std::optional<ImportJob> job;
    if (windowed) {
        app.emplace(argc, argv);
        window.emplace(messages);
        if (!window->Startup() || !ShowWindow(*window))
            return Report(-1.0, "window did not start");
        window->txtPath()->setText(QString::fromStdString(book));
        window->txtPath()->setFocus(Qt::OtherFocusReason);
        QApplication::processEvents();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F3);
    } else {
        mdb.emplace(messages);
        if (mdb->OpenMdb(0, folder.database().string(), false) != 0)
            return Report(-1.0, "database did not open");
        view.emplace(messages);
        job.emplace(*mdb, *view);
        job->RunCheck(book);
    }
    const ImportJob& checked = windowed ? window->job() : *job;
    const double copy = messages.after("確認結果を印を付けたExcelに保存しますか");
    // The copy is offered only when the check found something to mark; the
    // revised workbook has no rejected row and no stale amount, so say so
    // rather than print a time that was never taken.
    char copyText[64];
    if (copy < 0.0)
        std::snprintf(copyText, sizeof copyText, "no marked copy (nothing to mark)");
    else
        std::snprintf(copyText, sizeof copyText, "marked copy %.3f s", copy);
    char result[240];
    std::snprintf(result, sizeof result, "%d + %d possible, %d stale; %s", checked.ImportOkCount(0),
                  checked.ImportOkCount(1), checked.Findings().StaleCount(), copyText);
    return Report(messages.after("浄化槽金額データの確認を開始してもよろしいですか "), result);
}

// ---- Preparation (in child processes, so that its memory stays out of the figures) ----

void TrimDatabase(const Folder& folder) {
    const auto [contract, oneOff] = ReadFilters(folder);
    Database db(folder.database().string(), false);
    const auto keep = static_cast<std::size_t>(kMaxDataRows);
    const std::size_t c =
        TrimTo(db, "浄化槽契約内訳マスタ",
               ContractBreakdownQuery(kYearMonth % 100, kYearMonth, contract, oneOff), keep);
    const std::size_t b = TrimTo(db, "浄化槽請求テーブル",
                                 BillingQuery(kYearMonth % 100, kYearMonth, contract, true), keep);
    std::printf("rows: contract %zu, billing %zu\n", c, b);
}

// The clerk's edit: a revised amount in every entry cell of every row.
void ReviseWorkbook(const Folder& folder) {
    class Quiet : public MessageSink {
        MsgAnswer show(const std::string& text, const std::string&, MsgIcon,
                       MsgButtons buttons) override {
            // The revised workbook of an earlier run is replaced; anything else is news.
            if (buttons == MsgButtons::YesNo)
                return MsgAnswer::Yes;
            std::fprintf(stderr, "%s\n", text.c_str());
            return MsgAnswer::Ok;
        }
    } quiet;
    pClExcel excel(quiet);
    if (!excel.OpenBook((folder.root / "headless.xls").string()))
        std::exit(1);
    for (std::int16_t sheet = 1; sheet <= 2; ++sheet) {
        excel.ChangeSheets(pClExcel::SheetRef(std::int32_t{sheet}));
        std::string column = "A";
        const std::int32_t end = excel.GetEndRow(column);
        for (std::int32_t row = 3; row <= end; ++row) {
            if (sheet == 1) {
                excel.SetCellValue(row, 17, 13200.0 + row % 100);
                excel.SetCellValue(row, 18, 12.0);
                excel.SetCellValue(row, 19, 1100.0);
            } else {
                for (std::int16_t m = 0; m < 12; ++m)
                    excel.SetCellValue(row, static_cast<std::int16_t>(26 + m), 5500.0 + m);
            }
        }
    }
    if (!excel.BookSave(folder.revised().string(), true))
        std::exit(1);
    // The same cells as a clerk's application saves them in the other formats.
    zipbook::WriteXlsxBook(folder.revised(".xlsx").string(), *excel.book());
    zipbook::WriteOdsBook(folder.revised(".ods").string(), *excel.book());
}

template <typename F>
bool InChild(F&& work) {
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        work();
        std::fflush(stdout);
        std::_Exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

struct Measured {
    double seconds = -1.0;
    double peak = 0.0;
    std::string result;
};

// Runs this program again for one measurement, with `env` before it.
Measured Measure(const std::string& self, const std::string& env, const std::string& job,
                 const std::string& view, const Folder& folder) {
    const std::string command =
        env + " '" + self + "' run " + job + " " + view + " '" + folder.root.string() + "'";
    Measured m;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return m;
    char line[4096];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        char result[3000] = {};
        double s = 0, p = 0;
        if (std::sscanf(line, "%lf %lf %2999[^\n]", &s, &p, result) >= 2) {
            m.seconds = s;
            m.peak = p;
            m.result = result;
        }
    }
    if (pclose(pipe) != 0 && m.result.empty())
        m.result = "failed";
    return m;
}

bool HasProgram(const char* name) {
    const std::string command = std::string("command -v ") + name + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

void WriteStore(const Folder& folder) {
    const fs::path dir = folder.root / "config" / "Tavi";
    fs::create_directories(dir);
    std::ofstream store(dir / "HKEY_CURRENT_USER.reg");
    store << "Windows Registry Editor Version 5.00\r\n\r\n"
          << "[HKEY_CURRENT_USER\\Software\\Tavi\\Project\\Package\\Septictank]\r\n"
          << "\"DataBaseName\"=\"" << folder.database().string() << "\"\r\n"
          << "\"DataBaseMode\"=\"0\"\r\n"
          << "\"UserName\"=\"ベンチ\"\r\n";
    fs::create_directories(folder.root / "home");
    fs::create_directories(folder.root / "run");
    chmod((folder.root / "run").c_str(), 0700);
    setenv("XDG_CONFIG_HOME", (folder.root / "config").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (folder.root / "run").c_str(), 1);
    setenv("HOME", (folder.root / "home").c_str(), 1);
}

// The runs of one figure: the median run, and the range when there are more.
struct Runs {
    std::vector<Measured> runs;

    Measured median() const {
        if (runs.empty())
            return {};
        std::vector<Measured> sorted = runs;
        std::sort(sorted.begin(), sorted.end(),
                  [](const Measured& a, const Measured& b) { return a.seconds < b.seconds; });
        return sorted[sorted.size() / 2];
    }
    std::string range() const {
        if (runs.size() < 2)
            return "";
        const auto [low, high] = std::minmax_element(
            runs.begin(), runs.end(),
            [](const Measured& a, const Measured& b) { return a.seconds < b.seconds; });
        char text[64];
        std::snprintf(text, sizeof text, " (%.3f-%.3f)", low->seconds, high->seconds);
        return text;
    }
};

void PrintRow(const char* what, const Runs& windowedRuns, const Runs& headlessRuns) {
    const Measured windowed = windowedRuns.median();
    const Measured headless = headlessRuns.median();
    const double added = headless.seconds > 0 ? (windowed.seconds / headless.seconds - 1) * 100 : 0;
    std::printf(
        "%-34s %8.3f s%s %7.1f MB | headless %7.3f s%s %7.1f MB | window adds %+6.1f%%  %s\n", what,
        windowed.seconds, windowedRuns.range().c_str(), windowed.peak, headless.seconds,
        headlessRuns.range().c_str(), headless.peak, added, windowed.result.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::string(argv[1]) == "run") {
        // Each measured run starts as the programs start.
        UseLargePages(argv);
        const std::string job = argv[2];
        const bool windowed = std::string(argv[3]) == "window";
        const Folder folder{argv[4]};
        if (job == "filters")
            return RunFilters(argc, argv, folder);
        if (job == "export")
            return RunExport(argc, argv, folder, windowed);
        if (job == "import")
            return RunImport(argc, argv, folder, windowed);
        if (job == "import-without-journal")
            return RunImport(argc, argv, folder, false, false);
        if (job == "import-xlsx" || job == "import-ods")
            return RunImport(argc, argv, folder, windowed, true, "." + job.substr(7));
        if (job == "check")
            return RunCheck(argc, argv, folder, windowed);
        return 2;
    }

    const int customers = argc > 1 ? std::atoi(argv[1]) : 160000;
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 1;
    // A folder given is kept, and its database reused, so that a profiler can
    // run one job alone: bench_windows N FOLDER, then bench_windows run JOB VIEW FOLDER.
    const bool keep = argc > 2;
    std::string root = keep ? std::string(argv[2]) : std::string();
    if (keep) {
        fs::create_directories(root);
        root = fs::canonical(root).string();
    } else {
        root = (fs::temp_directory_path() / "velkan-bench-windows-XXXXXX").string();
        if (mkdtemp(root.data()) == nullptr)
            return 1;
    }
    const Folder folder{root};
    const std::string self = fs::canonical("/proc/self/exe").string();
    WriteStore(folder);

    const auto t0 = Clock::now();
    if (keep && fs::exists(folder.pristine()))
        fs::copy_file(folder.pristine(), folder.database(), fs::copy_options::overwrite_existing);
    const bool reuse = keep && fs::exists(folder.database()) && fs::exists(folder.filters());
    const bool prepared =
        reuse || (InChild([&] {
                      SampleOptions options;
                      options.customers = customers;
                      options.expansionTable = true;
                      CreateSampleDatabase(folder.database().string(), options);
                  }) &&
                  std::system(("QT_QPA_PLATFORM=offscreen '" + self + "' run filters window '" +
                               folder.root.string() + "'")
                                  .c_str()) == 0 &&
                  InChild([&] { TrimDatabase(folder); }));
    if (!prepared) {
        std::fprintf(stderr, "could not prepare the database in %s\n", folder.root.c_str());
        return 1;
    }
    if (!reuse) {
        std::printf("database of %d customers prepared in %.1f s\n", customers,
                    Seconds(t0, Clock::now()));
    }

    struct Platform {
        std::string name, env;
    };
    std::vector<Platform> platforms = {{"offscreen", "QT_QPA_PLATFORM=offscreen"}};
    const char* display = std::getenv("DISPLAY");
    if (display != nullptr && *display != '\0') {
        platforms.push_back({"xcb", "QT_QPA_PLATFORM=xcb"});
        if (HasProgram("dbus-run-session") && fs::exists("/usr/libexec/at-spi-bus-launcher")) {
            platforms.push_back({"xcb + accessibility bridge",
                                 "QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "
                                 "dbus-run-session --"});
        }
    }

    // [0] headless, [1 + i] through the window on platforms[i]
    using Figure = std::vector<Runs>;
    const auto measureAll = [&](const char* job, const std::function<void()>& before) {
        Figure figure(platforms.size() + 1);
        for (int round = 0; round < rounds; ++round) {
            before();
            figure[0].runs.push_back(Measure(self, "", job, "headless", folder));
            for (std::size_t i = 0; i < platforms.size(); ++i) {
                before();
                figure[i + 1].runs.push_back(
                    Measure(self, platforms[i].env, job, "window", folder));
            }
        }
        return figure;
    };
    const auto printAll = [&](const std::string& what, const Figure& figure) {
        for (std::size_t i = 0; i < platforms.size(); ++i)
            PrintRow((what + platforms[i].name).c_str(), figure[i + 1], figure[0]);
    };

    const Figure exports = measureAll("export", [] {});
    if (const Measured headless = exports[0].median(); headless.seconds < 0) {
        std::fprintf(stderr, "headless export failed: %s\n", headless.result.c_str());
        return 1;
    }
    printAll("export, ", exports);

    if (!InChild([&] { ReviseWorkbook(folder); })) {
        std::fprintf(stderr, "could not write the revised workbook\n");
        return 1;
    }
    fs::copy_file(folder.database(), folder.pristine(), fs::copy_options::overwrite_existing);
    const auto fresh = [&] {
        fs::copy_file(folder.pristine(), folder.database(), fs::copy_options::overwrite_existing);
    };
    // The import of the .xls and of the same workbook saved as .xlsx and as
    // .ods, the three taking turns within every round, so that the
    // machine's drift from minute to minute falls on all of them alike.
    const std::vector<std::string> formats = {"import", "import-xlsx", "import-ods"};
    std::vector<Figure> byFormat(formats.size(), Figure(platforms.size() + 1));
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t f = 0; f < formats.size(); ++f) {
            fresh();
            byFormat[f][0].runs.push_back(Measure(self, "", formats[f], "headless", folder));
            for (std::size_t i = 0; i < platforms.size(); ++i) {
                fresh();
                byFormat[f][i + 1].runs.push_back(
                    Measure(self, platforms[i].env, formats[f], "window", folder));
            }
        }
    }
    const Figure& imports = byFormat[0];
    printAll("import, every row revised, ", imports);
    for (std::size_t f = 1; f < formats.size(); ++f) {
        const std::string format = formats[f].substr(7);
        const Figure& figure = byFormat[f];
        printAll("import ." + format + ", every row revised, ", figure);
        for (std::size_t i = 0; i < figure.size(); ++i) {
            const double xls = imports[i].median().seconds;
            const double other = figure[i].median().seconds;
            // Beside the ratio of the medians, the median of each round's
            // own ratio (the runs a few seconds apart).
            std::vector<double> ratios;
            for (std::size_t r = 0; r < figure[i].runs.size() && r < imports[i].runs.size(); ++r) {
                if (imports[i].runs[r].seconds > 0)
                    ratios.push_back(figure[i].runs[r].seconds / imports[i].runs[r].seconds);
            }
            std::sort(ratios.begin(), ratios.end());
            std::printf("  .%s / .xls, %-24s %6.2f x   (median of the rounds' own: %.2f x)\n",
                        format.c_str(), i == 0 ? "headless" : platforms[i - 1].name.c_str(),
                        xls > 0 ? other / xls : 0.0,
                        ratios.empty() ? 0.0 : ratios[ratios.size() / 2]);
        }
    }
    // The journal was added after the goal for the import through the
    // window was set: what the same import costs without it, same data.
    Runs withoutJournal;
    for (int round = 0; round < rounds; ++round) {
        fresh();
        withoutJournal.runs.push_back(
            Measure(self, "", "import-without-journal", "headless", folder));
    }
    const Measured off = withoutJournal.median();
    const Measured on = imports[0].median();
    std::printf("%-34s %8.3f s%s %7.1f MB | with it %7.3f s | the journal adds %+6.1f%%\n",
                "import without the journal, headless", off.seconds, withoutJournal.range().c_str(),
                off.peak, on.seconds, off.seconds > 0 ? (on.seconds / off.seconds - 1) * 100 : 0);
    // The check (F3) before the import, and after it, when every current
    // amount differs from the database: every row listed and marked.
    for (const bool imported : {false, true}) {
        const auto database = [&] {
            fresh();
            if (imported)
                Measure(self, "", "import", "headless", folder);
        };
        printAll(imported ? "check after it, " : "check, every row revised, ",
                 measureAll("check", database));
    }

    if (!keep) {
        std::error_code ec;
        fs::remove_all(folder.root, ec);
    }
    return 0;
}
