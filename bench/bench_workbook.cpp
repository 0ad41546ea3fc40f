// The workbook engine on a fee workbook of the largest size an .xls holds:
// sheet 1 with 19 columns, sheet 2 with 37, 65,533 data rows each, written
// through the pClExcel calls the export makes, saved, opened and read back
// in chunks of 30,000 rows as the import does. Prints seconds and memory per
// phase, and the same work done by python3-xlwt / xlrd when installed.
// With "read", only opens a workbook file of any accepted format (.xls, .xlsx,
// .ods) the given number of times, for a profiler to watch the reading alone.
//
//   bench_workbook [rows] [folder] [nopython]
//   bench_workbook read FILE [times]

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "ProcessTime.h"
#include "RecordingMessages.h"
#include "pClExcel.h"

namespace {

using Clock = std::chrono::steady_clock;

long statusKb(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(key) + ":";
    while (std::getline(in, line)) {
        if (line.rfind(prefix, 0) == 0)
            return std::atol(line.c_str() + prefix.size());
    }
    return -1;
}

// Resets the peak-RSS mark so VmHWM measures one phase.
void resetPeak() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
}

long maxRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

struct Phase {
    const char* name;
    Clock::time_point start = Clock::now();
    double cpuStart = ProcessCpuSeconds();
    long rssBefore = statusKb("VmRSS");
    explicit Phase(const char* n) : name(n) { resetPeak(); }
    // Wall-clock seconds; the CPU seconds beside them tell how much of it was
    // waiting for a core on a busy machine.
    double done() const {
        const double s = std::chrono::duration<double>(Clock::now() - start).count();
        std::printf(
            "%-6s %7.3f s (cpu %6.3f s)  peak of phase %6.1f MB (rss before %6.1f MB)  "
            "ru_maxrss %6.1f MB\n",
            name, s, ProcessCpuSeconds() - cpuStart,
            static_cast<double>(statusKb("VmHWM")) / 1024.0,
            static_cast<double>(rssBefore) / 1024.0, static_cast<double>(maxRssKb()) / 1024.0);
        return s;
    }
};

std::string num(long v) {
    return std::to_string(v);
}

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "failed: %s\n", what);
        std::exit(1);
    }
}

void header(pClExcel& xl, std::int16_t columns, std::int16_t groupFirst, std::int16_t groupWidth) {
    check(xl.SetCellFont(0, 0, 0, 0, "ＭＳ　ゴシック", 10, -4105, 9), "font");
    for (std::int16_t c = 1; c < groupFirst; ++c) {
        check(xl.SetCellValue(1, c, "見出し" + num(c)), "title");
        check(xl.SetCellMerge(1, c, 2, c, -4108, -4108), "merge");
        check(xl.SetCellLineStyle(1, c, 2, c, 1, 1, 1, 1, 1, 1, 0, 2), "border");
        check(xl.SetCellBackColor(1, c, 1, c, 15), "grey");
    }
    for (int g = 0; g < 2; ++g) {
        const auto first = static_cast<std::int16_t>(groupFirst + g * groupWidth);
        const auto last = static_cast<std::int16_t>(first + groupWidth - 1);
        check(
            xl.SetCellValue(1, first, std::string(g == 0 ? "現在の金額" : "改定後の金額(記載欄)")),
            "group");
        check(xl.SetCellMerge(1, first, 1, last, -4108, -4108), "merge");
        check(xl.SetCellLineStyle(1, first, 1, last, 1, 1, 1, 1, 1, 1, 0, 2), "border");
        check(xl.SetCellBackColor(1, first, 1, last, 15), "grey");
        for (std::int16_t c = first; c <= last; ++c) {
            check(xl.SetCellValue(2, c, num(c - first + 1) + "月"), "sub");
            check(xl.SetCellMerge(2, c, 2, c, -4108, -4108), "align");
            check(xl.SetCellLineStyle(2, c, 2, c, 1, 1, 1, 1, 1, 1, 0, 2), "border");
            check(xl.SetCellBackColor(2, c, 2, c, 15), "grey");
        }
    }
    (void)columns;
}

