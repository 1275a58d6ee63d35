// dialect.cpp - fuzzes the DB2-to-PostgreSQL rewriter with whole statements and an authorization
// id taken from the input.
//
// Invariants: translation never fails with a system error (an exception other than a refusal
// escaped a rewriter); a refusal has a negative SQLCODE and a text; the name mapping is its own
// inverse.
#include <string>

#include "check.h"
#include "dialect.h"
#include "lexer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kwfuzz::InputReader in(data, size);
    gw::dialect::Context context;
    context.authId = gw::dialect::upperAscii(in.piece('\n').substr(0, 8));
    std::string_view statement = in.rest();
    const gw::dialect::Plan plan = gw::dialect::translate(statement, context);
    if (plan.error) {
        KW_FUZZ_CHECK(plan.error->message.rfind("UNSUCCESSFUL EXECUTION CAUSED BY A SYSTEM ERROR", 0) != 0);
        KW_FUZZ_CHECK(plan.error->sqlcode < 0 && !plan.error->message.empty());
    }
    KW_FUZZ_CHECK(gw::dialect::db2Name(gw::dialect::pgName(statement)) == statement);
    KW_FUZZ_CHECK(gw::dialect::roleForLogin(statement).size() == statement.size());
    return 0;
}
