#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "DatabaseTestSupport.h"
#include "SampleData.h"

namespace {

// FNV-1a over every table's rows in key order, types included.
std::uint64_t ContentHash(const Database& db) {
    std::uint64_t h = 1469598103934665603ull;
    auto mix = [&](const std::string& s) {
        for (unsigned char c : s) {
            h ^= c;
            h *= 1099511628211ull;
        }
        h ^= 0xff;
        h *= 1099511628211ull;
    };
    for (const auto& table : db.tableNames()) {
        mix(table);
        Statement st = db.prepare("SELECT * FROM " + QuoteSqlName(table) + " ORDER BY rowid");
        while (st.step()) {
            for (int i = 0; i < st.columnCount(); ++i) {
                const FieldValue v = st.column(i);
                mix(std::to_string(v.index()) + FieldText(v));
            }
        }
    }
    return h;
}

std::uint64_t HashOf(const TempFolder& dir, const std::string& name, SampleOptions options) {
    const std::string path = dir.file(name);
    CreateSampleDatabase(path, options);
    Database db(path, true);
    return ContentHash(db);
}

}  // namespace

TEST(SampleData, SameSeedSameContent) {
    TempFolder dir;
    const std::uint64_t a = HashOf(dir, "a.db", {300, 7});
    EXPECT_EQ(HashOf(dir, "b.db", {300, 7}), a);
    EXPECT_NE(HashOf(dir, "c.db", {300, 8}), a);
    EXPECT_NE(HashOf(dir, "d.db", {301, 7}), a);
}

TEST(SampleData, RefusesToOverwriteUnlessTold) {
    TempFolder dir;
    const std::string path = dir.file("x.db");
    WriteBytes(path, "keep me");
    const PlatformError e = ExpectPlatformError([&] { CreateSampleDatabase(path, {10, 1}); });
    EXPECT_NE(e.description().find(path), std::string::npos);
    std::ifstream in(path);
    std::string text;
    std::getline(in, text);
    EXPECT_EQ(text, "keep me");

    SampleOptions replace{10, 1};
    replace.overwrite = true;
    CreateSampleDatabase(path, replace);
    Database db(path, true);
    EXPECT_EQ(Scalar(db, "SELECT count(*) FROM 浄化槽基本マスタ") != "0", true);
    // No temporary files are left beside it.
    int files = 0;
    for ([[maybe_unused]] const auto& f :
         std::filesystem::directory_iterator(std::filesystem::path(path).parent_path())) {
        ++files;
    }
    EXPECT_EQ(files, 1);
}

TEST(SampleData, WithoutExpansionTable) {
    TempFolder dir;
    const std::string path = dir.file("n.db");
    SampleOptions options{50, 3};
    options.expansionTable = false;
    CreateSampleDatabase(path, options);
    Database db(path, true);
    EXPECT_FALSE(db.hasTable("浄化槽請求展開テーブル"));
    EXPECT_TRUE(db.hasTable("浄化槽請求テーブル"));
}

