// input.cpp - the statement splitter.
//
// Serves the shell's reading of every source. It owns the text of the statement being read and
// the lexical state at the end of the last line fed (plain, inside a quoted text or name, inside a
// block comment); the text holds no comment and starts at the first character that is not blank.
#include "input.h"

#include <cctype>

namespace kwsh {

namespace {

std::string trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return "";
    }
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

bool isGo(const std::string& line) {
    const std::string word = trim(line);
    return word.size() == 2 && std::tolower(static_cast<unsigned char>(word[0])) == 'g' &&
           std::tolower(static_cast<unsigned char>(word[1])) == 'o';
}

// The command a backslash starts at `at`, when it is one that ends or edits a statement there:
// "g", "gx" or "e" ("edit") with their words, else nothing.
std::optional<std::string> statementCommand(const std::string& line, size_t at) {
    const std::string rest = trim(line.substr(at + 1));
    const std::string name = rest.substr(0, rest.find_first_of(" \t"));
    if (name == "g" || name == "gx" || name == "e" || name == "edit") {
        return rest;
    }
    return std::nullopt;
}

}  // namespace

bool InputSplitter::open() const {
    return state_ != State::Plain || !trim(text_).empty();
}

void InputSplitter::reset() {
    text_.clear();
    started_ = false;
    state_ = State::Plain;
}

void InputSplitter::complete(std::vector<InputItem>& items) {
    std::string statement = trim(text_);
    text_.clear();
    started_ = false;
    if (!statement.empty()) {
        items.push_back({InputItem::Kind::Statement, std::move(statement), startLine_});
    }
}

std::vector<InputItem> InputSplitter::feed(const std::string& line, int lineNumber) {
    std::vector<InputItem> items;
    if (!open()) {
        text_.clear();
        started_ = false;
        const std::string command = trim(line);
        if (!command.empty() && command[0] == '\\') {
            items.push_back({InputItem::Kind::Command, command.substr(1), lineNumber});
            return items;
        }
    }
    if (state_ == State::Plain && isGo(line)) {
        complete(items);
        return items;
    }
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        const char next = i + 1 < line.size() ? line[i + 1] : '\0';
        switch (state_) {
            case State::Plain:
                if (c == '-' && next == '-') {
                    i = line.size();  // the rest of the line is a comment
                    continue;
                }
                if (c == '/' && next == '*') {
                    state_ = State::BlockComment;
                    text_.push_back(' ');
                    ++i;
                    continue;
                }
                if (c == ';') {
                    complete(items);
                    continue;
                }
                if (c == '\\' && open()) {
                    if (auto command = statementCommand(line, i)) {
                        if (command->front() == 'e') {
                            items.push_back({InputItem::Kind::Command, *command, lineNumber});
                        } else {
                            const size_t before = items.size();
                            complete(items);
                            if (items.size() > before) {
                                items.back().send = *command;
                            }
                        }
                        return items;
                    }
                }
                if (c == '\'') {
                    state_ = State::SingleQuote;
                } else if (c == '"') {
                    state_ = State::DoubleQuote;
                }
                if (!started_ && c != ' ' && c != '\t') {
                    started_ = true;
                    startLine_ = lineNumber;
                }
                text_.push_back(c);
                break;
            case State::SingleQuote:
            case State::DoubleQuote: {
                const char quote = state_ == State::SingleQuote ? '\'' : '"';
                text_.push_back(c);
                if (c == quote && next == quote) {
                    text_.push_back(next);  // a doubled quote stands for itself
                    ++i;
                } else if (c == quote) {
                    state_ = State::Plain;
                }
                break;
            }
            case State::BlockComment:
                if (c == '*' && next == '/') {
                    state_ = State::Plain;
                    ++i;
                }
                break;
        }
    }
    if (state_ != State::BlockComment && !text_.empty()) {
        text_.push_back('\n');
    }
    return items;
}

std::optional<InputItem> InputSplitter::finish() {
    std::vector<InputItem> items;
    state_ = State::Plain;
    complete(items);
    if (items.empty()) {
        return std::nullopt;
    }
    return items.front();
}

}  // namespace kwsh