// Columns 1-10 as both sheets have them.
void commonColumns(pClExcel& xl, std::int32_t row, long i) {
    check(xl.SetCellValue(row, 1, num(1000000 + i)), "code");
    check(xl.SetCellValue(row, 2, "浄化槽設置場所" + num(i)), "name");
    check(xl.SetCellValue(row, 3, "東京都千代田区丸の内" + num(i % 500) + "丁目" + num(i) + "番地"),
          "address");
    check(xl.SetCellValue(row, 4, "03-1234-" + num(1000 + i % 9000)), "tel");
    check(xl.SetCellValue(row, 5, num(5 + i % 46)), "people");
    check(xl.SetCellValue(row, 6, num(1 + i % 9) + ".500"), "capacity");
    check(xl.SetCellValue(row, 7, std::string(i % 2 ? "合併処理" : "単独処理")), "method");
    check(xl.SetCellValue(row, 8, std::string(i % 3 ? "年間契約" : "都度契約")), "kind");
    check(xl.SetCellValue(row, 9, num(20200401 + i % 28)), "start");
    check(xl.SetCellValue(row, 10, std::string(i % 5 ? "0" : "20301231")), "end");
}

double fillContract(pClExcel& xl, std::int32_t rows) {
    check(xl.NewBook("契約内訳情報"), "NewBook");
    header(xl, 19, 14, 3);
    for (std::int16_t c : {14, 16, 17, 19})
        check(xl.SetCellFormat(0, c, 0, c, "#,##0", 2), "fmt");
    const std::int32_t last = rows + 2;
    for (std::int32_t row = 3; row <= last; ++row) {
        const long i = row - 3;
        commonColumns(xl, row, i);
        check(xl.SetCellValue(row, 11, num(1 + i % 20)), "line");
        check(xl.SetCellValue(row, 12, num(100 + i % 50)), "work");
        check(xl.SetCellValue(row, 13, std::string("保守点検")), "work name");
        check(xl.SetCellValue(row, 14, num(48000 + i % 1000 * 12)), "annual");
        check(xl.SetCellValue(row, 15, num(4 + i % 9)), "count");
        check(xl.SetCellValue(row, 16, num(12000 + i % 1000)), "each");
        for (std::int16_t c = 17; c <= 19; ++c)
            check(xl.SetCellValue(row, c, std::string()), "entry");
    }
    check(xl.SetCellBackColor(3, 17, last, 19, 6), "yellow");
    check(xl.SetCellLineStyle(3, 1, last, 19, 1, 1, 1, 1, 1, 1, 0, 2), "borders");
    check(xl.SetCellLocked(3, 17, last, 19, false), "unlock");
    return 0;
}

void fillBilling(pClExcel& xl, std::int32_t rows) {
    check(xl.NewSheets("請求情報"), "NewSheets");
    header(xl, 37, 14, 12);
    check(xl.SetCellFormat(0, 14, 0, 37, "#,##0", 2), "fmt");
    const std::int32_t last = rows + 2;
    for (std::int32_t row = 3; row <= last; ++row) {
        const long i = row - 3;
        commonColumns(xl, row, i);
        check(xl.SetCellValue(row, 11, num(1 + i % 20)), "line");
        check(xl.SetCellValue(row, 12, num(1 + i % 30)), "dept");
        check(xl.SetCellValue(row, 13, "部門" + num(1 + i % 30)), "dept name");
        for (std::int16_t c = 14; c <= 25; ++c) {
            check(xl.SetCellValue(row, c, num(4000 + (i * 7 + c) % 3000)), "month");
        }
        for (std::int16_t c = 26; c <= 37; ++c)
            check(xl.SetCellValue(row, c, std::string()), "entry");
    }
    check(xl.SetCellBackColor(3, 26, last, 37, 6), "yellow");
    check(xl.SetCellLineStyle(3, 1, last, 37, 1, 1, 1, 1, 1, 1, 0, 2), "borders");
    check(xl.SetCellLocked(3, 26, last, 37, false), "unlock");
}