// The cases the export and the import must meet are all present.
TEST(SampleData, ExercisesTheInterestingCases) {
    TempFolder dir;
    const std::string path = dir.file("s.db");
    CreateSampleDatabase(path, {2000, 11});
    Database db(path, true);
    auto count = [&](const std::string& sql) { return std::stol(Scalar(db, sql)); };

    EXPECT_EQ(Scalar(db,
                     "SELECT 西・和暦区分 || '/' || ぱるも清掃部門コード || '/' || "
                     "ぱるも点検部門コード FROM コントロールマスタ WHERE コード = 1"),
              "1/11/12");
    EXPECT_GT(count("SELECT count(*) FROM 部門マスタ WHERE 請求データ作成区分 = 0"), 0);
    EXPECT_GT(count("SELECT count(*) FROM 部門マスタ WHERE 請求データ作成区分 > 0"), 0);
    EXPECT_EQ(count("SELECT count(*) FROM 部門マスタ WHERE 部門コード IN (11, 12)"), 2);

    const char* const kEnd = "[自社管理契約期間（終了）]";
    EXPECT_GT(
        count(std::string("SELECT count(*) FROM 浄化槽契約請求マスタ WHERE ") + kEnd + " = 0"),
        200);
    EXPECT_EQ(count(std::string("SELECT count(DISTINCT ") + kEnd +
                    " \\ 100 MOD 100) FROM "
                    "浄化槽契約請求マスタ WHERE " +
                    kEnd + " <> 0"),
              12);
    EXPECT_GT(count("SELECT count(*) FROM 浄化槽基本マスタ WHERE 廃止区分 <> 0"), 0);
    EXPECT_GT(count("SELECT count(*) FROM 浄化槽請求テーブル WHERE 請求金額１ <= 0 AND 請求金額２ "
                    "<= 0 AND 請求金額３ <= 0 AND 請求金額４ <= 0 AND 請求金額５ <= 0 AND "
                    "請求金額６ <= 0 AND 請求金額７ <= 0 AND 請求金額８ <= 0 AND 請求金額９ <= 0 "
                    "AND 請求金額１０ <= 0 AND 請求金額１１ <= 0 AND 請求金額１２ <= 0"),
              0);
    EXPECT_GT(count("SELECT count(DISTINCT 得意先コード) FROM 浄化槽請求展開テーブル"), 0);
    EXPECT_GT(count("SELECT count(*) FROM 浄化槽契約内訳マスタ c WHERE NOT EXISTS (SELECT 1 FROM "
                    "浄化槽契約請求マスタ k WHERE k.得意先コード = c.得意先コード)"),
              0);
    EXPECT_GT(count("SELECT count(*) FROM 浄化槽基本マスタ b WHERE NOT EXISTS (SELECT 1 FROM "
                    "浄化槽顧客マスタ k WHERE k.得意先コード = b.得意先コード AND k.ＩＤ = "
                    "b.設置場所ＩＤ)"),
              0);
    EXPECT_GT(count("SELECT count(*) FROM 浄化槽基本マスタ WHERE 得意先コード >= 1000000000"), 0);
    EXPECT_LT(count("SELECT max(得意先コード) FROM 浄化槽基本マスタ"), 10000000000);

    // About two contract lines and one or two billing lines per customer.
    const long lines = count("SELECT count(*) FROM 浄化槽契約内訳マスタ");
    const long bills = count("SELECT count(*) FROM 浄化槽請求テーブル");
    EXPECT_GT(lines, 3600);
    EXPECT_LT(lines, 4400);
    EXPECT_GT(bills, 2700);
    EXPECT_LT(bills, 3300);
    // Flags agree with the amounts.
    EXPECT_EQ(
        count("SELECT count(*) FROM 浄化槽請求テーブル WHERE 請求フラグ４ <> (請求金額４ > 0)"), 0);
    // Japanese names, addresses and telephone numbers.
    EXPECT_EQ(count("SELECT count(*) FROM 浄化槽顧客マスタ WHERE ＴＥＬ IS NOT NULL AND "
                    "length(replace(ＴＥＬ, '-', '')) <> 10 AND ＴＥＬ NOT LIKE '090-%'"),
              0);
    EXPECT_GT(count("SELECT count(*) FROM 浄化槽顧客マスタ WHERE 住所（漢字） LIKE '%県%'"), 0);
}

TEST(SampleData, CountExportRowsMatchesTheDocumentedRatio) {
    TempFolder dir;
    const std::string path = dir.file("r.db");
    CreateSampleDatabase(path, {4000, 5});
    Database db(path, true);
    const ExportRowCounts none = CountExportRows(db, 0);
    const ExportRowCounts march = CountExportRows(db, 202403);
    EXPECT_GT(march.contractRows, none.contractRows);
    EXPECT_GT(march.billingRows, none.billingRows);
    EXPECT_NEAR(none.contractRows / 4000.0, 0.91, 0.05);
    EXPECT_NEAR(none.billingRows / 4000.0, 0.40, 0.05);
    EXPECT_NEAR(march.contractRows / 4000.0, 0.95, 0.05);
    EXPECT_NEAR(march.billingRows / 4000.0, 0.42, 0.05);
}

TEST(SampleData, ExactRowsPerSheet) {
    TempFolder dir;
    for (long rows : {1L, 777L}) {
        const std::string path = dir.file("t" + std::to_string(rows) + ".db");
        SampleOptions options{100, 9};
        options.exportRowsPerSheet = rows;
        CreateSampleDatabase(path, options);
        Database db(path, true);
        const ExportRowCounts counts = CountExportRows(db, 0);
        EXPECT_EQ(counts.contractRows, rows);
        EXPECT_EQ(counts.billingRows, rows);
    }
}
