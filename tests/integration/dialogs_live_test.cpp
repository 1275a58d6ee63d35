// dialogs_live_test.cpp - the login dialog connecting for real: a failed login keeps the dialog
// open with the server's message, the corrected values then connect, and what the dialog
// confirmed reaches the block, the DbParm text and the connection record.
#include <unistd.h>

#include <filesystem>
#include <string>

#include "driver_host.h"
#include "kwuser.h"

namespace {

using kwtest::Environment;

class LoginDialogLiveTest : public ::testing::Test {
  protected:
    void SetUp() override {
        kwhost_setProfilePath(profile.c_str());
        kwuser_useScriptedPresenter();
        kwuser_scriptReset();
        kwuser_messageBoxClear();
        connectContext.caption = caption;
        t.block().arg = &connectContext;
        // These tests are about the login: the extended catalog is neither created nor required.
        t.block().flags = FLAG_NO_CATALOG_CREATE;
    }
    void TearDown() override {
        EXPECT_EQ(kwuser_scriptPendingActions(), 0);
        kwuser_setPresenter(nullptr);
        std::filesystem::remove(profile);
    }

    const std::filesystem::path profile =
        std::filesystem::temp_directory_path() / ("kw-login-" + std::to_string(::getpid()) + ".ini");
    char caption[20] = "Database Profile";
    HostConnectContext connectContext{};
    kwhosttest::Transaction t;
};

TEST_F(LoginDialogLiveTest, AFailedLoginStaysOpenAndASecondOkWithCorrectedValuesConnects) {
    kwuser_scriptType(IDC_SERVER_NAME, Environment::get().serverName().c_str());
    kwuser_scriptType(IDC_LOGON_ID, kwtest::kJoe.name);
    kwuser_scriptType(IDC_PASSWORD, "wrong");
    kwuser_scriptClick(IDOK);                                // refused: the server's message
    kwuser_scriptType(IDC_PASSWORD, kwtest::kJoe.password);  // corrected
    kwuser_scriptType(IDC_DATABASE_NAME, "db1");
    kwuser_scriptClick(IDOK);  // connects and closes the dialog
    EXPECT_EQ(t.call(REQ_CONNECT_WITH_DIALOG), KW_STATUS_OK) << t.message();

    ASSERT_EQ(kwuser_messageBoxCount(), 1);
    char text[300] = {};
    kwuser_messageBoxAt(0, text, sizeof text, nullptr, 0, nullptr);
    EXPECT_STREQ(text, "Login failed.");
    ASSERT_NE(+t.block().connection, nullptr);
    EXPECT_NE(+t.block().dbproc, nullptr);
    EXPECT_STREQ(t.block().loginId, kwtest::kJoe.name);
    EXPECT_STREQ(t.block().databaseName, "db1");
    // Empty group id, system owner and catalog owner: two single quotes in DbParm, empty texts
    // in the connection record.
    EXPECT_STREQ(t.block().dbParm, "GroupID='',SystemOwner='',KWCatalogOwner=''");
    ConnectionRecord* record = t.block().connection;
    for (const char* owner : {record->groupId, record->systemOwner, record->catalogOwner}) {
        ASSERT_NE(owner, nullptr);
        EXPECT_STREQ(owner, "");
    }
    EXPECT_EQ(t.execute("SELECT 1 FROM SYSIBM.SYSDUMMY1"), 0) << "the connection works: " << t.message();
}

// Request 67 with every value asks only in the mode that says always; owners typed in the dialog
// reach the connection in upper case, a quote doubled in DbParm read back as one.
TEST_F(LoginDialogLiveTest, Request67WithEveryValueAsksOnlyWhenToldAndTypedOwnersReachTheConnection) {
    t.setLogin("", nullptr, nullptr, "KWCatalogOwner=''");  // no catalog owner to ask for
    EXPECT_EQ(t.call(REQ_CONNECT_WITH_DIALOG), KW_STATUS_OK) << t.message();
    EXPECT_NE(+t.block().connection, nullptr);
    EXPECT_EQ(kwuser_scriptCancelledDialogs(), 0) << "no dialog was shown";
    t.disconnect();

    connectContext.mode = KW_CONNECT_MODE_ALWAYS_ASK;
    kwuser_scriptType(IDC_GROUP_ID, "devs");
    kwuser_scriptType(IDC_SYSTEM_OWNER, "sysibm");
    kwuser_scriptType(IDC_CATALOG_OWNER, "kw'cat");
    kwuser_scriptClick(IDOK);
    EXPECT_EQ(t.call(REQ_CONNECT_WITH_DIALOG), KW_STATUS_OK) << t.message();
    ConnectionRecord* record = t.block().connection;
    ASSERT_NE(record, nullptr);
    EXPECT_STREQ(record->groupId, "DEVS");
    EXPECT_STREQ(record->systemOwner, "SYSIBM");
    EXPECT_STREQ(record->catalogOwner, "KW'CAT");
    EXPECT_EQ(kwuser_messageBoxCount(), 0);
}

}  // namespace
