// variables.cpp - the shell's variables and their interpolation into statements and commands.
//
// Serves the shell. It owns the name-to-value map. Interpolation walks the text once, keeping
// track of quoted texts and names, and copies everything it does not replace byte for byte.
#include "variables.h"

#include <algorithm>
#include <cctype>

namespace kwsh {

namespace {

bool isNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

}  // namespace

bool isVariableName(const std::string& name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), isNameChar);
}

bool Variables::set(const std::string& name, const std::string& value) {
    if (!isVariableName(name)) {
        return false;
    }
    values_[name] = value;
    return true;
}

void Variables::unset(const std::string& name) {
    values_.erase(name);
}

std::optional<std::string> Variables::get(const std::string& name) const {
    const auto found = values_.find(name);
    if (found == values_.end()) {
        return std::nullopt;
    }
    return found->second;
}

std::string quoted(const std::string& text, char quote) {
    std::string out(1, quote);
    for (const char c : text) {
        out += c;
        if (c == quote) {
            out += c;
        }
    }
    return out + quote;
}

std::string Variables::interpolate(const std::string& text) const {
    std::string out;
    char quote = '\0';
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quote != '\0') {
            out += c;
            if (c == quote) {
                quote = '\0';  // a doubled quote closes and opens again: the same text
            }
            continue;
        }
        if (c == '\'' || c == '"') {
            quote = c;
            out += c;
            continue;
        }
        if (c != ':') {
            out += c;
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == ':') {
            out += "::";  // a cast, not a variable
            ++i;
            continue;
        }
        // :'NAME' or :"NAME"
        if (i + 1 < text.size() && (text[i + 1] == '\'' || text[i + 1] == '"')) {
            const char q = text[i + 1];
            const size_t close = text.find(q, i + 2);
            if (close != std::string::npos) {
                const std::string name = text.substr(i + 2, close - i - 2);
                if (const auto value = isVariableName(name) ? get(name) : std::nullopt) {
                    out += quoted(*value, q);
                    i = close;
                    continue;
                }
            }
            out += c;
            continue;
        }
        size_t end = i + 1;
        while (end < text.size() && isNameChar(text[end])) {
            ++end;
        }
        const auto value = end > i + 1 ? get(text.substr(i + 1, end - i - 1)) : std::nullopt;
        if (value) {
            out += *value;
            i = end - 1;
        } else {
            out += c;
        }
    }
    return out;
}

std::optional<bool> parseBoolean(const std::string& value) {
    std::string v;
    for (const char c : value) {
        v += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (v.empty()) {
        return std::nullopt;
    }
    const auto prefixOf = [&v](const char* word, size_t least) {
        const std::string w = word;
        return v.size() >= least && v.size() <= w.size() && w.compare(0, v.size(), v) == 0;
    };
    if (v == "1" || prefixOf("true", 1) || prefixOf("yes", 1) || prefixOf("on", 2)) {
        return true;
    }
    if (v == "0" || prefixOf("false", 1) || prefixOf("no", 1) || prefixOf("off", 2)) {
        return false;
    }
    return std::nullopt;
}

}  // namespace kwsh
