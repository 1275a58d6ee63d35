// text.h - the small ASCII text helpers the gateway's layers share.
//
// Case folding and blank trimming for command words, arguments and names. The gateway never calls
// setlocale, so the <cctype> functions work on ASCII here.
#pragma once

#include <cctype>
#include <string>
#include <string_view>

namespace gw {

inline bool isSpace(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

inline std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return out;
}

inline std::string_view trim(std::string_view s) {
    while (!s.empty() && isSpace(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && isSpace(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

inline bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

}  // namespace gw
