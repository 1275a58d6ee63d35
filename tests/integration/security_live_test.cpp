// security_live_test.cpp - the Table Security dialog driven by the scripted presenter against the
// live gateway, with three users: JOE owns the tables, SMITH and ANN receive privileges. What the
// dialog shows is read from its controls, the statements it sent from the gateway's statement log,
// and their effect from what the grantee may then really do on the server.
#include <algorithm>
#include <functional>
#include <initializer_list>
#include <list>
#include <string>
#include <vector>

#include <sstream>

#include "driver_host.h"
#include "kwuser.h"
#include "shell.h"

namespace {

using kwhosttest::Transaction;
using kwtest::Environment;
using Texts = std::vector<std::string>;

constexpr kwtest::TestUser kAnn{"SECANN", "secann-pw-1"};
// Every connection names the catalog's owner, so that no request asks for it with a dialog.
const char kSystemOwner[] = "SystemOwner='SYSIBM'";

// What the dialog shows at one point of a script.
struct Seen {
    bool tablesEnabled = false;
    Texts tables;
    std::string boxes;  // the seven boxes, All to Update: '0' clear, '1' ticked, '2' indeterminate
    bool columnsEnabled = false;
    Texts columns;
    Texts selected;
    bool open = false;
};

Texts listItems(HWND dialog, int control, bool selectedOnly) {
    Texts out;
    const auto count = SendDlgItemMessageA(dialog, control, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        char text[200] = {};
        SendDlgItemMessageA(dialog, control, LB_GETTEXT, static_cast<WPARAM>(i),
                            reinterpret_cast<LPARAM>(text));
        if (!selectedOnly || SendDlgItemMessageA(dialog, control, LB_GETSEL, static_cast<WPARAM>(i), 0) > 0) {
            out.push_back(text);
        }
    }
    return out;
}

Seen seeDialog(HWND dialog) {
    Seen seen;
    seen.tablesEnabled = IsWindowEnabled(GetDlgItem(dialog, IDC_TABLE_LIST)) != FALSE;
    seen.tables = listItems(dialog, IDC_TABLE_LIST, false);
    for (int id = IDC_PRIV_ALL; id <= IDC_PRIV_UPDATE; ++id) {
        seen.boxes += static_cast<char>('0' + IsDlgButtonChecked(dialog, id));
    }
    seen.columnsEnabled = IsWindowEnabled(GetDlgItem(dialog, IDC_COLUMN_LIST)) != FALSE;
    seen.columns = listItems(dialog, IDC_COLUMN_LIST, false);
    seen.selected = listItems(dialog, IDC_COLUMN_LIST, true);
    intptr_t result = 0;
    seen.open = kwuser_dialogEnded(dialog, &result) == FALSE;
    return seen;
}

// A user of the server with a driver connection of its own.
struct User {
    explicit User(const kwtest::TestUser& who) {
        t.setLogin("", who.name, who.password, kSystemOwner);
        EXPECT_EQ(t.call(REQ_CONNECT), KW_STATUS_OK) << who.name << ": " << t.message();
    }
    // What the server lets this user do: "ok", "denied" (a missing privilege), or the message of
    // any other failure.
    std::string attempt(const std::string& sql) {
        const int32_t status = t.execute(sql);
        if (status == KW_STATUS_OK && sql.rfind("SELECT", 0) == 0) {
            kwhosttest::fetchAll(t);
        }
        if (status == KW_STATUS_OK) {
            return "ok";
        }
        return t.message().find("-551") != std::string::npos ? "denied" : t.message();
    }
    // SELECT, INSERT, UPDATE of A, of B and of C, DELETE on a table with columns A, B, C (one of
    // JOE's unless the name says its owner).
    Texts rightsOn(const std::string& table) {
        const std::string name = table.find('.') == std::string::npos ? "JOE." + table : table;
        return {attempt("SELECT A, B, C FROM " + name),
                attempt("INSERT INTO " + name + " (A, B, C) VALUES (7, 8, 9)"),
                attempt("UPDATE " + name + " SET A = 1"),
                attempt("UPDATE " + name + " SET B = 2"),
                attempt("UPDATE " + name + " SET C = 3"),
                attempt("DELETE FROM " + name)};
    }
    Transaction t;
};

const Texts kNoRights = {"denied", "denied", "denied", "denied", "denied", "denied"};

class SecurityLiveTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        std::string output;
        Environment& env = Environment::get();
        ASSERT_EQ(env.runKwgateway({"user", "add", kAnn.name, "--pg", env.conninfo()}, &output,
                                   std::string(kAnn.password) + "\n"),
                  0)
            << output;
    }

    void SetUp() override {
        kwuser_useScriptedPresenter();
        kwuser_scriptReset();
        kwuser_messageBoxClear();
        ASSERT_EQ(joe.connect("", kSystemOwner), KW_STATUS_OK) << joe.message();
    }

    void TearDown() override {
        EXPECT_EQ(kwuser_scriptPendingActions(), 0) << "the script was not played to its end";
        EXPECT_EQ(kwuser_scriptCancelledDialogs(), 0) << "a dialog outlived its script";
        kwuser_setPresenter(nullptr);
    }

    // JOE's table with columns A, B, C and one row; `grants` run as JOE afterwards.
    void makeTable(const std::string& name, const Texts& grants = {}) {
        asJoe("CREATE TABLE " + name + " (A INTEGER, B INTEGER, C INTEGER)");
        asJoe("INSERT INTO " + name + " VALUES (1, 2, 3)");
        for (const std::string& grant : grants) {
            asJoe(grant);
        }
    }
    void asJoe(const std::string& sql) {
        ASSERT_EQ(joe.execute(sql), KW_STATUS_OK) << joe.message() << ": " << sql;
    }

    // ---- The script ----
    void type(const char* text) { kwuser_scriptType(IDC_GRANTEE, text); }
    void click(int control) { kwuser_scriptClick(control); }
    void inspect(std::function<void(HWND)> check) {
        inspectors.push_back(std::move(check));
        kwuser_scriptInspect(
            [](HWND dialog, void* f) { (*static_cast<std::function<void(HWND)>*>(f))(dialog); },
            &inspectors.back());
    }
    // Chooses an item of a list by its text, as a person clicks it.
    void choose(int control, const std::string& text, bool selected = true) {
        inspect([control, text, selected](HWND dialog) {
            const Texts items = listItems(dialog, control, false);
            const auto at = std::find(items.begin(), items.end(), text);
            ASSERT_NE(at, items.end()) << text << " is not in list " << control;
            kwuser_selectItem(dialog, control, static_cast<int>(at - items.begin()), selected ? TRUE : FALSE);
        });
    }
    void chooseTable(const std::string& text) { choose(IDC_TABLE_LIST, text); }
    // Types the grantee, takes up the table and clicks `controls`.
    void take(const char* grantee, const std::string& table, std::initializer_list<int> controls = {}) {
        type(grantee);
        chooseTable(table);
        for (int control : controls) {
            click(control);
        }
    }
    // What the dialog shows at this point, filled in when the script gets there.
    Seen& look() {
        seen.emplace_back();
        Seen* into = &seen.back();
        inspect([into](HWND dialog) { *into = seeDialog(dialog); });
        return *into;
    }

    // Opens the dialog through requests 72 and 57 as the host does, on the block of `t`, and plays
    // the script. Answers the GRANT and REVOKE statements the gateway received meanwhile.
    Texts run(Transaction& t) {
        HMENU menu = CreateMenu();
        t.block().inValue = static_cast<int32_t>(reinterpret_cast<intptr_t>(menu));
        EXPECT_EQ(t.call(REQ_ADD_SECURITY_MENU), KW_STATUS_OK);
        const UINT command = GetMenuItemID(menu, 0);
        DestroyMenu(menu);
        const int64_t before = t.liveAllocations();
        kwtest::Gateway& gateway = Environment::get().gateway();
        const size_t mark = gateway.mark();
        int32_t pair[2] = {0, static_cast<int32_t>(command)};
        t.block().arg = pair;
        t.call(REQ_MENU_COMMAND);
        t.block().arg = nullptr;
        EXPECT_EQ(t.liveAllocations(), before) << "the dialog left allocations behind";
        Texts statements;
        for (const std::string& request : gateway.requestsSince(mark)) {
            if (request.rfind("GRANT", 0) == 0 || request.rfind("REVOKE", 0) == 0) {
                statements.push_back(request);
            }
            transactionEnds += request == "commit tran" || request == "rollback tran" ? request + ";" : "";
        }
        return statements;
    }
    Texts run() { return run(joe); }

    static Texts messageBoxes() {
        Texts out;
        for (int i = 0; i < kwuser_messageBoxCount(); ++i) {
            char text[600] = {};
            kwuser_messageBoxAt(i, text, sizeof text, nullptr, 0, nullptr);
            out.push_back(text);
        }
        return out;
    }

    Transaction joe;
    std::list<std::function<void(HWND)>> inspectors;
    std::list<Seen> seen;
    std::string transactionEnds;
};

