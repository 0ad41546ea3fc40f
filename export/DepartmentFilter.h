#pragma once
// The department pairs of the export window without the window: the three
// queries on 部門マスタ, the reading of their rows and the WHERE fragment
// made from the exported side of a pair.

#include <cstdint>
#include <string>
#include <vector>

#include "ControlMaster.h"
#include "Database.h"

struct DepartmentItem {
    std::int32_t code = 0;  // the list item's ItemData
    std::string text;       // ZeroFill(code, 2) + ":" + 部門名称
};

// Departments that make billing data from contracts (請求データ作成区分 > 0).
std::string ContractDepartmentQuery(const ControlMasterSettings& settings);
// Departments of one-off work (請求データ作成区分 = 0).
std::string OneOffDepartmentQuery(const ControlMasterSettings& settings);
// Every department.
std::string AllDepartmentQuery();

std::string DepartmentItemText(std::int32_t code, const std::string& name);

// Reads the rows of a department query into `items` (emptied first). False
// when the query cannot be opened (the pair stays empty); any other platform
// error is thrown to the caller.
bool LoadDepartments(Database* connection, const std::string& query,
                     std::vector<DepartmentItem>& items);

// " AND (部門マスタ.部門コード = 1 Or 部門マスタ.部門コード = 3) " for the codes 1
// and 3; a fragment that matches no department for an empty list.
std::string TargetDepartmentFilter(const std::vector<std::int32_t>& itemData);
