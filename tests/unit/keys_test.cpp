/*
 * keys_test.cpp - keys decoded from a byte stream, and one line edited in place.
 */
#include "keys.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

using namespace kwuser::form;

/* A descriptor that reads the bytes and then the end of input. */
int inputOf(const std::string& bytes) {
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    EXPECT_EQ(write(fds[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(fds[1]);
    return fds[0];
}

std::vector<Key> keysOf(const std::string& bytes) {
    int fd = inputOf(bytes);
    KeyReader reader(fd);
    std::vector<Key> keys;
    do {
        keys.push_back(reader.next());
    } while (keys.back().kind != KeyKind::End);
    EXPECT_TRUE(reader.inputEnded());
    close(fd);
    return keys;
}

std::vector<KeyKind> kindsOf(const std::vector<Key>& keys) {
    std::vector<KeyKind> kinds;
    for (const Key& key : keys) {
        kinds.push_back(key.kind);
    }
    return kinds;
}

TEST(Keys, BytesAndEscapeSequencesBecomeKeys) {
    using K = KeyKind;
    struct Case {
        std::string bytes;
        std::vector<KeyKind> kinds;
    };
    const Case cases[] = {
        {"a1 ", {K::Char, K::Char, K::Char, K::End}},
        {"\r\n", {K::Enter, K::Enter, K::End}},
        {"\x7f\b\x15", {K::Backspace, K::Backspace, K::ClearLine, K::End}},
        {"\x03\x04", {K::Interrupt, K::Interrupt, K::End}},
        {"\x1b[A\x1b[B\x1bOC\x1b[D", {K::Up, K::Down, K::Right, K::Left, K::End}},
        {"\x1b[2~", {K::Other, K::End}},          // a sequence without a meaning here
        {"\x1b", {K::Escape, K::End}},            // Esc alone
        {"\x1bq", {K::Escape, K::Char, K::End}},  // Esc, then a key
        {"\x01", {K::Other, K::End}},
        {"", {K::End}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(kindsOf(keysOf(c.bytes)), c.kinds) << testing::PrintToString(c.bytes);
    }
    std::vector<Key> keys = keysOf("\x1bq\xc3\xa9");
    ASSERT_EQ(keys.size(), 5u);
    EXPECT_EQ(keys[1].ch, 'q');
    EXPECT_EQ(static_cast<unsigned char>(keys[2].ch), 0xC3) << "bytes of UTF-8 text are characters";
}

/* Feeds keys to a line editor; answers the final state, the text and everything echoed. */
struct Edited {
    LineEditor::State state;
    std::string text;
    std::string echo;
};

Edited edit(LineEditor editor, const std::string& bytes) {
    int fd = inputOf(bytes);
    KeyReader reader(fd);
    Edited result{LineEditor::State::Editing, "", editor.shown()};
    while (result.state == LineEditor::State::Editing) {
        result.state = editor.feed(reader.next(), result.echo);
    }
    result.text = editor.text();
    close(fd);
    return result;
}

TEST(LineEditing, TypesEditsAndEndsALine) {
    using S = LineEditor::State;
    struct Case {
        const char* what;
        LineEditor editor;
        std::string keys;
        S state;
        std::string text;
        std::string echo;
    };
    const Case cases[] = {
        {"typed and accepted", LineEditor("", 20, false), "joe\r", S::Accepted, "joe", "joe"},
        {"starts from the value", LineEditor("db2", 20, false), "x\r", S::Accepted, "db2x", "db2x"},
        {"backspace", LineEditor("ab", 20, false),
         "\x7f"
         "c\r",
         S::Accepted, "ac", "ab\b \bc"},
        {"clear the line", LineEditor("abc", 20, false), "\x15z\r", S::Accepted, "z", "abc\b \b\b \b\b \bz"},
        {"the limit refuses more", LineEditor("", 3, false), "abcd\r", S::Accepted, "abc", "abc\a"},
        {"hidden", LineEditor("pw", 20, true), "xy\r", S::Accepted, "pwxy", "****"},
        {"hidden UTF-8", LineEditor("", 20, true), "\xc3\xa9\r", S::Accepted, "\xc3\xa9", "*"},
        {"backspace over UTF-8", LineEditor("a\xc3\xa9", 20, false), "\x7f\r", S::Accepted, "a",
         "a\xc3\xa9\b \b"},
        {"digits only", LineEditor("", 4, false, true), "1x2\r", S::Accepted, "12", "1\a2"},
        {"Esc abandons", LineEditor("old", 20, false), "new\x1b", S::Abandoned, "oldnew", "oldnew"},
        {"Ctrl-C abandons", LineEditor("", 20, false), "a\x03", S::Abandoned, "a", "a"},
        {"end of input", LineEditor("", 20, false), "abc", S::InputEnded, "abc", "abc"},
        {"arrows are ignored", LineEditor("", 20, false), "a\x1b[Db\r", S::Accepted, "ab", "ab"},
    };
    for (const Case& c : cases) {
        Edited result = edit(c.editor, c.keys);
        EXPECT_EQ(result.state, c.state) << c.what;
        EXPECT_EQ(result.text, c.text) << c.what;
        EXPECT_EQ(result.echo, c.echo) << c.what;
    }
}

}  // namespace