// Each case: JOE's grants to SMITH, then what the dialog shows for SMITH on that table.
TEST_F(SecurityLiveTest, TakingUpATableShowsTheGranteesPrivilegesAsTheCatalogHoldsThem) {
    struct Case {
        const char* table;
        const char* listed;  // as the table list shows it
        Texts grants;
        const char* boxes;  // All, Alter, Delete, Index, Insert, Select, Update
        bool columnsEnabled;
        Texts selected;
    } cases[] = {
        {"RSEL", "rsel", {"GRANT SELECT ON RSEL TO SMITH"}, "0000010", false, {}},
        // All six privileges show as All alone, with or without grant option; UPDATE held
        // without grant option opens the column list, with nothing selected.
        {"RALL", "rall", {"GRANT ALL ON RALL TO SMITH"}, "1000000", true, {}},
        {"RALLG", "rallg", {"GRANT ALL ON RALLG TO SMITH WITH GRANT OPTION"}, "1000000", false, {}},
        {"RCOLS", "rcols", {"GRANT SELECT, UPDATE (A, C) ON RCOLS TO SMITH"}, "0000011", true, {"a", "c"}},
        {"RNONE", "rnone", {}, "0000000", false, {}},
    };
    type("smith");
    Seen& start = look();
    for (const Case& c : cases) {
        makeTable(c.table, c.grants);
        chooseTable(c.listed);
        look();
    }
    click(IDCANCEL);
    EXPECT_EQ(run(), Texts{}) << "reading privileges changes nothing";
    EXPECT_EQ(messageBoxes(), Texts{}) << "nothing was pending, so Cancel did not ask";
    EXPECT_EQ(transactionEnds, "rollback tran;");

    EXPECT_TRUE(start.tablesEnabled) << "typing a grantee enables the table list";
    EXPECT_EQ(start.boxes, "2222222") << "the boxes start indeterminate";
    EXPECT_FALSE(start.columnsEnabled);
    auto result = std::next(seen.begin());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.table);
        EXPECT_EQ(result->boxes, c.boxes);
        EXPECT_EQ(result->columnsEnabled, c.columnsEnabled);
        EXPECT_EQ(result->columns, (Texts{"a", "b", "c"}));
        EXPECT_EQ(result->selected, c.selected);
        ++result;
    }
}

