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
#include <utility>
#include <vector>

#include "driver_block.h"
#include "kwuser.h"

namespace {

const char kNowhere[] = "127.0.0.1:9";  // a port where nothing listens

class DialogTest : public DriverBlockTest {
  protected:
    void SetUp() override {
        DriverBlockTest::SetUp();
        folder = std::filesystem::temp_directory_path() / ("kw-dialogs-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder);
        kwhost_setProfilePath((folder / "kw.ini").c_str());
        std::ofstream(folder / "freetds.conf") << "[global]\n\ttds version = 5.0\n";
        setenv("FREETDSCONF", (folder / "freetds.conf").c_str(), 1);
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
            set(field, nullptr);
        }
        if (block.connection != nullptr) {
            route(REQ_DISCONNECT);
        }
        std::filesystem::remove_all(folder);
        DriverBlockTest::TearDown();
    }

    void set(char** field, const char* text) { kwhost_setBlockText(&block, field, text); }
    void login(const char* server, const char* user, const char* password = nullptr) {
        set(&block.serverName, server);
        set(&block.loginId, user);
        set(&block.password, password);
    }
    // Runs `check` with the dialog open at this point of the script.
    void inspect(std::function<void(HWND)> check) {
        inspectors.push_back(std::move(check));
        kwuser_scriptInspect(
            [](HWND dialog, void* f) { (*static_cast<std::function<void(HWND)>*>(f))(dialog); },
            &inspectors.back());
    }
    void expectOk(bool enabled) {
        inspect([enabled](HWND d) { EXPECT_EQ(IsWindowEnabled(GetDlgItem(d, IDOK)) != FALSE, enabled); });
    }
    static void expectOpen(HWND d) {
        intptr_t result = 0;
        EXPECT_FALSE(kwuser_dialogEnded(d, &result)) << "the dialog stays open";
    }
    // Sends OK as the host or the Enter key does: without the click's focus change.
    void sendOk() {
        inspect([](HWND d) { TDX_LoginProc(d, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0); });
    }

    static std::string text(HWND dialog, int control) {
        char buffer[300] = {};
        GetDlgItemTextA(dialog, control, buffer, sizeof buffer);
        return buffer;
    }
    static std::string messageBox(int index, std::string* caption = nullptr, UINT* type = nullptr) {
        char text[300] = {}, boxCaption[100] = {};
        kwuser_messageBoxAt(index, text, sizeof text, boxCaption, sizeof boxCaption, type);
        if (caption != nullptr) {
            *caption = boxCaption;
        }
        return text;
    }

    // A setting of the profile's database section, "(none)" when there is none.
    static std::string profile(const char* key) {
        char value[130] = {};
        kwshr_readProfileString("database", key, "(none)", value, sizeof value);
        return value;
    }

