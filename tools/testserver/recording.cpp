#include "tools/testserver/recording.h"

#include <zlib.h>

#include <cstring>
#include <iterator>

namespace corvane::testserver {

namespace {

constexpr char kMagic[8] = {'C', 'V', 'R', 'E', 'P', 'L', 'A', 'Y'};
constexpr uint32_t kVersion = 1;

void PutLe(uint8_t* out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint64_t GetLe(const uint8_t* in, int bytes) {
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) value |= static_cast<uint64_t>(in[i]) << (8 * i);
    return value;
}

void MakeHeader(uint8_t* header, const SessionGeometry& g, uint32_t check, uint32_t updates, uint64_t bytes) {
    std::memcpy(header, kMagic, sizeof kMagic);
    PutLe(header + 8, kVersion, 4);
    PutLe(header + 12, static_cast<uint32_t>(g.width), 4);
    PutLe(header + 16, static_cast<uint32_t>(g.height), 4);
    PutLe(header + 20, static_cast<uint32_t>(g.depth), 4);
    PutLe(header + 24, check, 4);
    PutLe(header + 28, updates, 4);
    PutLe(header + 32, bytes, 8);
}

}  // namespace

uint32_t ServerCodeCheck(std::string_view serverCode) {
    return static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(serverCode.data()), static_cast<uInt>(serverCode.size())));
}

bool RecordingWriter::Open(const std::string& path, const SessionGeometry& geometry, std::string_view serverCode) {
    m_file.open(path, std::ios::binary | std::ios::trunc);
    if (!m_file) return false;
    m_geometry = geometry;
    m_serverCodeCheck = ServerCodeCheck(serverCode);
    // Counts of zero with bytes behind them: incomplete until Close writes the real ones.
    uint8_t header[kRecordingHeaderSize];
    MakeHeader(header, m_geometry, m_serverCodeCheck, 0, 0);
    m_file.write(reinterpret_cast<const char*>(header), sizeof header);
    m_failed = !m_file;
    return !m_failed;
}

bool RecordingWriter::Append(const uint8_t* bytes, size_t size) {
    if (m_failed || !m_file.is_open()) return false;
    m_file.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(size));
    m_bytes += size;
    m_failed = !m_file;
    return !m_failed;
}

bool RecordingWriter::Close() {
    if (!m_file.is_open()) return false;
    uint8_t header[kRecordingHeaderSize];
    MakeHeader(header, m_geometry, m_serverCodeCheck, m_updates, m_bytes);
    m_file.seekp(0);
    m_file.write(reinterpret_cast<const char*>(header), sizeof header);
    m_file.close();
    return !m_failed && !m_file.fail();
}

bool ReadRecording(const std::string& path, Recording& recording, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    uint8_t header[kRecordingHeaderSize];
    if (!in.read(reinterpret_cast<char*>(header), sizeof header) || std::memcmp(header, kMagic, sizeof kMagic) != 0) {
        error = path + " is not a session recording";
        return false;
    }
    if (GetLe(header + 8, 4) != kVersion) {
        error = path + " is a recording of another version";
        return false;
    }
    Recording r;
    r.geometry.width = static_cast<int32_t>(GetLe(header + 12, 4));
    r.geometry.height = static_cast<int32_t>(GetLe(header + 16, 4));
    r.geometry.depth = static_cast<int32_t>(GetLe(header + 20, 4));
    r.geometry.visualClass = r.geometry.depth == 8 ? 3 : 4;
    r.serverCodeCheck = static_cast<uint32_t>(GetLe(header + 24, 4));
    r.updates = static_cast<uint32_t>(GetLe(header + 28, 4));
    const uint64_t size = GetLe(header + 32, 8);
    r.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad() || size == 0 || r.bytes.size() != size) {
        error = path + " is incomplete: the recording was not closed, or the file was cut";
        return false;
    }
    recording = std::move(r);
    return true;
}

}  // namespace corvane::testserver
