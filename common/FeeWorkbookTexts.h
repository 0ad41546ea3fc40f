#pragma once
// The texts that make a workbook the fee workbook: its two sheet names and
// the two header rows of each sheet. The export writes them and the import
// refuses a workbook whose texts differ, so both read them from here.
//
// Each sheet's header is a run of titles that span both header rows, then the
// two amount groups (current, revised), each a title over a row of sub-titles.

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <span>

namespace feebook {

inline constexpr const char* kContractSheet = "契約内訳情報";
inline constexpr const char* kBillingSheet = "請求情報";

inline constexpr const char* kCurrentAmounts = "現在の金額";
inline constexpr const char* kRevisedAmounts = "改定後の金額(記載欄)";
inline constexpr const char* kAmountGroups[] = {kCurrentAmounts, kRevisedAmounts};

inline constexpr const char* kContractTitles[] = {
    "得意先コード", "設置場所名", "設置場所住所", "設置場所TEL",   "人槽",
    "容量",         "処理方式",   "契約区分",     "契約期間_開始", "契約期間_終了",
    "行番号",       "作業コード", "作業名",
};
inline constexpr const char* kContractSubTitles[] = {"年間金額", "作業回数", "１回金額"};

inline constexpr const char* kBillingTitles[] = {
    "得意先コード", "設置場所名", "設置場所住所", "設置場所TEL",   "人槽",
    "容量",         "処理方式",   "契約区分",     "契約期間_開始", "契約期間_終了",
    "行番号",       "部門コード", "部門名",
};
inline constexpr const char* kBillingSubTitles[] = {
    "1月", "2月", "3月", "4月", "5月", "6月", "7月", "8月", "9月", "10月", "11月", "12月",
};

struct SheetTexts {
    const char* name;
    std::span<const char* const> titles;     // each over both header rows
    std::span<const char* const> subTitles;  // under each amount group's title

    constexpr std::int16_t groupWidth() const {
        return static_cast<std::int16_t>(subTitles.size());
    }
    constexpr std::int16_t columns() const {
        return static_cast<std::int16_t>(titles.size() +
                                         std::size(kAmountGroups) * subTitles.size());
    }
};

inline constexpr SheetTexts kContractTexts{kContractSheet, kContractTitles, kContractSubTitles};
inline constexpr SheetTexts kBillingTexts{kBillingSheet, kBillingTitles, kBillingSubTitles};

}  // namespace feebook
