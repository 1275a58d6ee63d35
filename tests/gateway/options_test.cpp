// options_test.cpp - what the session does with each OPTIONCMD: the options it serves change, the
// ones whose value is fixed accept only that value, queries report the value in force, and the
// rest are refused.
#include "session/options.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

using gw::session::decideOption;
using gw::session::OptionDecision;
using gw::session::OptionValues;
using D = OptionDecision::Kind;

constexpr uint8_t kSet = 1, kDefault = 2, kList = 3;
constexpr uint8_t kTextSize = 2, kRowCount = 5, kDateFormat = 7, kIsolation = 8, kNoCount = 21, kChained = 25,
                  kQuotedIdent = 35, kAnsiNull = 34;

std::string flag(int v) {
    return std::string(1, static_cast<char>(v));
}

std::string int4(uint32_t v) {
    return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8 & 0xFF),
                       static_cast<char>(v >> 16 & 0xFF), static_cast<char>(v >> 24)};
}

TEST(Options, ServedOnesChangeFixedOnesKeepTheirOneValueAndTheRestAreRefused) {
    OptionValues current;
    current.textSize = 100;
    OptionValues always = current;
    always.chained = true;
    always.chainedFixed = true;
    // The claim, the values in force, command, option, argument, then the decision and its value.
    const std::tuple<const char*, OptionValues, uint8_t, uint8_t, std::string, D, int32_t> cases[] = {
        {"chained on switches long transactions on", current, kSet, kChained, flag(1), D::Change, 1},
        {"chained off when it is off changes nothing", current, kSet, kChained, flag(0), D::Keep, 0},
        {"chained off where every session is chained", always, kSet, kChained, flag(0), D::Refuse, 0},
        {"chained back to its default where always on", always, kDefault, kChained, "", D::Keep, 1},
        {"text size takes a 4-byte number", current, kSet, kTextSize, int4(65536), D::Change, 65536},
        {"text size back to its default of no limit", current, kDefault, kTextSize, "", D::Change, 0},
        {"text size with a 1-byte argument", current, kSet, kTextSize, flag(1), D::Refuse, 0},
        {"no count on", current, kSet, kNoCount, flag(1), D::Change, 1},
        {"isolation level 3", current, kSet, kIsolation, flag(3), D::Change, 3},
        {"isolation level 4 does not exist", current, kSet, kIsolation, flag(4), D::Refuse, 0},
        {"quoted identifiers on, as DB2 always reads them", current, kSet, kQuotedIdent, flag(1), D::Keep, 1},
        {"quoted identifiers off", current, kSet, kQuotedIdent, flag(0), D::Refuse, 0},
        {"row count 0: every row", current, kSet, kRowCount, int4(0), D::Keep, 0},
        {"row count 10", current, kSet, kRowCount, int4(10), D::Refuse, 0},
        {"date format month-day-year", current, kSet, kDateFormat, flag(1), D::Keep, 1},
        {"date format day-month-year", current, kSet, kDateFormat, flag(2), D::Refuse, 0},
        {"an option the gateway does not know", current, kSet, kAnsiNull, flag(1), D::Refuse, 0},
        {"an option command that is not set, default or list", current, 4, kNoCount, flag(1), D::Refuse, 0},
    };
    for (const auto& [claim, values, command, option, argument, kind, value] : cases) {
        const OptionDecision d = decideOption(gw::tds::OptionCommand{command, option, argument}, values);
        EXPECT_EQ(d.kind, kind) << claim;
        if (kind == D::Change || kind == D::Keep) {
            EXPECT_EQ(d.value, value) << claim;
        } else {
            EXPECT_FALSE(d.refusal.empty()) << claim;
        }
    }
}

TEST(Options, AQueryIsAnsweredWithTheValueInForceInTheOptionsOwnWidth) {
    OptionValues v;
    v.textSize = 4096;
    v.chained = true;
    v.isolation = 2;
    const std::tuple<uint8_t, std::string> cases[] = {
        {kTextSize, int4(4096)}, {kChained, flag(1)},    {kNoCount, flag(0)},     {kIsolation, flag(2)},
        {kRowCount, int4(0)},    {kDateFormat, flag(1)}, {kQuotedIdent, flag(1)},
    };
    for (const auto& [option, reply] : cases) {
        const OptionDecision d = decideOption(gw::tds::OptionCommand{kList, option, ""}, v);
        EXPECT_EQ(d.kind, D::Report) << int(option);
        EXPECT_EQ(d.reply, reply) << int(option);
    }
    EXPECT_EQ(decideOption(gw::tds::OptionCommand{kList, kAnsiNull, ""}, v).kind, D::Refuse);
}

// `set <name> on|off` from T-SQL clients: options with an OPTIONCMD number decide as that command
// does; ANSI switches accept only DB2's behaviour; other names are unknown.
TEST(NamedOptions, DecideAsTheirOptionOrAcceptOnlyDb2sBehaviour) {
    OptionValues current;
    OptionValues always;
    always.chained = true;
    always.chainedFixed = true;
    const std::tuple<const char*, OptionValues, bool, D> cases[] = {
        {"CHAINED", current, true, D::Change},
        {"CHAINED", always, false, D::Refuse},
        {"NOCOUNT", current, false, D::Keep},
        {"QUOTED_IDENTIFIER", current, true, D::Keep},
        {"QUOTED_IDENTIFIER", current, false, D::Refuse},
        // What pymssql sends at connect: each is how DB2 behaves anyway.
        {"ARITHABORT", current, true, D::Keep},
        {"CONCAT_NULL_YIELDS_NULL", current, true, D::Keep},
        {"ANSI_NULLS", current, true, D::Keep},
        {"ANSI_NULL_DFLT_ON", current, true, D::Keep},
        {"ANSI_PADDING", current, true, D::Keep},
        {"ANSI_WARNINGS", current, true, D::Keep},
        {"CURSOR_CLOSE_ON_COMMIT", current, true, D::Keep},
        // The other way round DB2 cannot behave.
        {"ANSI_NULLS", current, false, D::Refuse},
        {"ANSINULL", current, false, D::Refuse},
        {"CONCAT_NULL_YIELDS_NULL", current, false, D::Refuse},
        {"FORCEPLAN", current, true, D::Unknown},
        {"ansi_nulls", current, true, D::Unknown},  // the session passes names in upper case
    };
    for (const auto& [name, values, on, kind] : cases) {
        OptionDecision d = gw::session::decideNamedOption(name, on, values);
        EXPECT_EQ(d.kind, kind) << name << (on ? " on" : " off");
        if (kind == D::Refuse || kind == D::Unknown) {
            EXPECT_FALSE(d.refusal.empty()) << name;
        }
    }
    OptionDecision chained = gw::session::decideNamedOption("CHAINED", true, current);
    EXPECT_EQ(chained.option, gw::session::OptionId::Chained);
    EXPECT_EQ(chained.value, 1);
    EXPECT_EQ(gw::session::decideNamedOption("ANSI_WARNINGS", false, current).refusal,
              "SET ANSI_WARNINGS CAN ONLY BE ON ON THIS GATEWAY");
}

}  // namespace