TEST_F(SecurityLiveTest, DoneGrantsWhatIsTickedAndTheServerEnforcesItUntilItIsRevoked) {
    makeTable("PAY");
    User smith(kwtest::kSmith);
    ASSERT_EQ(smith.rightsOn("PAY"), kNoRights);

    take("smith", "pay", {IDC_PRIV_SELECT, IDC_PRIV_INSERT, IDC_PRIV_UPDATE, IDC_PRIV_DELETE});
    choose(IDC_COLUMN_LIST, "c", false);
    const Seen& ticked = look();
    click(IDOK);
    EXPECT_EQ(run(), Texts{"GRANT DELETE, INSERT, SELECT, UPDATE ( A, B )  ON JOE.PAY TO SMITH"});
    EXPECT_EQ(transactionEnds, "commit tran;");
    EXPECT_EQ(ticked.boxes, "0010111");
    EXPECT_EQ(ticked.selected, (Texts{"a", "b"}));
    EXPECT_EQ(smith.rightsOn("PAY"), (Texts{"ok", "ok", "ok", "ok", "denied", "ok"}));

    // Unticking everything revokes all and grants nothing.
    take("smith", "pay");
    const Seen& read = look();
    for (int box : {IDC_PRIV_SELECT, IDC_PRIV_INSERT, IDC_PRIV_UPDATE, IDC_PRIV_DELETE}) {
        click(box);
    }
    const Seen& cleared = look();
    click(IDOK);
    EXPECT_EQ(run(), Texts{"REVOKE ALL ON JOE.PAY FROM SMITH"});
    EXPECT_EQ(read.boxes, "0010111");
    EXPECT_EQ(read.selected, (Texts{"a", "b"})) << "the column grants are read back";
    EXPECT_EQ(cleared.boxes, "0000000");
    EXPECT_FALSE(cleared.columnsEnabled);
    EXPECT_EQ(cleared.selected, Texts{});
    EXPECT_EQ(smith.rightsOn("PAY"), kNoRights);
}

