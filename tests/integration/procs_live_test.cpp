// procs_live_test.cpp - stored requests and view texts against the live gateway: the request list
// of the owner the profile names or the dialog asks for, request texts with every kind of line
// end, procedures run and positioned on a chosen result set, and view texts read from SYSVIEWS,
// with the exact statements the driver sends.
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "driver_host.h"
#include "kwuser.h"

namespace {

using kwhosttest::Transaction;
using kwtest::Environment;
using Texts = std::vector<std::string>;
using Rows = std::vector<std::vector<std::string>>;

const char kSystemOwner[] = "SystemOwner='SYSIBM'";

// The select of view LONGV: more than 256 bytes, so SYSVIEWS holds it in pieces.
std::string longViewSelect() {
    std::string select = "SELECT K,";
    for (int i = 0; i < 30; ++i) {
        select += " NAME AS NAME_NUMBER_" + std::to_string(i) + ",";
    }
    return select + "         K AS LAST FROM NE";
}

// JOE's stored requests and tables, SMITH's one request (readable by JOE), an empty request table
// of a third owner, and a catalog owner whose SYSVIEWS no user may read.
void buildSchema() {
    Environment& env = Environment::get();
    Transaction joe, smith;
    ASSERT_EQ(joe.connect(), 0) << joe.message();
    smith.setLogin("", kwtest::kSmith.name, kwtest::kSmith.password);
    ASSERT_EQ(smith.call(REQ_CONNECT), 0) << smith.message();
    const char* table =
        "CREATE TABLE PCSQL_HOSTLIB (REQ_NAME CHAR(12) NOT NULL, REQ_TEXT VARCHAR(4046) NOT NULL)";
    for (const char* sql : {table, "CREATE TABLE NE (K INTEGER, NAME VARCHAR(10))",
                            "INSERT INTO NE VALUES (1, 'one')", "INSERT INTO NE VALUES (2, 'two')"}) {
        ASSERT_EQ(joe.execute(sql), 0) << sql << ": " << joe.message();
    }
    ASSERT_EQ(smith.execute(table), 0) << smith.message();
    std::string manyLines(2100, '\n');
    env.exec(
        "INSERT INTO joe.pcsql_hostlib VALUES "
        "('UPDSEL', 'UPDATE NE SET K = K + 0; SELECT K, NAME FROM NE ORDER BY K; SELECT COUNT(*) FROM NE'),"
        "('BYKEY', 'SELECT NAME FROM NE WHERE K = &KEY'),"
        "('BROKEN', 'SELECT K FROM NE; SELECT * FROM NOSUCH; SELECT 3 FROM NE'),"
        "('CRLF', E'SELECT K\\r\\nFROM NE\\r\\n'),"
        "('LFONLY', E'SELECT K\\nFROM NE\\n\\nWHERE K = 1'),"
        "('CRONLY', E'SELECT K\\rFROM NE\\r'),"
        "('NOEND', 'SELECT K FROM NE'),"
        "('MANYLINES', '" +
        manyLines +
        "END');"
        "INSERT INTO smith.pcsql_hostlib VALUES ('SHARED', 'SELECT 1');"
        "GRANT SELECT ON smith.pcsql_hostlib TO joe;"
        "CREATE SCHEMA nobody; GRANT USAGE ON SCHEMA nobody TO PUBLIC;"
        "CREATE TABLE nobody.pcsql_hostlib (req_name char(12), req_text varchar(4046));"
        "GRANT SELECT ON nobody.pcsql_hostlib TO PUBLIC;"
        "CREATE SCHEMA kwnov; GRANT USAGE ON SCHEMA kwnov TO PUBLIC;"
        "CREATE VIEW kwnov.sysviews AS SELECT * FROM sysibm.sysviews;"
        "REVOKE ALL ON kwnov.sysviews FROM PUBLIC");
    for (const std::string& sql : {
             "CREATE VIEW LONGV AS " + longViewSelect(),
             std::string("CREATE VIEW MLV (K, NAME) AS\nSELECT K, NAME\r\nFROM NE\nWHERE K > 1"),
             std::string("CREATE VIEW SELECTV (K) AS SELECT(K) FROM NE"),
             std::string("CREATE VIEW SELV2 (K) AS SELECT(K) FROM NE WHERE K IN (select K FROM NE)"),
         }) {
        ASSERT_EQ(joe.execute(sql), 0) << sql << ": " << joe.message();
    }
}

class ProcsLiveTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { buildSchema(); }

