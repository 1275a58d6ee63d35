// dialogs_live_test.cpp - the login dialog connecting for real: a failed login keeps the dialog
// open with the server's message, the corrected values then connect, and what the dialog
// confirmed reaches the block, the DbParm text and the connection record.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "driver_host.h"
#include "kwuser.h"

namespace {

using kwhosttest::Transaction;
using kwtest::Environment;

class LoginDialogLiveTest : public ::testing::Test {
  protected:
    void SetUp() override {
        profile =
            std::filesystem::temp_directory_path() / ("kw-login-" + std::to_string(::getpid()) + ".ini");
        kwhost_setProfilePath(profile.c_str());
        kwuser_useScriptedPresenter();
        kwuser_scriptReset();
        kwuser_messageBoxClear();
        caption = "Database Profile";
        connectContext.caption = caption.data();
        t.block().arg = &connectContext;
    }
    void TearDown() override {
        EXPECT_EQ(kwuser_scriptPendingActions(), 0);
        kwuser_setPresenter(nullptr);
        std::filesystem::remove(profile);
    }

    std::string messageBox(int index) {
        char text[300] = {}, boxCaption[100] = {};
        UINT type = 0;
        kwuser_messageBoxAt(index, text, sizeof text, boxCaption, sizeof boxCaption, &type);
        return text;
    }

    Environment& env = Environment::get();
    std::filesystem::path profile;
    std::string caption;
    HostConnectContext connectContext{};
    Transaction t;
};

TEST_F(LoginDialogLiveTest, AFailedLoginStaysOpenAndASecondOkWithCorrectedValuesConnects) {
    kwuser_scriptType(IDC_SERVER_NAME, env.serverName().c_str());
    kwuser_scriptType(IDC_LOGON_ID, kwtest::kJoe.name);
    kwuser_scriptType(IDC_PASSWORD, "wrong");
    kwuser_scriptClick(IDOK);                                // refused: the server's message
    kwuser_scriptType(IDC_PASSWORD, kwtest::kJoe.password);  // corrected
    kwuser_scriptType(IDC_DATABASE_NAME, "db1");
    kwuser_scriptClick(IDOK);  // connects and closes the dialog
    EXPECT_EQ(t.call(REQ_CONNECT_WITH_DIALOG), KW_STATUS_OK) << t.message();

    ASSERT_EQ(kwuser_messageBoxCount(), 1);
    EXPECT_EQ(messageBox(0), "Login failed.");
    ASSERT_NE(+t.block().connection, nullptr);
    EXPECT_NE(+t.block().dbproc, nullptr);
    EXPECT_STREQ(t.block().loginId, kwtest::kJoe.name);
    EXPECT_STREQ(t.block().databaseName, "db1");
    // Empty group id, system owner and catalog owner: two single quotes in DbParm, empty texts
    // in the connection record.
    EXPECT_STREQ(t.block().dbParm, "GroupID='',SystemOwner='',KWCatalogOwner=''");
    ConnectionRecord* record = t.block().connection;
    ASSERT_NE(+record->groupId, nullptr);
    EXPECT_STREQ(record->groupId, "");
    ASSERT_NE(+record->systemOwner, nullptr);
    EXPECT_STREQ(record->systemOwner, "");
    ASSERT_NE(+record->catalogOwner, nullptr);
    EXPECT_STREQ(record->catalogOwner, "");

    // The connection works.
    EXPECT_EQ(t.execute("SELECT 1 FROM SYSIBM.SYSDUMMY1"), 0) << t.message();
}

TEST_F(LoginDialogLiveTest, OwnersTypedInTheDialogReachTheConnectionInUpperCase) {
    t.setText(&t.block().serverName, env.serverName().c_str());
    t.setText(&t.block().loginId, kwtest::kJoe.name);
    t.setText(&t.block().password, kwtest::kJoe.password);
    connectContext.mode = KW_CONNECT_MODE_ALWAYS_ASK;
    kwuser_scriptType(IDC_GROUP_ID, "devs");
    kwuser_scriptType(IDC_SYSTEM_OWNER, "sysibm");
    kwuser_scriptType(IDC_CATALOG_OWNER, "kwcat");
    kwuser_scriptClick(IDOK);
    EXPECT_EQ(t.call(REQ_CONNECT_WITH_DIALOG), KW_STATUS_OK) << t.message();
    ConnectionRecord* record = t.block().connection;
    ASSERT_NE(record, nullptr);
    EXPECT_STREQ(record->groupId, "DEVS");
    EXPECT_STREQ(record->systemOwner, "SYSIBM");
    EXPECT_STREQ(record->catalogOwner, "KWCAT");
    EXPECT_EQ(kwuser_messageBoxCount(), 0);
}

TEST_F(LoginDialogLiveTest, Request67WithEveryValueConnectsWithoutTheDialog) {
    t.setText(&t.block().serverName, env.serverName().c_str());
    t.setText(&t.block().loginId, kwtest::kJoe.name);
    t.setText(&t.block().password, kwtest::kJoe.password);
    EXPECT_EQ(t.call(REQ_CONNECT_WITH_DIALOG), KW_STATUS_OK) << t.message();
    EXPECT_NE(+t.block().connection, nullptr);
    EXPECT_EQ(kwuser_scriptCancelledDialogs(), 0) << "no dialog was shown";
}

}  // namespace
