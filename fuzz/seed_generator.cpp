// Writes the seed inputs of the stream and file parsers' fuzz targets into
// CORPUS/<target>/: a few small, well-formed examples of what each parser reads, built with
// the same code the client and the test server send and save with, so that the fuzzer starts
// from inputs that pass the first checks. Run by hand after a wire or file layout changes:
//   build/fuzz/fuzz/fuzz_seed_generator fuzz/corpus
// Everything it writes is the same from run to run (no clocks, no random filler).
#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "config/log.h"
#include "config/scrambled_text.h"
#include "crypto/payload_cipher.h"
#include "crypto/payload_key.h"
#include "display/display_records.h"
#include "protocol/frame_builder.h"
#include "protocol/framing_limits.h"
#include "protocol/info_block.h"
#include "protocol/login_peer.h"
#include "protocol/records.h"
#include "protocol/stream_connection.h"
#include "session/session_table.h"

namespace {

using namespace corvane;
using Bytes = std::vector<uint8_t>;

std::filesystem::path g_corpus;
int g_failures = 0;

void Write(const std::string& target, const std::string& name, const Bytes& bytes) {
    const std::filesystem::path folder = g_corpus / target;
    std::filesystem::create_directories(folder);
    std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::fprintf(stderr, "cannot write %s/%s\n", target.c_str(), name.c_str());
        ++g_failures;
    }
}

