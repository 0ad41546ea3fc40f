// The billing query read on a second connection beside the contract sheet:
// the rows the job's own connection reads, handed over only for the query it
// read, and nothing at all when the file cannot be opened a second time, so
// that the job reads on its own connection and reports as without it.
#include <gtest/gtest.h>

#include <filesystem>
#include <utility>
#include <vector>

#include "BillingPrefetch.h"
#include "BillingQuery.h"
#include "ExportTestSupport.h"

namespace {

using Keys = std::vector<std::pair<double, double>>;

Keys ReadKeys(RecordsetHelper& records) {
    Keys keys;
    std::int32_t err = 0;
    records.Move(0, "", "MOVEFIRST", {}, err);
    while (!records.IsEOF()) {
        keys.emplace_back(FieldNumber(records.Field("得意先コード")),
                          FieldNumber(records.Field("行番号")));
        records.Move(0, "", "MOVENEXT", {}, err);
    }
    return keys;
}

class BillingPrefetchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        AddMasters(fee);
        for (std::int64_t code = 1; code <= 40; ++code) {
            fee.customer(code, "顧客" + std::to_string(code));
            fee.contract(code, std::int64_t{20200101}, std::int64_t{0});
            fee.billing(code, 1, code % 2 == 0 ? 1 : 2, kMonthly);
        }
    }
    ExportTempDir dir;
    FeeDatabase fee{dir, false};
    const std::string sql = BillingQuery(3, 202403, AllDepartments("").contractFilter, false);
};

}  // namespace

TEST_F(BillingPrefetchTest, ReadsTheRowsOfTheJobsOwnConnection) {
    RecordsetHelper direct;
    std::int32_t err = 0;
    direct.Open(fee.get(), sql, 0, err);
    ASSERT_EQ(err, 0);
    const Keys expected = ReadKeys(direct);
    ASSERT_EQ(expected.size(), 40u);

    BillingPrefetch prefetch(fee.db(), sql);
    std::unique_ptr<RecordsetHelper> read = prefetch.Take(sql);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(ReadKeys(*read), expected);
    EXPECT_EQ(prefetch.Take(sql), nullptr) << "handed over once";
}

TEST_F(BillingPrefetchTest, GivesNothingForAnotherQueryOrASecondOpenThatFails) {
    {
        BillingPrefetch prefetch(fee.db(), sql);
        EXPECT_EQ(prefetch.Take(BillingQuery(4, 202404, AllDepartments("").contractFilter, false)),
                  nullptr);
    }
    // The job's connection keeps the file open; a second open finds it gone.
    std::filesystem::remove(fee.db().path());
    BillingPrefetch prefetch(fee.db(), sql);
    EXPECT_EQ(prefetch.Take(sql), nullptr);
}
