// diag_test.cpp - server messages collected into one answer: the merge rules of the gateway's
// continuation and return-code messages, the severity choice, and the limits of the message text.
// The host queue is filled the way DB-Library's handlers fill it. DB-Library itself stays out of
// these tests: the block has no connection handle, so every message goes to the queue of the
// connection being registered, which is also the one a null handle reads.
#include <cstring>
#include <string>
#include <vector>

#include "driver_block.h"

namespace {

const std::string kDg21002 = "DG21002: Result failed.  Database server error code ";
const std::string kDefaultText =
    "A database request resulted in a bad return code or status but no error message was returned";
const std::string kEmpx = "DG21000: JOE.EMPX IS AN UNDEFINED NAME";
const std::string kLanguage = "Changed language setting to 'us_english'.";

struct Message {
    int32_t number;
    int32_t severity;
    std::string text;
    int32_t source = KW_MESSAGE_SERVER;
};

class DiagTest : public DriverBlockTest {
  protected:
    void SetUp() override {
        DriverBlockTest::SetUp();
        block.dbproc = nullptr;
        kwdbt_registerConnection(&block);
    }
    void TearDown() override {
        kwdbt_unregisterConnection(&block);
        DriverBlockTest::TearDown();
    }

    void queue(const std::vector<Message>& messages) {
        for (const Message& m : messages) {
            kwhost_queueMessage(block.dbproc, m.source, m.number, m.severity, m.text.c_str());
        }
    }

