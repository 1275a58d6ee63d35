// Block data and the dialog runner: releasing result columns, replacing block texts, running a
// driver dialog through the USER layer.
#include "kwshr_fixture.h"
#include "kwuser.h"

namespace {

class BlockDataTest : public BlockTest {};

TEST_F(BlockDataTest, ReleaseFreesEveryResultColumnWithItsNameAndTheList) {
    block.resultColumns = kwshr_createList(ctx, 0);
    for (const char* name : {"EMPNO", "NAME", static_cast<const char*>(nullptr)}) {
        auto* column = static_cast<ColumnDescriptor*>(kwshr_allocate(ctx, sizeof(ColumnDescriptor), 0));
        column->name = kwshr_duplicateString(ctx, name, 0);
        kwshr_appendToList(block.resultColumns, column);
    }
    kwshr_releaseBlockData(&block);
    EXPECT_EQ(field(block.resultColumns), nullptr);
    EXPECT_EQ(stats().liveAllocations, 0);
    kwshr_releaseBlockData(&block);  // nothing attached: nothing to do
}

TEST_F(BlockDataTest, SetBlockTextReplacesItsOwnCopyAndLeavesForeignTextsAlone) {
    kwhost_setBlockText(&block, &block.loginId, "alice");
    char* first = block.loginId;
    kwhost_setBlockText(&block, &block.loginId, "bob");
    EXPECT_STREQ(block.loginId, "bob");
    EXPECT_NE(field(block.loginId), first);
    EXPECT_EQ(stats().liveAllocations, 1);

    char hostOwned[] = "server";
    block.serverName = hostOwned;
    kwhost_setBlockText(&block, &block.serverName, "KWGW");
    EXPECT_STREQ(hostOwned, "server");
    EXPECT_STREQ(block.serverName, "KWGW");

    kwhost_setBlockText(&block, &block.loginId, nullptr);
    kwhost_setBlockText(&block, &block.serverName, nullptr);
    EXPECT_EQ(field(block.loginId), nullptr);
    EXPECT_EQ(stats().liveAllocations, 0);
}

}  // namespace
