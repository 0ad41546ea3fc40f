#include "SampleData.h"

#include <unistd.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <optional>
#include <vector>

#include "CopyDatabase.h"
#include "DatabaseName.h"
#include "PlatformError.h"
#include "Schema.h"
#include "Transaction.h"

namespace {

// splitmix64: tiny, fast and the same everywhere.
class Random {
  public:
    explicit Random(std::uint32_t seed) : state_(0x9E3779B97F4A7C15ull ^ seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // 0 .. n-1 (the bias of the modulo is far below anything visible here).
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }
    bool percent(int p) { return below(100) < p; }
    template <typename T, std::size_t N>
    const T& pick(const std::array<T, N>& items) {
        return items[static_cast<std::size_t>(below(static_cast<int>(N)))];
    }

  private:
    std::uint64_t state_;
};

struct Department {
    int code;
    const char* name;
    int billingKind;  // 請求データ作成区分
};
constexpr std::array<Department, 9> kDepartments{{{1, "浄化槽清掃", 1},
                                                  {2, "浄化槽保守点検", 1},
                                                  {3, "法定検査", 1},
                                                  {4, "し尿汲み取り", 0},
                                                  {5, "修理工事", 0},
                                                  {6, "臨時作業", 0},
                                                  {7, "ブロワー保守", 2},
                                                  {11, "ぱるも清掃", 1},
                                                  {12, "ぱるも点検", 1}}};
constexpr int kSiblingCleaning = 11;
constexpr int kSiblingInspection = 12;

struct Work {
    int code;
    const char* name;
    int department;
    int weight;  // relative frequency in contracts
};
constexpr std::array<Work, 10> kWorks{{{1, "清掃", 1, 30},
                                       {2, "保守点検", 2, 25},
                                       {3, "法定検査", 3, 9},
                                       {4, "汲み取り", 4, 8},
                                       {5, "ブロワー修理", 5, 5},
                                       {6, "臨時清掃", 6, 5},
                                       {7, "ブロワー点検", 7, 5},
                                       {8, "ぱるも清掃", 11, 4},
                                       {9, "ぱるも点検", 12, 4},
                                       {10, "消毒薬補充", 2, 4}}};
constexpr int kUnknownWork = 99;  // in no 作業マスタ row

int BillingKind(int department) {
    for (const auto& d : kDepartments) {
        if (d.code == department)
            return d.billingKind;
    }
    return -1;
}

// Departments of the contract list of the export when every department is
// chosen: they create billing data from contracts and are not siblings.
bool EligibleDepartment(int department) {
    return department != kSiblingCleaning && department != kSiblingInspection &&
           BillingKind(department) > 0;
}

// Whether an export for the year-month 0 writes a contract line of an active
// installation: billing departments only without an end date, the others
// (請求データ作成区分 0) always.
bool ContractLineExported(const Work& work, bool openEnded) {
    if (work.department == kSiblingCleaning || work.department == kSiblingInspection)
        return false;
    const int kind = BillingKind(work.department);
    return kind == 0 || (kind > 0 && openEnded);
}

constexpr std::array<const char*, 5> kMethods{
    "単独処理", "合併処理（嫌気ろ床接触ばっ気方式）", "合併処理（分離接触ばっ気方式）",
    "合併処理（脱窒ろ床接触ばっ気方式）", "合併処理（膜分離方式）"};
constexpr std::array<const char*, 4> kContractKinds{"年間契約", "半年契約", "都度契約",
                                                    "管理委託契約"};

constexpr std::array<const char*, 40> kSurnames{
    "佐藤", "鈴木", "高橋",   "田中", "伊藤", "渡辺", "山本", "中村", "小林", "加藤",
    "吉田", "山田", "佐々木", "山口", "松本", "井上", "木村", "林",   "斎藤", "清水",
    "山崎", "森",   "池田",   "橋本", "阿部", "石川", "山下", "中島", "石井", "小川",
    "前田", "岡田", "長谷川", "藤田", "後藤", "近藤", "村上", "遠藤", "青木", "坂本"};
constexpr std::array<const char*, 32> kGivenNames{
    "太郎",   "一郎", "健一", "誠",   "浩",   "隆",   "茂",   "清",     "博",     "勝",   "進",
    "修",     "正男", "和夫", "花子", "幸子", "洋子", "恵子", "京子",   "久美子", "直美", "由美子",
    "美智子", "明美", "陽子", "大輔", "翔太", "健太", "拓也", "さくら", "美咲",   "結衣"};
constexpr std::array<const char*, 12> kBusinessNames{
    "株式会社山田工務店", "有限会社丸山商店", "さくら保育園",     "みどり荘",
    "株式会社東和製作所", "医療法人青葉会",   "ひまわり幼稚園",   "有限会社松本農園",
    "合同会社川村物産",   "いずみ旅館",       "株式会社北陽運輸", "北町公民館"};

struct Place {
    const char* city;
    const char* area;  // telephone area code
};
constexpr std::array<Place, 12> kPlaces{{{"群馬県太田市", "0276"},
                                         {"群馬県前橋市", "027"},
                                         {"茨城県つくば市", "029"},
                                         {"茨城県常総市", "0297"},
                                         {"栃木県宇都宮市", "028"},
                                         {"埼玉県熊谷市", "048"},
                                         {"千葉県香取市", "0478"},
                                         {"山梨県富士吉田市", "0555"},
                                         {"長野県松本市", "0263"},
                                         {"静岡県浜松市中央区", "053"},
                                         {"宮城県仙台市泉区", "022"},
                                         {"福岡県糸島市", "092"}}};
constexpr std::array<const char*, 16> kTowns{
    "本町", "栄町", "緑町", "旭町",     "若葉台",   "桜ケ丘",   "中央", "東新町",
    "西原", "南台", "北野", "大字上田", "大字下村", "大字新田", "泉町", "花園"};
constexpr std::array<int, 7> kTankSizes{5, 7, 10, 14, 21, 30, 50};
constexpr std::array<int, 6> kVisits{1, 2, 3, 4, 6, 12};

std::string Digits(Random& r, int count) {
    std::string s;
    for (int i = 0; i < count; ++i)
        s += static_cast<char>('0' + r.below(10));
    return s;
}

std::string PersonName(Random& r) {
    if (r.percent(12))
        return r.pick(kBusinessNames);
    return std::string(r.pick(kSurnames)) + "　" + r.pick(kGivenNames);  // ideographic space
}

std::string Address(Random& r, const Place& place) {
    std::string town = r.pick(kTowns);
    if (town.rfind("大字", 0) == 0) {
        return std::string(place.city) + town + std::to_string(100 + r.below(3900)) + "番地";
    }
    return std::string(place.city) + town + std::to_string(1 + r.below(6)) + "丁目" +
           std::to_string(1 + r.below(30)) + "番" + std::to_string(1 + r.below(20)) + "号";
}

std::string Telephone(Random& r, const Place& place) {
    if (r.percent(8))
        return "090-" + Digits(r, 4) + "-" + Digits(r, 4);
    const std::string area = place.area;
    const int localDigits = 6 - static_cast<int>(area.size());  // 0276-12-3456, 027-123-4567
    return area + "-" + Digits(r, localDigits) + "-" + Digits(r, 4);
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0))
        return 29;
    return kDays[month - 1];
}

