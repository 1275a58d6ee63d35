/*
 * keys.h - keys from a terminal or a pipe, and one line typed in place; no terminal settings here.
 */
#ifndef KWUSER_KEYS_H
#define KWUSER_KEYS_H

#include <csignal>
#include <string>
#include <string_view>

namespace kwuser::form {

inline constexpr const char* kBell = "\a";

/* How many characters a terminal shows for UTF-8 text. */
size_t shownLength(std::string_view text);

/* ---- Keys ---- */

enum class KeyKind {
    Char,
    Enter,
    Backspace,
    ClearLine,
    Escape,
    Interrupt,
    Tab,
    Up,
    Down,
    Left,
    Right,
    End,
    Other
};

struct Key {
    KeyKind kind = KeyKind::Other;
    char ch = 0; /* for Char */
};

/* Reads keys from a descriptor: bytes, ANSI escape sequences (arrows), and the end of input:
 * end of file or a read error for good, or for as long as the interruption flag (set by a signal
 * handler, perhaps on another thread) stays set. */
class KeyReader {
  public:
    explicit KeyReader(int fd, const volatile std::sig_atomic_t* interrupted = nullptr);
    Key next();
    /* True once the input itself has ended (not merely been interrupted). */
    bool inputEnded() const { return inputEnded_; }

  private:
    static constexpr int kNoByte = -1;
    static constexpr int kEnd = -2;
    int readByte(int timeoutMs);
    Key escapeSequence();

    int fd_;
    const volatile std::sig_atomic_t* interrupted_;
    std::string pending_;
    bool inputEnded_ = false;
};

/* ---- Line editing ---- */

/* One line typed in place: printable characters up to a limit (a refused one rings the bell),
 * Backspace, Ctrl-U to clear, Enter to accept, Esc or Ctrl-C to abandon. A hidden line echoes
 * '*' for each character. */
class LineEditor {
  public:
    enum class State { Editing, Accepted, Abandoned, InputEnded };
    LineEditor(std::string initial, size_t limit, bool hidden, bool digitsOnly = false);
    /* What the terminal shows of the initial text. */
    std::string shown() const;
    State feed(const Key& key, std::string& echo);
    const std::string& text() const { return text_; }

  private:
    std::string text_;
    size_t limit_;
    bool hidden_;
    bool digitsOnly_;
};

}  // namespace kwuser::form

#endif
