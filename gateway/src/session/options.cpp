// options.cpp - OPTIONCMD decisions.
//
// Serves the session's answer to OPTIONCMD. Each option is described once in kOptions: how its
// value travels (a one-byte flag or choice, or a four-byte number), its default, and which values
// the gateway can honour. Invariant: a Change or Keep decision is only given for a value the
// session then really applies.
#include "options.h"

#include <fmt/format.h>

namespace gw::session {
namespace {

using tds::OptionCommandKind;

constexpr uint8_t kDateFormatMdy = 1;

// How an option's value travels and what the gateway does with it.
struct OptionInfo {
    OptionId id;
    const char* name;
    uint8_t width;  // 1 (flag or choice) or 4 (number)
    bool served;    // the session applies any accepted value; otherwise only `fixed` is accepted
    int32_t fixed;  // the one value in force when the option is not served
    int32_t minimum;
    int32_t maximum;
};

constexpr OptionInfo kOptions[] = {
    {OptionId::TextSize, "TEXTSIZE", 4, true, 0, 0, INT32_MAX},
    {OptionId::RowCount, "ROWCOUNT", 4, false, 0, 0, INT32_MAX},
    {OptionId::DateFormat, "DATEFORMAT", 1, false, kDateFormatMdy, 1, 6},
    {OptionId::Isolation, "ISOLATION", 1, true, 1, 0, 3},
    {OptionId::NoExec, "NOEXEC", 1, true, 0, 0, 1},
    {OptionId::NoCount, "NOCOUNT", 1, true, 0, 0, 1},
    {OptionId::Chained, "CHAINED", 1, true, 0, 0, 1},
    {OptionId::QuotedIdent, "QUOTED_IDENTIFIER", 1, false, 1, 0, 1},
};

const OptionInfo* findOption(uint8_t option) {
    for (const OptionInfo& info : kOptions) {
        if (static_cast<uint8_t>(info.id) == option) {
            return &info;
        }
    }
    return nullptr;
}

// The value in force for a served option.
int32_t currentValue(const OptionInfo& info, const OptionValues& v) {
    switch (info.id) {
        case OptionId::TextSize:
            return v.textSize;
        case OptionId::Isolation:
            return v.isolation;
        case OptionId::NoExec:
            return v.noExec;
        case OptionId::NoCount:
            return v.noCount;
        case OptionId::Chained:
            return v.chained;
        default:
            return info.fixed;
    }
}

// The default a client gets back with the "default" command.
int32_t defaultValue(const OptionInfo& info, const OptionValues& v) {
    if (info.id == OptionId::Chained) {
        return v.chainedFixed;
    }
    if (info.id == OptionId::Isolation) {
        return 1;
    }
    return info.fixed;
}

std::string encode(const OptionInfo& info, int32_t value) {
    std::string out;
    if (info.width == 1) {
        out += static_cast<char>(static_cast<uint8_t>(value));
        return out;
    }
    for (int i = 0; i < 4; ++i) {
        out += static_cast<char>((static_cast<uint32_t>(value) >> (8 * i)) & 0xFF);
    }
    return out;
}

bool decode(const OptionInfo& info, const std::string& argument, int32_t& value) {
    if (argument.size() != info.width) {
        return false;
    }
    uint32_t v = 0;
    for (size_t i = argument.size(); i-- > 0;) {
        v = (v << 8) | static_cast<uint8_t>(argument[i]);
    }
    value = info.width == 1 ? static_cast<int32_t>(v) : static_cast<int32_t>(v);
    return value >= info.minimum && value <= info.maximum;
}

OptionDecision refuse(std::string text) {
    OptionDecision d;
    d.kind = OptionDecision::Kind::Refuse;
    d.refusal = std::move(text);
    return d;
}

// Setting a value: served options change (unless the value is already in force), the others
// accept only their fixed value.
OptionDecision setTo(const OptionInfo& info, int32_t value, const OptionValues& current) {
    OptionDecision d;
    d.option = info.id;
    d.value = value;
    if (info.id == OptionId::Chained && current.chainedFixed && !value) {
        return refuse(
            "CHAINED CANNOT BE TURNED OFF: THIS GATEWAY RUNS EVERY SESSION IN LONG TRANSACTION MODE");
    }
    if (value == currentValue(info, current)) {
        d.kind = OptionDecision::Kind::Keep;
        return d;
    }
    if (!info.served) {
        return refuse(fmt::format("OPTION {} CAN ONLY BE {} ON THIS GATEWAY", info.name, info.fixed));
    }
    d.kind = OptionDecision::Kind::Change;
    return d;
}

// The ANSI behaviour switches and the value each has in DB2, always.
struct FixedSwitch {
    const char* name;
    bool on;
};

constexpr FixedSwitch kFixedSwitches[] = {
    {"ANSI_NULLS", true},
    {"ANSINULL", true},
    {"ANSI_NULL_DFLT_ON", true},
    {"ANSI_PADDING", true},
    {"ANSI_WARNINGS", true},
    {"ARITHABORT", true},
    {"CONCAT_NULL_YIELDS_NULL", true},
    {"CURSOR_CLOSE_ON_COMMIT", true},
};

}  // namespace

OptionDecision decideNamedOption(const std::string& name, bool on, const OptionValues& current) {
    struct Named {
        const char* name;
        OptionId id;
    };
    static const Named kNamed[] = {
        {"CHAINED", OptionId::Chained},
        {"NOCOUNT", OptionId::NoCount},
        {"QUOTED_IDENTIFIER", OptionId::QuotedIdent},
    };
    for (const Named& n : kNamed) {
        if (name == n.name) {
            tds::OptionCommand command;
            command.command = static_cast<uint8_t>(OptionCommandKind::Set);
            command.option = static_cast<uint8_t>(n.id);
            command.argument = std::string(1, on ? '\1' : '\0');
            return decideOption(command, current);
        }
    }
    for (const FixedSwitch& f : kFixedSwitches) {
        if (name == f.name) {
            if (on == f.on) {
                OptionDecision d;
                d.kind = OptionDecision::Kind::Keep;
                return d;
            }
            return refuse(fmt::format("SET {} CAN ONLY BE {} ON THIS GATEWAY", name, f.on ? "ON" : "OFF"));
        }
    }
    OptionDecision d;
    d.kind = OptionDecision::Kind::Unknown;
    d.refusal = fmt::format("UNKNOWN GATEWAY COMMAND: SET {} {}", name, on ? "ON" : "OFF");
    return d;
}

OptionDecision decideOption(const tds::OptionCommand& command, const OptionValues& current) {
    const OptionInfo* info = findOption(command.option);
    if (!info) {
        return refuse(fmt::format("OPTION {} IS NOT SUPPORTED", command.option));
    }
    switch (static_cast<OptionCommandKind>(command.command)) {
        case OptionCommandKind::Set: {
            int32_t value = 0;
            if (!decode(*info, command.argument, value)) {
                return refuse(fmt::format("OPTION {} DOES NOT TAKE THAT VALUE", info->name));
            }
            return setTo(*info, value, current);
        }
        case OptionCommandKind::Default:
            return setTo(*info, defaultValue(*info, current), current);
        case OptionCommandKind::List: {
            OptionDecision d;
            d.kind = OptionDecision::Kind::Report;
            d.option = info->id;
            d.value = currentValue(*info, current);
            d.reply = encode(*info, d.value);
            return d;
        }
        default:
            return refuse(fmt::format("OPTION COMMAND {} IS NOT SUPPORTED", command.command));
    }
}

}  // namespace gw::session