    void SetUp() override {
        kwhost_setProfilePath(profile.c_str());
        std::filesystem::remove(profile);
        kwuser_useScriptedPresenter();
        kwuser_scriptReset();
        connect(kSystemOwner);
    }
    void TearDown() override {
        EXPECT_EQ(kwuser_scriptPendingActions(), 0);
        kwuser_setPresenter(nullptr);
        std::filesystem::remove(profile);
    }
    // Connects as JOE; the host keeps the login user as the block's current user.
    void connect(const char* dbParm) {
        ASSERT_EQ(t.connect("", dbParm), 0) << t.message();
        kwhost_setBlockText(&t.block(), &t.block().currentUser, "joe");
    }
    void setOwner(const char* owner) { kwshr_writeProfileString("database", "StoredReqOwner", owner); }
    std::string profileOwner() {
        char value[130] = {};
        kwshr_readProfileString("database", "StoredReqOwner", "", value, sizeof value);
        return value;
    }

    // Request 73: the names listed, each checked for the owner copy it carries.
    Texts listed() {
        t.call(REQ_LIST_STORED_REQUESTS);
        Texts names;
        for (StoredRequestEntry* entry : kwhosttest::items<StoredRequestEntry>(t.block().result)) {
            names.emplace_back(entry->name);
            EXPECT_STREQ(entry->owner, t.block().currentUser);
            kwshr_free(t.block().memoryContext, entry->owner);
            kwshr_free(t.block().memoryContext, entry);
        }
        if (t.block().result != 0) {
            kwshr_destroyList(reinterpret_cast<HostList*>(t.block().result));
        }
        return names;
    }
    // A text answer of request 74 or 97 (or "<none>"), freed; the request must leave nothing else.
    std::string text(int32_t code) {
        const int64_t before = t.liveAllocations();
        t.call(code);
        auto* answer = reinterpret_cast<char*>(t.block().result);
        const std::string out = answer != nullptr ? answer : "<none>";
        if (answer != nullptr) {
            kwshr_free(t.block().memoryContext, answer);
        }
        EXPECT_EQ(t.liveAllocations(), before) << "request " << code << " left memory behind";
        return out;
    }
    std::string requestText(const char* name) {
        t.block().arg = const_cast<char*>(name);
        const std::string out = text(REQ_STORED_REQUEST_TEXT);
        t.block().arg = nullptr;
        return out;
    }
    std::string viewText(const char* view, const char* owner = "joe") {
        kwhost_setBlockText(&t.block(), &t.block().sqlText, view);
        kwhost_setBlockText(&t.block(), &t.block().ownerName, owner);
        return text(REQ_VIEW_TEXT);
    }
    // Request 75 and the rows of the result set it made current.
    Rows run(const char* sql, int32_t wanted) {
        kwhost_setBlockText(&t.block(), &t.block().sqlText, sql);
        t.block().inValue = wanted;
        if (t.call(REQ_RUN_PROCEDURE) != KW_STATUS_OK) {
            return {};
        }
        const auto set = kwhosttest::fetchAll(t);
        EXPECT_EQ(set.lastStatus, KW_STATUS_NO_DATA) << t.message();
        EXPECT_EQ(t.call(REQ_CANCEL), 0) << "the result sets after it go";
        return set.rows;
    }
    // The packed block's answers, read by value.
    int32_t status() { return t.block().status; }
    int32_t sqlCode() { return t.block().sqlCode; }
    Texts sent(size_t mark) { return env.gateway().requestsSince(mark); }

    Environment& env = Environment::get();
    const std::filesystem::path profile =
        std::filesystem::temp_directory_path() / ("kw-procs-" + std::to_string(::getpid()) + ".ini");
    Transaction t;
};

