// dg21002.cpp - fuzzes the reading of the gateway's messages: the return code of a DG21002 text,
// and the collection of a queue of messages of the numbers the gateway sends.
//
// Invariants: the readable return code fits its buffer exactly and its value is the number its
// digits give; collecting empties the queue but for the record it answers (and the message a
// 21001 took the place of), and the report fits the block's message; nothing is left allocated.
#include <cstring>
#include <memory>
#include <string>

#include "driver_block.h"

namespace {

const char kDg21002[] = "DG21002: Result failed.  Database server error code ";

// The return code read from the text, into a heap buffer of exactly its size.
void checkReturnCode(const std::string& text) {
    auto out = std::make_unique<char[]>(TDX_RETURN_CODE_BUFFER);
    std::memset(out.get(), 'x', TDX_RETURN_CODE_BUFFER);
    const int32_t value = TDX_ParseGatewayReturnCode(text.c_str(), out.get());
    if (std::strncmp(text.c_str(), kDg21002, sizeof kDg21002 - 1) != 0) {
        KW_FUZZ_CHECK(value == 0);
        return;
    }
    const size_t length = strnlen(out.get(), TDX_RETURN_CODE_BUFFER);
    KW_FUZZ_CHECK(length < TDX_RETURN_CODE_BUFFER);
    // The code is the run of digits and signs at the end of the readable text.
    const char* end = out.get() + length;
    const char* run = end;
    while (run > out.get() &&
           (std::isdigit(static_cast<unsigned char>(run[-1])) || run[-1] == '-' || run[-1] == '+')) {
        --run;
    }
    KW_FUZZ_CHECK(end - run <= 11);
    KW_FUZZ_CHECK(value == static_cast<int32_t>(std::strtol(run, nullptr, 10)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kwfuzz::InputReader in(data, size);
    checkReturnCode(kDg21002 + kwfuzz::cText(in.rest()));
    checkReturnCode(kwfuzz::cText(in.rest()));

    // A queue of up to eight messages: a number chosen from the gateway's, a severity, a text.
    static const int32_t kNumbers[] = {21002, 21000, 21001, 23103, 23110, 4002, 10003, 5703, 50000, 20018};
    kwfuzz::Block b;
    b.block.dbproc = nullptr;
    kwdbt_registerConnection(&b.block);
    // A 21001 that follows another message takes its place and leaves that one queued.
    int32_t leftQueued = 0;
    for (int n = 0; n < 8 && !in.empty(); ++n) {
        const int32_t number = kNumbers[in.byte() % std::size(kNumbers)];
        leftQueued += number == 21001 && n > 0 ? 1 : 0;
        const int32_t severity = in.byte() % 20;
        std::string text = kwfuzz::cText(in.piece('\x01'));
        if (number == 21002 && severity % 2 == 0) {
            text = kDg21002 + text;
        }
        kwhost_queueMessage(b.block.dbproc, KW_MESSAGE_SERVER, number, severity, text.c_str());
    }
    TDX_ReportFailure(&b.block);
    KW_FUZZ_CHECK(kwhost_queuedMessageCount(b.block.dbproc) <= leftQueued);
    KW_FUZZ_CHECK(strnlen(b.block.message, sizeof b.block.message) < sizeof b.block.message);
    TDX_DiscardServerMessages(&b.block);
    KW_FUZZ_CHECK(kwhost_queuedMessageCount(b.block.dbproc) == 0);
    kwdbt_unregisterConnection(&b.block);
    return 0;
}
