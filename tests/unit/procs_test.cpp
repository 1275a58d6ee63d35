// procs_test.cpp - the CR LF line ends of stored request and view texts, and the cleaning of a
// USE PROCEDURE statement before it is sent.
#include <string>

#include "driver_block.h"

namespace {

std::string normalized(const std::string& text) {
    std::string out(TDX_NormalizedSize(text.c_str()), 'X');
    const size_t length = TDX_NormalizeLineEnds(text.c_str(), out.data(), out.size());
    EXPECT_EQ(length + 1, out.size()) << "the size covers the text exactly";
    return std::string(out.c_str());
}

TEST(LineEnds, EveryLineEndsWithCarriageReturnAndLineFeed) {
    const struct {
        const char* text;
        const char* expected;
    } cases[] = {
        {"", ""},
        {"SELECT 1", "SELECT 1\r\n"},          // no line end: one is added
        {"A\r\nB\r\n", "A\r\nB\r\n"},          // already CR LF: unchanged
        {"A\r\nB", "A\r\nB\r\n"},              // the last line is ended too
        {"A\nB\n", "A\r\nB\r\n"},              // LF only
        {"A\rB\r", "A\r\nB\r\n"},              // CR only
        {"A\n\nB", "A\r\n\r\nB\r\n"},          // an empty line stays
        {"\r\n\r\nA", "\r\n\r\nA\r\n"},        // leading empty lines stay
        {"A\r\rB", "A\r\n\r\nB\r\n"},          // two CRs: two breaks
        {"A\nB\rC\nD", "A\nB\r\nC\r\nD\r\n"},  // while a CR is left, only CRs break
        {"A\r\n\nB", "A\r\n\r\nB\r\n"},        // CR LF then a lone LF
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(normalized(c.text), c.expected);
    }
}

TEST(LineEnds, AnswerNeverWritesPastItsSizeAndKeepsWholeLines) {
    const std::string text = "ONE\nTWO\nTHREE";
    for (size_t size : {0u, 1u, 5u, 6u, 10u, 11u}) {
        std::string out(size + 4, '#');
        const size_t length = TDX_NormalizeLineEnds(text.c_str(), out.data(), size);
        SCOPED_TRACE(size);
        EXPECT_EQ(out.substr(size), "####") << "nothing written past the size";
        if (size > 0) {
            EXPECT_LT(length, size);
            EXPECT_EQ(std::string(out.c_str()), std::string("ONE\r\nTWO\r\n")
                                                    .substr(0, size >= 11  ? 10
                                                               : size >= 6 ? 5
                                                                           : 0));
        }
    }
    // A text of many short lines needs far more than twice its length's worth of room.
    const std::string lines(3000, '\n');
    EXPECT_EQ(TDX_NormalizedSize(lines.c_str()), 6001u);
}

TEST(CleanUseProcedure, OwnerAndGroupNumberBecomeBlanksAndTheLengthStays) {
    const struct {
        const char* text;
        const char* expected;
    } cases[] = {
        {"USE PROCEDURE OWNER.PROC;1 &A, &B", "USE PROCEDURE       PROC   &A, &B"},
        {"use procedure joe.p;12 &k = 1", "use procedure     p    &k = 1"},
        {"  \r\nUSE PROCEDURE\t  ABCDEFGH.P &A", "  \r\nUSE PROCEDURE\t           P &A"},  // 8: owner
        {"USE PROCEDURE ABCDEFGHI.P &A", "USE PROCEDURE ABCDEFGHI.P &A"},  // 9 before the point: kept
        {"USE PROCEDURE P;1", "USE PROCEDURE P  "},
        {"USE PROCEDURE P;1 10, 20", "USE PROCEDURE P         "},      // no & parameter: to the end
        {"USE PROCEDURE P &A = 'x;y'", "USE PROCEDURE P &A = 'x;y'"},  // a ; inside the arguments stays
        {"USE PROCEDURE P 'a;b'", "USE PROCEDURE P 'a;b'"},
        {"USE PROCEDURE P", "USE PROCEDURE P"},
        {"USE PROCEDURE P &A = 1.5", "USE PROCEDURE P &A = 1.5"},  // a point in the arguments stays
        {"USE PROCEDURE P 'a.b'", "USE PROCEDURE P 'a.b'"},
        {"USE PROCEDURE P 1.5", "USE PROCEDURE P 1.5"},
        {"USE PROCEDURE JOE.P &A = 1.5", "USE PROCEDURE     P &A = 1.5"},
        {"OWNER.PROC;1 &A", "      PROC   &A"},        // without the USE PROCEDURE words
        {"USE PROCEDUREX.P;1", "USE PROCEDUREX.P  "},  // not the words: scanned from the start
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::string text = c.text;
        TDX_CleanUseProcedure(text.data());
        EXPECT_EQ(text, c.expected);
    }
}

}  // namespace
