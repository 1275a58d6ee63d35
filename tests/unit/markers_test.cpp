// markers_test.cpp - parameter markers of dynamic SQL as PostgreSQL's numbered parameters: `?`
// in text order, `@name` markers by the position of their parameter (or, for unnamed parameters,
// of their first use), and never a marker inside a string constant, a delimited identifier or a
// comment.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "markers.h"

namespace {

using gw::dialect::namedMarkers;
using gw::dialect::numberMarkers;

TEST(NumberMarkers, NumbersQuestionMarksOutsideQuotesAndComments) {
    const std::tuple<const char*, std::vector<int>, const char*, size_t> cases[] = {
        {"select a from t where b = ? and c = ?", {}, "select a from t where b = $1 and c = $2", 2},
        {"insert into t values (?,?,?)", {}, "insert into t values ($1,$2,$3)", 3},
        {"select '?', \"?\" from t -- ?\n where x = ?",
         {},
         "select '?', \"?\" from t -- ?\n where x = $1",
         1},
        {"select /* ? */ 1", {}, "select /* ? */ 1", 0},
        {"select ? , ?", {2, 1}, "select $2 , $1", 2},
        {"select ?, ?, ?", {3}, "select $3, $2, $3", 3},
    };
    for (const auto& [text, order, expected, count] : cases) {
        std::string sql = text;
        EXPECT_EQ(numberMarkers(sql, order), count) << text;
        EXPECT_EQ(sql, expected) << text;
    }
}

TEST(NamedMarkers, ReplacesWordsNamingParametersAndRecordsTheirPositions) {
    const std::vector<std::string> names = {"@P1", "@P2"};
    std::vector<int> order;
    EXPECT_EQ(namedMarkers("select @P1, @p2, '@P1', @P10 from t where x = @P1", names, order),
              "select ?, ?, '@P1', @P10 from t where x = ?");
    EXPECT_EQ(order, (std::vector<int>{1, 2, 1})) << "case does not matter; @P10 is not @P1";

    std::vector<int> none;
    EXPECT_EQ(namedMarkers("select 'unterminated", names, none), "select 'unterminated")
        << "text that does not tokenize is left for the translation to refuse";
    EXPECT_TRUE(none.empty());
}

TEST(VariableNames, NamesTheDistinctVariablesInOrderOfFirstUseWhenNoQuestionMarkIsThere) {
    using gw::dialect::variableNames;
    using Names = std::vector<std::string>;
    const std::pair<const char*, Names> cases[] = {
        // jTDS's rewrite of `insert into t values (?, ?)` and of a query using one value twice.
        {"insert into t values ( @P0 ,  @P1 )", {"@P0", "@P1"}},
        {"select a from t where b = @p1 or c = @P1 and d > @x", {"@P1", "@X"}},
        // Global variables, quoted text and comments hold no parameters.
        {"select @@spid, '@P0', \"@P1\" from t -- @P2\n where k = @P3", {"@P3"}},
        {"select a from t", {}},
        // With `?` markers the values bind to those, in order.
        {"select @a from t where k = ?", {}},
        {"select 'unterminated @P0", {}},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(variableNames(text), expected) << text;
    }
}

}  // namespace
