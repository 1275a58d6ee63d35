// capability.cpp - the table of capability bits and the login's capability answer.
//
// Serves the session's login. kCapabilities lists every bit the gateway sets, with the code that
// makes it true; every bit not listed is answered clear. Request bits (block 1) say what a client
// may send; answer bits (block 2) are "do not send me ..." wishes the gateway keeps because it
// never sends that kind of token or data. Invariant: the answer is never longer than the request
// and never has a bit the request did not have.
#include "capability.h"

#include <cstdint>
#include <iterator>

namespace gw::tds {
namespace {

struct Capability {
    uint8_t type;  // 1 request, 2 answer
    uint8_t bit;   // bit number within its block, as the TDS 5.0 capability masks count them
    const char* name;
};

// Bits left clear on purpose: requests for events, bulk copy, cursors, MSG, the parameter data
// types the gateway does not decode (BITN, unsigned integers, VOID, the big date-times), DATE and
// TIME (decoded, but FreeTDS ODBC 1.3.17 would then send date and time parameters as DATE and
// TIME, which its own value conversion cannot produce: it stops on an assertion), column status
// bytes in PARAMS answers, DBRPC2; answer wishes for things the gateway does send: EED,
// parameters (output parameters of a call, a prepared statement's parameter formats), CHAR,
// VARCHAR, LONGCHAR, TEXT, INTN 2 and 4, FLTN 8, in-band attention acknowledgements, the wide row
// format, labels longer than 30 bytes, the granted packet size.
constexpr Capability kCapabilities[] = {
    // Requests the gateway serves.
    {1, 1, "LANG"},        // LANGUAGE tokens: Session::answerBatch
    {1, 2, "RPC"},         // DBRPC calls: Session::answerRpc
    {1, 4, "MSTMT"},       // several statements in one language request: splitBatch
    {1, 7, "DYNF"},        // dynamic SQL: Session::answerDynamic
    {1, 9, "PARAM"},       // PARAMFMT / PARAMS after LANGUAGE, DYNAMIC and DBRPC: parseParams
    {1, 10, "DATA_INT1"},  // parameter values of these data types: kParamTypes in dynamic.cpp
    {1, 11, "DATA_INT2"},
    {1, 12, "DATA_INT4"},
    {1, 13, "DATA_BIT"},
    {1, 14, "DATA_CHAR"},
    {1, 15, "DATA_VCHAR"},
    {1, 16, "DATA_BIN"},
    {1, 17, "DATA_VBIN"},
    {1, 18, "DATA_MNY8"},
    {1, 19, "DATA_MNY4"},
    {1, 20, "DATA_DATE8"},
    {1, 21, "DATA_DATE4"},
    {1, 22, "DATA_FLT4"},
    {1, 23, "DATA_FLT8"},
    {1, 24, "DATA_NUM"},
    {1, 25, "DATA_TEXT"},
    {1, 26, "DATA_IMAGE"},
    {1, 27, "DATA_DEC"},
    {1, 28, "DATA_LCHAR"},
    {1, 29, "DATA_LBIN"},
    {1, 30, "DATA_INTN"},
    {1, 31, "DATA_DATETIMEN"},
    {1, 32, "DATA_MONEYN"},
    {1, 40, "CON_INBAND"},     // attention as a packet on the same socket: ClientConnection::readNext
    {1, 47, "PROTO_DYNAMIC"},  // the DYNAMIC tokens: parseDynamic
    {1, 48, "PROTO_DYNPROC"},  // a prepare as "create proc id as ...": unwrapProcedure
    {1, 49, "DATA_FLTN"},
    {1, 51, "DATA_INT8"},
    {1, 59, "WIDETABLE"},   // the wide row format when the ordinary one is too long: writeRowFormat
    {1, 79, "SRVPKTSIZE"},  // the packet size the server grants: Session::login's ENVCHANGE
    // Answers the gateway never sends, so a client's wish not to receive them is kept.
    {2, 1, "NOMSG"},                // no MSG tokens: messages go out as EED
    {2, 4, "DATA_NOINT1"},          // integers go out as INTN 2 or 4 only (writeRow)
    {2, 7, "DATA_NOBIT"},           // no BIT columns
    {2, 10, "DATA_NOBIN"},          // no BINARY columns
    {2, 11, "DATA_NOVBIN"},         // no VARBINARY columns
    {2, 12, "DATA_NOMNY8"},         // no MONEY columns
    {2, 13, "DATA_NOMNY4"},         // no SMALLMONEY columns
    {2, 14, "DATA_NODATE8"},        // no DATETIME columns: dates go out as CHAR
    {2, 15, "DATA_NODATE4"},        // no SMALLDATETIME columns
    {2, 16, "DATA_NOFLT4"},         // floats go out as FLTN 8 only
    {2, 18, "DATA_NONUM"},          // no NUMERIC columns: decimals go out as CHAR
    {2, 20, "DATA_NOIMAGE"},        // no IMAGE columns
    {2, 21, "DATA_NODEC"},          // no DECIMAL columns
    {2, 23, "DATA_NOLBIN"},         // no LONGBINARY columns
    {2, 25, "DATA_NODATETIMEN"},    // no DATETIMN columns
    {2, 26, "DATA_NOMONEYN"},       // no MONEYN columns
    {2, 27, "CON_NOOOB"},           // no out-of-band data
    {2, 29, "PROTO_NOTEXT"},        // no text or image through the text protocol
    {2, 30, "PROTO_NOBULK"},        // no bulk copy
    {2, 31, "DATA_NOSENSITIVITY"},  // no security labels
    {2, 32, "DATA_NOBOUNDARY"},     // no security boundaries
    {2, 33, "NOTDSDEBUG"},          // no TDS debug tokens
    {2, 35, "DATA_NOINT8"},         // no 8-byte integers
    {2, 36, "OBJECT_NOJAVA1"},      // no Java objects
    {2, 37, "OBJECT_NOCHAR"},       // no character objects
    {2, 39, "OBJECT_NOBINARY"},     // no binary objects
    {2, 41, "DATA_NOUINT2"},        // no unsigned integers
    {2, 42, "DATA_NOUINT4"},
    {2, 43, "DATA_NOUINT8"},
    {2, 44, "DATA_NOUINTN"},
    {2, 46, "DATA_NONLBIN"},     // no national binary
    {2, 48, "BLOB_NONCHAR_16"},  // no large objects of any kind
    {2, 49, "BLOB_NONCHAR_8"},
    {2, 50, "BLOB_NONCHAR_SCSU"},
    {2, 51, "DATA_NODATE"},      // no DATE columns: dates go out as CHAR
    {2, 52, "DATA_NOTIME"},      // no TIME columns
    {2, 53, "DATA_NOINTERVAL"},  // no intervals
    {2, 54, "DATA_NOUNITEXT"},   // no UNITEXT
    {2, 55, "DATA_NOSINT1"},     // no signed tiny integers
    {2, 57, "NO_BLOB_NCHAR_16"},
    {2, 59, "DATA_NOXML"},  // no XML
};

// Each bit once, in block and bit order, so that a bit added twice or in the wrong block shows.
constexpr bool inOrder() {
    for (size_t i = 1; i < std::size(kCapabilities); ++i) {
        const Capability& a = kCapabilities[i - 1];
        const Capability& b = kCapabilities[i];
        if (a.type > b.type || (a.type == b.type && a.bit >= b.bit)) {
            return false;
        }
    }
    return true;
}
static_assert(inOrder(), "kCapabilities lists each bit once, in block and bit order");

bool bitSet(std::string_view mask, int bit) {
    size_t byte = static_cast<size_t>(bit / 8);
    return byte < mask.size() && (static_cast<uint8_t>(mask[mask.size() - 1 - byte]) >> (bit % 8)) & 1;
}

void setBit(std::string& mask, int bit) {
    size_t byte = static_cast<size_t>(bit / 8);
    if (byte < mask.size()) {
        mask[mask.size() - 1 - byte] =
            static_cast<char>(static_cast<uint8_t>(mask[mask.size() - 1 - byte]) | (1u << (bit % 8)));
    }
}

}  // namespace

bool servesCapability(int type, int bit) {
    for (const Capability& c : kCapabilities) {
        if (c.type == type && c.bit == bit) {
            return true;
        }
    }
    return false;
}

std::string answerCapabilities(std::string_view requested) {
    std::string out;
    size_t at = 0;
    while (at + 2 <= requested.size()) {
        uint8_t type = static_cast<uint8_t>(requested[at]);
        size_t length = static_cast<uint8_t>(requested[at + 1]);
        std::string_view mask = requested.substr(at + 2, length);
        std::string answer(mask.size(), '\0');
        for (const Capability& c : kCapabilities) {
            if (c.type == type && bitSet(mask, c.bit)) {
                setBit(answer, c.bit);
            }
        }
        out += static_cast<char>(type);
        out += static_cast<char>(answer.size());
        out += answer;
        at += 2 + length;
    }
    return out;
}

}  // namespace gw::tds
