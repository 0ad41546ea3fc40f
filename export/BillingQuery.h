#pragma once
// The billing query of the export: billing records with at least one positive
// month, in customer and record order. In ExpansionMode it also yields
// 展開得意先コード, the customer's code when 浄化槽請求展開テーブル has it.

#include <cstdint>
#include <string>

// `contractFilter`: department filter fragment of the "契　約" list, beginning
// with its own AND.
std::string BillingQuery(std::int16_t ContractEndMonth, std::int32_t ContractEndYearMonth,
                         const std::string& contractFilter, bool ExpansionMode);