    // Reports the queued messages as a failing request would, and answers what the host sees.
    Message report(const std::vector<Message>& messages) {
        queue(messages);
        TDX_ReportFailure(&block);
        EXPECT_EQ(kwhost_queuedMessageCount(block.dbproc), 0) << "the collection must empty the queue";
        return {block.status, 0, message()};
    }
};

struct MergeCase {
    const char* claim;
    std::vector<Message> queued;
    int32_t status;
    std::string text;
};

TEST_F(DiagTest, GatewayMessagesMergeIntoOneAnswer) {
    const MergeCase cases[] = {
        {"4002 continues the candidate on a new line, with a trailing blank",
         {{4002, 14, "Login failed."}, {4002, 14, "Check the password."}},
         4002,
         "Login failed.\nCheck the password. "},
        {"10003 and 23103 are continuations too",
         {{100, 16, "first"}, {10003, 10, "second"}, {23103, 10, "third"}},
         100,
         "first\nsecond \nthird "},
        {"23110 loses exactly nine characters, whatever they are",
         {{100, 16, "head"}, {23110, 10, "123456789tail"}},
         100,
         "head\ntail "},
        {"a continuation without a candidate stands alone", {{23103, 16, "alone"}}, 23103, "alone"},
        {"21000 joins without a newline and drops its prefix",
         {{700, 16, "DB2 said"}, {21000, 16, kEmpx}},
         700,
         "DB2 saidJOE.EMPX IS AN UNDEFINED NAME "},
        {"21000 without the prefix is appended whole",
         {{700, 16, "x"}, {21000, 16, "dg21000: lower case prefix"}},
         700,
         "xdg21000: lower case prefix "},
        {"21000 alone keeps its prefix", {{21000, 16, kEmpx}}, 21000, kEmpx},
        {"21002 alone becomes the DB2 return code, its text the readable form",
         {{21002, 16, kDg21002 + "   -803"}},
         -803,
         "\nDB2 Return Code:  -803 "},
        {"21002 then 21000: the gateway's usual pair",
         {{21002, 16, kDg21002 + "-204"}, {21000, 16, kEmpx}},
         -204,
         "\nDB2 Return Code:  -204 JOE.EMPX IS AN UNDEFINED NAME "},
        {"21002 with a gateway code",
         {{21002, 16, kDg21002 + "ERR1234"}},
         1234,
         "\nDatabase Gateway Return Code:  ERR1234 "},
        {"21002 after a candidate takes its severity and appends the readable code to its text",
         {{555, 10, "earlier"}, {21002, 16, kDg21002 + "\t\n-911"}},
         -911,
         "earlier\nDB2 Return Code:  -911 "},
        {"21002 without the prefix keeps its number and gets a blank text",
         {{21002, 16, "something else"}},
         21002,
         " "},
        {"21001 becomes an empty 21000 of severity 12", {{21001, 16, "DG21001: no rows"}}, 21000, ""},
        {"5703 alone is no message at all", {{5703, 10, kLanguage}}, 999, kDefaultText},
        {"5703 displaces an earlier candidate and, being last, leaves no message",
         {{100, 16, "real error"}, {5703, 10, kLanguage}},
         999,
         kDefaultText},
        {"a message after 5703 that is at most as severe gives way to nothing: 5703 stays candidate",
         {{5703, 10, kLanguage}, {4, 4, "warning"}},
         999,
         kDefaultText},
        {"of 16, 16 and 14 the first one is the answer",
         {{101, 16, "first"}, {102, 16, "second"}, {103, 14, "third"}},
         101,
         "first"},
        {"a more severe message displaces the candidate",
         {{101, 10, "mild"}, {102, 16, "severe"}},
         102,
         "severe"},
        {"an empty queue reports the default text", {}, 999, kDefaultText},
        {"library errors are collected like server messages",
         {{20009, 9, "Unable to connect: server is unavailable", KW_MESSAGE_LIBRARY}},
         20009,
         "Unable to connect: server is unavailable"},
    };
    for (const MergeCase& c : cases) {
        SCOPED_TRACE(c.claim);
        const Message answer = report(c.queued);
        EXPECT_EQ(answer.number, c.status);
        EXPECT_EQ(answer.text, c.text);
    }
}

TEST_F(DiagTest, MessageTextIsCutToItsFirst254Characters) {
    EXPECT_EQ(report({{300, 16, std::string(254, 'a')}}).text, std::string(254, 'a'));
    EXPECT_EQ(report({{300, 16, std::string(254, 'b') + "c"}}).text, std::string(254, 'b'));
    EXPECT_EQ(report({{300, 16, std::string(2000, 'd')}}).text, std::string(254, 'd'));
}

TEST_F(DiagTest, MergedTextsAreCutWhenReportedNotWhenMerged) {
    queue({{21002, 16, kDg21002 + "-204"}, {21000, 16, "DG21000: " + std::string(400, 'x')}});
    MessageRecord* record = TDX_CollectServerMessage(&block);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(std::strlen(record->text), std::string("\nDB2 Return Code:  -204 ").size() + 400 + 1);
    kwdbt_freeMessage(record);
}

TEST_F(DiagTest, ReturnCodeParserTakesAtMostElevenCharactersAndNeverOverrunsItsBuffer) {
    struct Case {
        std::string text;
        int32_t value;
        std::string readable;
    };
    const Case cases[] = {
        {kDg21002 + "+12345678901234567890", 1234567890, "\nDB2 Return Code:  +1234567890"},
        {kDg21002 + "--5", 0, "\nDB2 Return Code:  --5"},
        {kDg21002, 0, "\nDB2 Return Code:  "},
        {"DG21002: Result failed. Database server error code -204", 0, ""},  // one blank only
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        char out[64];
        std::memset(out, 0, sizeof out);
        EXPECT_EQ(TDX_ParseGatewayReturnCode(c.text.c_str(), out), c.value);
        EXPECT_EQ(std::string(out), c.readable);
        EXPECT_EQ(out[63], '\0');
    }
}

TEST_F(DiagTest, OnlyAQueueThatHoldsAnErrorIsReportedAndOnlyOneOfNoticesIsDropped) {
    const struct {
        const char* claim;
        std::vector<Message> queued;
        bool error;
        int32_t status;  // when reported
        std::string text;
    } cases[] = {
        {"an empty queue", {}, false, 0, ""},
        {"a warning", {{21500, 4, "DG21500: odd"}}, false, 0, ""},
        {"informational messages, severity 10 included",
         {{5701, 10, "changed"}, {23103, 10, "more"}},
         false,
         0,
         ""},
        {"a library error of communication severity is no server error",
         {{20004, 9, "read failed", KW_MESSAGE_LIBRARY}},
         false,
         0,
         ""},
        {"an error of severity 11", {{300, 11, "eleven"}}, true, 300, "eleven"},
        {"an error behind a warning, with its continuation of severity 10 kept whole",
         {{21500, 4, "DG21500: odd"}, {100, 16, "first"}, {10003, 10, "second"}},
         true,
         100,
         "first\nsecond "},
        {"the gateway's return code pair",
         {{21002, 16, kDg21002 + "-802"}, {21000, 16, "DG21000: OVERFLOW"}},
         true,
         -802,
         "\nDB2 Return Code:  -802 OVERFLOW "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.claim);
        const auto size = static_cast<int32_t>(c.queued.size());
        queue(c.queued);
        EXPECT_EQ(TDX_ErrorPending(&block), c.error);
        block.status = 0;
        block.message[0] = '\0';
        EXPECT_EQ(TDX_ReportPendingError(&block), c.error);
        EXPECT_EQ(+block.status, c.status);
        EXPECT_EQ(message(), c.text);
        EXPECT_EQ(kwhost_queuedMessageCount(block.dbproc), c.error ? 0 : size)
            << "a report empties the queue; notices stay for the host";
        TDX_DiscardServerMessages(&block);

        queue(c.queued);
        TDX_DiscardNotices(&block);
        EXPECT_EQ(kwhost_queuedMessageCount(block.dbproc), c.error ? size : 0)
            << "notices go; a queue with an error stays whole";
        TDX_DiscardServerMessages(&block);
    }
}

TEST_F(DiagTest, DiscardingEmptiesTheQueueAndLeavesTheBlockAlone) {
    queue({{101, 16, "a"}, {102, 10, "b"}, {21002, 16, kDg21002 + "-1"}});
    block.status = 7;
    std::strcpy(block.message, "kept");
    TDX_DiscardServerMessages(&block);
    EXPECT_EQ(kwhost_queuedMessageCount(block.dbproc), 0);
    EXPECT_EQ(+block.status, 7);
    EXPECT_EQ(message(), "kept");
}

}  // namespace