TEST_F(SecurityLiveTest, TheCheckBoxRulesKeepAllApartFromTheOthersAndUpdateSelectsEveryColumn) {
    makeTable("BOXES");
    click(IDC_PRIV_SELECT);  // no grantee yet: ignored
    const Seen& ignored = look();
    take("smith", "boxes", {IDC_PRIV_UPDATE});
    const Seen& update = look();
    click(IDC_PRIV_ALL);
    const Seen& all = look();
    click(IDC_PRIV_INSERT);
    const Seen& insert = look();
    click(IDC_PRIV_UPDATE);
    const Seen& both = look();
    click(IDC_PRIV_UPDATE);
    const Seen& updateOff = look();
    click(IDOK);
    EXPECT_EQ(run(), Texts{"GRANT INSERT ON JOE.BOXES TO SMITH"});
    EXPECT_EQ(ignored.boxes, "2222222");
    EXPECT_EQ(update.boxes, "0000001");
    EXPECT_TRUE(update.columnsEnabled);
    EXPECT_EQ(update.selected, (Texts{"a", "b", "c"}));
    EXPECT_EQ(all.boxes, "1000000");
    EXPECT_FALSE(all.columnsEnabled);
    EXPECT_EQ(all.selected, Texts{});
    EXPECT_EQ(insert.boxes, "0000100");
    EXPECT_EQ(both.boxes, "0000101");
    EXPECT_EQ(both.selected, (Texts{"a", "b", "c"}));
    EXPECT_EQ(updateOff.boxes, "0000100");
    EXPECT_FALSE(updateOff.columnsEnabled);

    // Update alone carries every column; the column grants read back as Update with them.
    take("smith", "boxes", {IDC_PRIV_INSERT, IDC_PRIV_UPDATE, IDOK});
    EXPECT_EQ(run(), (Texts{"REVOKE ALL ON JOE.BOXES FROM SMITH",
                            "GRANT UPDATE ( A, B, C )  ON JOE.BOXES TO SMITH"}));
    take("smith", "boxes");
    const Seen& columns = look();
    click(IDCANCEL);
    run();
    EXPECT_EQ(columns.boxes, "0000001");
    EXPECT_EQ(columns.selected, (Texts{"a", "b", "c"}));
}