void Write(const std::string& target, const std::string& name, const std::string& text) {
    Write(target, name, Bytes(text.begin(), text.end()));
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

Bytes ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// What a server end writes, caught on the other end of a socket pair.
Bytes Capture(const std::function<void(StreamConnection&, int)>& send) {
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return {};
    StreamConnection server(StreamRole::Server);
    send(server, fds[1]);
    shutdown(fds[1], SHUT_WR);
    Bytes bytes;
    uint8_t piece[4096];
    for (ssize_t n; (n = read(fds[0], piece, sizeof piece)) > 0;)
        bytes.insert(bytes.end(), piece, piece + n);
    close(fds[0]);
    close(fds[1]);
    return bytes;
}

// ---- messages -------------------------------------------------------------------------

struct HeaderFields {
    uint16_t formatTag = 0;
    uint32_t compform = 0;
    uint32_t depth = 0;
};

// A message body in wire order: record header, the record's words (host order, converted
// here), then the payload as it travels.
Bytes Message(int32_t type, std::initializer_list<uint32_t> words, const Bytes& payload = {},
              HeaderFields header = {}) {
    Bytes body(kRecordHeaderSize);
    MakeRecordHeader(body.data(), type);
    StoreField<uint16_t>(body.data(), RecordHeaderLayout::kFormatTag, header.formatTag);
    StoreField<uint32_t>(body.data(), RecordHeaderLayout::kCompform, header.compform);
    StoreField<uint32_t>(body.data(), RecordHeaderLayout::kDepth, header.depth);
    RecordHeaderToWire(body.data());
    Bytes record;
    for (uint32_t word : words) {
        uint8_t bytes[4];
        std::memcpy(bytes, &word, 4);
        record.insert(record.end(), bytes, bytes + 4);
    }
    RecordToWire(record.data(), type, record.size());
    return Join({body, record, payload});
}

Bytes BigEndianWords(std::initializer_list<uint32_t> words) {
    Bytes bytes;
    for (uint32_t word : words) {
        bytes.push_back(static_cast<uint8_t>(word >> 24));
        bytes.push_back(static_cast<uint8_t>(word >> 16));
        bytes.push_back(static_cast<uint8_t>(word >> 8));
        bytes.push_back(static_cast<uint8_t>(word));
    }
    return bytes;
}

// One entry of a frame list (fuzz_io.h): envelope byte, little-endian length, body.
Bytes ListEntry(uint16_t envelope, bool deflate, const Bytes& body) {
    Bytes entry = {static_cast<uint8_t>(envelope | (deflate ? 0x80 : 0)),
                   static_cast<uint8_t>(body.size()), static_cast<uint8_t>(body.size() >> 8)};
    return Join({entry, body});
}

// The same body as a whole frame on the wire.
Bytes Frame(uint16_t envelope, const Bytes& body, const std::string& serverCode = {},
            BodyCoding coding = BodyCoding::Deflate) {
    if (envelope != COMPSTD && envelope != COMPEXT) coding = BodyCoding::AsIs;
    FrameBuilder frame;
    if (!frame.Build(envelope, body.data(), body.size(), serverCode, coding)) {
        ++g_failures;
        return {};
    }
    return Bytes(frame.data(), frame.data() + frame.size());
}

// Raw 24-bit rectangles: four bytes a pixel (the first is dropped).
Bytes RawImageUpdate() {
    Bytes pixels;
    for (int i = 0; i < 4 * 3; ++i)
        pixels.insert(pixels.end(), {0x00, uint8_t(40 * i), 0x80, 0xFF});
    return Message(ZRPPROTOCOL_MH_MESSIMFB, {0, 1},
                   Join({BigEndianWords({uint32_t(pixels.size()), 5, 6, 4, 3}), pixels}),
                   {kFormatTagValid, 4, 24});
}

Bytes DisplayMessageList(const Bytes& jfif, const Bytes& jpeg) {
    const Bytes colourTable =
        Message(ZRPPROTOCOL_MH_MESSCOLT, {3, 0, 3}, {0, 0, 0, 0xFF, 0, 0, 0, 0xFF, 0});
    const Bytes standardCursor = Message(ZRPPROTOCOL_MH_MESSCRSH, {0, 0x7F01, 0, 0, 0, 0});
    Bytes monochrome(2 * 2 * 16, 0xF0);  // AND plane, then XOR plane: 16 x 16, two bytes a row
    const Bytes monochromeCursor =
        Message(ZRPPROTOCOL_MH_MESSCRSH, {0, 1, 16, 16, 3, 4}, monochrome);
    const Bytes status = Message(ZRPPROTOCOL_MH_MESSSTAT, {3001, 1700000000, 7, 0});
    const Bytes bell = Message(ZRPPROTOCOL_MH_MESSBELL, {}, {0, 200, 0, 0, 0, 0});
    const Bytes movement = Message(ZRPPROTOCOL_MH_MESSCRMV, {10, 20, 0, 0});
    const std::string text = "clipboard text";
    const Bytes clipboard = Message(ZRPPROTOCOL_MH_MESSCLPT, {uint32_t(text.size() + 1), 1},
                                    Bytes(text.begin(), text.end() + 1));
    const std::string title = "xterm";
    Bytes window = Message(ZRPPROTOCOL_MH_MESSWIND,
                           {uint32_t(title.size()), 0x400001, 10, 20, 300, 200, 1, 0});
    window.resize(kRecordHeaderSize + 64, 0);
    window.insert(window.end(), title.begin(), title.end());
    const Bytes drawing = Message(ZRPPROTOCOL_MH_MESSDRRQ, {uint32_t(jfif.size()), 2, 3, 33, 17},
                                  jfif, {kFormatTagValid, 101, 24});
    const Bytes jpegUpdate =
        Message(ZRPPROTOCOL_MH_MESSIMFB, {2, 1},
                Join({BigEndianWords({uint32_t(jpeg.size()), 1, 2, 16, 16}), jpeg}));
    return Join(
        {ListEntry(kEnvelopePlain, false, colourTable), ListEntry(COMPEXT, true, standardCursor),
         ListEntry(COMPSTD, true, monochromeCursor), ListEntry(kEnvelopePlain, false, status),
         ListEntry(COMPAES, false, bell), ListEntry(kEnvelopePlain, false, movement),
         ListEntry(COMPEXT, true, clipboard), ListEntry(kEnvelopePlain, false, window),
         ListEntry(COMPEXT, true, RawImageUpdate()), ListEntry(kEnvelopePlain, false, drawing),
         ListEntry(COMPEXT, false, jpegUpdate)});
}

void MessageSeeds(const Bytes& jfif, const Bytes& jpeg) {
    const Bytes status = Message(ZRPPROTOCOL_MH_MESSSTAT, {3001, 1700000000, 7, 0});
    const Bytes update = RawImageUpdate();
    // Control byte 0: bytes on the wire; 0x08 with the server code "ABC"; 0x02 planar bodies
    // left as they came; 0x04 a frame list.
    Write("message_reader_fuzz", "wire-every-envelope.bin",
          Join({{0x00},
                Frame(kEnvelopePlain, status),
                Frame(COMPSTD, update),
                Frame(COMPEXT, update),
                Frame(COMPAES, status),
                Frame(7, status)}));
    Write("message_reader_fuzz", "wire-server-code.bin",
          Join({{0x08}, Frame(COMPEXT, update, "ABC"), Frame(COMPAES, update, "ABC")}));
    Write("message_reader_fuzz", "wire-compext-as-it-came.bin",
          Join({{0x02}, Frame(COMPEXT, update, {}, BodyCoding::AsIs)}));
    Write("message_reader_fuzz", "list-every-envelope.bin",
          Join({{0x04},
                ListEntry(kEnvelopePlain, false, status),
                ListEntry(COMPSTD, true, update),
                ListEntry(COMPEXT, true, update),
                ListEntry(COMPEXT, false, Bytes(40, 0x78)),
                ListEntry(COMPAES, false, update),
                ListEntry(5, false, status)}));

    // 0x05: a frame list read with JPEG images expected, a short and a whole JPEG image update.
    Bytes image = Message(ZRPPROTOCOL_MH_MESSIMFB, {2, 1},
                          Join({BigEndianWords({uint32_t(jpeg.size()), 1, 2, 33, 17}), jpeg}));
    Write("message_reader_fuzz", "list-jpeg-images.bin",
          Join({{0x05},
                ListEntry(COMPEXT, false, Bytes(image.begin(), image.begin() + 48)),
                ListEntry(COMPEXT, false, image)}));

    // Control: depth 24 (index 2), protocol 2.00, seamless windows.
    Write("routed_messages_fuzz", "session-depth-24.bin",
          Join({{0x52}, DisplayMessageList(jfif, jpeg)}));
    // Depth 8 (index 0) on a 9.40 server: drawing requests turn the bitmap top-down.
    Write("routed_messages_fuzz", "session-depth-8.bin",
          Join({{0x30}, DisplayMessageList(jfif, jpeg)}));
}

// ---- login ----------------------------------------------------------------------------

void LoginSeeds() {
    const std::string info = "info_block_fuzz";
    InfoBlock answer;
    PutBE32(answer.Data(), 0x65000000);  // a fixed time, so the seed stays the same
    answer.SetStatus(0);
    answer.SetGeometry({1280, 1024, 24, 32, 4});
    answer.SetSessionId(100);
    answer.SetVersion(940);
    answer.SetProtocolVersion(200);
    answer.SetEnvironment("DISPLAY=:1\nQELWM=Motif");
    Bytes record(answer.Data(), answer.Data() + kInfoBlockSize);
    struct Wire {
        uint8_t control;
        const char* code;
        const char* name;
    };
    for (const Wire& wire :
         {Wire{0x00, "", "wire.bin"}, Wire{0x04, "ABC", "wire-server-code.bin"}}) {
        InfoBlock block = answer;
        Write(info, wire.name,
              Join({{wire.control}, Capture([&](StreamConnection& stream, int socket) {
                        (void)InfoPutToSocket(stream, socket, block, wire.code);
                    })}));
    }
    Write(info, "record.bin", Join({{0x02}, record}));
    Bytes stream(compressBound(kInfoBlockSize));
    uLongf length = stream.size();
    if (compress2(stream.data(), &length, record.data(), kInfoBlockSize, 6) != Z_OK) ++g_failures;
    stream.resize(length);
    Write(info, "zlib-stream.bin", Join({{0x01}, stream}));

    const std::string init = "init_reply_fuzz";
    Bytes reply(kInitRecordSize, 0);
    StoreField<uint16_t>(reply.data(), InitRecordLayout::kWidth, 1280);
    StoreField<uint16_t>(reply.data(), InitRecordLayout::kHeight, 1024);
    StoreField<uint32_t>(reply.data(), InitRecordLayout::kSessionId, 4711);
    reply[InitRecordLayout::kBitsPerPixel] = 32;
    reply[InitRecordLayout::kDepth] = 24;
    reply[InitRecordLayout::kVisualClass] = 4;
    std::strcpy(reinterpret_cast<char*>(&reply[InitRecordLayout::kAddOptions]), "-nolisten tcp");
    std::strcpy(reinterpret_cast<char*>(&reply[InitRecordLayout::kBanner]),
                "Corvane(TM) test server");
    Write(init, "reply.bin", Capture([&](StreamConnection& stream, int socket) {
              (void)SendInitReply(stream, socket, reply.data());
          }));
    Bytes tooBig(kFrameHeaderSize);
    MakeFrameHeader(tooBig.data(), kInitReplyTooBig, kEnvelopePlain, 0);
    FrameHeaderToWire(tooBig.data());
    Write(init, "too-big.bin", tooBig);

    const std::string sessions = "session_list_fuzz";
    auto entry = [](int32_t sid, int32_t display, const char* host, uint32_t start, int32_t width,
                    int32_t height, int32_t depth, int32_t visual) {
        Bytes e(kSessionEntrySize, 0);
        auto word = [&e](size_t offset, int32_t value) {
            StoreField<uint32_t>(e.data(), offset, htonl(static_cast<uint32_t>(value)));
        };
        word(0, sid);
        word(12, 3000 + sid);
        word(32, display);
        std::strncpy(reinterpret_cast<char*>(&e[36]), host, 79);
        word(120, static_cast<int32_t>(start));
        word(148, width);
        word(152, height);
        word(156, depth);
        word(164, visual);
        return e;
    };
    Write(
        sessions, "two-sessions.bin",
        Join({entry(5, 1, "ws7.example.com", 1700000000, 1280, 1024, 24, 4),
              entry(9, 2, "10.1.2.3", 1700003600, 1024, 768, 124, 4), Bytes{'l', 'a', 's', 't'}}));
    Write(sessions, "one-session-by-id.bin",
          Join({entry(12, 3, "", 0, 800, 600, 224, 4), Bytes{'1', '2'}}));
}

// ---- files ----------------------------------------------------------------------------

std::string TicketLines(const std::string& scrambledPassword) {
    uint8_t ticket[512] = {};
    const int32_t type = 1001;
    const int32_t length = static_cast<int32_t>(scrambledPassword.size());
    const int64_t start = 1'600'000'000;
    const int64_t validFor = INT64_MAX;  // a seed that never expires
    std::memcpy(ticket, &type, 4);
    std::memcpy(ticket + 4, &length, 4);
    std::memcpy(ticket + 8, scrambledPassword.data(), scrambledPassword.size());
    std::memcpy(ticket + 80, &start, 8);
    std::memcpy(ticket + 88, &validFor, 8);
    if (EncipherBlocks(ticket, sizeof ticket, 32, BuildPayloadKey()) != 0) ++g_failures;
    std::string lines;
    for (int i = 0; i < 16; ++i) {
        char line[128];
        int n = std::snprintf(line, sizeof line, "Authentication%2.2d          ", i + 1);
        for (int b = 0; b < 32; ++b)
            n += std::snprintf(line + n, sizeof line - n, "%02X", ticket[i * 32 + b]);
        lines += std::string(line) + "\r\n";
    }
    return lines;
}

void FileSeeds() {
    std::string password;
    if (ScrambleTextWithFiller("secret", std::string(54, 'q'), password) != 0) ++g_failures;
    std::string serverCode;
    if (ScrambleTextWithFiller("A-LONG-SERVER-CODE", std::string(42, 'k'), serverCode) != 0)
        ++g_failures;
    const std::string common =
        "[ZRP Client]\r\n"
        "VersionRequired           528\r\n"
        "DisplayServerAddress      10.1.2.3\r\n"
        "DisplayServerPort         27500\r\n"
        "DisplayBandwidth          2\r\n"
        "DisplayServerName         Render1\r\n"
        "DisplayWidth              1600\r\n"
        "DisplayHeight             900\r\n"
        "DisplayDepth              24\r\n"
        "DisplayVisual             4\r\n"
        "Monitors                  1 1 0 0\r\n"
        "UseFullScreenMode         0\r\n"
        "ProjectID                 P42\r\n"
        "DeviceUserName            ann\r\n"
        "SessionID                 0\r\n"
        "ProtocolType              1\r\n"
        "UseProxy                  1\r\n"
        "ProxyHost                 proxy\r\n"
        "ProxyPort                 3128\r\n"
        "KeyMapNumber              1\r\n";
    Write("connection_file_fuzz", "password.zrp",
          common + "ServerCode                " + serverCode + "\r\nPassword                  " +
              password + "\r\n\r\n[EnvVars]\r\nQELXDMCPTYPE=query\r\nQELXDMCPHOST=xhost\r\n");
    Write("connection_file_fuzz", "ticket-and-rdp.zrp",
          common + "ServerCode                ABC\r\nClientTime 1600000000\r\nTimeWindow 60\r\n" +
              TicketLines(password) +
              "\r\n[RDP]\r\nfull "
              "address:s:win1\r\nusername:s:ann\r\n\r\n[EnvVars]\r\nQELRDPHOST=win1\r\n");

    Write("site_file_fuzz", "qel.ini",
          "[Viewer]\r\nDisplayPort 27500\r\nMaxScreenWidth 1280\r\nMaxScreenHeight "
          "1024\r\nColorDepth 24\r\n"
          "VisualClass 4\r\nBackingStore 0\r\nAddOptions -\r\nCloseDialog 1\r\nSessionLoginDialog "
          "0\r\n"
          "Bandwidth 2\r\nMonitors 1 1 1 0\r\nCompFormat 10\r\nKeyMapFile keys.map\r\nKeyMapNumber "
          "2\r\n"
          "ServerCode " +
              serverCode +
              "\r\n"
              "[User]\r\nUsername ann\r\n[Password]\r\nPassword " +
              password +
              "\r\n"
              "[Xdmcp]\r\nXdmcpType query\r\nXdmcpHost xhost\r\nXdmcpAddr -\r\n"
              "[Protocol]\r\nProtocolType 1\r\nUseProxy 0\r\nProxyHost proxy\r\nProxyPort 3128\r\n"
              "[EnvVars]\r\nQELWM=Motif\r\n# a comment\r\nbad name=1\r\nNOEQUALS\r\n");

    Write("registry_file_fuzz", "registry",
          "[HKEY_LOCAL_MACHINE\\Software\\Halden Systems]\n"
          "QELINI=/usr/local/share/corvane/qel.ini\n"
          "INSTALLPATH=/usr/local/share/corvane\n"
          "SAVEPASSWD=true\n"
          "\n"
          "; the user's folders\n"
          "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell "
          "Folders]\r\n"
          "Personal=/home/ann/Documents\r\n");

    Write("key_map_file_fuzz", "keys.map",
          "! scan extended keycode\n30 0 38\n31 0 39\n28 1 108\n  72 1 111 trailing words\n57 0 "
          "65\n");

    Write(
        "env_block_fuzz", "env.ini",
        "[Viewer]\nColorDepth 24\n[EnvVars] trailing\nDISPLAY=:1\nQELWM=Motif\r\n#comment\n*star\n"
        "bad-name=1\nNOEQUALS\n" +
            std::string(320, 'X') + "=long\nLAST=1\n\n[Other]\nA=1\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CORPUS-FOLDER\n", argv[0]);
        return 2;
    }
    OpenLog("/dev/null");
    g_corpus = argv[1];
    // The pictures come from the decoders' own seeds.
    const Bytes jfif = ReadFile(g_corpus / "jfif_fuzz" / "420-33x17.jpg");
    const Bytes jpeg = ReadFile(g_corpus / "jpeg_image_fuzz" / "420.jpg");
    if (jfif.empty() || jpeg.empty()) {
        std::fprintf(stderr, "the JPEG seeds in %s are missing\n", argv[1]);
        return 1;
    }
    MessageSeeds(jfif, jpeg);
    LoginSeeds();
    FileSeeds();
    return g_failures == 0 ? 0 : 1;
}
