#include "BillingQuery.h"

#include "ContractBreakdownQuery.h"
#include "SqlText.h"
#include "gMjDisp.h"

namespace {

// The table names its months with full-width digits, the aliases with ASCII ones.
std::string MonthColumn(int month) {
    return "浄化槽請求テーブル.[請求金額" + gMjDisp::FullWidthDigits(month) + "]";
}

}  // namespace

std::string BillingQuery(std::int16_t ContractEndMonth, std::int32_t ContractEndYearMonth,
                         const std::string& contractFilter, bool ExpansionMode) {
    std::string sql;
    AppendLine(sql, " SELECT");
    AppendLine(sql, "          浄化槽請求テーブル.得意先コード AS 得意先コード,");
    if (ExpansionMode)
        AppendLine(sql, "          展開D.得意先コード AS 展開得意先コード,");
    AppendLine(sql, "          浄化槽顧客マスタ.名称（漢字） AS 設置場所名称,");
    AppendLine(sql, "          浄化槽顧客マスタ.住所（漢字） AS 設置場所住所,");
    AppendLine(sql, "          浄化槽顧客マスタ.ＴＥＬ AS 設置場所TEL,");
    AppendLine(sql, "          浄化槽基本マスタ.人槽 AS 人槽,");
    AppendLine(sql, "          浄化槽基本マスタ.容量 AS 容量,");
    AppendLine(sql, "          処理方式マスタ.[処理方式名（正式）] AS 処理方式名称,");
    AppendLine(sql, "          固定契約区分.名称 AS 契約区分名称,");
    AppendLine(sql, "          浄化槽契約請求マスタ.[自社管理契約期間（開始）] AS 契約期間_開始,");
    AppendLine(sql, "          浄化槽契約請求マスタ.[自社管理契約期間（終了）] AS 契約期間_終了,");
    AppendLine(sql, "          浄化槽請求テーブル.ＩＤ AS 行番号,");
    AppendLine(sql, "          浄化槽請求テーブル.部門コード AS 部門コード,");
    AppendLine(sql, "          部門マスタ.部門名称 AS 部門名称,");
    for (int month = 1; month <= 12; ++month) {
        AppendLine(sql, "          " + MonthColumn(month) + " AS 請求金額_" +
                            std::to_string(month) + (month < 12 ? "," : ""));
    }

    AppendLine(sql, " FROM");
    AppendLine(sql, std::string("          ") + (ExpansionMode ? "((((((" : "(((((") +
                        "浄化槽請求テーブル");
    AppendLine(sql,
               "          LEFT JOIN 浄化槽基本マスタ ON 浄化槽請求テーブル.得意先コード = "
               "浄化槽基本マスタ.得意先コード)");
    AppendLine(sql,
               "          LEFT JOIN 浄化槽顧客マスタ ON (浄化槽基本マスタ.設置場所ＩＤ = "
               "浄化槽顧客マスタ.ＩＤ) AND (浄化槽基本マスタ.得意先コード = "
               "浄化槽顧客マスタ.得意先コード))");
    AppendLine(sql,
               "          LEFT JOIN 浄化槽契約請求マスタ ON 浄化槽請求テーブル.得意先コード = "
               "浄化槽契約請求マスタ.得意先コード)");
    AppendLine(sql,
               "          LEFT JOIN 固定契約区分 ON 浄化槽契約請求マスタ.契約区分 = "
               "固定契約区分.コード)");
    AppendLine(sql,
               "          LEFT JOIN 部門マスタ ON 浄化槽請求テーブル.部門コード = "
               "部門マスタ.部門コード)");
    AppendLine(sql, std::string("          LEFT JOIN 処理方式マスタ ON "
                                "浄化槽基本マスタ.処理方式コード = "
                                "処理方式マスタ.処理方式コード") +
                        (ExpansionMode ? ")" : ""));
    if (ExpansionMode) {
        // Grouped so that a customer with several expansion rows still gives
        // one row per billing record.
        AppendLine(sql,
                   "          LEFT JOIN (SELECT 浄化槽請求展開テーブル.得意先コード FROM "
                   "浄化槽請求展開テーブル GROUP BY 浄化槽請求展開テーブル.得意先コード)");
        AppendLine(sql,
                   "          AS 展開D ON 展開D.得意先コード = 浄化槽請求テーブル.得意先コード");
    }

    AppendLine(sql, " WHERE");
    AppendContractPeriodCondition(sql, ContractEndMonth, ContractEndYearMonth);
    AppendLine(sql, "                AND (浄化槽基本マスタ.廃止区分 = 0)");
    AppendLine(sql, "                AND (");
    for (int month = 1; month <= 12; ++month) {
        AppendLine(sql, std::string(month == 1 ? "                         ("
                                               : "                      OR (") +
                            MonthColumn(month) + " > 0)");
    }
    AppendLine(sql, "                    )");
    AppendLine(sql, "       " + contractFilter);

    AppendLine(sql, " ORDER BY");
    AppendLine(sql, "          浄化槽請求テーブル.得意先コード,");
    AppendLine(sql, "          浄化槽請求テーブル.ＩＤ;");
    return sql;
}
