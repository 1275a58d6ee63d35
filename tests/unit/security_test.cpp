// security_test.cpp - requests 72 and 57 without a server: the menu command lands in front of the
// host's items, and a command opens the Table Security dialog only when it is the driver's and a
// connection is there to work on. The dialog itself runs against the live gateway
// (security_live_test).
#include <string>
#include <utility>
#include <vector>

#include "driver_block.h"
#include "kwuser.h"

namespace {

using Items = std::vector<std::pair<UINT, std::string>>;

class SecurityRequestTest : public DriverBlockTest {
  protected:
    void SetUp() override {
        DriverBlockTest::SetUp();
        kwuser_useScriptedPresenter();
        kwuser_scriptReset();
        kwuser_messageBoxClear();
    }
    void TearDown() override {
        kwuser_setPresenter(nullptr);
        DriverBlockTest::TearDown();
    }

    static Items itemsOf(HMENU menu) {
        Items items;
        for (int i = 0; i < GetMenuItemCount(menu); ++i) {
            char text[100] = {};
            GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
            items.emplace_back(GetMenuItemID(menu, i), text);
        }
        return items;
    }

    // Request 57 with the owner window and command id.
    void menuCommand(int32_t command) {
        int32_t pair[2] = {0, command};
        block.arg = pair;
        route(REQ_MENU_COMMAND);
        block.arg = nullptr;
    }
};

TEST_F(SecurityRequestTest, Request72PutsTheTableSecurityCommandFirstInTheHostsMenu) {
    HMENU menu = CreateMenu();
    ASSERT_NE(menu, nullptr);
    ASSERT_TRUE(InsertMenuA(menu, 0, MF_BYPOSITION | MF_STRING, 10, "&Open"));
    block.inValue = static_cast<int32_t>(reinterpret_cast<intptr_t>(menu));
    route(REQ_ADD_SECURITY_MENU);
    EXPECT_EQ(+block.status, KW_STATUS_OK);
    EXPECT_EQ(itemsOf(menu), (Items{{4812, "Table &Security..."}, {10, "&Open"}}));
    DestroyMenu(menu);
}

// A click is queued for a dialog that must never open: it stays unused.
TEST_F(SecurityRequestTest, Request57OpensNothingForAnotherCommandAndRefusesTheDialogWithoutAConnection) {
    kwuser_scriptClick(IDCANCEL);
    for (int32_t command : {0, 4811, 4813, -1}) {
        SCOPED_TRACE(command);
        menuCommand(command);
        EXPECT_EQ(+block.status, KW_STATUS_OK);
        EXPECT_EQ(message(), "");
    }
    route(REQ_MENU_COMMAND);  // no command at all
    EXPECT_EQ(+block.status, KW_STATUS_OK);

    menuCommand(4812);
    EXPECT_EQ(+block.status, KW_STATUS_DRIVER_FAILURE);
    EXPECT_EQ(+block.sqlCode, -1);
    EXPECT_EQ(message(), "This request needs a database connection, and none is open for it.");
    EXPECT_EQ(kwuser_scriptPendingActions(), 1) << "no dialog was shown";
    kwuser_scriptReset();
}

}  // namespace
