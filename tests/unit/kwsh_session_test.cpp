// kwsh_session_test.cpp - loading the driver and reading its answers, without a server.
#include <gtest/gtest.h>

#include "kwconst.h"
#include "session.h"

namespace {

TEST(DriverLoad, ExplainsWhyAModuleCannotServeAsTheDriver) {
    std::string error;
    EXPECT_EQ(kwsh::Driver::load("no/such/libkwtdx050.so", error), nullptr);
    EXPECT_NE(error.find("cannot load the driver no/such/libkwtdx050.so"), std::string::npos) << error;

    error.clear();
    EXPECT_EQ(kwsh::Driver::load("libc.so.6", error), nullptr);
    EXPECT_NE(error.find("exports no KW_TDX_Rout"), std::string::npos) << error;
}

TEST(DriverLoad, FindsTheDriverThisBuildMade) {
    std::string error;
    auto driver = kwsh::Driver::load(kwsh::defaultDriverPath(), error);
    ASSERT_NE(driver, nullptr) << error;
    EXPECT_NE(driver->entry(), nullptr);
}

TEST(OneLine, CollapsesLineBreaksAndBlanksAndTrimsTheEnds) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"\nDB2 Return Code:  -204 JOE.EMPX IS AN UNDEFINED NAME ",
         "DB2 Return Code: -204 JOE.EMPX IS AN UNDEFINED NAME"},
        {"Login failed.", "Login failed."},
        {"  \t\n ", ""},
        {"a\r\n\tb", "a b"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(kwsh::oneLine(c.in), c.out);
    }
}

TEST(DescribeFailure, GivesTheStatusAndTheMessageOnOneLine) {
    EXPECT_EQ(kwsh::describeFailure({-204, "JOE.EMPX IS AN UNDEFINED NAME"}),
              "ERROR -204: JOE.EMPX IS AN UNDEFINED NAME");
    EXPECT_EQ(kwsh::describeFailure({4002, "Login failed."}), "ERROR 4002: Login failed.");
    EXPECT_EQ(kwsh::describeFailure({KW_STATUS_DRIVER_FAILURE, ""}), "ERROR 999: (no message)");
    EXPECT_EQ(kwsh::describeFailure({KW_STATUS_ROW_WITH_WARNING, "value 1 looked odd"}),
              "WARNING: value 1 looked odd");
}

TEST(Session, RefusesToDisconnectWhatIsNotConnected) {
    std::string error;
    auto driver = kwsh::Driver::load(kwsh::defaultDriverPath(), error);
    ASSERT_NE(driver, nullptr) << error;
    kwsh::Session session(*driver);
    EXPECT_FALSE(session.connected());
    const kwsh::Outcome outcome = session.disconnect();
    EXPECT_EQ(outcome.status, KW_STATUS_DRIVER_FAILURE);
    EXPECT_EQ(outcome.message, "not connected");
    EXPECT_EQ(session.liveAllocations(), 0);
}

TEST(Session, ACancelledLoginDialogIsReportedAsSuchAndKeepsOnlyTheTextsItWasGiven) {
    std::string error;
    auto driver = kwsh::Driver::load(kwsh::defaultDriverPath(), error);
    ASSERT_NE(driver, nullptr) << error;
    kwsh::Session session(*driver);
    // No presenter can show a dialog here, so the driver's login dialog ends as if cancelled.
    const kwsh::Outcome outcome = session.connectWithDialog({"KWGW", "JOE", "", ""}, true);
    EXPECT_EQ(outcome.status, KW_STATUS_DRIVER_FAILURE);
    EXPECT_EQ(outcome.message, "login cancelled");
    EXPECT_FALSE(session.connected());
    EXPECT_EQ(session.liveAllocations(), 2) << "the server name and the user, nothing of the driver's";
}

}  // namespace
