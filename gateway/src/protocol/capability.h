// capability.h - the capabilities the gateway agrees to at login.
//
// A TDS 5.0 client lists in its login the requests it would like to send and the kinds of answer
// it would rather not receive; the server answers with the part of each list it really serves.
// answerCapabilities() computes that answer from one table of every capability bit, so the
// gateway never claims a request it refuses or promises to avoid an answer it sends.
#pragma once

#include <string>
#include <string_view>

namespace gw::tds {

// The body of the CAPABILITY token that answers the client's `requested` body (the bytes after
// the token byte and its length). Each block keeps the client's type and mask length; a bit is
// set only when the client set it and the gateway serves it. Blocks of unknown types are
// answered with every bit clear.
std::string answerCapabilities(std::string_view requested);

// Whether the gateway serves capability bit `bit` of block `type` (1: requests, 2: answers).
bool servesCapability(int type, int bit);

}  // namespace gw::tds
