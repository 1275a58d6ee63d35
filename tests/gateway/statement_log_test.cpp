// Tests of the statement log's JSON encoding.
#include "session/statement_log.h"

#include <gtest/gtest.h>

namespace {

TEST(JsonString, EscapesWhatJsonRequiresAndKeepsUtf8) {
    struct Case {
        const char* claim;
        std::string text;
        std::string json;
    } cases[] = {
        {"plain text is quoted", "select 1", "\"select 1\""},
        {"quotes and backslashes are escaped", "a\"b\\c", "\"a\\\"b\\\\c\""},
        {"line ends and tabs use their short escapes", "a\r\n\tb", "\"a\\r\\n\\tb\""},
        {"other control bytes use \\u", std::string("a\x01z"), "\"a\\u0001z\""},
        {"UTF-8 passes unchanged", "caf\xC3\xA9", "\"caf\xC3\xA9\""},
        {"a byte that is not UTF-8 becomes an escape", "caf\xE9!", "\"caf\\u00e9!\""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(gw::session::jsonString(c.text), c.json) << c.claim;
    }
}

}  // namespace
