// execute.cpp - fuzzes the EXECUTE rewrite into USE PROCEDURE form, with buffers of exactly the
// size the driver takes for it and with smaller ones.
//
// Invariants: nothing is written past the buffer; a buffer that is too small gets an empty text;
// a text that is no EXECUTE statement comes out as it went in (leading line space dropped); an
// EXECUTE statement comes out as USE PROCEDURE and the rest of the text character for character,
// where only an @ may become an &.
#include <cstring>
#include <memory>
#include <string>

#include "driver_block.h"

namespace {

const char kUse[] = "USE PROCEDURE ";

void rewrite(RequestBlock* block, const std::string& text, size_t outSize) {
    auto out = std::make_unique<char[]>(outSize + 1);  // one guard byte after the buffer
    std::memset(out.get(), 'x', outSize + 1);
    TDX_RewriteExecute(block, text.c_str(), out.get(), outSize);
    KW_FUZZ_CHECK(out[outSize] == 'x');
    if (outSize == 0) {
        return;
    }
    const size_t length = strnlen(out.get(), outSize);
    KW_FUZZ_CHECK(length < outSize);
    std::string_view source = text;
    source.remove_prefix(std::min(source.find_first_not_of(" \t\r\n"), source.size()));
    std::string_view result(out.get(), length);
    if (result.empty() && !source.empty()) {
        KW_FUZZ_CHECK(outSize < source.size() + 8);  // refused for want of room only
        return;
    }
    if (!TDX_IsExecuteStatement(text.c_str())) {
        KW_FUZZ_CHECK(result == source);
        return;
    }
    KW_FUZZ_CHECK(result.substr(0, sizeof kUse - 1) == kUse);
    std::string_view args = result.substr(sizeof kUse - 1);
    std::string_view original = source.substr(8);
    KW_FUZZ_CHECK(args.size() == original.size());
    for (size_t i = 0; i < args.size(); ++i) {
        KW_FUZZ_CHECK(args[i] == original[i] || (original[i] == '@' && args[i] == '&'));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kwfuzz::InputReader in(data, size);
    const uint8_t shrink = in.byte();
    const std::string text = kwfuzz::cText(in.rest());
    kwfuzz::Block b;
    const size_t full = TDX_RewrittenSize(text.c_str());
    rewrite(&b.block, text, full);
    rewrite(&b.block, text, full > shrink ? full - shrink : 0);
    return 0;
}
