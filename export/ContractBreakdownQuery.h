#pragma once
// The contract-breakdown query of the export: lines of departments that bill
// from contracts (limited by the contract period) UNION ALL lines of per-job
// departments, in customer and line order.

#include <cstdint>
#include <string>

// Lines "(" ... ")" of the contract-period condition, shared by the billing
// query: no end date, or an end in month `ContractEndMonth` not after
// `ContractEndYearMonth` (yyyymm).
void AppendContractPeriodCondition(std::string& sql, std::int16_t ContractEndMonth,
                                   std::int32_t ContractEndYearMonth);

// `contractFilter` and `oneOffFilter`: department filter fragments of the
// "契　約" and "契約外(都度)" lists, each beginning with its own AND.
std::string ContractBreakdownQuery(std::int16_t ContractEndMonth, std::int32_t ContractEndYearMonth,
                                   const std::string& contractFilter,
                                   const std::string& oneOffFilter);
