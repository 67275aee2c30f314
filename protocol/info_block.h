// Information blocks: the fixed 676-byte record of the login exchange (credentials, screen
// geometry, session id, versions, project and environment texts going out; login status,
// session geometry and the server's versions coming back), and the operations that put one
// on the stream and get one from it.
//
// An InfoBlock owns a 2048-byte buffer. While it holds a record, the record sits at the
// start of the buffer in wire order (numbers big-endian) and the accessors read and write
// one field each. A fresh block is filled with 0xCA and then given the fields every sender
// writes (time, the two magics, the size, default geometry, session id 0, version 0,
// protocol version 1, empty project id and environment); any byte not written keeps the
// fill. The user name and password keep the fill until they are set.
//
// On the wire a block is a 4-byte big-endian length L and L bytes of its zlib stream; the
// length and the stream are XORed with the scrambling key and the stream's whole 32-byte
// blocks are enciphered with the payload key (the connection's server code modifies it).
// InfoPutToSocket turns the buffer into that form in place, so afterwards the buffer no
// longer holds a record; InfoGetFromSocket replaces the buffer with the peer's record. The
// form is the same in both directions, so a server end uses the same two operations.
//
// Not synchronised: one thread at a time uses a block.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

class StreamConnection;

inline constexpr size_t kInfoBlockSize = 676;
inline constexpr size_t kInfoBufferSize = 2048;
// The longest zlib stream that fits in the buffer behind its length.
inline constexpr int kInfoMaxStreamLength = static_cast<int>(kInfoBufferSize) - 4;
inline constexpr int32_t kInfoBlockMagic = 143;
inline constexpr int32_t kInfoSecondMagic = 247;
// What Status() reads when the block magic is not kInfoBlockMagic.
inline constexpr int32_t kInfoBadMagicStatus = 8;
// The longest texts the fields hold with their terminating zero.
inline constexpr size_t kInfoMaxUserName = 31;
inline constexpr size_t kInfoMaxPassword = 63;
inline constexpr size_t kInfoMaxProjectId = 15;
inline constexpr size_t kInfoMaxEnvironment = 511;

struct InfoGeometry {
    int32_t width = 0;
    int32_t height = 0;
    int32_t depth = 0;
    int32_t bitsPerPixel = 0;
    int32_t visualClass = 0;

    friend bool operator==(const InfoGeometry&, const InfoGeometry&) = default;
};

class InfoBlock {
  public:
    InfoBlock();  // a fresh block
    // The buffer may hold a password or its wire form: wiped when the block goes.
    ~InfoBlock();
    InfoBlock(const InfoBlock&) = default;
    InfoBlock& operator=(const InfoBlock&) = default;

    // Zero-terminated texts. A user name over 31 or a password over 63 characters does not
    // fit: the field is left as it was, the refusal is logged, and the result is false.
    [[nodiscard]] bool SetUserName(std::string_view name);
    [[nodiscard]] bool SetPassword(std::string_view password);
    // The texts as the peer wrote them: the field's bytes up to its first zero (the whole
    // field when it holds none). Server ends read the client's credentials with them.
    [[nodiscard]] std::string UserName() const;
    [[nodiscard]] std::string Password() const;

    void SetGeometry(const InfoGeometry& geometry);
    [[nodiscard]] InfoGeometry Geometry() const;

    // 100 coming back: the geometry fields describe the session the server chose.
    void SetSessionId(int32_t sessionId);
    [[nodiscard]] int32_t SessionId() const;

    // Going out: 1 on the attempt that follows a server-variant redirect. Coming back: 2
    // asks the client to reconnect to the other server variant.
    void SetServerVariantFlag(int32_t flag);
    [[nodiscard]] int32_t ServerVariantFlag() const;

    // Versions times 100, 16 bits on the wire (the low 16 bits of the value are kept).
    void SetVersion(int version);
    [[nodiscard]] int Version() const;
    void SetProtocolVersion(int version);  // written by server ends
    [[nodiscard]] int ProtocolVersion() const;

    // The field is cleared, then takes the text cut to its first 15 characters; the accepted
    // text is logged.
    void SetProjectId(std::string_view projectId);
    // The field is cleared, then takes the text cut to its first 511 characters.
    void SetEnvironment(std::string_view environment);

    void SetStatus(int32_t status);  // written by server ends
    // Written only by server ends that answer with a broken block on purpose.
    void SetBlockMagic(int32_t magic);
    // The login status; kInfoBadMagicStatus when the block magic is not kInfoBlockMagic.
    [[nodiscard]] int32_t Status() const;

    // The whole buffer: the record, or the wire form while it is being put or got.
    [[nodiscard]] uint8_t* Data() { return m_buffer.data(); }
    [[nodiscard]] const uint8_t* Data() const { return m_buffer.data(); }

  private:
    std::array<uint8_t, kInfoBufferSize> m_buffer;
};

// The steps of the wire form, each in place on the buffer. A negative result means the
// length in the buffer does not fit it (logged); zlib errors are logged and otherwise go
// unreported, as a block that did not inflate shows as a bad magic.
//
// Deflates the record; the buffer then holds the big-endian length L and the stream.
// Result: L.
[[nodiscard]] int InfoCompress(InfoBlock& block);
// XORs the length and the stream with the scrambling key. Result: L.
[[nodiscard]] int InfoEncrypt(InfoBlock& block);
// Undoes InfoEncrypt on a length and stream whose cipher blocks are already deciphered.
// Result: L.
[[nodiscard]] int InfoDecrypt(InfoBlock& block);
// Inflates the stream behind the (plain) length into the buffer from its start, never past
// its end. Result: the number of bytes zlib produced.
[[nodiscard]] int InfoDecompress(InfoBlock& block);

// Compresses, scrambles and enciphers the record and writes the length and the stream.
// Result: the result of the last write (L), or 0 or negative on failure. Either way the
// buffer is all zeros afterwards: the credentials it carried do not outlive the write.
[[nodiscard]] int InfoPutToSocket(StreamConnection& connection, int socket, InfoBlock& block,
                                  std::string_view serverCode = {});
// Reads a length and stream, deciphers, unscrambles and inflates it into the buffer.
// Result: L on success; negative when a read fails or ends at the peer's close, or when L
// is 0 or above kInfoMaxStreamLength (then nothing of the stream is read).
[[nodiscard]] int InfoGetFromSocket(StreamConnection& connection, int socket, InfoBlock& block,
                                    std::string_view serverCode = {});

}  // namespace corvane
