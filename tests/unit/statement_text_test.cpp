// The statement text builder as the driver drives it: pieces written at writePos after a
// reservation, lines ended, statements finished into the block's list, rewinds between them.
#include <cstring>
#include <string>
#include <vector>

#include "kwshr_fixture.h"

namespace {

class StatementTest : public BlockTest {
  protected:
    ~StatementTest() override { freeStatements(ctx, block.statementList); }
    // The driver's one write helper: reserve, copy at writePos, move it.
    void write(const std::string& piece) {
        ASSERT_EQ(kwshr_reserveStatementText(&block, builder, piece.size()), 1);
        std::memcpy(builder->writePos, piece.c_str(), piece.size() + 1);
        builder->writePos += piece.size();
    }
    // Ends the line and checks that the next starts at the write position with the usual width.
    void endLine(bool last) {
        kwshr_endStatementLine(&block, last ? 1 : 0, builder);
        EXPECT_EQ(+builder->lineStart, +builder->writePos);
        EXPECT_EQ(+builder->lineEnd, builder->lineStart + KW_STATEMENT_LINE_WIDTH);
    }
    StatementRecord lastStatement() {
        return *static_cast<StatementRecord*>(block.statementList->last->data);
    }
    StatementBuilder* builder = nullptr;
};

TEST_F(StatementTest, RewoundBuilderFinishesStatementsOfEndedAndOpenLinesJoinedByNewlines) {
    builder = kwshr_beginStatementText(&block, 30);
    ASSERT_NE(builder, nullptr);
    EXPECT_EQ(+builder->writePos, +builder->bufferStart);
    EXPECT_EQ(+builder->lineStart, +builder->bufferStart);
    EXPECT_EQ(+builder->lineEnd, builder->bufferStart + 120);
    EXPECT_EQ(+builder->lineCount, 0);
    const struct {
        std::vector<std::string> ended;  // the last one ended as the statement's last when nothing is open
        const char* open;                // written after them but not ended, or null
        const char* text;
        int lines;
    } cases[] = {
        {{"CREATE TABLE PAYROLL.\"EMP\" ", "(\"ID\" INTEGER NOT NULL,", "\"NAME\" VARCHAR(40))"},
         nullptr,
         "CREATE TABLE PAYROLL.\"EMP\" \n(\"ID\" INTEGER NOT NULL,\n\"NAME\" VARCHAR(40))",
         3},
        {{"UPDATE KW.KWCATTBL", "SET KWT_CMNT = ''"}, nullptr, "UPDATE KW.KWCATTBL\nSET KWT_CMNT = ''", 2},
        {{"DELETE FROM KW.KWCATCOL"}, nullptr, "DELETE FROM KW.KWCATCOL", 1},
        {{}, "INSERT INTO O.KWCATEDT VALUES('x' )", "INSERT INTO O.KWCATEDT VALUES('x' )", 1},
        {{"A"}, "B", "A\nB", 2},
        {{""}, "", "", 1},
        {{}, "", "", 0},
    };
    intptr_t previous = 0;
    for (const auto& test : cases) {
        SCOPED_TRACE(test.text);
        builder->writePos = builder->lineStart = builder->bufferStart;
        builder->lineEnd = builder->bufferStart + KW_STATEMENT_LINE_WIDTH;
        for (size_t i = 0; i < test.ended.size(); ++i) {
            write(test.ended[i]);
            endLine(test.open == nullptr && i + 1 == test.ended.size());
            EXPECT_EQ(+builder->lineCount, static_cast<int>(i + 1));
        }
        if (test.open != nullptr) {
            write(test.open);
        }
        kwshr_finishStatementText(&block, builder);
        const StatementRecord record = lastStatement();
        EXPECT_STREQ(record.text, test.text);
        EXPECT_EQ(+record.lineCount, test.lines);
        EXPECT_EQ(+builder->lineCount, test.lines);
        EXPECT_EQ(+builder->statementHandle, +record.handle);
        EXPECT_GT(+record.handle, previous);
        EXPECT_LE(+record.handle, INT32_MAX);
        previous = record.handle;
    }
    EXPECT_EQ(kwshr_listCount(block.statementList), static_cast<int32_t>(std::size(cases)));
    const int64_t withBuilder = stats().liveAllocations;
    kwshr_releaseStatementText(&block, builder);
    EXPECT_EQ(stats().liveAllocations, withBuilder - 2) << "the builder and its buffer";
    EXPECT_STREQ(static_cast<StatementRecord*>(kwshr_firstListItem(block.statementList))->text, cases[0].text)
        << "the finished statements stay";
}

TEST_F(StatementTest, GrowsForLongPiecesAndMoreLinesThanItsCapacity) {
    builder = kwshr_beginStatementText(&block, 1);
    std::string expected;
    for (int line = 0; line < 40; ++line) {
        std::string piece(line % 3 == 0 ? 300 : 100, static_cast<char>('a' + line % 26));
        write(piece);
        EXPECT_EQ(builder->lineEnd - builder->lineStart, 120) << "a move keeps the line's end";
        endLine(line == 39);
        expected += (line > 0 ? "\n" : "") + piece;
    }
    kwshr_finishStatementText(&block, builder);
    ASSERT_EQ(kwshr_listCount(block.statementList), 1);
    EXPECT_EQ(lastStatement().text, expected);
    EXPECT_EQ(+lastStatement().lineCount, 40);
    kwshr_releaseStatementText(&block, builder);
}

}  // namespace
