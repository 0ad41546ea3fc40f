#include "ContractBreakdownQuery.h"

#include "SqlText.h"

namespace {

// Select list of both branches, in the order of the sheet's columns.
void AppendBranchSelect(std::string& sql) {
    AppendLine(sql, "          SELECT");
    AppendLine(sql, "                    浄化槽契約内訳マスタ.得意先コード AS 得意先コード,");
    AppendLine(sql, "                    浄化槽顧客マスタ.名称（漢字） AS 設置場所名称,");
    AppendLine(sql, "                    浄化槽顧客マスタ.住所（漢字） AS 設置場所住所,");
    AppendLine(sql, "                    浄化槽顧客マスタ.ＴＥＬ AS 設置場所TEL,");
    AppendLine(sql, "                    浄化槽基本マスタ.人槽 AS 人槽,");
    AppendLine(sql, "                    浄化槽基本マスタ.容量 AS 容量,");
    AppendLine(sql, "                    処理方式マスタ.[処理方式名（正式）] AS 処理方式名称,");
    AppendLine(sql, "                    固定契約区分.名称 AS 契約区分名称,");
    AppendLine(
        sql,
        "                    浄化槽契約請求マスタ.[自社管理契約期間（開始）] AS 契約期間_開始,");
    AppendLine(
        sql,
        "                    浄化槽契約請求マスタ.[自社管理契約期間（終了）] AS 契約期間_終了,");
    AppendLine(sql, "                    浄化槽契約内訳マスタ.ＩＤ AS 行番号,");
    AppendLine(sql, "                    浄化槽契約内訳マスタ.作業コード AS 作業コード,");
    AppendLine(sql, "                    作業マスタ.作業名称 AS 作業名称,");
    AppendLine(sql, "                    浄化槽契約内訳マスタ.年間金額 AS 年間金額,");
    AppendLine(sql, "                    浄化槽契約内訳マスタ.作業回数 AS 作業回数,");
    AppendLine(sql, "                    浄化槽契約内訳マスタ.[1回分の金額] AS 単価金額");
}

// Join chain of both branches; the Jet dialect takes more than two tables only
// as nested pairs, each join in parentheses.
void AppendBranchFrom(std::string& sql) {
    AppendLine(sql, "          FROM");
    AppendLine(sql, "                    ((((((浄化槽契約内訳マスタ");
    AppendLine(
        sql,
        "                    LEFT JOIN 浄化槽基本マスタ ON 浄化槽契約内訳マスタ.得意先コード "
        "= 浄化槽基本マスタ.得意先コード)");
    AppendLine(sql,
               "                    LEFT JOIN 浄化槽顧客マスタ ON (浄化槽基本マスタ.設置場所ＩＤ = "
               "浄化槽顧客マスタ.ＩＤ) AND (浄化槽基本マスタ.得意先コード = "
               "浄化槽顧客マスタ.得意先コード))");
    AppendLine(sql,
               "                    LEFT JOIN 浄化槽契約請求マスタ ON "
               "浄化槽契約内訳マスタ.得意先コード = 浄化槽契約請求マスタ.得意先コード)");
    AppendLine(sql,
               "                    LEFT JOIN 固定契約区分 ON 浄化槽契約請求マスタ.契約区分 = "
               "固定契約区分.コード)");
    AppendLine(sql,
               "                    LEFT JOIN 作業マスタ ON 浄化槽契約内訳マスタ.作業コード = "
               "作業マスタ.作業コード)");
    AppendLine(sql,
               "                    LEFT JOIN 部門マスタ ON 作業マスタ.部門コード = "
               "部門マスタ.部門コード)");
    AppendLine(sql,
               "                    LEFT JOIN 処理方式マスタ ON 浄化槽基本マスタ.処理方式コード = "
               "処理方式マスタ.処理方式コード");
}

}  // namespace

void AppendContractPeriodCondition(std::string& sql, std::int16_t ContractEndMonth,
                                   std::int32_t ContractEndYearMonth) {
    AppendLine(sql, "                    (");
    AppendLine(sql,
               "                         (浄化槽契約請求マスタ.[自社管理契約期間（終了）] = 0)");
    AppendLine(sql, "                      OR (");
    AppendLine(sql,
               "                              (((浄化槽契約請求マスタ.[自社管理契約期間（終了）] "
               "\\ 100) MOD 100) = " +
                   std::to_string(ContractEndMonth) + ")");
    AppendLine(sql,
               "                          AND ((浄化槽契約請求マスタ.[自社管理契約期間（終了）] \\ "
               "100) <= " +
                   std::to_string(ContractEndYearMonth) + ")");
    AppendLine(sql, "                         )");
    AppendLine(sql, "                    )");
}

std::string ContractBreakdownQuery(std::int16_t ContractEndMonth, std::int32_t ContractEndYearMonth,
                                   const std::string& contractFilter,
                                   const std::string& oneOffFilter) {
    std::string sql;
    AppendLine(sql, " SELECT");
    AppendLine(sql, "          顧客D.得意先コード,");
    AppendLine(sql, "          顧客D.設置場所名称,");
    AppendLine(sql, "          顧客D.設置場所住所,");
    AppendLine(sql, "          顧客D.設置場所TEL,");
    AppendLine(sql, "          顧客D.人槽,");
    AppendLine(sql, "          顧客D.容量,");
    AppendLine(sql, "          顧客D.処理方式名称,");
    AppendLine(sql, "          顧客D.契約区分名称,");
    AppendLine(sql, "          顧客D.契約期間_開始,");
    AppendLine(sql, "          顧客D.契約期間_終了,");
    AppendLine(sql, "          顧客D.行番号,");
    AppendLine(sql, "          顧客D.作業コード,");
    AppendLine(sql, "          顧客D.作業名称,");
    AppendLine(sql, "          顧客D.年間金額,");
    AppendLine(sql, "          顧客D.作業回数,");
    AppendLine(sql, "          顧客D.単価金額");
    AppendLine(sql, " FROM");
    AppendLine(sql, "     (");

    // Departments that create billing data from their contracts.
    AppendBranchSelect(sql);
    AppendBranchFrom(sql);
    AppendLine(sql, "          WHERE");
    AppendContractPeriodCondition(sql, ContractEndMonth, ContractEndYearMonth);
    AppendLine(sql, "                AND (部門マスタ.請求データ作成区分 > 0)");
    AppendLine(sql, "                AND (浄化槽基本マスタ.廃止区分 = 0)");
    AppendLine(sql, "                        " + contractFilter);

    AppendLine(sql, "          ");
    AppendLine(sql, "          UNION ALL");
    AppendLine(sql, "          ");

    // Per-job departments: no contract period.
    AppendBranchSelect(sql);
    AppendBranchFrom(sql);
    AppendLine(sql, "          WHERE");
    AppendLine(sql, "                    (部門マスタ.請求データ作成区分 = 0)");
    AppendLine(sql, "                AND (浄化槽基本マスタ.廃止区分 = 0)");
    AppendLine(sql, "                        " + oneOffFilter);

    AppendLine(sql, "     ) AS 顧客D");
    AppendLine(sql, " ORDER BY");
    AppendLine(sql, "          顧客D.得意先コード,");
    AppendLine(sql, "          顧客D.行番号;");
    return sql;
}