const Work& PickWork(Random& r) {
    int total = 0;
    for (const auto& w : kWorks)
        total += w.weight;
    int x = r.below(total);
    for (const auto& w : kWorks) {
        if (x < w.weight)
            return w;
        x -= w.weight;
    }
    return kWorks[0];
}

class Inserter {
  public:
    Inserter(Database& db, const std::string& table, int columns)
        : st_(prepare(db, table, columns)) {}
    void row(const std::vector<FieldValue>& values) {
        for (std::size_t i = 0; i < values.size(); ++i)
            st_.bind(static_cast<int>(i + 1), values[i]);
        st_.step();
        st_.reset();
    }

  private:
    static Statement prepare(Database& db, const std::string& table, int columns) {
        std::string sql = "INSERT INTO " + QuoteSqlName(table) + " VALUES (";
        for (int i = 0; i < columns; ++i)
            sql += i ? ", ?" : "?";
        return db.prepare(sql + ")");
    }
    Statement st_;
};

FieldValue Int(std::int64_t v) {
    return v;
}
FieldValue Text(const std::string& s) {
    return s;
}

std::string FullWidth(int n) {
    static const char* const kDigits[] = {"０", "１", "２", "３", "４",
                                          "５", "６", "７", "８", "９"};
    std::string s;
    for (char c : std::to_string(n))
        s += kDigits[c - '0'];
    return s;
}

}  // namespace