long readSheet(pClExcel& xl, std::int32_t sheet, std::int16_t columns) {
    check(xl.ChangeSheets(pClExcel::SheetRef{sheet}), "ChangeSheets");
    std::int32_t lastRow = 0;
    std::int16_t lastCol = 0;
    check(xl.GetRowColCount(lastRow, lastCol), "GetRowColCount");
    long cells = 0;
    for (std::int32_t start = 3; start <= lastRow; start += 30000) {
        const std::int32_t end = std::min(lastRow, start + 29999);
        xls::Variant block;
        check(xl.GetRangeValue(start, 1, end, columns, block), "GetRangeValue");
        const auto& a = std::get<xls::Array2D>(block);
        for (const auto& v : a.data)
            cells += v.index() != 0;
    }
    return cells;
}

const char* const kPython = R"PY(
import sys, time, resource
import xlwt, xlrd
rows = int(sys.argv[1]); path = sys.argv[2]
t0 = time.time()
wb = xlwt.Workbook(encoding='utf-8')
font = xlwt.Font(); font.name = 'ＭＳ　ゴシック'; font.height = 200
b = xlwt.Borders(); b.left = b.right = b.top = b.bottom = 1
def style(fmt=None, yellow=False):
    s = xlwt.XFStyle(); s.font = font; s.borders = b
    if fmt: s.num_format_str = fmt
    if yellow:
        p = xlwt.Pattern(); p.pattern = 1; p.pattern_fore_colour = 13; s.pattern = p
        s.protection = xlwt.Protection(); s.protection.cell_locked = 0
    return s
plain = style(); money = style('#,##0'); entry = style('#,##0', True); entry_plain = style(None, True)
def common(ws, r, i):
    ws.write(r, 0, 1000000 + i, plain); ws.write(r, 1, '浄化槽設置場所%d' % i, plain)
    ws.write(r, 2, '東京都千代田区丸の内%d丁目%d番地' % (i % 500, i), plain)
    ws.write(r, 3, '03-1234-%d' % (1000 + i % 9000), plain); ws.write(r, 4, 5 + i % 46, plain)
    ws.write(r, 5, 1 + i % 9 + 0.5, plain); ws.write(r, 6, '合併処理' if i % 2 else '単独処理', plain)
    ws.write(r, 7, '年間契約' if i % 3 else '都度契約', plain); ws.write(r, 8, 20200401 + i % 28, plain)
    ws.write(r, 9, 0 if i % 5 else 20301231, plain)
s1 = wb.add_sheet('契約内訳情報')
for i in range(rows):
    r = i + 2; common(s1, r, i)
    s1.write(r, 10, 1 + i % 20, plain); s1.write(r, 11, 100 + i % 50, plain); s1.write(r, 12, '保守点検', plain)
    s1.write(r, 13, 48000 + i % 1000 * 12, money); s1.write(r, 14, 4 + i % 9, plain); s1.write(r, 15, 12000 + i % 1000, money)
    s1.write(r, 16, None, entry); s1.write(r, 17, None, entry_plain); s1.write(r, 18, None, entry)
s2 = wb.add_sheet('請求情報')
for i in range(rows):
    r = i + 2; common(s2, r, i)
    s2.write(r, 10, 1 + i % 20, plain); s2.write(r, 11, 1 + i % 30, plain); s2.write(r, 12, '部門%d' % (1 + i % 30), plain)
    for c in range(13, 25): s2.write(r, c, 4000 + (i * 7 + c + 1) % 3000, money)
    for c in range(25, 37): s2.write(r, c, None, entry)
