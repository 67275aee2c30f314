#include "session/input_commands.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <poll.h>

#include <string>
#include <vector>

#include "config/log.h"
#include "crypto/payload_cipher.h"
#include "crypto/payload_key.h"

namespace corvane {
namespace {

// The session's input over a socket pair: what the sender writes is read back as the server
// reads it.
class InputCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetLogForTesting();
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, m_fds), 0);
        m_channel.SetSocket(m_fds[0]);
        m_server.SetSocket(m_fds[1]);
        ASSERT_TRUE(m_server.AllocateBuffers(64, 64, 24));
        m_sender.Start();
    }
    void TearDown() override {
        m_sender.Stop();
        close(m_fds[0]);
        close(m_fds[1]);
    }

    // Everything the sender wrote, as "key CODE KIND" and "pointer X Y BUTTON ACTION" words.
    std::vector<std::string> Sent() {
        EXPECT_TRUE(m_sender.Flush(std::chrono::seconds(5)));
        std::vector<std::string> sent;
        pollfd ready{m_fds[1], POLLIN, 0};
        while (poll(&ready, 1, 50) == 1) {
            MessageFrame frame;
            if (m_server.ReadMessage(kDecoderDeflate, frame) != 0) break;
            uint8_t record[32] = {};
            std::memcpy(record, frame.record, std::min<size_t>(32, frame.recordBytes));
            if (frame.type == ZRPPROTOCOL_MH_MESSKEYE) {
                (void)DecipherBlocks(record, 32, 32, BuildPayloadKey());
                RecordToHost(record, frame.type, 32);
                sent.push_back("key " + std::to_string(LoadField<uint32_t>(record, InputRecordLayout::kKeyCode)) + " " +
                               std::to_string(LoadField<uint16_t>(record, InputRecordLayout::kKind)));
            } else {
                RecordToHost(record, frame.type, 32);
                sent.push_back("pointer " + std::to_string(LoadField<int32_t>(record, InputRecordLayout::kX)) + " " +
                               std::to_string(LoadField<int32_t>(record, InputRecordLayout::kY)) + " " +
                               std::to_string(LoadField<uint32_t>(record, InputRecordLayout::kButton)) + " " +
                               std::to_string(LoadField<uint16_t>(record, InputRecordLayout::kKind)));
            }
        }
        return sent;
    }

    int m_fds[2] = {-1, -1};
    SessionState m_state;
    StreamConnection m_clientStream;
    StreamConnection m_serverStream{StreamRole::Server};
    MessageChannel m_channel{m_clientStream};
    MessageChannel m_server{m_serverStream};
    MessageSender m_sender{m_channel};
    InputCommands m_input{m_state, m_sender};
};

TEST_F(InputCommandsTest, LosingTheKeyboardReleasesBothOfEveryModifier) {
    m_input.ReleaseModifiers();
    EXPECT_EQ(Sent(), (std::vector<std::string>{"key 83 2", "key 90 2", "key 85 2", "key 87 2", "key 71 2",
                                                "key 82 2"}));
    // Not where the server exchanges no clipboard, nor for a session joined by number.
    m_state.flags.clipboardSync.store(false);
    m_input.ReleaseModifiers();
    m_state.flags.clipboardSync.store(true);
    m_state.collaborationFlag = 7;
    m_input.ReleaseModifiers();
    EXPECT_TRUE(Sent().empty());
}

TEST_F(InputCommandsTest, NothingLeavesInLocalModeOrWhileReconnecting) {
    const KeyInput a = KeyInputFor(*PcKeyFromEvdev(30), true, true);
    PointerInput click;
    click.kind = PointerKind::Press;
    click.button = 1;
    click.clientX = 5;
    click.clientY = 6;
    for (std::atomic<bool>* flag : {&m_state.flags.localMode, &m_state.flags.paused}) {
        flag->store(true);
        m_input.Key(a);
        m_input.Pointer(click);
        flag->store(false);
    }
    EXPECT_TRUE(Sent().empty());
    m_input.Key(a);
    m_input.Pointer(click);
    EXPECT_EQ(Sent(), (std::vector<std::string>{"key 59 1", "pointer 5 6 1 1"}));
    EXPECT_TRUE(m_state.flags.inputSent.load());
}

}  // namespace
}  // namespace corvane