TEST_F(ProcsLiveTest, TheListHoldsTheRequestsOfTheProfilesOwnerNoneOneOrMany) {
    setOwner("nobody");
    EXPECT_EQ(listed(), Texts{});
    EXPECT_EQ(status(), 0) << t.message();

    setOwner("smith");
    EXPECT_EQ(listed(), Texts{"SHARED"});

    setOwner("joe");
    const size_t mark = env.gateway().mark();
    Texts names = listed();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (Texts{"BROKEN", "BYKEY", "CRLF", "CRONLY", "LFONLY", "MANYLINES", "NOEND", "UPDSEL"}));
    EXPECT_EQ(sent(mark), Texts{"SELECT REQ_NAME FROM JOE.PCSQL_HOSTLIB"});
    EXPECT_EQ(kwuser_scriptCancelledDialogs(), 0) << "the profile named the owner: no dialog";
}

TEST_F(ProcsLiveTest, WithoutAnOwnerTheDialogAsksForOneAndCancelledTheServerRefusesTheQuery) {
    kwuser_scriptType(IDC_STORED_REQUEST_OWNER, "smith");
    kwuser_scriptClick(IDOK);
    EXPECT_EQ(listed(), Texts{"SHARED"});
    EXPECT_EQ(status(), 0) << t.message();
    EXPECT_STREQ(t.block().message, "") << "the dialog's answer is no message";
    EXPECT_EQ(profileOwner(), "smith") << "the dialog keeps the owner in the profile";

    std::filesystem::remove(profile);
    kwuser_scriptClick(IDCANCEL);
    const size_t mark = env.gateway().mark();
    EXPECT_EQ(listed(), Texts{});
    EXPECT_EQ(sent(mark), Texts{"SELECT REQ_NAME FROM .PCSQL_HOSTLIB"});
    EXPECT_NE(status(), 0);
    EXPECT_NE(std::string(t.block().message), "");
    EXPECT_EQ(sqlCode(), -1);
    EXPECT_EQ(t.execute("SELECT K FROM NE"), 0) << "the connection works on: " << t.message();
}

