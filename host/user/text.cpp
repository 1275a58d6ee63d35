/*
 * text.cpp - the text helpers: CharUpperA, CharLowerA, lstrcmpiA, wsprintfA, and the copy and
 * comparison rules the rest of the layer uses.
 *
 * Case conversion and comparison are ASCII only: other bytes are left alone and compare by their
 * value. wsprintfA writes at most 1024 characters including the NUL, like the Windows function.
 */
#include "text.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "kwuser.h"

namespace kwuser {
namespace {

constexpr int kWsprintfLimit = 1024;

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
char upperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

/* CharUpperA and CharLowerA take either a string or, when the pointer's high word is zero, a
 * single character in its low word, which they convert and answer in the same form. */
template <char (*Convert)(char)>
char* convertInPlace(char* text) {
    if (IS_INTRESOURCE(text)) {
        auto converted = static_cast<unsigned char>(Convert(static_cast<char>(LOWORD(text) & 0xFF)));
        return reinterpret_cast<char*>(static_cast<uintptr_t>(converted));
    }
    for (char* p = text; *p != '\0'; ++p) {
        *p = Convert(*p);
    }
    return text;
}

}  // namespace

int copyTruncated(std::string_view text, char* buffer, int bufferMax) {
    if (buffer == nullptr || bufferMax <= 0) {
        return 0;
    }
    size_t copied = std::min(text.size(), static_cast<size_t>(bufferMax - 1));
    if (copied > 0) {
        std::memcpy(buffer, text.data(), copied);
    }
    buffer[copied] = '\0';
    return static_cast<int>(copied);
}

int compareNoCase(std::string_view a, std::string_view b) {
    size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        auto left = static_cast<unsigned char>(lowerAscii(a[i]));
        auto right = static_cast<unsigned char>(lowerAscii(b[i]));
        if (left != right) {
            return left < right ? -1 : 1;
        }
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && compareNoCase(text.substr(0, prefix.size()), prefix) == 0;
}

}  // namespace kwuser

using namespace kwuser;

KW_EXPORT char* CharUpperA(char* text) {
    return text == nullptr ? nullptr : convertInPlace<upperAscii>(text);
}

KW_EXPORT char* CharLowerA(char* text) {
    return text == nullptr ? nullptr : convertInPlace<lowerAscii>(text);
}

/* A null string compares as an empty one. */
KW_EXPORT int lstrcmpiA(const char* a, const char* b) {
    return compareNoCase(a == nullptr ? "" : a, b == nullptr ? "" : b);
}

KW_EXPORT int wsprintfA(char* buffer, const char* format, ...) {
    if (buffer == nullptr || format == nullptr) {
        return 0;
    }
    va_list arguments;
    va_start(arguments, format);
    int wanted = std::vsnprintf(buffer, kWsprintfLimit, format, arguments);
    va_end(arguments);
    if (wanted < 0) {
        buffer[0] = '\0';
        return 0;
    }
    return std::min(wanted, kWsprintfLimit - 1);
}
