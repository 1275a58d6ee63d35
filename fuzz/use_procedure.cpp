// use_procedure.cpp - fuzzes the USE PROCEDURE cleaner, on texts as they come and on EXECUTE
// statements after their rewrite (the order the driver runs them in).
//
// Invariants: the text keeps its length; a character the cleaner changes becomes a blank; from
// the first & on (the first parameter) nothing changes; what stays is the procedure name and the
// arguments, so a text with no owner point and no semicolon is left as it is.
#include <cstring>
#include <memory>
#include <string>

#include "driver_block.h"

namespace {

void clean(const std::string& text) {
    auto work = std::make_unique<char[]>(text.size() + 1);
    std::memcpy(work.get(), text.c_str(), text.size() + 1);
    TDX_CleanUseProcedure(work.get());
    KW_FUZZ_CHECK(std::strlen(work.get()) == text.size());
    const size_t firstParameter = text.find('&');
    for (size_t i = 0; i < text.size(); ++i) {
        if (work[i] != text[i]) {
            KW_FUZZ_CHECK(work[i] == ' ');
            KW_FUZZ_CHECK(firstParameter == std::string::npos || i < firstParameter);
        }
    }
    if (text.find('.') == std::string::npos && text.find(';') == std::string::npos) {
        KW_FUZZ_CHECK(text == work.get());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text = kwfuzz::cText(kwfuzz::asText(data, size));
    clean(text);
    kwfuzz::Block b;
    const size_t rewrittenSize = TDX_RewrittenSize(text.c_str());
    auto rewritten = std::make_unique<char[]>(rewrittenSize);
    std::memset(rewritten.get(), 0, rewrittenSize);
    TDX_RewriteExecute(&b.block, text.c_str(), rewritten.get(), rewrittenSize);
    clean(rewritten.get());
    return 0;
}