TEST_F(SecurityLiveTest, CancelAsksOnlyWithPendingChangesAndRollsBackWhatWasApplied) {
    makeTable("UNDONE");
    User smith(kwtest::kSmith);
    ASSERT_EQ(joe.call(REQ_BEGIN_LONG_TRANSACTION), KW_STATUS_OK) << joe.message();
    take("smith", "undone", {IDC_PRIV_SELECT});
    kwuser_scriptFocus(IDC_GRANTEE);  // applies the pending change: GRANT SELECT
    click(IDC_PRIV_INSERT);
    kwuser_scriptAnswer(IDCANCEL);
    click(IDCANCEL);  // asked, and answered Cancel: the dialog stays
    const Seen& stays = look();
    kwuser_scriptAnswer(IDOK);
    click(IDCANCEL);
    EXPECT_EQ(run(), Texts{"GRANT SELECT ON JOE.UNDONE TO SMITH"});
    EXPECT_TRUE(stays.open);
    EXPECT_EQ(messageBoxes(), (Texts{"About to undo all security \n  changes, are you sure?",
                                     "About to undo all security \n  changes, are you sure?"}));
    EXPECT_EQ(transactionEnds, "rollback tran;");
    EXPECT_EQ(smith.rightsOn("UNDONE"), kNoRights) << "the GRANT was rolled back";

    kwuser_messageBoxClear();
    type("smith");
    click(IDCANCEL);
    EXPECT_EQ(run(), Texts{});
    EXPECT_EQ(messageBoxes(), Texts{}) << "nothing pending: no question";
}

TEST_F(SecurityLiveTest, AGranteeOfPublicIsSentAsPublicAndEveryUserGetsThePrivilege) {
    makeTable("OPEN");
    User ann(kAnn);
    take("public", "open", {IDC_PRIV_SELECT, IDOK});
    EXPECT_EQ(run(), Texts{"GRANT SELECT ON JOE.OPEN TO PUBLIC"});
    EXPECT_EQ(ann.attempt("SELECT A, B, C FROM JOE.OPEN"), "ok");
    EXPECT_EQ(ann.attempt("DELETE FROM JOE.OPEN"), "denied");
}

// SMITH may pass on SELECT of JOE's table but not INSERT: the failed GRANT is shown with the
// server's message and the dialog stays open. The table of another owner is listed qualified.
TEST_F(SecurityLiveTest, AFailingGrantShowsTheServersMessageAndTheDialogStaysOpen) {
    makeTable("PASSON",
              {"GRANT SELECT ON PASSON TO SMITH WITH GRANT OPTION", "GRANT INSERT ON PASSON TO SMITH"});
    User smith(kwtest::kSmith);
    User ann(kAnn);
    type("secann");
    const Seen& tables = look();
    chooseTable("joe.passon");
    click(IDC_PRIV_INSERT);
    click(IDOK);
    const Seen& after = look();
    click(IDC_PRIV_INSERT);
    click(IDC_PRIV_SELECT);
    click(IDOK);
    EXPECT_EQ(run(smith.t),
              (Texts{"GRANT INSERT ON JOE.PASSON TO SECANN", "GRANT SELECT ON JOE.PASSON TO SECANN"}));
    EXPECT_NE(std::find(tables.tables.begin(), tables.tables.end(), "joe.passon"), tables.tables.end());
    EXPECT_TRUE(after.open);
    const Texts boxes = messageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("SMITH DOES NOT HAVE THE PRIVILEGE TO GRANT INSERT ON JOE.PASSON"),
              std::string::npos)
        << boxes[0];
    const Texts rights = ann.rightsOn("PASSON");
    EXPECT_EQ(rights[0], "ok") << "SELECT was passed on";
    EXPECT_EQ(rights[1], "denied") << "INSERT was not";
}

