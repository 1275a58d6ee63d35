// Block data and the dialog runner: releasing result columns, replacing block texts, running a
// driver dialog through the USER layer.
#include "kwconst.h"
#include "kwshr_fixture.h"
#include "kwuser.h"

namespace {

/* A one-button dialog whose procedure prepares itself as driver dialogs do and ends with the
 * parameter it was opened with when OK is clicked. */
const KwControlTemplate kControls[] = {{"BUTTON", IDOK, "OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 10, 10, 40, 14}};
const KwDialogTemplate kDialogs[] = {{IDD_LOGIN, "Login", "Helv", 8, 120, 40, kControls, 1}};
const KwModuleResources kModule = {"runner", nullptr, 0, kDialogs, 1};

int preparedTraceLines = -1;
BOOL okDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    static LPARAM endWith = 0;
    if (message == WM_INITDIALOG) {
        endWith = lParam;
        kwhost_traceClear();
        kwshr_prepareDialog(dialog);
        preparedTraceLines = kwhost_traceCount();
        return TRUE;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
        EndDialog(dialog, endWith);
        return TRUE;
    }
    return FALSE;
}

TEST(DialogRunner, RunsTheModulesTemplateAndAnswersTheEndValue) {
    HINSTANCE module = kwuser_registerModule(&kModule);
    kwuser_useScriptedPresenter();
    kwuser_scriptReset();
    kwuser_scriptClick(IDOK);
    EXPECT_EQ(kwshr_dialogBox(module, IDD_LOGIN, nullptr, okDialog, 77), 77);
    EXPECT_EQ(preparedTraceLines, 0) << "a real dialog is prepared without complaint";
    EXPECT_EQ(kwshr_dialogBox(module, IDD_TABLE_SPACE, nullptr, okDialog, 1), -1) << "no such template";
    kwuser_scriptReset();
    kwuser_setPresenter(nullptr);
    kwuser_unregisterModule(module);
    kwhost_traceClear();
    kwshr_prepareDialog(reinterpret_cast<HWND>(static_cast<uintptr_t>(65000)));
    EXPECT_EQ(kwhost_traceCount(), 1) << "preparing what is no window is traced";
}

class BlockDataTest : public BlockTest {};

TEST_F(BlockDataTest, ReleaseFreesTheResultColumnsAndSetBlockTextReplacesOnlyItsOwnCopy) {
    block.resultColumns = kwshr_createList(ctx, 0);
    for (const char* name : {"EMPNO", "NAME", static_cast<const char*>(nullptr)}) {
        auto* column = static_cast<ColumnDescriptor*>(kwshr_allocate(ctx, sizeof(ColumnDescriptor), 0));
        column->name = kwshr_duplicateString(ctx, name, 0);
        kwshr_appendToList(block.resultColumns, column);
    }
    kwshr_releaseBlockData(&block);
    EXPECT_EQ(+block.resultColumns, nullptr);
    EXPECT_EQ(stats().liveAllocations, 0);
    kwshr_releaseBlockData(&block);  // nothing attached: nothing to do

    kwhost_setBlockText(&block, &block.loginId, "alice");
    char* first = block.loginId;
    kwhost_setBlockText(&block, &block.loginId, "bob");
    EXPECT_STREQ(block.loginId, "bob");
    EXPECT_NE(+block.loginId, first);
    EXPECT_EQ(stats().liveAllocations, 1);

    char hostOwned[] = "server";
    block.serverName = hostOwned;
    kwhost_setBlockText(&block, &block.serverName, "KWGW");
    EXPECT_STREQ(hostOwned, "server");
    EXPECT_STREQ(block.serverName, "KWGW");

    kwhost_setBlockText(&block, &block.loginId, nullptr);
    kwhost_setBlockText(&block, &block.serverName, nullptr);
    EXPECT_EQ(+block.loginId, nullptr);
    EXPECT_EQ(stats().liveAllocations, 0);
}

}  // namespace