    std::filesystem::path folder;
    std::list<std::function<void(HWND)>> inspectors;
};

TEST_F(DialogTest, LoginStartsFromTheBlockDbParmAndProfileAndTakesOkOnlyWithServerLogonIdAndPassword) {
    login("GW", "joe");
    set(&block.databaseName, "db1");
    set(&block.dbParm, "GroupID='devs',SystemOwner='sysibm',KWCatalogOwner='kwcat',StaticBind=0");
    char tableSpace[130] = "*";
    TDX_PutProfileSetting("TableSpace", tableSpace);  // stored as "*", shown as "*"
    inspect([](HWND d) {
        std::string shown;
        for (int control : {IDC_LOGIN_BANNER, IDC_SERVER_NAME, IDC_LOGON_ID, IDC_PASSWORD, IDC_DATABASE_NAME,
                            IDC_TABLE_SPACE, IDC_GROUP_ID, IDC_SYSTEM_OWNER, IDC_CATALOG_OWNER}) {
            shown += text(d, control) + "|";
        }
        EXPECT_EQ(shown, "Logon to Tandrex DB2 Server:|GW|joe||db1|*|devs|sysibm|kwcat|");
        EXPECT_EQ(GetFocus(), GetDlgItem(d, IDC_PASSWORD)) << "the focus goes to the first empty field";
    });
    expectOk(false);
    const std::tuple<int, const char*, bool> steps[] = {{IDC_PASSWORD, "secret", true},
                                                        {IDC_LOGON_ID, "", false},
                                                        {IDC_LOGON_ID, "joe", true},
                                                        {IDC_SERVER_NAME, "", false}};
    for (const auto& [control, typed, enabled] : steps) {
        kwuser_scriptType(control, typed);
        expectOk(enabled);
    }
    kwuser_scriptClick(IDCANCEL);
    route(REQ_CONNECT_WITH_DIALOG);  // no password: the dialog is shown
    EXPECT_EQ(+block.status, KW_STATUS_DRIVER_FAILURE);
    EXPECT_EQ(message(), "") << "a cancelled login answers 999 with an empty message";
    EXPECT_EQ(+block.connection, nullptr);
}

TEST_F(DialogTest, LoginRefusesAnEmptyServerNameOrLogonIdWithAMessageBoxAndStaysOpen) {
    HostConnectContext connectContext{};
    char caption[] = "Database Profile";
    connectContext.caption = caption;
    block.arg = &connectContext;
    sendOk();  // OK cannot be clicked while a field is empty, but the host may send the command itself
    kwuser_scriptType(IDC_SERVER_NAME, "GW");
    sendOk();
    inspect(expectOpen);
    kwuser_scriptClick(IDCANCEL);
    route(REQ_CONNECT_WITH_DIALOG);
    ASSERT_EQ(kwuser_messageBoxCount(), 2);
    EXPECT_EQ(messageBox(0), "Invalid server name entered");
    std::string boxCaption;
    UINT type = 0;
    EXPECT_EQ(messageBox(1, &boxCaption, &type), "Invalid login id entered");
    EXPECT_EQ(boxCaption, caption);
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
        expectOpen(d);
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
    login(kNowhere, "joe", "pw");
    sendOk();  // a mouse click would count as a change: the edit's focus notification
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

struct OneValueDialog {
    int templateId;
    DLGPROC procedure;
    int edit;
};
const OneValueDialog kSystemOwner{IDD_SYSTEM_OWNER, TDX_SystemOwnerProc, IDC_SYSTEM_OWNER};
const OneValueDialog kCatalogOwner{IDD_CATALOG_OWNER, TDX_KWCatalogOwnerProc, IDC_CATALOG_OWNER};
const OneValueDialog kTableSpace{IDD_TABLE_SPACE, TDX_TableSpaceProc, IDC_TABLE_SPACE};
const OneValueDialog kStoredRequests{IDD_STORED_REQUESTS, TDX_StoredRequestProc, IDC_STORED_REQUEST_OWNER};
const OneValueDialog kDatabase{IDD_CHANGE_DATABASE, TDX_DatabaseProc, IDC_DATABASE_NAME};

class OneValueDialogTest : public DialogTest {
  protected:
    void SetUp() override {
        DialogTest::SetUp();
        block.connection = &connection;
    }
    void TearDown() override {
        freeTexts(connection);
        block.connection = nullptr;
        DialogTest::TearDown();
    }
    intptr_t show(const OneValueDialog& dialog) {
        currentDialogBlock = &block;
        return kwshr_dialogBox(moduleInstance, dialog.templateId, nullptr, dialog.procedure, 0);
    }
    // Shows the dialog, types each text into its field in turn and clicks OK.
    intptr_t answer(const OneValueDialog& dialog, std::initializer_list<const char*> typed) {
        for (const char* text : typed) {
            kwuser_scriptType(dialog.edit, text);
        }
        kwuser_scriptClick(IDOK);
        return show(dialog);
    }
    ConnectionRecord connection{};
};

TEST_F(OneValueDialogTest, OkStaysDisabledUntilTheFieldIsTouchedAndCancelClearsTheAnswer) {
    for (const OneValueDialog& dialog :
         {kSystemOwner, kCatalogOwner, kTableSpace, kStoredRequests, kDatabase}) {
        SCOPED_TRACE("dialog " + std::to_string(dialog.templateId));
        std::strcpy(block.message, "old answer");
        expectOk(false);
        inspect([edit = dialog.edit](HWND d) { EXPECT_EQ(GetFocus(), GetDlgItem(d, edit)); });
        kwuser_scriptType(dialog.edit, "x");
        expectOk(true);
        kwuser_scriptClick(IDCANCEL);
        EXPECT_EQ(show(dialog), 0);
        EXPECT_EQ(message(), "");
    }
}

TEST_F(OneValueDialogTest, OwnerAnswersGoToDbParmAndTheConnectionRecord) {
    set(&block.dbParm, "SystemOwner='OLD'");
    EXPECT_EQ(answer(kSystemOwner, {"sysowner9"}), 1);  // nine characters typed, eight kept
    EXPECT_STREQ(connection.systemOwner, "SYSOWNER");
    EXPECT_STREQ(block.dbParm, "SystemOwner='SYSOWNER'");
    EXPECT_EQ(profile("DbParm"), "SystemOwner='SYSOWNER'");

    EXPECT_EQ(answer(kCatalogOwner, {"kw'cat"}), 1);  // a quote is doubled so that it cannot end the value
    EXPECT_STREQ(connection.catalogOwner, "KW'CAT");
    EXPECT_STREQ(block.dbParm, "SystemOwner='SYSOWNER',KWCatalogOwner='KW''CAT'");
    EXPECT_EQ(profile("DbParm"), "SystemOwner='SYSOWNER'")
        << "the catalog owner is not written to the profile";
}

TEST_F(OneValueDialogTest, ProfileAnswersGoToTheProfileAndTheMessage) {
    EXPECT_EQ(answer(kTableSpace, {"ts1"}), 1);
    EXPECT_EQ(message(), "ts1");
    EXPECT_EQ(profile("TableSpace"), "ts1");

    EXPECT_EQ(answer(kTableSpace, {"x", ""}), 1);  // typed, then emptied again
    EXPECT_EQ(message(), "");
    EXPECT_EQ(profile("TableSpace"), "*");

    const char owner[] = "a-very-long-owner-name-kept-whole";
    EXPECT_EQ(answer(kStoredRequests, {owner}), 1);
    EXPECT_EQ(message(), owner);
    EXPECT_EQ(profile("StoredReqOwner"), owner);

    set(&block.databaseName, "old");
    EXPECT_EQ(answer(kDatabase, {"database9"}), 1);
    EXPECT_EQ(message(), "database");
    EXPECT_STREQ(block.databaseName, "database");
    EXPECT_EQ(profile("Database"), "database");
}

TEST_F(OneValueDialogTest, AnEmptyOrStarProfileSettingBringsUpItsDialogAndAStoredOneReadsInUpperCase) {
    char out[130] = {};
    kwuser_scriptType(IDC_TABLE_SPACE, "ts9");
    kwuser_scriptClick(IDOK);
    TDX_GetProfileSetting(&block, "TableSpace", out);
    EXPECT_STREQ(out, "TS9");
    TDX_GetProfileSetting(&block, "TableSpace",
                          out);  // stored now: no dialog, which the empty script would cancel
    EXPECT_STREQ(out, "TS9");
    EXPECT_EQ(kwuser_scriptCancelledDialogs(), 0);

    char star[130] = "*";
    kwshr_writeProfileString("database", "TableSpace", star);
    kwuser_scriptClick(IDCANCEL);
    TDX_GetProfileSetting(&block, "TableSpace", out);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(kwuser_scriptPendingActions(), 0) << "the stored star brought the dialog up";
    EXPECT_EQ(TDX_HasProfileSetting("TableSpace", out, sizeof out), 1);
    EXPECT_STREQ(out, "*");  // the raw setting, as the login dialog shows it

    kwuser_scriptType(IDC_STORED_REQUEST_OWNER, "owner1");
    kwuser_scriptClick(IDOK);
    TDX_GetProfileSetting(&block, "StoredReqOwner", out);
    EXPECT_STREQ(out, "OWNER1");
    EXPECT_EQ(TDX_HasProfileSetting("Database", out, sizeof out), 0);
    EXPECT_STREQ(out, "");
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