// A grantee longer than an authorization id is refused with a message and nothing is lost; a
// quote in a grantee or a table name stays inside the delimited name.
TEST_F(SecurityLiveTest, AnOverlongGranteeKeepsTheChangesPendingAndAQuotedNameStaysOneName) {
    makeTable("GUARD");
    User smith(kwtest::kSmith);
    take("smith", "guard");
    type("smithsonian");
    click(IDC_PRIV_SELECT);
    click(IDOK);  // refused: the changes stay, the dialog stays
    const Seen& kept = look();
    type("smith");
    click(IDOK);
    EXPECT_EQ(run(), Texts{"GRANT SELECT ON JOE.GUARD TO SMITH"});
    EXPECT_TRUE(kept.open);
    EXPECT_EQ(kept.boxes, "0000010");
    const Texts boxes = messageBoxes();
    ASSERT_EQ(boxes.size(), 2u) << "once at Done, once when the field took the focus";
    EXPECT_EQ(boxes[0],
              "The user ID \"smithsonian\" is longer than 8 characters, the most a DB2 authorization ID "
              "holds. Correct it; the privilege changes stay pending.");
    EXPECT_EQ(smith.attempt("SELECT A, B, C FROM JOE.GUARD"), "ok");

    kwuser_messageBoxClear();
    take("x';--", "guard", {IDC_PRIV_DELETE, IDOK});
    const Texts sent = run();
    EXPECT_EQ(sent, Texts{"GRANT DELETE ON JOE.GUARD TO \"X';--\""});
    EXPECT_EQ(smith.attempt("DELETE FROM JOE.GUARD"), "denied") << "nobody else got the privilege";

    asJoe("CREATE TABLE \"IT'S\" (A INTEGER)");
    User ann(kAnn);
    take("secann", "it's", {IDC_PRIV_SELECT, IDOK});
    EXPECT_EQ(run(), Texts{"GRANT SELECT ON JOE.\"IT'S\" TO SECANN"});
    EXPECT_EQ(ann.attempt("SELECT A FROM JOE.\"IT'S\""), "ok");
    EXPECT_EQ(messageBoxes(), Texts{});
}

// kwsh plays a script on the dialog: what it shows, the statements sent, every message box, and
// a script that cannot go on is cancelled with nothing applied.
TEST_F(SecurityLiveTest, KwshPlaysActionsOnTheDialogAndPrintsWhatItShowsAndSends) {
    // ANN owns this one table, so that her table list is known.
    User ann(kAnn);
    ASSERT_EQ(ann.attempt("CREATE TABLE SHELLED (A INTEGER, B INTEGER, C INTEGER)"), "ok");
    User smith(kwtest::kSmith);
    std::string error;
    auto driver = kwsh::Driver::load(kwsh::defaultDriverPath(), error);
    ASSERT_NE(driver, nullptr) << error;
    std::ostringstream out, err;
    kwsh::Shell shell(*driver, out, err);
    ASSERT_TRUE(shell.connect({Environment::get().serverName(), kAnn.name, kAnn.password, kSystemOwner}))
        << err.str();
    out.str("");
    shell.runText(
        "\\security shelled user=smith +select +update columns=b show done\n"
        "\\security user=smith nosuch +delete done\n"
        "\\security\n"
        "\\security user=smith shelled -select answer=cancel cancel show cancel\n",
        "");
    EXPECT_EQ(out.str(),
              "  user:       smith\n"
              "  tables:     *shelled\n"
              "  privileges: [ ] All  [ ] Alter  [ ] Delete  [ ] Index  [ ] Insert  [x] Select  [x] Update\n"
              "  columns:    a, *b, c\n"
              "  sent: GRANT SELECT, UPDATE ( B )  ON SECANN.SHELLED TO SMITH\n"
              "Table Security: Done, changes committed\n"
              "(the dialog is still open: Cancel)\n"
              "Table Security: Cancel, changes rolled back\n"
              "-- Table Security (question) --\n"
              "About to undo all security \n  changes, are you sure?\n"
              "[Cancel]\n"
              "  user:       smith\n"
              "  tables:     *shelled\n"
              "  privileges: [ ] All  [ ] Alter  [ ] Delete  [ ] Index  [ ] Insert  [ ] Select  [x] Update\n"
              "  columns:    a, *b, c\n"
              "-- Table Security (question) --\n"
              "About to undo all security \n  changes, are you sure?\n"
              "[OK]\n"
              "Table Security: Cancel, changes rolled back\n");
    EXPECT_EQ(err.str(),
              "ERROR: \\security: no table nosuch among those you may grant (shelled)\n"
              "ERROR: \\security without actions needs a terminal; a script gives them, e.g. \\security emp "
              "user=SMITH +select done\n");
    EXPECT_EQ(smith.rightsOn("SECANN.SHELLED"), (Texts{"ok", "denied", "denied", "ok", "denied", "denied"}));
}

}  // namespace
