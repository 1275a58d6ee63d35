// router_test.cpp - the entry KW_TDX_Rout: answers of the requests it owns, the no-connection and
// pending-state guards, the exit mapping of status to the host's SQL code, and the trace convention.
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "driver_block.h"

namespace {

const char kRowsPendingText[] = "Only cancel command is allowed when rows are pending.";
const char kResponsePendingText[] =
    "Only cancel command is allowed when the response from the server is pending.";

// Requests answered with a constant result, by code.
const std::map<int32_t, intptr_t> kConstantResults = {
    {77, 1},  {78, 1},  {81, 1},  {86, 1},   {87, 1},  {100, 1},  {105, 1},  {109, 1},  {115, 1}, {118, 1},
    {133, 1}, {135, 1}, {136, 1}, {137, 1},  {240, 1}, {195, 1},  {196, 1},  {197, 1},  {198, 1}, {214, 1},
    {221, 1}, {250, 1}, {269, 1}, {122, 18}, {123, 8}, {124, 10}, {125, 15}, {126, 16},
};

// Requests that always talk to the server: without a connection they are refused, not sent.
const std::set<int32_t> kServerRequests = {1,  5,  6,  7,  8,   9,   10,  11,  21,  22,  23,  25,
                                           38, 53, 54, 55, 56,  61,  70,  71,  73,  74,  75,  88,
                                           89, 90, 96, 97, 107, 110, 111, 199, 200, 210, 215, 218};

// Requests whose answer needs more than an empty block: tested below, or in convert_test (19,
// 49), connect_test and dialogs_test (35, 67), types_test (252), ddl_gen_test (the statement text
// requests 139 to 209), attributes_test (153, which writes its statements even without input).
const std::set<int32_t> kSpecialRequests = {19,  28,  29,  35,  49,  52,  67,  98,  106, 139, 140, 145,
                                            147, 148, 153, 171, 172, 201, 205, 206, 208, 209, 252};

class RouterTest : public DriverBlockTest {};

TEST_F(RouterTest, EveryCodeFrom0To300AnswersAsTheDispatchTablesSay) {
    for (int32_t code = 0; code <= 300; ++code) {
        if (kSpecialRequests.count(code) != 0) {
            continue;
        }
        SCOPED_TRACE("request " + std::to_string(code));
        block = RequestBlock{};
        block.memoryContext = context;
        std::strcpy(block.message, "left over");
        block.status = 77;
        block.result = 77;
        block.sqlCode = 12345;
        route(code);

        if (kServerRequests.count(code) != 0) {
            EXPECT_EQ(+block.status, KW_STATUS_DRIVER_FAILURE);
            EXPECT_EQ(message(), "This request needs a database connection, and none is open for it.");
            EXPECT_EQ(+block.result, 0);
            // Request 97 leaves the SQL code as it was; every other one maps 999 to -1.
            EXPECT_EQ(+block.sqlCode, code == REQ_VIEW_TEXT ? 12345 : -1);
            continue;
        }
        const auto constant = kConstantResults.find(code);
        EXPECT_EQ(+block.result, constant != kConstantResults.end() ? constant->second : 0);
        EXPECT_EQ(+block.status, KW_STATUS_OK);
        EXPECT_EQ(message(), "");
        EXPECT_EQ(+block.sqlCode, 0);
    }
}

TEST_F(RouterTest, Request52AnswersNoData98RefusesExplainAnd106EchoesArg) {
    block.sqlCode = 5;
    route(REQ_ALWAYS_NO_DATA);
    EXPECT_EQ(+block.status, KW_STATUS_NO_DATA);
    EXPECT_EQ(+block.sqlCode, 100);

    route(REQ_EXPLAIN);
    EXPECT_EQ(+block.status, KW_STATUS_DRIVER_FAILURE);
    EXPECT_EQ(message(), "Explain option is not supported by Tandrex, Inc.");
    EXPECT_EQ(+block.sqlCode, -1);

    int marker = 0;
    block.arg = &marker;
    route(REQ_ECHO_ARG);
    EXPECT_EQ(+block.result, reinterpret_cast<intptr_t>(&marker));
    EXPECT_EQ(+block.arg, &marker);
}

TEST_F(RouterTest, Requests28And29AnswerTheFunctionNameLists) {
    auto names = [&](int32_t code) {
        route(code);
        std::vector<std::string> out;
        for (auto entry = reinterpret_cast<const char* const*>(block.result);
             entry != nullptr && *entry != nullptr; ++entry) {
            out.emplace_back(*entry);
        }
        return out;
    };
    EXPECT_EQ(names(REQ_FUNCTIONS_28), std::vector<std::string>{""});
    const std::vector<std::string> expected = {
        "DIGITS()",   "LENGTH()", "SUBSTR()",      "VALUE()",  "CHAR()",  "DATE()",    "DAY()",
        "DAYS()",     "HOUR()",   "MICROSECOND()", "MINUTE()", "MONTH()", "SECOND()",  "TIME()",
        "DATETIME()", "YEAR()",   "DECIMAL()",     "FLOAT()",  "HEX()",   "INTEGER()", ""};
    EXPECT_EQ(names(REQ_FUNCTIONS_29), expected);
}

TEST_F(RouterTest, Request171CopiesTheLoginIdAndReplacesAnEarlierCopy) {
    char login[] = "joe", other[] = "smith";
    block.loginId = login;
    route(REQ_COPY_LOGIN_ID);
    ASSERT_NE(+block.currentUser, nullptr);
    EXPECT_STREQ(block.currentUser, "joe");
    EXPECT_NE(+block.currentUser, login);
    block.loginId = other;
    route(REQ_COPY_LOGIN_ID);
    EXPECT_STREQ(block.currentUser, "smith");
    KwContextStats stats{};
    kwhost_contextStats(context, &stats);
    EXPECT_EQ(stats.liveAllocations, 1) << "the first copy must have been freed";

    block.loginId = nullptr;
    route(REQ_COPY_LOGIN_ID);
    EXPECT_EQ(+block.currentUser, nullptr);
}

TEST_F(RouterTest, Requests132And275ReadTheConnectionRecordAndAnswer0WithoutOne) {
    // The answers of request 132 (long transactions) and 275 (static bind).
    auto answers = [&] {
        route(REQ_LONG_TRANS_STATE);
        const intptr_t longTrans = block.result;
        route(REQ_STATIC_BIND);
        return std::pair<intptr_t, intptr_t>{longTrans, +block.result};
    };
    EXPECT_EQ(answers(), std::make_pair(intptr_t{0}, intptr_t{0}));
    ConnectionRecord connection{};
    connection.longTrans = 1;
    connection.staticBind = 1;
    block.connection = &connection;
    EXPECT_EQ(answers(), std::make_pair(intptr_t{1}, intptr_t{1}));
    connection.longTrans = 0;
    connection.staticBind = 2;  // only a static bind of exactly 1 counts
    EXPECT_EQ(answers(), std::make_pair(intptr_t{0}, intptr_t{0}));
}

TEST_F(RouterTest, PendingStateGuardAdmitsOnlyCancelAndFetchesAndLeavesSqlCodeAlone) {
    const struct {
        int32_t pendingState, code;
        const char* refusal;  // null: admitted
    } cases[] = {
        {KW_PENDING_RESPONSE, REQ_CANCEL, nullptr},
        {KW_PENDING_RESPONSE, REQ_FETCH, kResponsePendingText},
        {KW_PENDING_RESPONSE, REQ_MAX_NAME_LENGTH, kResponsePendingText},
        {KW_PENDING_ROWS, REQ_CANCEL, nullptr},
        {KW_PENDING_ROWS, REQ_FETCH, nullptr},
        {KW_PENDING_ROWS, REQ_FETCH_BINDINGS, nullptr},
        {KW_PENDING_ROWS, REQ_EXECUTE, kRowsPendingText},
        {KW_PENDING_ROWS, REQ_MAX_NAME_LENGTH, kRowsPendingText},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("pending " + std::to_string(c.pendingState) + ", request " + std::to_string(c.code));
        block.pendingState = c.pendingState;
        block.sqlCode = 4242;
        route(c.code);
        if (c.refusal != nullptr) {
            EXPECT_EQ(+block.status, KW_STATUS_DRIVER_FAILURE);
            EXPECT_EQ(message(), c.refusal);
            EXPECT_EQ(+block.sqlCode, 4242);
        } else {
            // Admitted: the request ran (here it finds no connection) and the exit mapping ran.
            EXPECT_NE(message(), kRowsPendingText);
            EXPECT_NE(message(), kResponsePendingText);
            EXPECT_NE(+block.sqlCode, 4242);
        }
        EXPECT_EQ(+block.pendingState, c.pendingState);
    }

    // Cancelled: every call is answered at once with nothing done.
    block.pendingState = KW_PENDING_CANCELLED;
    for (int32_t code : {REQ_MAX_NAME_LENGTH, REQ_EXPLAIN, REQ_CANCEL, REQ_ALWAYS_NO_DATA}) {
        SCOPED_TRACE("cancelled, request " + std::to_string(code));
        std::strcpy(block.message, "old");
        block.status = 5;
        block.result = 5;
        block.sqlCode = 4242;
        route(code);
        EXPECT_EQ(+block.status, 0);
        EXPECT_EQ(+block.result, 0);
        EXPECT_EQ(message(), "");
        EXPECT_EQ(+block.sqlCode, 4242);
    }
}

TEST_F(RouterTest, EntryAndTraceLeaveAloneTheFieldsTheyDoNotOwn) {
    EXPECT_EQ(KW_TDX_Rout(nullptr), 0);  // a null block is ignored
    char sql[] = "select 1";
    int marker = 0;
    block.sqlText = sql;
    block.arg = &marker;
    block.inValue = 9;
    std::strcpy(block.message, "old text");
    block.result = 99;
    block.status = 99;
    route(3);  // a request that does nothing: the entry clears only the message, status and result
    EXPECT_EQ(message(), "");
    EXPECT_EQ(+block.result, 0);
    EXPECT_EQ(+block.status, 0);
    EXPECT_EQ(+block.sqlText, sql);
    EXPECT_EQ(+block.arg, &marker);
    EXPECT_EQ(+block.inValue, 9);

    // A trace line goes to the host through the block, whose request fields it then restores.
    block.status = 1234;
    block.result = 5678;
    TDX_Trace(&block, "Set noexec yes succeeded");
    EXPECT_EQ(+block.requestCode, 3);
    EXPECT_EQ(+block.arg, &marker);
    EXPECT_EQ(+block.status, 1234);
    EXPECT_EQ(+block.result, 5678);
    ASSERT_GE(kwhost_traceCount(), 1);
    char line[256] = {};
    kwhost_traceLine(kwhost_traceCount() - 1, line, sizeof line);
    EXPECT_NE(std::string(line).find("Set noexec yes succeeded"), std::string::npos);
}

}  // namespace
