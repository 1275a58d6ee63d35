/*
 * keys.cpp - keys and line editing for the text forms.
 *
 * Decodes the bytes of a terminal in raw mode (or of a pipe) into keys, telling a lone Esc from
 * the escape sequences of arrow keys by the time that passes before the next byte, and edits one
 * line in place: what it echoes is exactly what the terminal must show. The input's end is final;
 * an interruption lasts as long as its flag is set.
 */
#include "keys.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace kwuser::form {
namespace {

/* Time allowed between the bytes of an escape sequence; a lone Esc is followed by nothing. */
constexpr int kEscapeSequenceMs = 50;
constexpr int kInterruptCheckMs = 200;

struct ControlByte {
    unsigned char byte;
    KeyKind kind;
};

/* Ctrl-D is a key like Ctrl-C here: in raw mode it is no end of file, and a person pressing it
 * wants out of the dialog, not out of every dialog to come. */
const ControlByte kControlBytes[] = {
    {'\r', KeyKind::Enter},     {'\n', KeyKind::Enter},     {0x7F, KeyKind::Backspace},
    {0x08, KeyKind::Backspace}, {0x15, KeyKind::ClearLine}, {0x1B, KeyKind::Escape},
    {0x03, KeyKind::Interrupt}, {0x04, KeyKind::Interrupt}, {'\t', KeyKind::Tab},
};
static_assert(sizeof kControlBytes / sizeof kControlBytes[0] == 9,
              "Enter twice, Backspace twice, Ctrl-U, Esc, "
              "Ctrl-C, Ctrl-D, Tab");

struct ArrowKey {
    char final;
    KeyKind kind;
};

const ArrowKey kArrowKeys[] = {
    {'A', KeyKind::Up}, {'B', KeyKind::Down}, {'C', KeyKind::Right}, {'D', KeyKind::Left}};
static_assert(sizeof kArrowKeys / sizeof kArrowKeys[0] == 4, "four arrows");

bool isContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

}  // namespace

size_t shownLength(std::string_view text) {
    return static_cast<size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return !isContinuationByte(c); }));
}

/* ---- Keys ---- */

KeyReader::KeyReader(int fd, const volatile std::sig_atomic_t* interrupted)
    : fd_(fd), interrupted_(interrupted) {}

/* A byte, kNoByte when none came within timeoutMs (a negative timeout waits), or kEnd. A wait
 * looks at the interruption flag at least every kInterruptCheckMs. */
int KeyReader::readByte(int timeoutMs) {
    if (!pending_.empty()) {
        auto byte = static_cast<unsigned char>(pending_.front());
        pending_.erase(0, 1);
        return byte;
    }
    while (!inputEnded_) {
        if (interrupted_ != nullptr && *interrupted_ != 0) {
            return kEnd;
        }
        pollfd ready{fd_, POLLIN, 0};
        int polled = ::poll(&ready, 1, timeoutMs < 0 ? kInterruptCheckMs : timeoutMs);
        if (polled == 0 && timeoutMs >= 0) {
            return kNoByte;
        }
        if (polled == 0 || (polled < 0 && errno == EINTR)) {
            continue;
        }
        unsigned char byte = 0;
        ssize_t got = polled < 0 ? -1 : ::read(fd_, &byte, 1);
        if (got == 1) {
            return byte;
        }
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        }
        inputEnded_ = true;
    }
    return kEnd;
}

/* After Esc: "[" or "O" starts a sequence that runs to its final byte; anything else (or
 * nothing) means Esc was pressed on its own. */
Key KeyReader::escapeSequence() {
    int introducer = readByte(kEscapeSequenceMs);
    if (introducer != '[' && introducer != 'O') {
        if (introducer >= 0) {
            pending_.insert(pending_.begin(), static_cast<char>(introducer));
        }
        return {KeyKind::Escape};
    }
    for (;;) {
        int byte = readByte(kEscapeSequenceMs);
        if (byte < 0) {
            return {KeyKind::Other};
        }
        if (byte >= 0x40 && byte <= 0x7E) {
            for (const ArrowKey& arrow : kArrowKeys) {
                if (arrow.final == byte) {
                    return {arrow.kind};
                }
            }
            return {KeyKind::Other};
        }
    }
}

Key KeyReader::next() {
    int byte = readByte(-1);
    if (byte == kEnd) {
        return {KeyKind::End};
    }
    for (const ControlByte& control : kControlBytes) {
        if (control.byte == byte) {
            return control.kind == KeyKind::Escape ? escapeSequence() : Key{control.kind};
        }
    }
    if (byte < 0x20) {
        return {KeyKind::Other};
    }
    return {KeyKind::Char, static_cast<char>(byte)};
}

/* ---- Line editing ---- */

LineEditor::LineEditor(std::string initial, size_t limit, bool hidden, bool digitsOnly)
    : text_(std::move(initial)), limit_(limit), hidden_(hidden), digitsOnly_(digitsOnly) {}

std::string LineEditor::shown() const {
    return hidden_ ? std::string(shownLength(text_), '*') : text_;
}

LineEditor::State LineEditor::feed(const Key& key, std::string& echo) {
    switch (key.kind) {
        case KeyKind::Char: {
            bool refused = text_.size() >= limit_ || (digitsOnly_ && (key.ch < '0' || key.ch > '9'));
            if (refused) {
                echo += kBell;
                return State::Editing;
            }
            text_ += key.ch;
            if (!hidden_) {
                echo += key.ch;
            } else if (!isContinuationByte(key.ch)) {
                echo += '*';
            }
            return State::Editing;
        }
        case KeyKind::Backspace:
            if (!text_.empty()) {
                while (!text_.empty() && isContinuationByte(text_.back())) {
                    text_.pop_back();
                }
                if (!text_.empty()) {
                    text_.pop_back();
                }
                echo += "\b \b";
            }
            return State::Editing;
        case KeyKind::ClearLine:
            for (size_t i = shownLength(text_); i > 0; --i) {
                echo += "\b \b";
            }
            text_.clear();
            return State::Editing;
        case KeyKind::Enter:
            return State::Accepted;
        case KeyKind::Escape:
        case KeyKind::Interrupt:
            return State::Abandoned;
        case KeyKind::End:
            return State::InputEnded;
        default:
            return State::Editing;
    }
}

}  // namespace kwuser::form