TEST_F(ProcsLiveTest, RequestTextsComeBackWithEveryLineEndedByCarriageReturnAndLineFeed) {
    setOwner("joe");
    const struct {
        const char* name;
        std::string expected;
    } cases[] = {
        {"CRLF", "SELECT K\r\nFROM NE\r\n"},
        {"LFONLY", "SELECT K\r\nFROM NE\r\n\r\nWHERE K = 1\r\n"},
        {"CRONLY", "SELECT K\r\nFROM NE\r\n"},
        {"NOEND", "SELECT K FROM NE\r\n"},
        {"NOSUCH", "<none>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(requestText(c.name), c.expected);
        EXPECT_EQ(status(), 0) << t.message();
    }
    // 2100 added line-end characters: more than the 2000 the answer keeps in hand.
    std::string many;
    for (int i = 0; i < 2100; ++i) {
        many += "\r\n";
    }
    EXPECT_EQ(requestText("MANYLINES"), many + "END\r\n");

    const size_t mark = env.gateway().mark();
    requestText("NOEND");
    EXPECT_EQ(sent(mark),
              (Texts{"SELECT LENGTH FROM SYSIBM.SYSCOLUMNS WHERE NAME = 'REQ_TEXT' AND       TBNAME = "
                     "'PCSQL_HOSTLIB' AND       TBCREATOR = 'JOE' ",
                     "SELECT REQ_TEXT FROM JOE.PCSQL_HOSTLIB WHERE REQ_NAME  = 'NOEND' "}));
}

TEST_F(ProcsLiveTest, AProcedureOrRewrittenExecuteIsPositionedOnTheWantedResultSetThatReturnsRows) {
    // The UPDATE returns no rows, so the first result set is the first SELECT's.
    EXPECT_EQ(run("USE PROCEDURE UPDSEL", 1), (Rows{{"1", "one"}, {"2", "two"}})) << t.message();
    EXPECT_EQ(run("USE PROCEDURE UPDSEL", 2), (Rows{{"2"}})) << t.message();
    for (int32_t wanted : {3, 0}) {
        EXPECT_EQ(run("USE PROCEDURE UPDSEL", wanted), Rows{});
        EXPECT_EQ(status(), KW_STATUS_DRIVER_FAILURE);
        EXPECT_EQ(t.message(), "Requested result set number " + std::to_string(wanted) + " not found");
        EXPECT_EQ(sqlCode(), -1);
    }
    // A statement that fails before the wanted result set: its error is the answer.
    EXPECT_EQ(run("USE PROCEDURE BROKEN", 2), Rows{});
    EXPECT_EQ(status(), -204) << t.message();
    EXPECT_EQ(t.execute("SELECT K FROM NE"), 0) << "the connection works on: " << t.message();
    EXPECT_EQ(kwhosttest::fetchAll(t).rows, (Rows{{"1"}, {"2"}}));

    // An EXECUTE is rewritten and cleaned of its owner and group number.
    const size_t mark = env.gateway().mark();
    EXPECT_EQ(run("EXECUTE JOE.BYKEY;1 @KEY = 2", 1), Rows{{"two"}}) << t.message();
    EXPECT_EQ(sent(mark), Texts{"USE PROCEDURE     BYKEY   &KEY = 2"});
}

TEST_F(ProcsLiveTest, AViewTextStartsAtItsSelectAndKeepsOnlyItsOwnLineBreaks) {
    // Three SYSVIEWS pieces and more than 256 bytes, joined back without a separator.
    EXPECT_GE(std::stoi(env.queryValue("SELECT count(*) FROM sysibm.sysviews WHERE name = 'LONGV'")), 3);
    const std::string select = longViewSelect();
    ASSERT_GT(select.size(), 256u);
    EXPECT_EQ(viewText("longv"), select + "\r\n");

    const size_t mark = env.gateway().mark();
    EXPECT_EQ(viewText("mlv"), "SELECT K, NAME\r\nFROM NE\r\nWHERE K > 1\r\n");
    EXPECT_EQ(sent(mark), Texts{"SELECT TEXT, SEQNO FROM SYSIBM.SYSVIEWS WHERE  NAME = 'MLV' AND CREATOR = "
                                "'JOE' ORDER BY SEQNO"});
    EXPECT_STREQ(t.block().sqlText, "mlv") << "the names are lower case again";
    EXPECT_STREQ(t.block().ownerName, "joe");
    EXPECT_EQ(sqlCode(), 0);

    // SELECT must be followed by a blank: "SELECT(" is passed over, in favour of a later one or of
    // nothing at all.
    EXPECT_EQ(viewText("selv2"), "select K FROM NE)\r\n");
    EXPECT_EQ(viewText("selectv"), "");
    EXPECT_EQ(status(), 0) << t.message();

    EXPECT_EQ(viewText("noview"), "<none>");
    EXPECT_EQ(status(), 0) << t.message();
    EXPECT_EQ(sqlCode(), 0);
}

TEST_F(ProcsLiveTest, AUserWhoMayNotReadTheViewCatalogGetsAnExplanationWithSqlCode4) {
    t.disconnect();
    connect("SystemOwner='KWNOV'");
    EXPECT_EQ(viewText("mlv"), "You do not have the authority to see the text for this view.\r\n");
    EXPECT_EQ(status(), 0) << t.message();
    EXPECT_EQ(sqlCode(), 4);
    EXPECT_STREQ(t.block().message, "") << "the server's message is not shown";
    EXPECT_EQ(t.execute("SELECT K FROM NE"), 0) << "nothing of the refusal is left: " << t.message();

    // Only a refused privilege is an explanation: a catalog that does not exist is an error.
    t.disconnect();
    connect("SystemOwner='KWNONE'");
    EXPECT_EQ(viewText("mlv"), "<none>") << "no text is answered";
    EXPECT_EQ(status(), -204) << t.message();
    EXPECT_EQ(sqlCode(), -1);
    EXPECT_NE(std::string(t.block().message).find("KWNONE.SYSVIEWS"), std::string::npos) << t.message();
}

}  // namespace
