// catalog_auth_test.cpp - privileges are real: a user neither sees nor reads another user's table
// until it is granted, GRANT needs the grant option, REVOKE takes privileges away and cascades.
#include <gtest/gtest.h>

#include "catalog_live.h"

namespace kwcat {
namespace {

class Privileges : public Sessions {
  protected:
    bool smithListsTable(const std::string& table) {
        return !smith(tableListStatement("SMITH", true, "JOE", table)).empty();
    }
};

TEST_F(Privileges, ATableIsHiddenAndUnreadableUntilGrantedAndAgainAfterRevoke) {
    must(*joe_, "CREATE TABLE SECRET (CODE CHAR(4) NOT NULL, AMOUNT DECIMAL(7,2))");
    must(*joe_, "INSERT INTO SECRET VALUES ('X1', 12.50)");

    EXPECT_FALSE(smithListsTable("SECRET"));
    EXPECT_EQ(ask(*smith_, "SELECT CODE, AMOUNT FROM JOE.SECRET").sqlcode, "-551");

    must(*joe_, "GRANT SELECT ON SECRET TO SMITH");
    EXPECT_TRUE(smithListsTable("SECRET"));
    EXPECT_EQ(smith("SELECT CODE, AMOUNT FROM JOE.SECRET"), (Rows{{"X1", "12.50"}}));
    EXPECT_EQ(ask(*smith_, "INSERT INTO JOE.SECRET VALUES ('X2', 1)").sqlcode, "-551");

    must(*joe_, "REVOKE SELECT ON SECRET FROM SMITH");
    EXPECT_FALSE(smithListsTable("SECRET"));
    EXPECT_EQ(ask(*smith_, "SELECT CODE, AMOUNT FROM JOE.SECRET").sqlcode, "-551");
}

TEST_F(Privileges, ColumnUpdateGrantsLetOnlyThoseColumnsChange) {
    must(*joe_, "CREATE TABLE PAYCHECK (ID INTEGER NOT NULL, NET DECIMAL(9,2), GROSS DECIMAL(9,2))");
    must(*joe_, "INSERT INTO PAYCHECK VALUES (1, 10, 20)");
    must(*joe_, "GRANT SELECT, UPDATE ( NET )  ON JOE.PAYCHECK TO SMITH");
    must(*smith_, "UPDATE JOE.PAYCHECK SET NET = 11");
    EXPECT_EQ(ask(*smith_, "UPDATE JOE.PAYCHECK SET GROSS = 21").sqlcode, "-551");
}

TEST_F(Privileges, GrantNeedsTheGrantOptionAndRevokeCascadesToWhatTheRevokeeGranted) {
    must(*joe_, "CREATE TABLE SHARED (K INTEGER NOT NULL)");
    must(*joe_, "GRANT SELECT, ALTER ON SHARED TO SMITH WITH GRANT OPTION");
    must(*joe_, "GRANT INSERT ON SHARED TO SMITH");
    // SMITH may pass on SELECT and ALTER, not INSERT.
    must(*smith_, "GRANT SELECT, ALTER ON JOE.SHARED TO KWCANN");
    EXPECT_EQ(ask(*smith_, "GRANT INSERT ON JOE.SHARED TO KWCANN").sqlcode, "-551");
    const std::string annRow =
        "SELECT GRANTOR, ALTERAUTH, SELECTAUTH FROM SYSIBM.SYSTABAUTH WHERE TCREATOR = 'JOE' AND GRANTEE = "
        "'KWCANN' AND TTNAME = 'SHARED' ";
    EXPECT_EQ(joe(annRow), (Rows{{"SMITH", "Y", "Y"}}));

    // Taking SMITH's privileges takes those he granted with them.
    must(*joe_, "REVOKE ALL ON JOE.SHARED FROM SMITH");
    EXPECT_EQ(joe(annRow), Rows{});
    EXPECT_FALSE(smithListsTable("SHARED"));
}

TEST_F(Privileges, RevokingWhatWasNeverGrantedIsAnError) {
    must(*joe_, "CREATE TABLE LONELY (K INTEGER)");
    const Answer a = ask(*joe_, "REVOKE SELECT ON LONELY FROM SMITH");
    EXPECT_EQ(a.sqlcode, "-556");
    EXPECT_NE(a.message.find("SMITH CANNOT HAVE THE SELECT PRIVILEGE ON JOE.LONELY REVOKED BY JOE"),
              std::string::npos)
        << a.message;
}

TEST_F(Privileges, CreatingUnderAnotherCreatorOrReferringToItsTableNeedsAuthority) {
    EXPECT_EQ(ask(*smith_, "CREATE TABLE JOE.INTRUDER (A INTEGER)").sqlcode, "-551");
    EXPECT_EQ(ask(*smith_, "CREATE TABLE NEWOWNER.INTRUDER (A INTEGER)").sqlcode, "-551");
    // ALTER lets another user refer to the table with a foreign key.
    must(*joe_, "CREATE TABLE PARENT (ID INTEGER NOT NULL, PRIMARY KEY (ID))");
    const std::string child = "CREATE TABLE CHILD1 (PID INTEGER, FOREIGN KEY FP (PID) REFERENCES JOE.PARENT)";
    EXPECT_EQ(ask(*smith_, child).sqlcode, "-551");
    must(*joe_, "GRANT ALTER ON PARENT TO SMITH");
    must(*smith_, child);
}

}  // namespace
}  // namespace kwcat
