// dialogs_test.cpp - the login dialog and the one-value dialogs, driven by the scripted presenter
// as a user would drive them. Connects in these tests go to a port where nothing listens, so they
// fail at once; connects that succeed are in the integration tests.
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <list>
#include <string>

#include "driver_block.h"
#include "internal.h"
#include "kwuser.h"

namespace {

const char kNowhere[] = "127.0.0.1:9";  // a port where nothing listens

class DialogTest : public DriverBlockTest {
  protected:
    void SetUp() override {
        DriverBlockTest::SetUp();
        folder = std::filesystem::temp_directory_path() / ("kw-dialogs-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder);
        std::ofstream(folder / "freetds.conf") << "[global]\n\ttds version = 5.0\n";
        setenv("FREETDSCONF", (folder / "freetds.conf").c_str(), 1);
        kwhost_setProfilePath((folder / "kw.ini").c_str());
        kwuser_useScriptedPresenter();
        kwuser_scriptReset();
        kwuser_messageBoxClear();
    }

    void TearDown() override {
        EXPECT_EQ(kwuser_scriptPendingActions(), 0) << "the script was not played to its end";
        kwuser_setPresenter(nullptr);
        // The block's fields are packed: they are cleared through the host, never dereferenced here.
        for (char** field :
             {&block.serverName, &block.loginId, &block.password, &block.databaseName, &block.dbParm}) {
            kwhost_setBlockText(&block, field, nullptr);
        }
        if (block.connection != nullptr) {
            route(REQ_DISCONNECT);
        }
        std::filesystem::remove_all(folder);
        DriverBlockTest::TearDown();
    }

    void set(char** field, const char* text) { kwhost_setBlockText(&block, field, text); }

    // Runs `check` with the dialog open at this point of the script.
    void inspect(std::function<void(HWND)> check) {
        inspectors.push_back(std::move(check));
        kwuser_scriptInspect(
            [](HWND dialog, void* f) { (*static_cast<std::function<void(HWND)>*>(f))(dialog); },
            &inspectors.back());
    }

    static std::string text(HWND dialog, int control) {
        char buffer[300] = {};
        GetDlgItemTextA(dialog, control, buffer, sizeof buffer);
        return buffer;
    }
    static bool okEnabled(HWND dialog) { return IsWindowEnabled(GetDlgItem(dialog, IDOK)) != FALSE; }

    std::string profile(const char* key) {
        char value[130] = {};
        kwshr_readProfileString("database", key, "(none)", value, sizeof value);
        return value;
    }

    std::string messageBox(int index) {
        char text[300] = {}, caption[100] = {};
        UINT type = 0;
        kwuser_messageBoxAt(index, text, sizeof text, caption, sizeof caption, &type);
        return text;
    }

    std::filesystem::path folder;
    std::list<std::function<void(HWND)>> inspectors;
};

TEST_F(DialogTest, LoginOkStaysDisabledUntilServerLogonIdAndPasswordAreAllTyped) {
    inspect([](HWND d) { EXPECT_FALSE(okEnabled(d)); });
    kwuser_scriptType(IDC_SERVER_NAME, "GW");
    inspect([](HWND d) { EXPECT_FALSE(okEnabled(d)); });
    kwuser_scriptType(IDC_LOGON_ID, "joe");
    inspect([](HWND d) { EXPECT_FALSE(okEnabled(d)); });
    kwuser_scriptType(IDC_PASSWORD, "secret");
    inspect([](HWND d) { EXPECT_TRUE(okEnabled(d)); });
    kwuser_scriptType(IDC_LOGON_ID, "");
    inspect([](HWND d) { EXPECT_FALSE(okEnabled(d)); });
    kwuser_scriptClick(IDCANCEL);
    route(REQ_CONNECT_WITH_DIALOG);
    EXPECT_EQ(+block.status, KW_STATUS_DRIVER_FAILURE);
    EXPECT_EQ(message(), "") << "a cancelled login answers 999 with an empty message";
    EXPECT_EQ(+block.connection, nullptr);
}

TEST_F(DialogTest, LoginStartsFromTheBlockTheDbParmTextAndTheProfile) {
    set(&block.serverName, "GW");
    set(&block.loginId, "joe");
    set(&block.databaseName, "db1");
    set(&block.dbParm, "GroupID='devs',SystemOwner='sysibm',KWCatalogOwner='kwcat',StaticBind=0");
    char tableSpace[130] = "*";
    TDX_PutProfileSetting("TableSpace", tableSpace);  // stored as "*", shown as "*"
    inspect([](HWND d) {
        char banner[100] = {};
        GetDlgItemTextA(d, IDC_LOGIN_BANNER, banner, sizeof banner);
        EXPECT_STREQ(banner, "Logon to Tandrex DB2 Server:");
        EXPECT_EQ(text(d, IDC_SERVER_NAME), "GW");
        EXPECT_EQ(text(d, IDC_LOGON_ID), "joe");
        EXPECT_EQ(text(d, IDC_PASSWORD), "");
        EXPECT_EQ(text(d, IDC_DATABASE_NAME), "db1");
        EXPECT_EQ(text(d, IDC_TABLE_SPACE), "*");
        EXPECT_EQ(text(d, IDC_GROUP_ID), "devs");
        EXPECT_EQ(text(d, IDC_SYSTEM_OWNER), "sysibm");
        EXPECT_EQ(text(d, IDC_CATALOG_OWNER), "kwcat");
        EXPECT_EQ(GetFocus(), GetDlgItem(d, IDC_PASSWORD)) << "the focus goes to the first empty field";
        EXPECT_FALSE(okEnabled(d));
    });
    kwuser_scriptClick(IDCANCEL);
    route(REQ_CONNECT_WITH_DIALOG);  // no password: the dialog is shown
    EXPECT_EQ(+block.status, KW_STATUS_DRIVER_FAILURE);
}

TEST_F(DialogTest, LoginRefusesAnEmptyServerNameOrLogonIdWithAMessageBoxAndStaysOpen) {
    HostConnectContext connectContext{};
    char caption[] = "Database Profile";
    connectContext.caption = caption;
    block.arg = &connectContext;
    // OK cannot be clicked while a field is empty, but the host may send the command itself.
    inspect([](HWND d) { TDX_LoginProc(d, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0); });
    kwuser_scriptType(IDC_SERVER_NAME, "GW");
    inspect([](HWND d) { TDX_LoginProc(d, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0); });
    inspect([](HWND d) {
        intptr_t result = 0;
        EXPECT_FALSE(kwuser_dialogEnded(d, &result)) << "the dialog stays open";
    });
    kwuser_scriptClick(IDCANCEL);
    route(REQ_CONNECT_WITH_DIALOG);
    ASSERT_EQ(kwuser_messageBoxCount(), 2);
    EXPECT_EQ(messageBox(0), "Invalid server name entered");
    EXPECT_EQ(messageBox(1), "Invalid login id entered");
    char text[100] = {}, boxCaption[100] = {};
    UINT type = 0;
    kwuser_messageBoxAt(1, text, sizeof text, boxCaption, sizeof boxCaption, &type);
    EXPECT_STREQ(boxCaption, "Database Profile");
    EXPECT_EQ(type & 0xF0u, static_cast<UINT>(MB_ICONHAND));
}

TEST_F(DialogTest, AFailedLoginShowsTheServersMessageKeepsTheValuesAndWritesTheOwnersToDbParm) {
    set(&block.dbParm, "StaticBind=0");
    kwuser_scriptType(IDC_SERVER_NAME, kNowhere);
    kwuser_scriptType(IDC_LOGON_ID, "joe");
    kwuser_scriptType(IDC_PASSWORD, "pw");
    kwuser_scriptType(IDC_DATABASE_NAME, "db1");
    kwuser_scriptType(IDC_TABLE_SPACE, "ts1");
    kwuser_scriptClick(IDOK);  // the connect fails: a message box, and the dialog stays open
    inspect([](HWND d) {
        intptr_t result = 0;
        EXPECT_FALSE(kwuser_dialogEnded(d, &result));
        EXPECT_EQ(text(d, IDC_SERVER_NAME), kNowhere);
        EXPECT_EQ(text(d, IDC_PASSWORD), "pw");
    });
    kwuser_scriptClick(IDCANCEL);
    route(REQ_CONNECT_WITH_DIALOG);
    ASSERT_EQ(kwuser_messageBoxCount(), 1);
    EXPECT_NE(messageBox(0), "");
    EXPECT_EQ(+block.connection, nullptr);
    // What the user confirmed stays in the block, the DbParm text and the profile.
    EXPECT_STREQ(block.serverName, kNowhere);
    EXPECT_STREQ(block.loginId, "joe");
    EXPECT_STREQ(block.password, "pw");
    EXPECT_STREQ(block.databaseName, "db1");
    EXPECT_STREQ(block.dbParm, "StaticBind=0,GroupID='',SystemOwner='',KWCatalogOwner=''");
    EXPECT_EQ(profile("TableSpace"), "ts1");
}

TEST_F(DialogTest, AnUnchangedLoginWithTheHostsReuseFlagEndsWithoutConnecting) {
    HostConnectContext connectContext{};
    connectContext.reuseConnection = 1;
    connectContext.mode = KW_CONNECT_MODE_ALWAYS_ASK;
    block.arg = &connectContext;
    set(&block.serverName, kNowhere);
    set(&block.loginId, "joe");
    set(&block.password, "pw");
    // Enter presses the default button without moving the focus out of an edit (a mouse click
    // would: the edit's focus notification counts as a change).
    inspect([](HWND d) { TDX_LoginProc(d, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0); });
    route(REQ_CONNECT_WITH_DIALOG);
    EXPECT_EQ(+block.status, KW_STATUS_OK);
    EXPECT_EQ(kwuser_messageBoxCount(), 0) << "no connect was tried";
    EXPECT_EQ(+block.connection, nullptr);

    // A change to any field means a real login.
    kwuser_scriptType(IDC_GROUP_ID, "devs");
    kwuser_scriptClick(IDOK);
    kwuser_scriptClick(IDCANCEL);
    route(REQ_CONNECT_WITH_DIALOG);
    EXPECT_EQ(kwuser_messageBoxCount(), 1) << "the connect was tried and failed";
}

TEST_F(DialogTest, Request67AsksWhenThePasswordIsEmptyOrTheModeSaysAlways) {
    set(&block.serverName, kNowhere);
    set(&block.loginId, "joe");
    kwuser_scriptClick(IDCANCEL);
    route(REQ_CONNECT_WITH_DIALOG);
    EXPECT_EQ(+block.status, KW_STATUS_DRIVER_FAILURE);
    EXPECT_EQ(kwuser_scriptPendingActions(), 0) << "the dialog was shown";

    set(&block.password, "pw");
    HostConnectContext connectContext{};
    connectContext.mode = KW_CONNECT_MODE_ALWAYS_ASK;
    block.arg = &connectContext;
    kwuser_scriptClick(IDCANCEL);
    route(REQ_CONNECT_WITH_DIALOG);
    EXPECT_EQ(+block.status, KW_STATUS_DRIVER_FAILURE);
    EXPECT_EQ(message(), "");

    // With every value and no mode 4 there is no dialog: the connect itself fails.
    connectContext.mode = 0;
    route(REQ_CONNECT_WITH_DIALOG);
    EXPECT_NE(+block.status, KW_STATUS_OK);
    EXPECT_NE(message(), "");
}

struct OneValueCase {
    const char* claim;
    int templateId;
    DLGPROC procedure;
    int edit;
};

class OneValueDialogTest : public DialogTest {
  protected:
    void SetUp() override {
        DialogTest::SetUp();
        block.connection = &connection;
    }
    void TearDown() override {
        for (char* text : {connection.systemOwner, connection.catalogOwner}) {
            if (text != nullptr) {
                kwshr_free(context, text);
            }
        }
        block.connection = nullptr;
        DialogTest::TearDown();
    }
    intptr_t show(int templateId, DLGPROC procedure) {
        currentDialogBlock = &block;
        return kwshr_dialogBox(moduleInstance, templateId, nullptr, procedure, 0);
    }
    ConnectionRecord connection{};
};

TEST_F(OneValueDialogTest, OkStaysDisabledUntilTheFieldIsTouchedAndCancelClearsTheAnswer) {
    const OneValueCase cases[] = {
        {"system owner", IDD_SYSTEM_OWNER, TDX_SystemOwnerProc, IDC_SYSTEM_OWNER},
        {"catalog owner", IDD_CATALOG_OWNER, TDX_KWCatalogOwnerProc, IDC_CATALOG_OWNER},
        {"table space", IDD_TABLE_SPACE, TDX_TableSpaceProc, IDC_TABLE_SPACE},
        {"stored requests", IDD_STORED_REQUESTS, TDX_StoredRequestProc, IDC_STORED_REQUEST_OWNER},
        {"database", IDD_CHANGE_DATABASE, TDX_DatabaseProc, IDC_DATABASE_NAME},
    };
    for (const OneValueCase& c : cases) {
        SCOPED_TRACE(c.claim);
        std::strcpy(block.message, "old answer");
        inspect([edit = c.edit](HWND d) {
            EXPECT_FALSE(okEnabled(d));
            EXPECT_EQ(GetFocus(), GetDlgItem(d, edit));
        });
        kwuser_scriptType(c.edit, "x");
        inspect([](HWND d) { EXPECT_TRUE(okEnabled(d)); });
        kwuser_scriptClick(IDCANCEL);
        EXPECT_EQ(show(c.templateId, c.procedure), 0);
        EXPECT_EQ(message(), "");
    }
}

TEST_F(OneValueDialogTest, OwnerAnswersGoToDbParmAndTheConnectionRecord) {
    set(&block.dbParm, "SystemOwner='OLD'");
    kwuser_scriptType(IDC_SYSTEM_OWNER, "sysowner9");  // nine characters typed, eight kept
    kwuser_scriptClick(IDOK);
    EXPECT_EQ(show(IDD_SYSTEM_OWNER, TDX_SystemOwnerProc), 1);
    EXPECT_STREQ(connection.systemOwner, "SYSOWNER");
    EXPECT_STREQ(block.dbParm, "SystemOwner='SYSOWNER'");
    EXPECT_EQ(profile("DbParm"), "SystemOwner='SYSOWNER'");

    kwuser_scriptType(IDC_CATALOG_OWNER, "kwcat");
    kwuser_scriptClick(IDOK);
    EXPECT_EQ(show(IDD_CATALOG_OWNER, TDX_KWCatalogOwnerProc), 1);
    EXPECT_STREQ(connection.catalogOwner, "KWCAT");
    EXPECT_STREQ(block.dbParm, "SystemOwner='SYSOWNER',KWCatalogOwner='KWCAT'");
    EXPECT_EQ(profile("DbParm"), "SystemOwner='SYSOWNER'")
        << "the catalog owner is not written to the profile";
}

TEST_F(OneValueDialogTest, ProfileAnswersGoToTheProfileAndTheMessage) {
    kwuser_scriptType(IDC_TABLE_SPACE, "ts1");
    kwuser_scriptClick(IDOK);
    EXPECT_EQ(show(IDD_TABLE_SPACE, TDX_TableSpaceProc), 1);
    EXPECT_EQ(message(), "ts1");
    EXPECT_EQ(profile("TableSpace"), "ts1");

    kwuser_scriptType(IDC_TABLE_SPACE, "x");  // typed, then emptied again
    kwuser_scriptType(IDC_TABLE_SPACE, "");
    kwuser_scriptClick(IDOK);
    EXPECT_EQ(show(IDD_TABLE_SPACE, TDX_TableSpaceProc), 1);
    EXPECT_EQ(message(), "");
    EXPECT_EQ(profile("TableSpace"), "*");

    kwuser_scriptType(IDC_STORED_REQUEST_OWNER, "a-very-long-owner-name-kept-whole");
    kwuser_scriptClick(IDOK);
    EXPECT_EQ(show(IDD_STORED_REQUESTS, TDX_StoredRequestProc), 1);
    EXPECT_EQ(message(), "a-very-long-owner-name-kept-whole");
    EXPECT_EQ(profile("StoredReqOwner"), "a-very-long-owner-name-kept-whole");

    set(&block.databaseName, "old");
    kwuser_scriptType(IDC_DATABASE_NAME, "database9");
    kwuser_scriptClick(IDOK);
    EXPECT_EQ(show(IDD_CHANGE_DATABASE, TDX_DatabaseProc), 1);
    EXPECT_EQ(message(), "database");
    EXPECT_STREQ(block.databaseName, "database");
    EXPECT_EQ(profile("Database"), "database");
}

TEST_F(OneValueDialogTest, AnEmptyOrStarTableSpaceBringsUpTheDialog) {
    char out[130] = {};
    kwuser_scriptType(IDC_TABLE_SPACE, "ts9");
    kwuser_scriptClick(IDOK);
    TDX_GetProfileSetting(&block, "TableSpace", out);
    EXPECT_STREQ(out, "TS9");

    char star[130] = "*";
    kwshr_writeProfileString("database", "TableSpace", star);
    kwuser_scriptClick(IDCANCEL);
    TDX_GetProfileSetting(&block, "TableSpace", out);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(kwuser_scriptPendingActions(), 0) << "the stored star brought the dialog up";

    kwuser_scriptType(IDC_STORED_REQUEST_OWNER, "owner1");
    kwuser_scriptClick(IDOK);
    TDX_GetProfileSetting(&block, "StoredReqOwner", out);
    EXPECT_STREQ(out, "OWNER1");
}

TEST_F(OneValueDialogTest, Request94AsksOnceAndThenAnswersFromTheRecord) {
    kwuser_scriptType(IDC_CATALOG_OWNER, "kwcat");
    kwuser_scriptClick(IDOK);
    route(REQ_CATALOG_OWNER);
    ASSERT_NE(+block.result, 0);
    EXPECT_STREQ(reinterpret_cast<const char*>(block.result), "KWCAT");
    route(REQ_CATALOG_OWNER);  // no dialog: the script is empty and would cancel one
    EXPECT_STREQ(reinterpret_cast<const char*>(block.result), "KWCAT");
    EXPECT_EQ(kwuser_scriptCancelledDialogs(), 0);

    block.connection = nullptr;
    route(REQ_CATALOG_OWNER);
    EXPECT_EQ(+block.result, 0);
    block.connection = &connection;
}

}  // namespace
