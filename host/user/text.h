/*
 * text.h - the text rules the whole USER layer shares.
 */
#ifndef KWUSER_TEXT_H
#define KWUSER_TEXT_H

#include <string_view>

namespace kwuser {

/* Windows' truncation rule for every text a caller asks for: at most bufferMax - 1 characters
 * and a NUL. Answers the number of characters copied; writes nothing when bufferMax <= 0. */
int copyTruncated(std::string_view text, char* buffer, int bufferMax);

/* Case-insensitive (ASCII) three-way comparison: -1, 0 or 1. Letters fold to lower case, so
 * '_' sorts before the letters as it does in Windows' list boxes. */
int compareNoCase(std::string_view a, std::string_view b);
bool startsWithNoCase(std::string_view text, std::string_view prefix);

}  // namespace kwuser

#endif
