// The payload key: the 32-byte Rijndael key of the payload cipher, derived from two constant
// tables that every client and server of the product share.
//
// The key is rebuilt from constant tables on every call and never kept: callers hold it only
// as long as one cipher call needs it. Any thread may call.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace corvane {

using PayloadKey = std::array<uint8_t, 32>;

// The built-in key, with its first min(serverCode.size(), 16) bytes XORed with the server
// code's bytes. The server code is the clear text (a scrambled code must be unscrambled
// first); an empty one gives the built-in key.
[[nodiscard]] PayloadKey BuildPayloadKey(std::string_view serverCode = {});

}  // namespace corvane