void FillSampleData(Database& db, const SampleOptions& options) {
    Random r(options.seed);
    TransactionGuard transaction(db);
    transaction.BeginOrThrow();
    {
        Inserter control(db, "コントロールマスタ", 4);
        control.row({Int(1), Int(1), Int(kSiblingCleaning), Int(kSiblingInspection)});

        Inserter departments(db, "部門マスタ", 3);
        for (const auto& d : kDepartments) {
            departments.row({Int(d.code), Text(d.name), Int(d.billingKind)});
        }
        Inserter works(db, "作業マスタ", 3);
        for (const auto& w : kWorks)
            works.row({Int(w.code), Text(w.name), Int(w.department)});
        Inserter methods(db, "処理方式マスタ", 2);
        for (std::size_t i = 0; i < kMethods.size(); ++i) {
            methods.row({Int(static_cast<std::int64_t>(i + 1)), Text(kMethods[i])});
        }
        Inserter kinds(db, "固定契約区分", 2);
        for (std::size_t i = 0; i < kContractKinds.size(); ++i) {
            kinds.row({Int(static_cast<std::int64_t>(i + 1)), Text(kContractKinds[i])});
        }

        Inserter basic(db, "浄化槽基本マスタ", 6);
        Inserter customer(db, "浄化槽顧客マスタ", 5);
        Inserter contract(db, "浄化槽契約請求マスタ", 4);
        Inserter lines(db, "浄化槽契約内訳マスタ", 6);
        Inserter billing(db, "浄化槽請求テーブル", 27);
        std::optional<Inserter> expansion;
        if (options.expansionTable)
            expansion.emplace(db, "浄化槽請求展開テーブル", 3);

        // The last tenth of the customers has ten-digit codes.
        const int tenDigitFrom = options.customers - options.customers / 10;
        const long target = options.exportRowsPerSheet;
        long contractRows = 0;  // rows each sheet gets so far (year-month 0)
        long billingRows = 0;
        std::int64_t code = 0;
        for (int i = 0;
             target > 0 ? (contractRows < target || billingRows < target) : i < options.customers;
             ++i) {
            code = (i == tenDigitFrom && options.customers >= 10) ? 1000000000 + r.below(1000)
                                                                  : code + 1 + r.below(30);
            const Place& place = r.pick(kPlaces);

            // 浄化槽基本マスタ (missing for 2 %; abolished for 5 %).
            const int siteId = r.percent(90) ? 1 : 2;
            bool active = false;  // has a 浄化槽基本マスタ row that is not abolished
            if (!r.percent(2)) {
                const int people = r.pick(kTankSizes);
                const double volume = (people * 200 + r.below(1000)) / 1000.0;
                const int abolished = r.percent(5) ? 1 + r.below(2) : 0;
                active = abolished == 0;
                basic.row({Int(code), Int(siteId), Int(people), volume,
                           Int(1 + r.below(static_cast<int>(kMethods.size()))), Int(abolished)});
            }
            // 浄化槽顧客マスタ: the installation's row is missing for 3 %.
            const bool siteRow = !r.percent(3);
            for (int id = 1; id <= siteId; ++id) {
                if (id == siteId && !siteRow)
                    continue;
                const std::string name = PersonName(r);
                const FieldValue tel =
                    r.percent(2) ? FieldValue(FieldNull{}) : FieldValue(Telephone(r, place));
                customer.row({Int(code), Int(id), Text(name), Text(Address(r, place)), tel});
            }
            // 浄化槽契約請求マスタ (missing for 5 %): no end date for 45 %.
            bool openEnded = false;  // 契約請求マスタ row without an end date
            if (!r.percent(5)) {
                const int kind = r.percent(2) ? 9 : 1 + r.below(4);
                const int startYear = 2010 + r.below(14);
                const int start = startYear * 10000 + (1 + r.below(12)) * 100 + 1;
                int end = 0;
                if (!r.percent(45)) {
                    const int year = 2019 + r.below(9);
                    const int month = 1 + r.below(12);
                    const int day = r.percent(50) ? DaysInMonth(year, month) : 15;
                    end = year * 10000 + month * 100 + day;
                }
                openEnded = end == 0;
                contract.row({Int(code), Int(kind), Int(start), Int(end)});
            }
            // 浄化槽契約内訳マスタ: 1 to 3 lines.
            const int lineCount = 1 + r.below(3);
            for (int id = 1; id <= lineCount; ++id) {
                const Work* work = r.percent(1) ? nullptr : &PickWork(r);
                const int visits = r.pick(kVisits);
                const std::int64_t perVisit = 3000 + 100 * r.below(400);
                if (active && work && ContractLineExported(*work, openEnded)) {
                    if (target > 0 && contractRows >= target)
                        continue;
                    ++contractRows;
                }
                lines.row({Int(code), Int(id), Int(work ? work->code : kUnknownWork),
                           Int(perVisit * visits), Int(visits), Int(perVisit)});
            }
            // 浄化槽請求テーブル: 1 or 2 lines.
            const int billCount = 1 + r.below(2);
            for (int id = 1; id <= billCount; ++id) {
                static constexpr std::array<int, 8> kBillDepts{1, 1, 2, 2, 3, 7, 11, 4};
                const int dept = r.pick(kBillDepts);
                const std::int64_t fee = 1000 + 100 * r.below(190);
                std::array<std::int64_t, 12> amounts{};
                const int pattern = r.below(100);
                for (int m = 0; m < 12; ++m) {
                    if (pattern < 50) {
                        amounts[m] = fee;  // every month
                    } else if (pattern < 70) {
                        amounts[m] = m % 3 == 0 ? fee : 0;  // quarterly
                    } else if (pattern < 80) {
                        amounts[m] = m % 2 == 1 ? fee : 0;  // every other month
                    } else if (pattern < 90) {
                        amounts[m] = m == 3 ? fee * 4 : 0;  // once a year
                    } else if (pattern < 98) {
                        amounts[m] = 0;  // bills nothing
                    } else {
                        amounts[m] = m == 0 ? -fee : 0;  // a credit only
                    }
                }
                if (active && openEnded && pattern < 90 && EligibleDepartment(dept)) {
                    if (target > 0 && billingRows >= target)
                        continue;
                    ++billingRows;
                }
                std::vector<FieldValue> row{Int(code), Int(id), Int(dept)};
                for (int m = 0; m < 12; ++m)
                    row.push_back(Int(amounts[m] > 0 ? 1 : 0));
                for (int m = 0; m < 12; ++m)
                    row.push_back(Int(amounts[m]));
                billing.row(row);
            }
            // 浄化槽請求展開テーブル: 5 % of the customers, over 2 or 3 departments.
            if (expansion && r.percent(5)) {
                static constexpr std::array<int, 3> kExpDepts{1, 2, 7};
                const int parts = 2 + r.below(2);
                for (int k = 0; k < parts; ++k) {
                    expansion->row({Int(code), Int(kExpDepts[static_cast<std::size_t>(k)]),
                                    Int(1000 + 100 * r.below(100))});
                }
            }
        }
    }
    transaction.CommitOrThrow();
}

