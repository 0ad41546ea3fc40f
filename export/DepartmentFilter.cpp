#include "DepartmentFilter.h"

#include <initializer_list>

#include "RecordsetHelper.h"
#include "gMjDisp.h"

namespace {

std::string Lines(std::initializer_list<std::string> lines) {
    std::string sql;
    for (const std::string& line : lines)
        sql += "\r\n" + line;
    return sql;
}

}  // namespace

std::string ContractDepartmentQuery(const ControlMasterSettings& settings) {
    std::string sql = Lines({" SELECT", "          部門マスタ.部門コード,",
                             "          部門マスタ.部門名称", " FROM", "          部門マスタ",
                             " WHERE", "         (部門マスタ.請求データ作成区分 > 0)"});
    if (settings.SiblingDeptsSet) {
        sql += Lines({"     AND (",
                      "                 (部門マスタ.部門コード <> " +
                          std::to_string(settings.cleaningDept) + ")",
                      "             AND (部門マスタ.部門コード <> " +
                          std::to_string(settings.inspectionDept) + ")",
                      "         )"});
    }
    sql += Lines({" ORDER BY", "          部門マスタ.部門コード;"});
    return sql;
}

std::string OneOffDepartmentQuery(const ControlMasterSettings& settings) {
    std::string sql = Lines({" SELECT", "          部門マスタ.部門コード,",
                             "          部門マスタ.部門名称", " FROM", "          部門マスタ",
                             " WHERE", "         (部門マスタ.請求データ作成区分 = 0)"});
    if (settings.SiblingDeptsSet) {
        sql += Lines(
            {"     AND (部門マスタ.部門コード <> " + std::to_string(settings.cleaningDept) + ")",
             "     AND (部門マスタ.部門コード <> " + std::to_string(settings.inspectionDept) +
                 ")"});
    }
    sql += Lines({" ORDER BY", "          部門マスタ.部門コード;"});
    return sql;
}

std::string AllDepartmentQuery() {
    return Lines({" SELECT", "          部門マスタ.部門コード,", "          部門マスタ.部門名称",
                  " FROM", "          部門マスタ", " ORDER BY",
                  "          部門マスタ.部門コード;"});
}

std::string DepartmentItemText(std::int32_t code, const std::string& name) {
    return gMjDisp::ZeroFill(code, 2) + ":" + name;
}

bool LoadDepartments(Database* connection, const std::string& query,
                     std::vector<DepartmentItem>& items) {
    items.clear();
    RecordsetHelper rs;
    std::int32_t err = 0;
    rs.Open(connection, query, 0, err);
    if (err != 0)
        return false;
    rs.Move(0, "", "MOVELAST", {}, err);
    rs.Move(0, "", "MOVEFIRST", {}, err);
    while (!rs.BOF() && !rs.IsEOF()) {
        const auto code = FieldWhole<std::int32_t>(rs.Field("部門コード"), "部門コード");
        items.push_back({code, DepartmentItemText(code, FieldText(rs.Field("部門名称")))});
        rs.Move(0, "PrimaryKey", "MOVENEXT", {}, err);
    }
    return true;
}

std::string TargetDepartmentFilter(const std::vector<std::int32_t>& itemData) {
    if (itemData.empty())
        return "AND (部門マスタ.部門コード = 99999)";
    std::string filter = " AND (";
    for (const std::int32_t code : itemData) {
        filter += "部門マスタ.部門コード = " + std::to_string(code) + " Or ";
    }
    filter.resize(filter.size() - 4);
    return filter + ") ";
}
