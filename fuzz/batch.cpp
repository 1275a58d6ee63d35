// batch.cpp - fuzzes the batch splitter and the stored-request statement splitter.
//
// Invariants: every statement is non-empty and has no blank at either end; the statements stand
// in the text in order, each a piece of it; cutting short commands off a piece only drops the
// blanks between them, so both splitters give the same non-blank characters in the same order.
#include <cctype>
#include <string>
#include <vector>

#include "check.h"
#include "session/batch.h"

namespace {

bool isBlank(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// Each statement in the text, after the one before it.
void checkPieces(std::string_view text, const std::vector<std::string>& statements) {
    size_t from = 0;
    for (const std::string& s : statements) {
        KW_FUZZ_CHECK(!s.empty() && !isBlank(s.front()) && !isBlank(s.back()));
        const size_t at = text.find(s, from);
        KW_FUZZ_CHECK(at != std::string_view::npos);
        from = at + s.size();
    }
}

std::string nonBlank(const std::vector<std::string>& statements) {
    std::string joined;
    for (const std::string& s : statements) {
        for (char c : s) {
            if (!isBlank(c)) {
                joined += c;
            }
        }
    }
    return joined;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text = kwfuzz::asText(data, size);
    const std::vector<std::string> batch = gw::session::splitBatch(text);
    const std::vector<std::string> statements = gw::session::splitStatements(text);
    checkPieces(text, batch);
    checkPieces(text, statements);
    KW_FUZZ_CHECK(batch.size() >= statements.size());
    KW_FUZZ_CHECK(nonBlank(batch) == nonBlank(statements));
    return 0;
}