void CreateSampleDatabase(const std::string& path, const SampleOptions& options) {
    if (options.customers < 0) {
        throw PlatformError(SQLITE_RANGE, "顧客数が負です: " + std::to_string(options.customers));
    }
    if (IsServerDatabaseName(path)) {
        // Built in a file first and copied in one COPY per table: a row at
        // a time over the connection would take minutes.
        const std::string temp = (std::filesystem::temp_directory_path() /
                                  ("velkan-sample-" + std::to_string(::getpid()) + ".db"))
                                     .string();
        SampleOptions file = options;
        file.overwrite = true;
        CreateSampleDatabase(temp, file);
        try {
            Database from(temp, true);
            Database to(path, false);
            CopyDatabase(from, to);
        } catch (...) {
            std::filesystem::remove(temp);
            throw;
        }
        std::filesystem::remove(temp);
        return;
    }
    BuildDatabaseFile(path, options.overwrite, [&](Database& db) {
        CreateSchema(db, options.expansionTable);
        FillSampleData(db, options);
    });
}

namespace {

std::string PeriodCondition(int yearMonth) {
    const std::string ym = std::to_string(yearMonth);
    const std::string m = std::to_string(yearMonth % 100);
    const std::string end = "浄化槽契約請求マスタ.[自社管理契約期間（終了）]";
    return "((" + end + " = 0) OR ((((" + end + " \\ 100) MOD 100) = " + m + ") AND ((" + end +
           " \\ 100) <= " + ym + ")))";
}

long CountOf(Database& db, const std::string& sql) {
    Statement st = db.prepare(sql);
    st.step();
    return FieldWhole<long>(st.column(0), "count");
}

}  // namespace

