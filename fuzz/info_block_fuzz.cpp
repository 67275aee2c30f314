// The server's information block of the login through InfoGetFromSocket, then every field the
// login reads of it. The first byte chooses what the rest is:
//   bits 0..1  0, 3: the bytes on the wire as they are (length and stream, scrambled and
//                    enciphered);
//              1:    the zlib stream, which is given its length, scrambled and enciphered here
//                    as a server does, so that the inflate step sees streams the fuzzer chose;
//              2:    the record itself (up to 676 bytes over a fresh block), sent by a server
//                    end with InfoPutToSocket;
//   bit 2      a server code, which changes the payload key.
#include <algorithm>
#include <cstring>

#include "crypto/payload_cipher.h"
#include "crypto/payload_key.h"
#include "fuzz_io.h"
#include "fuzz_support.h"
#include "protocol/info_block.h"
#include "protocol/records.h"
#include "protocol/stream_connection.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    corvane::fuzz::QuietLog();
    if (size < 1) return 0;
    const int mode = data[0] & 0x03;
    const std::string serverCode = (data[0] & 0x04) != 0 ? "ABC" : "";
    data += 1;
    size -= 1;

    corvane::fuzz::SocketPair pair;
    corvane::StreamConnection server(corvane::StreamRole::Server);
    if (mode == 1) {
        corvane::InfoBlock sent;
        const size_t length = std::min(size, static_cast<size_t>(corvane::kInfoMaxStreamLength));
        corvane::PutBE32(sent.Data(), static_cast<uint32_t>(length));
        if (length > 0) std::memcpy(sent.Data() + 4, data, length);
        if (corvane::InfoEncrypt(sent) != static_cast<int>(length)) __builtin_trap();
        (void)corvane::EncipherBlocks(sent.Data() + 4, length, 32,
                                      corvane::BuildPayloadKey(serverCode));
        pair.Send(sent.Data(), 4 + length);
    } else if (mode == 2) {
        corvane::InfoBlock sent;
        std::memcpy(sent.Data(), data, std::min(size, corvane::kInfoBlockSize));
        if (corvane::InfoPutToSocket(server, pair.Server(), sent, serverCode) <= 0)
            __builtin_trap();
    } else {
        pair.Send(data, size);
    }
    pair.EndOfStream();

    corvane::StreamConnection client;
    corvane::InfoBlock block;
    if (corvane::InfoGetFromSocket(client, pair.Client(), block, serverCode) < 0) return 0;
    const corvane::InfoGeometry geometry = block.Geometry();
    volatile int64_t sink = int64_t{block.Status()} + geometry.width + geometry.height +
                            geometry.depth + geometry.bitsPerPixel + geometry.visualClass +
                            block.SessionId() + block.ServerVariantFlag() + block.Version() +
                            block.ProtocolVersion() +
                            static_cast<int64_t>(block.UserName().size() + block.Password().size());
    (void)sink;
    return 0;
}
