// The server end of the login exchange: answering the client's information block and its
// init message. The test server and the tests use it, so that both ends of the exchange
// are built from the same wire layouts.
//
// One connection per caller; not synchronised.
#pragma once

#include <cstdint>
#include <string_view>

#include "protocol/info_block.h"
#include "protocol/stream_connection.h"

namespace corvane {

// What the server end puts into its answering information block.
struct InfoAnswer {
    int32_t status = 0;
    InfoGeometry geometry{1024, 768, 24, 32, 4};
    int32_t sessionId = 100;  // 100: the geometry describes the session the server chose
    int32_t serverVariantFlag = 0;
    int version = 900;
    int protocolVersion = 100;
    int32_t blockMagic = kInfoBlockMagic;  // anything else makes the client read status 8
};

// Sends a fresh block built from `answer`. 0 on success; negative when it was not written.
[[nodiscard]] int SendInfoAnswer(StreamConnection& stream, int socket, std::string_view serverCode,
                                 const InfoAnswer& answer);

// Reads the client's block into `received` (as the server sees it: a record in wire order
// behind the accessors) and answers with a fresh block built from `answer`.
// 0 on success; negative when the block could not be read or the answer not written.
[[nodiscard]] int AnswerInfoBlock(StreamConnection& stream, int socket, std::string_view serverCode,
                                  const InfoAnswer& answer, InfoBlock& received);

// Reads the client's init message: `initRecord` receives its 424-byte record in host order.
// 0 on success; negative when the stream failed or the message is not an init message.
[[nodiscard]] int ReadInitMessage(StreamConnection& stream, int socket, uint8_t* initRecord);

// Sends the init reply: frame header, record header of type 1001 and the record (host
// order; not changed). The result of the write.
[[nodiscard]] int SendInitReply(StreamConnection& stream, int socket, const uint8_t* initRecord);

}  // namespace corvane
