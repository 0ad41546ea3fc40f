// Department queries and the WHERE fragment of the exported side of a pair.
#include <gtest/gtest.h>

#include "Database.h"
#include "DepartmentFilter.h"
#include "PlatformError.h"
#include "common/widgets/WindowTestSupport.h"

TEST(TargetDepartmentFilter, NoneOneAndSeveralDepartments) {
    EXPECT_EQ(TargetDepartmentFilter({}), "AND (部門マスタ.部門コード = 99999)");
    EXPECT_EQ(TargetDepartmentFilter({7}), " AND (部門マスタ.部門コード = 7) ");
    EXPECT_EQ(TargetDepartmentFilter({1, 3}),
              " AND (部門マスタ.部門コード = 1 Or 部門マスタ.部門コード = 3) ");
    EXPECT_EQ(TargetDepartmentFilter({12, 1, 100000}),
              " AND (部門マスタ.部門コード = 12 Or 部門マスタ.部門コード = 1 Or "
              "部門マスタ.部門コード = 100000) ");
}

TEST(DepartmentQueries, TextsWithAndWithoutSiblingDepartments) {
    const std::string head =
        "\r\n SELECT\r\n          部門マスタ.部門コード,\r\n          部門マスタ.部門名称"
        "\r\n FROM\r\n          部門マスタ";
    const std::string tail = "\r\n ORDER BY\r\n          部門マスタ.部門コード;";
    ControlMasterSettings none;
    EXPECT_EQ(ContractDepartmentQuery(none),
              head + "\r\n WHERE\r\n         (部門マスタ.請求データ作成区分 > 0)" + tail);
    EXPECT_EQ(OneOffDepartmentQuery(none),
              head + "\r\n WHERE\r\n         (部門マスタ.請求データ作成区分 = 0)" + tail);
    EXPECT_EQ(AllDepartmentQuery(), head + tail);

    ControlMasterSettings set;
    set.SiblingDeptsSet = true;
    set.cleaningDept = 5;
    set.inspectionDept = 0;
    EXPECT_EQ(ContractDepartmentQuery(set),
              head +
                  "\r\n WHERE\r\n         (部門マスタ.請求データ作成区分 > 0)"
                  "\r\n     AND ("
                  "\r\n                 (部門マスタ.部門コード <> 5)"
                  "\r\n             AND (部門マスタ.部門コード <> 0)"
                  "\r\n         )" +
                  tail);
    EXPECT_EQ(OneOffDepartmentQuery(set),
              head +
                  "\r\n WHERE\r\n         (部門マスタ.請求データ作成区分 = 0)"
                  "\r\n     AND (部門マスタ.部門コード <> 5)"
                  "\r\n     AND (部門マスタ.部門コード <> 0)" +
                  tail);
}

TEST(LoadDepartments, ReadsRowsInCodeOrderAndReportsUnopenableQueries) {
    TestInstallation installation;
    const std::string file = installation.addDatabase("本社", {});
    Database db(file, false);
    ControlMasterSettings set;
    set.SiblingDeptsSet = true;
    set.cleaningDept = 12;
    set.inspectionDept = 13;
    std::vector<DepartmentItem> items;
    ASSERT_TRUE(LoadDepartments(&db, ContractDepartmentQuery(set), items));
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0].code, 1);
    EXPECT_EQ(items[0].text, "01:浄化槽");
    EXPECT_EQ(items[3].code, 123);
    EXPECT_EQ(items[3].text, "23:特別");
    ASSERT_TRUE(LoadDepartments(&db, OneOffDepartmentQuery(set), items));
    EXPECT_EQ(items.size(), 2u) << "13 left out";
    ASSERT_TRUE(LoadDepartments(&db, AllDepartmentQuery(), items));
    EXPECT_EQ(items.size(), 8u);

    db.execute("DROP TABLE 部門マスタ");
    items.push_back({1, "x"});
    EXPECT_FALSE(LoadDepartments(&db, AllDepartmentQuery(), items));
    EXPECT_TRUE(items.empty());
}

TEST(LoadDepartments, ACodeNoNumberCanHoldIsAnErrorNotANumberMadeUp) {
    TestInstallation installation;
    const std::string file = installation.addDatabase("本社", {});
    // The code is the table's key: a whole number, but one the list's 32 bits cannot hold.
    for (const std::int64_t code :
         {std::int64_t{2147483648}, std::int64_t{-2147483649}, std::int64_t{1} << 40}) {
        Database db(file, false);
        db.execute("DELETE FROM 部門マスタ");
        db.execute("INSERT INTO 部門マスタ (部門コード, 部門名称) VALUES (?, '壊れた')",
                   {FieldValue{code}});
        std::vector<DepartmentItem> items;
        try {
            LoadDepartments(&db, AllDepartmentQuery(), items);
            ADD_FAILURE() << code << " read as " << (items.empty() ? 0 : items[0].code);
        } catch (const PlatformError& e) {
            EXPECT_EQ(e.description().rfind("数値が範囲外です（部門コード）", 0), 0u)
                << e.description();
        }
    }
}
