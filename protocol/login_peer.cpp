#include "protocol/login_peer.h"

#include <cstring>

#include "config/log.h"
#include "protocol/records.h"

namespace corvane {

int SendInfoAnswer(StreamConnection& stream, int socket, std::string_view serverCode,
                   const InfoAnswer& answer) {
    InfoBlock reply;
    reply.SetStatus(answer.status);
    reply.SetGeometry(answer.geometry);
    reply.SetSessionId(answer.sessionId);
    reply.SetServerVariantFlag(answer.serverVariantFlag);
    reply.SetVersion(answer.version);
    reply.SetProtocolVersion(answer.protocolVersion);
    reply.SetBlockMagic(answer.blockMagic);
    return InfoPutToSocket(stream, socket, reply, serverCode) > 0 ? 0 : -1;
}

int AnswerInfoBlock(StreamConnection& stream, int socket, std::string_view serverCode,
                    const InfoAnswer& answer, InfoBlock& received) {
    if (InfoGetFromSocket(stream, socket, received, serverCode) < 0) return -1;
    return SendInfoAnswer(stream, socket, serverCode, answer);
}

int ReadInitMessage(StreamConnection& stream, int socket, uint8_t* initRecord) {
    constexpr size_t kFrame = kInitFrameSize;
    uint8_t frame[kFrame];
    if (stream.zRPshRead(socket, frame, kFrameHeaderSize) != static_cast<int>(kFrameHeaderSize)) {
        return -1;
    }
    FrameHeaderToHost(frame);
    if (LoadField<uint32_t>(frame, FrameHeaderLayout::kSize) != kFrame) {
        DebugPrint(0, "ZRPGEN:  Init message of %u bytes, not %zu\n",
                   LoadField<uint32_t>(frame, FrameHeaderLayout::kSize), kFrame);
        return -1;
    }
    if (stream.zRPshRead(socket, frame + kFrameHeaderSize, kFrame - kFrameHeaderSize) !=
        static_cast<int>(kFrame - kFrameHeaderSize)) {
        return -1;
    }
    uint8_t* header = frame + kFrameHeaderSize;
    RecordHeaderToHost(header);
    if (LoadField<uint16_t>(header, RecordHeaderLayout::kType) != ZRPPROTOCOL_MH_MESSINIT) {
        DebugPrint(0, "ZRPGEN:  Expected an init message, got type %d\n",
                   LoadField<uint16_t>(header, RecordHeaderLayout::kType));
        return -1;
    }
    std::memcpy(initRecord, header + kRecordHeaderSize, kInitRecordSize);
    RecordToHost(initRecord, ZRPPROTOCOL_MH_MESSINIT, kInitRecordSize);
    return 0;
}

int SendInitReply(StreamConnection& stream, int socket, const uint8_t* initRecord) {
    uint8_t frame[kInitFrameSize];
    MakeInitFrame(frame, initRecord, 0);
    return stream.zRPshWrite(socket, frame, sizeof frame);
}

}  // namespace corvane