ExportRowCounts CountExportRows(Database& db, int yearMonth) {
    std::string siblings;
    {
        Statement st = db.prepare(
            "SELECT ぱるも清掃部門コード, ぱるも点検部門コード FROM コントロールマスタ WHERE "
            "コード = 1");
        if (st.step()) {
            const auto a = FieldWhole<std::int64_t>(st.column(0), "ぱるも清掃部門コード");
            const auto b = FieldWhole<std::int64_t>(st.column(1), "ぱるも点検部門コード");
            // Only whole numbers go into the statement, whatever the row holds.
            if (a != 0 || b != 0) {
                siblings = " AND 部門マスタ.部門コード NOT IN (" + std::to_string(a) + ", " +
                           std::to_string(b) + ")";
            }
        }
    }
    const std::string contractFrom =
        " FROM ((((浄化槽契約内訳マスタ LEFT JOIN 浄化槽基本マスタ ON "
        "浄化槽契約内訳マスタ.得意先コード "
        "= 浄化槽基本マスタ.得意先コード) LEFT JOIN 浄化槽契約請求マスタ ON "
        "浄化槽契約内訳マスタ.得意先コード = 浄化槽契約請求マスタ.得意先コード) LEFT JOIN "
        "作業マスタ ON "
        "浄化槽契約内訳マスタ.作業コード = 作業マスタ.作業コード) LEFT JOIN 部門マスタ ON "
        "作業マスタ.部門コード = 部門マスタ.部門コード)";
    ExportRowCounts counts;
    counts.contractRows =
        CountOf(db, "SELECT count(*)" + contractFrom + " WHERE " + PeriodCondition(yearMonth) +
                        " AND 部門マスタ.請求データ作成区分 > 0 AND 浄化槽基本マスタ.廃止区分 = 0" +
                        siblings) +
        CountOf(db,
                "SELECT count(*)" + contractFrom +
                    " WHERE 部門マスタ.請求データ作成区分 = 0 AND 浄化槽基本マスタ.廃止区分 = 0" +
                    siblings);
    std::string anyMonth;
    for (int m = 1; m <= 12; ++m) {
        anyMonth += std::string(m > 1 ? " OR " : "") + "浄化槽請求テーブル.[請求金額" +
                    FullWidth(m) + "] > 0";
    }
    counts.billingRows =
        CountOf(db,
                "SELECT count(*) FROM (((浄化槽請求テーブル LEFT JOIN 浄化槽基本マスタ ON "
                "浄化槽請求テーブル.得意先コード = 浄化槽基本マスタ.得意先コード) LEFT JOIN "
                "浄化槽契約請求マスタ ON "
                "浄化槽請求テーブル.得意先コード = 浄化槽契約請求マスタ.得意先コード) LEFT JOIN "
                "部門マスタ ON "
                "浄化槽請求テーブル.部門コード = 部門マスタ.部門コード) WHERE " +
                    PeriodCondition(yearMonth) + " AND 浄化槽基本マスタ.廃止区分 = 0 AND (" +
                    anyMonth + ") AND 部門マスタ.請求データ作成区分 > 0" + siblings);
    return counts;
}
