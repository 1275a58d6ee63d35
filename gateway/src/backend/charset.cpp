// charset.cpp - the table of character sets the gateway serves.
//
// Serves the login (which set a client gets) and the result describe (how many bytes a character
// column needs). Each row pairs a Sybase character set name with the PostgreSQL encoding that
// holds the same characters; sets PostgreSQL cannot convert to (cp850, cp437, roman8, mac) are
// absent, so a client naming one is refused rather than served wrong bytes.
#include "charset.h"

#include <array>

#include "common/text.h"

namespace gw::backend {
namespace {

constexpr std::array<Charset, 29> kCharsets = {{
    {"utf8", "UTF8", 4},           {"iso_1", "LATIN1", 1},        {"iso15", "LATIN9", 1},
    {"iso88592", "LATIN2", 1},     {"iso88595", "ISO_8859_5", 1}, {"iso88596", "ISO_8859_6", 1},
    {"iso88597", "ISO_8859_7", 1}, {"iso88598", "ISO_8859_8", 1}, {"iso88599", "LATIN5", 1},
    {"cp1250", "WIN1250", 1},      {"cp1251", "WIN1251", 1},      {"cp1252", "WIN1252", 1},
    {"cp1253", "WIN1253", 1},      {"cp1254", "WIN1254", 1},      {"cp1255", "WIN1255", 1},
    {"cp1256", "WIN1256", 1},      {"cp1257", "WIN1257", 1},      {"cp1258", "WIN1258", 1},
    {"cp866", "WIN866", 1},        {"cp874", "WIN874", 1},        {"koi8", "KOI8R", 1},
    {"sjis", "SJIS", 2},           {"eucjis", "EUC_JP", 3},       {"eucgb", "EUC_CN", 3},
    {"eucksc", "EUC_KR", 3},       {"big5", "BIG5", 2},           {"cp936", "GBK", 2},
    {"cp949", "UHC", 2},           {"gb18030", "GB18030", 4},
}};
static_assert(kCharsets.size() == 29, "one row per served character set");

}  // namespace

const Charset* findCharset(std::string_view sybaseName) {
    for (const Charset& c : kCharsets) {
        if (equalsIgnoreCase(c.sybaseName, sybaseName)) {
            return &c;
        }
    }
    return nullptr;
}

std::span<const Charset> allCharsets() {
    return kCharsets;
}

}  // namespace gw::backend
