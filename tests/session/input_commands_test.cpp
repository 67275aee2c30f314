#include "session/input_commands.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <poll.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "config/log.h"
#include "crypto/payload_cipher.h"
#include "crypto/payload_key.h"
#include "input/key_tables.h"

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
            if (frame.type == ZRPPROTOCOL_MH_MESSSCTL) {
                RecordToHost(record, frame.type, 32);
                sent.push_back("control " + std::to_string(LoadField<uint32_t>(record, 0)) + " " +
                               std::to_string(LoadField<uint32_t>(record, 4)));
            } else if (frame.type == ZRPPROTOCOL_MH_MESSKEYE) {
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
    FrameBuffer m_frameBuffer;
    // What the hot keys asked of the windows, one word each.
    struct RecordingPort : HotKeyPort {
        void ShowHotKeyTitle(const std::string& title, bool flash, const std::string& titleAfter) override {
            calls.push_back("title [" + title + "]" + (flash ? " flash" : "") +
                            (titleAfter.empty() ? "" : " then [" + titleAfter + "]"));
        }
        void OpenExitDialog() override { calls.push_back("exit"); }
        void OpenFunctionDialog(bool collaborator) override {
            calls.push_back(collaborator ? "help collaborator" : "help");
        }
        void ShowStatistics() override { calls.push_back("statistics"); }
        void ToggleKeyboardGrab() override { calls.push_back("grab"); }
        void SetCursorColouring(int colouring) override { calls.push_back("cursor " + std::to_string(colouring)); }
        std::vector<std::string> calls;
    } m_port;
    // Session-control records as the session sends them.
    HotKeys::SendControl Control() {
        return [this](int32_t code, int32_t argument) {
            uint8_t record[32] = {};
            StoreField<uint32_t>(record, 0, static_cast<uint32_t>(code));
            StoreField<uint32_t>(record, 4, static_cast<uint32_t>(argument));
            return m_sender.Post(ZRPPROTOCOL_MH_MESSSCTL, record, sizeof record);
        };
    }
    HotKeys m_hotKeys{m_state, m_frameBuffer, m_port, Control()};
    InputCommands m_input{m_state, m_sender, m_hotKeys};
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

// Keys still down when the keyboard goes elsewhere (another program's grab, or its window
// becoming active) are released, newest first, whether or not the modifiers above are; a key
// already released, or pressed again by auto-repeat, is released once or not at all.
TEST_F(InputCommandsTest, LosingTheKeyboardReleasesEveryKeyStillDown) {
    m_state.flags.clipboardSync.store(false);
    const PcKey& a = *PcKeyFromEvdev(30);
    const PcKey& b = *PcKeyFromEvdev(48);
    const PcKey& leftAlt = *PcKeyFromEvdev(56);
    m_input.Key(KeyInputFor(a, true, false));
    m_input.Key(KeyInputFor(leftAlt, true, false));
    m_input.Key(KeyInputFor(a, true, false));
    m_input.Key(KeyInputFor(b, true, false));
    m_input.Key(KeyInputFor(b, false, false));
    const std::vector<std::string> typed = Sent();
    ASSERT_EQ(typed.size(), 5u);
    const auto code = [](const std::string& word) { return word.substr(0, word.rfind(' ')); };
    m_input.KeyboardLost();
    EXPECT_EQ(Sent(), (std::vector<std::string>{code(typed[1]) + " 2", code(typed[0]) + " 2"}));
    m_input.KeyboardLost();
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

// Types a sequence such as "S+ F4+ F4- S-": S Shift, C Control, A the A key, F1..F12; + press,
// - release. Shift and Control count as held from their press to their release.
void Type(InputCommands& input, const std::string& sequence) {
    bool shift = false;
    bool control = false;
    size_t at = 0;
    while (at < sequence.size()) {
        const size_t end = std::min(sequence.find(' ', at), sequence.size());
        const std::string word = sequence.substr(at, end - at);
        at = end + 1;
        const bool press = word.back() == '+';
        const std::string name = word.substr(0, word.size() - 1);
        KeyInput key;
        key.press = press;
        if (name == "S") {
            key.virtualKey = kVkShift;
            key.scanCode = 0x2A;
            shift = press;
        } else if (name == "C") {
            key.virtualKey = kVkControl;
            key.scanCode = 0x1D;
            control = press;
        } else if (name == "A") {
            key.virtualKey = 'A';
            key.scanCode = 0x1E;
        } else {
            const int number = std::stoi(name.substr(1));
            constexpr uint8_t kScanCodes[] = {0x3B, 0x3C, 0x3D, 0x3E, 0x3F, 0x40, 0x41, 0x42, 0x43, 0x44, 0x57, 0x58};
            key.virtualKey = static_cast<uint8_t>(0x70 + number - 1);
            key.scanCode = kScanCodes[number - 1];
        }
        key.shift = shift;
        key.control = control;
        input.Key(key);
    }
}

// The server's key codes of the keys Type knows, as Type names them.
std::string Named(std::vector<std::string> sent) {
    std::map<std::string, std::string> names{{"71", "S"}, {"83", "C"}, {"59", "A"}};
    for (int number = 1; number <= 12; ++number) {
        const uint32_t code = ServerKeyCodeForKeysym(*KeysymForVirtualKey(static_cast<uint8_t>(0x70 + number - 1)));
        names[std::to_string(code)] = "F" + std::to_string(number);
    }
    std::string text;
    for (const std::string& item : sent) {
        std::string word = item;
        if (item.rfind("key ", 0) == 0) {
            const size_t space = item.find(' ', 4);
            const std::string code = item.substr(4, space - 4);
            word = (names.count(code) ? names[code] : code) + (item.substr(space + 1) == "1" ? "+" : "-");
        }
        text += (text.empty() ? "" : ", ") + word;
    }
    return text;
}

std::string Joined(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) text += (text.empty() ? "" : ", ") + item;
    return text;
}

TEST_F(InputCommandsTest, HotKeysStayLocalAndActAfterTheShiftReleaseReachedTheServer) {
    struct Case {
        const char* name;
        int depth;
        bool collaborator;
        const char* typed;
        const char* sent;
        const char* calls;
    };
    const Case cases[] = {
        {"Shift+F4 exits", 24, false, "S+ F4+ F4- S-", "S+, S-", "exit"},
        {"Shift+F1 helps", 24, false, "S+ F1+ F1- S-", "S+, S-", "help"},
        {"Shift+F1 helps a collaborator", 24, true, "S+ F1+ F1- S-", "S+, S-", "help collaborator"},
        {"Shift+Control+F1 does nothing", 24, false, "C+ S+ F1+ F1- S- C-", "C+, S+, S-, C-", ""},
        {"Shift+F12 shows the statistics", 24, false, "S+ F12+ F12- S-", "S+, S-", "statistics"},
        {"Shift+F11 switches the keyboard grab", 24, false, "S+ F11+ F11- S-", "S+, S-", "grab"},
        {"Shift+F6 and Shift+F10 are the session's", 24, false, "S+ F6+ F6- F10+ F10- S-",
         "S+, F6+, F6-, F10+, F10-, S-", ""},
        {"function keys without Shift are the session's", 24, false, "F4+ F4- F12+ F12-", "F4+, F4-, F12+, F12-", ""},
        {"Shift+F2 disables collaboration input", 24, false, "S+ F2+ F2- S-", "S+, control 5008 0, S-",
         "title [T       (Collaboration input - Disabled -)] flash"},
        {"Shift+Control+F2 disables collaboration", 24, false, "C+ S+ F2+ F2- S- C-",
         "C+, S+, control 5010 0, S-, C-", "title [T       (Collaboration - Disabled -)] flash"},
        {"Shift+F3 enables collaboration input for a moment's title", 24, false, "S+ F3+ F3- S-",
         "S+, control 5007 0, S-", "title [T       (Collaboration input - Enabled -)] flash then [T]"},
        {"Shift+Control+F3 enables collaboration", 24, false, "C+ S+ F3+ F3- S- C-",
         "C+, S+, control 5009 0, S-, C-", "title [T       (Collaboration - Enabled -)] flash then [T]"},
        {"a collaborator's Shift+F2 and Shift+F3 do nothing", 24, true, "S+ F2+ F2- F3+ F3- S-", "S+, S-", ""},
        {"Shift+F8 asks for the next format", 24, false, "S+ F8+ F8- S-", "S+, control 5015 8, control 5014 0, S-",
         "title [T  (Req CF C2)]"},
        {"Shift+F7 asks for the previous format", 24, false, "S+ F7+ F7- S-",
         "S+, control 5015 5, control 5014 0, S-", "title [T  (Req CF B2)]"},
        {"Shift+F7 at 8 bits is the session's", 8, false, "S+ F7+ F7- S-", "S+, F7+, F7-, S-", ""},
        {"Shift+F9 twice reverses the cursor and back", 24, false, "S+ F9+ F9- F9+ F9- S-", "S+, S-",
         "cursor 0, cursor 1"},
        {"Shift let go before F12 still shows the statistics", 24, false, "S+ F12+ S- F12-", "S+, S-", "statistics"},
        {"Shift let go before F5: local mode lets nothing more through", 24, false, "S+ F5+ S- F5- A+ A- S+ F5+ F5- S-",
         "S+, S-, S-", "title [T       (Local mode: - On -)] flash, title [T] flash"},
        {"Shift+F5 twice: local mode keeps keys local but the Shift releases", 24, false,
         "S+ F5+ F5- S- A+ A- S+ F5+ F5- S- A+ A-", "S+, S-, S-, A+, A-",
         "title [T       (Local mode: - On -)] flash, title [T] flash"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(m_frameBuffer.CreateWorkBitmap(64, 64, c.depth, true));
        m_state.collaborationFlag = c.collaborator ? 9 : 0;
        m_state.settings.compFormat = 4;
        m_state.serverVersion = 940;
        m_state.SetCaption("T");
        // A fresh client for each row: no pending action or format step carries over.
        HotKeys hotKeys{m_state, m_frameBuffer, m_port, Control()};
        InputCommands input{m_state, m_sender, hotKeys};
        m_port.calls.clear();
        Type(input, c.typed);
        EXPECT_EQ(Named(Sent()), c.sent);
        EXPECT_EQ(Joined(m_port.calls), c.calls);
        EXPECT_FALSE(m_state.flags.localMode.load());
        EXPECT_TRUE(m_state.flags.remotePointer.load());
    }
}

TEST_F(InputCommandsTest, PendingHotKeyActionsWaitForTheShiftEvent) {
    // The exit dialog would take the keyboard: it opens only once the Shift release is queued.
    Type(m_input, "S+ F4+ F4-");
    EXPECT_TRUE(m_port.calls.empty());
    Type(m_input, "S-");
    EXPECT_EQ(Joined(m_port.calls), "exit");
    EXPECT_EQ(Named(Sent()), "S+, S-");
}

TEST_F(InputCommandsTest, SharedSessionStartingInLocalModeLeavesItWithOneShiftF5) {
    m_state.SetCaption("T");
    m_state.flags.localMode.store(true);
    Type(m_input, "S+ F5+ F5- S- A+ A-");
    EXPECT_FALSE(m_state.flags.localMode.load());
    EXPECT_EQ(Named(Sent()), "S-, A+, A-");
}

}  // namespace
}  // namespace corvane