wb.save(path)
t1 = time.time()
bk = xlrd.open_workbook(path, formatting_info=True)
n = 0
for sh in bk.sheets():
    for r in range(sh.nrows):
        n += len(sh.row_values(r))
t2 = time.time()
print("%.3f %.3f %d" % (t1 - t0, t2 - t1, resource.getrusage(resource.RUSAGE_SELF).ru_maxrss))
)PY";

// Opening alone, as the import's OpenBook does it: wall and processor time of each.
int readOnly(const std::string& path, int times) {
    RecordingMessages messages;
    for (int i = 0; i < times; ++i) {
        pClExcel xl(messages);
        Phase p("open");
        check(xl.OpenBook(path), "OpenBook");
        p.done();
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2 && std::string(argv[1]) == "read")
        return readOnly(argv[2], argc > 3 ? std::max(1, std::atoi(argv[3])) : 1);
    const std::int32_t rows = argc > 1 ? std::atoi(argv[1]) : 65533;
    const std::string folder = argc > 2 ? argv[2] : std::filesystem::temp_directory_path().string();
    const std::string path = folder + "/bench_workbook_" + std::to_string(::getpid()) + ".xls";
    std::printf("fee workbook: %d data rows, sheets of 19 and 37 columns\n", rows);

    RecordingMessages messages;
    double fill = 0, save = 0, open = 0, read = 0;
    {
        auto xl = std::make_unique<pClExcel>(messages);
        {
            Phase p("fill");
            fillContract(*xl, rows);
            fillBilling(*xl, rows);
            fill = p.done();
        }
        {
            Phase p("save");
            check(xl->BookSave(path, false), "BookSave");
            save = p.done();
        }
        std::printf("        formats %zu, strings %zu, file %.1f MB\n", xl->book()->formats.size(),
                    xl->book()->strings.size(),
                    static_cast<double>(std::filesystem::file_size(path)) / 1048576.0);
    }
    {
        pClExcel xl(messages);
        {
            Phase p("open");
            check(xl.OpenBook(path), "OpenBook");
            open = p.done();
        }
        {
            Phase p("read");
            const long cells = readSheet(xl, 1, 19) + readSheet(xl, 2, 37);
            read = p.done();
            std::printf("        %ld cells with a value\n", cells);
        }
    }
    std::printf("fill+save %.3f s, open+read %.3f s\n", fill + save, open + read);

    const bool python = argc <= 3 || std::string(argv[3]) != "nopython";
    if (!python) {
        std::printf("python3 comparison skipped\n");
    } else if (std::system("/usr/bin/python3 -c 'import xlwt, xlrd' >/dev/null 2>&1") == 0) {
        const std::string script = folder + "/bench_workbook_" + std::to_string(::getpid()) + ".py";
        const std::string pyOut = path + ".py.xls";
        std::ofstream(script) << kPython;
        const std::string cmd =
            "/usr/bin/python3 '" + script + "' " + std::to_string(rows) + " '" + pyOut + "'";
        FILE* pipe = ::popen(cmd.c_str(), "r");
        double pyWrite = 0, pyRead = 0;
        long pyRss = 0;
        if (pipe != nullptr && std::fscanf(pipe, "%lf %lf %ld", &pyWrite, &pyRead, &pyRss) == 3) {
            std::printf("python3-xlwt write %.3f s, xlrd read %.3f s, peak %.1f MB\n", pyWrite,
                        pyRead, static_cast<double>(pyRss) / 1024.0);
            std::printf("ratio: xlwt/engine write %.1fx, xlrd/engine read %.1fx\n",
                        pyWrite / (fill + save), pyRead / (open + read));
        } else {
            std::printf("python3 comparison failed\n");
        }
        if (pipe != nullptr)
            ::pclose(pipe);
        std::filesystem::remove(script);
        std::filesystem::remove(pyOut);
    } else {
        std::printf("python3-xlwt/xlrd not installed: no comparison\n");
    }
    std::filesystem::remove(path);
    return 0;
}
