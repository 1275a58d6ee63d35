// line_ends.cpp - fuzzes the line-end normalisation with answers of exactly the announced size
// and with smaller ones.
//
// Invariants: the announced size is the text's length with every line ended by CR LF, plus one;
// the text written is exactly that (compared with a plain reading of the rule: lines end at each
// CR, a CR LF counting once, and where no CR is left at each LF); a smaller answer gets whole
// lines only and nothing past its end.
#include <cstring>
#include <memory>
#include <string>

#include "driver_block.h"

namespace {

std::string expectedText(std::string_view text) {
    std::string out;
    size_t lastCr = text.rfind('\r');
    size_t lineStart = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool crBreak = text[i] == '\r';
        const bool lfBreak = text[i] == '\n' && (lastCr == std::string_view::npos || i > lastCr);
        if (crBreak || lfBreak) {
            out.append(text.substr(lineStart, i - lineStart)).append("\r\n");
            if (crBreak && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
            lineStart = i + 1;
        }
    }
    if (lineStart < text.size()) {
        out.append(text.substr(lineStart)).append("\r\n");
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kwfuzz::InputReader in(data, size);
    const uint8_t shrink = in.byte();
    const std::string text = kwfuzz::cText(in.rest());
    const std::string expected = expectedText(text);
    const size_t announced = TDX_NormalizedSize(text.c_str());
    KW_FUZZ_CHECK(announced == expected.size() + 1);

    auto out = std::make_unique<char[]>(announced);
    KW_FUZZ_CHECK(TDX_NormalizeLineEnds(text.c_str(), out.get(), announced) == expected.size());
    KW_FUZZ_CHECK(expected == out.get());

    const size_t smaller = announced > shrink ? announced - shrink : 0;
    auto part = std::make_unique<char[]>(smaller + 1);
    std::memset(part.get(), 'x', smaller + 1);
    const size_t written = TDX_NormalizeLineEnds(text.c_str(), part.get(), smaller);
    KW_FUZZ_CHECK(part[smaller] == 'x');
    if (smaller > 0) {
        KW_FUZZ_CHECK(written < smaller && std::strlen(part.get()) == written);
        KW_FUZZ_CHECK(expected.compare(0, written, part.get()) == 0);
        KW_FUZZ_CHECK(written == 0 || expected.compare(written - 2, 2, "\r\n") == 0);
    }
    return 0;
}
