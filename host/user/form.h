/*
 * form.h - a modal dialog as a text form, apart from any terminal: keys, line editing, the form
 * model and its rendering, and the session that drives a dialog from keys.
 *
 * The terminal presenter wraps these in raw mode; unit tests feed them through pipes.
 */
#ifndef KWUSER_FORM_H
#define KWUSER_FORM_H

#include <csignal>
#include <string>
#include <string_view>
#include <vector>

#include "kwuser.h"
#include "window.h"

namespace kwuser::form {

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

/* ---- The form model ---- */

enum class FieldKind { Text, Heading, Edit, CheckBox, List, Button };

struct Field {
    FieldKind kind = FieldKind::Text;
    int number = 0; /* what the person types to choose it; 0 for text and headings */
    int controlId = 0;
    std::string label = {};
    std::string value = {};
    bool password = false;
    bool enabled = true;
    int check = 0;
    size_t limit = kDefaultEditLimit;
    std::vector<ListItem> items = {};
    bool multiple = false;
    bool dropDown = false;
    bool isDefault = false;
};

struct Form {
    std::string title;
    std::vector<Field> fields;
    int defaultButton = -1; /* index into fields, or -1 */
    int cancelButton = -1;
};

/* "&Server Name:" -> "Server Name:"; "&&" stands for one '&'. */
std::string stripAccelerator(std::string_view text);
Form buildForm(const DialogView& view);
std::string renderForm(const Form& form);
const Field* fieldNumbered(const Form& form, int number);

/* ---- Driving a dialog ---- */

class Console {
  public:
    virtual ~Console() = default;
    virtual Key readKey() = 0;
    virtual void write(std::string_view text) = 0;
};

/* Keys from a KeyReader, output to a descriptor. */
class FdConsole : public Console {
  public:
    FdConsole(KeyReader& reader, int outputFd) : reader_(reader), outputFd_(outputFd) {}
    Key readKey() override { return reader_.next(); }
    void write(std::string_view text) override;

  private:
    KeyReader& reader_;
    int outputFd_;
};

enum class FormOutcome { Ended, Cancelled, InputEnded };

/* Shows the dialog and acts on the person's choices, through the kwuser_ user actions, until it
 * has ended (Ended), the person cancelled a dialog that has no Cancel button (Cancelled), or the
 * input ended (InputEnded). */
FormOutcome runForm(HWND dialog, Console& console);

std::string renderMessageBox(std::string_view text, std::string_view caption, UINT type);
/* The button the person chose, or 0 when the input ended first. */
int runMessageBox(Console& console, std::string_view text, std::string_view caption, UINT type);

}  // namespace kwuser::form

#endif
