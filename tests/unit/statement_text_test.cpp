// The statement text builder as the driver drives it: pieces written at writePos after a
// reservation, lines ended, statements finished into the block's list, rewinds between them.
#include <cstring>
#include <string>
#include <vector>

#include "kwshr_fixture.h"

namespace {

class StatementTest : public BlockTest {
  protected:
    ~StatementTest() override {
        for (void* r = kwshr_firstListItem(block.statementList); r != nullptr;
             r = kwshr_nextListItem(block.statementList)) {
            kwshr_free(ctx, static_cast<StatementRecord*>(r)->text);
        }
        kwshr_freeResultList(ctx, block.statementList);
    }
    // The driver's one write helper: reserve, copy at writePos, move it.
    void write(const std::string& piece) {
        ASSERT_EQ(kwshr_reserveStatementText(&block, builder, piece.size()), 1);
        std::memcpy(builder->writePos, piece.c_str(), piece.size() + 1);
        builder->writePos += piece.size();
    }
    void endLine(int last = 0) { kwshr_endStatementLine(&block, last, builder); }
    void rewind() {
        builder->writePos = builder->lineStart = builder->bufferStart;
        builder->lineEnd = builder->bufferStart + KW_STATEMENT_LINE_WIDTH;
    }
    std::vector<StatementRecord> statements() {
        std::vector<StatementRecord> all;
        for (void* r = kwshr_firstListItem(block.statementList); r != nullptr;
             r = kwshr_nextListItem(block.statementList)) {
            all.push_back(*static_cast<StatementRecord*>(r));
        }
        return all;
    }
    StatementBuilder* builder = nullptr;
};

TEST_F(StatementTest, BeginsWithAnEmptyLineOfTheConventionalWidth) {
    builder = kwshr_beginStatementText(&block, 3);
    ASSERT_NE(builder, nullptr);
    EXPECT_EQ(field(builder->writePos), field(builder->bufferStart));
    EXPECT_EQ(field(builder->lineStart), field(builder->bufferStart));
    EXPECT_EQ(field(builder->lineEnd), field(builder->bufferStart) + 120);
    EXPECT_EQ(field(builder->lineCount), 0);
    kwshr_releaseStatementText(&block, builder);
}

TEST_F(StatementTest, FinishJoinsTheLinesWithNewlinesIntoTheBlocksStatementList) {
    builder = kwshr_beginStatementText(&block, 12);
    write("CREATE TABLE PAYROLL.\"EMP\" ");
    endLine();
    EXPECT_EQ(field(builder->lineStart), field(builder->writePos));
    EXPECT_EQ(field(builder->lineEnd), field(builder->lineStart) + 120);
    write("(\"ID\" INTEGER NOT NULL,");
    endLine();
    write("\"NAME\" VARCHAR(40))");
    endLine(1);
    EXPECT_EQ(field(builder->lineCount), 3);
    kwshr_finishStatementText(&block, builder);
    std::vector<StatementRecord> list = statements();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_STREQ(list[0].text,
                 "CREATE TABLE PAYROLL.\"EMP\" \n(\"ID\" INTEGER NOT NULL,\n\"NAME\" VARCHAR(40))");
    EXPECT_EQ(list[0].lineCount, 3);
    EXPECT_EQ(field(builder->lineCount), 3);
    EXPECT_EQ(field(builder->statementHandle), field(list[0].handle));
    EXPECT_GT(field(list[0].handle), 0);
    kwshr_releaseStatementText(&block, builder);
}

TEST_F(StatementTest, GrowsForLongPiecesAndMoreLinesThanItsCapacity) {
    builder = kwshr_beginStatementText(&block, 1);
    std::string expected;
    for (int line = 0; line < 40; ++line) {
        std::string piece(line % 3 == 0 ? 300 : 100, static_cast<char>('a' + line % 26));
        write(piece);
        EXPECT_EQ(field(builder->lineEnd) - field(builder->lineStart), 120) << "a move keeps the line's end";
        endLine(line == 39);
        expected += (line > 0 ? "\n" : "") + piece;
    }
    kwshr_finishStatementText(&block, builder);
    ASSERT_EQ(statements().size(), 1u);
    EXPECT_EQ(statements()[0].text, expected);
    EXPECT_EQ(statements()[0].lineCount, 40);
    kwshr_releaseStatementText(&block, builder);
}

TEST_F(StatementTest, RewoundBuilderWritesSeveralStatementsEachCountedFromOne) {
    builder = kwshr_beginStatementText(&block, 30);
    const std::vector<std::vector<std::string>> texts = {
        {"UPDATE KW.KWCATTBL", "SET KWT_CMNT = ''"}, {"DELETE FROM KW.KWCATCOL"}, {"A", "B", "C"}};
    std::vector<intptr_t> handles;
    for (const auto& lines : texts) {
        rewind();
        for (size_t i = 0; i < lines.size(); ++i) {
            write(lines[i]);
            endLine(i + 1 == lines.size());
            EXPECT_EQ(field(builder->lineCount), static_cast<int16_t>(i + 1));
        }
        kwshr_finishStatementText(&block, builder);
        EXPECT_EQ(field(builder->lineCount), static_cast<int16_t>(lines.size()));
        handles.push_back(field(builder->statementHandle));
    }
    std::vector<StatementRecord> list = statements();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_STREQ(list[0].text, "UPDATE KW.KWCATTBL\nSET KWT_CMNT = ''");
    EXPECT_STREQ(list[1].text, "DELETE FROM KW.KWCATCOL");
    EXPECT_STREQ(list[2].text, "A\nB\nC");
    for (size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(field(list[i].handle), handles[i]);
        EXPECT_LE(field(list[i].handle), INT32_MAX);
        if (i > 0) {
            EXPECT_GT(handles[i], handles[i - 1]);
        }
    }
    kwshr_releaseStatementText(&block, builder);
}

TEST_F(StatementTest, TextAfterTheLastEndedLineIsALineAndAnEmptyTextHasNone) {
    builder = kwshr_beginStatementText(&block, 30);
    const struct {
        std::vector<std::string> ended;
        std::string open;
        const char* text;
        int lines;
    } cases[] = {{{}, "INSERT INTO O.KWCATEDT VALUES('x' )", "INSERT INTO O.KWCATEDT VALUES('x' )", 1},
                 {{"A"}, "B", "A\nB", 2},
                 {{""}, "", "", 1},
                 {{}, "", "", 0}};
    for (const auto& test : cases) {
        rewind();
        for (const std::string& line : test.ended) {
            write(line);
            endLine();
        }
        write(test.open);
        kwshr_finishStatementText(&block, builder);
        EXPECT_EQ(field(builder->lineCount), test.lines) << test.text;
        EXPECT_STREQ(statements().back().text, test.text);
        EXPECT_EQ(statements().back().lineCount, test.lines);
    }
    kwshr_releaseStatementText(&block, builder);
}

TEST_F(StatementTest, ReleaseFreesTheBuilderButTheFinishedStatementsStay) {
    builder = kwshr_beginStatementText(&block, 2);
    write("SELECT 1");
    kwshr_finishStatementText(&block, builder);
    int64_t withBuilder = stats().liveAllocations;
    kwshr_releaseStatementText(&block, builder);
    EXPECT_EQ(stats().liveAllocations, withBuilder - 2);
    EXPECT_STREQ(statements().at(0).text, "SELECT 1");
}

}  // namespace
