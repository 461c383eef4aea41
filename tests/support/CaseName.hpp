#pragma once

#include <gtest/gtest.h>

#include <string>

namespace orvane::test {

/// Names each row of a table-driven test after its `name` field:
///   INSTANTIATE_TEST_SUITE_P(Rows, MyTest, ValuesIn(kCases), orvane::test::CaseName{});
struct CaseName {
    template <class T>
    std::string operator()(const ::testing::TestParamInfo<T>& row) const
    {
        return std::string(row.param.name);
    }
};

} // namespace orvane::test
