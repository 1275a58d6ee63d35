// options.h - the server options a client sets or asks for with OPTIONCMD (ct_options).
//
// decideOption() reads one option command against the session's current values and says what to
// do: change a value, report one, or refuse. Options the gateway serves change what it does
// (chained transactions are long-transaction mode, text size cuts TEXT values, no count drops
// row counts, isolation sets PostgreSQL's, no exec describes only); options whose DB2 behaviour
// is fixed (quoted identifiers on, row count 0, month-day-year dates) accept only that value; every
// other option is refused, so the client never believes in a setting that has no effect.
#pragma once

#include <cstdint>
#include <string>

#include "protocol/tokens.h"

namespace gw::session {

// Option numbers of OPTIONCMD.
enum class OptionId : uint8_t {
    TextSize = 2,
    RowCount = 5,
    DateFormat = 7,
    Isolation = 8,
    NoExec = 14,
    NoCount = 21,
    Chained = 25,
    QuotedIdent = 35,
};

// The values of the served options as the session holds them.
struct OptionValues {
    bool chained = false;       // long-transaction mode is in force
    bool chainedFixed = false;  // the gateway runs every session in it (--long-trans always)
    int32_t textSize = 0;       // 0: TEXT is not cut
    bool noCount = false;
    bool noExec = false;
    uint8_t isolation = 1;  // 0 to 3
};

struct OptionDecision {
    enum class Kind {
        Change,   // set `option` to `value`
        Keep,     // accepted, nothing changes (the value asked is the one in force)
        Report,   // answer the query with `reply`, the value's bytes
        Refuse,   // answer `refusal`
        Unknown,  // `set <name> on|off` names no option the gateway knows (`refusal` says so)
    };
    Kind kind = Kind::Refuse;
    OptionId option = OptionId::TextSize;
    int32_t value = 0;
    std::string reply;
    std::string refusal;  // upper-case text for the client
};

OptionDecision decideOption(const tds::OptionCommand& command, const OptionValues& current);

// `set <name> on|off` (name in upper case) as T-SQL clients send it at connect: the options above
// by their SET names decide as their OPTIONCMD does; the ANSI behaviour switches accept only the
// value that is DB2's behaviour (NULL comparisons unknown, NULL concatenation NULL, arithmetic
// errors end the statement, columns nullable unless declared NOT NULL, VARCHAR keeps trailing
// blanks, commit closes cursors); anything else is Unknown.
OptionDecision decideNamedOption(const std::string& name, bool on, const OptionValues& current);

}  // namespace gw::session
