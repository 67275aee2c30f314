// A session for window tests: fixed facts and figures, and a record of what was asked.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "session/session_commands.h"

namespace corvane {

class FakeCommands : public SessionCommands {
public:
    SessionFacts facts;
    RateSummary rates;
    int64_t serverTime = 0;
    std::atomic<int> exits{0};
    std::atomic<int> disconnects{0};
    std::atomic<int> resets{0};
    std::atomic<int> threadLimit{0};

    SessionFacts Facts() const override { return facts; }
    RateSummary Throughput(bool reset) override {
        if (reset) ++resets;
        return rates;
    }
    int64_t ServerTime() const override { return serverTime; }
    bool TakeInputSent() override { return false; }
    bool TakeMessageReceived() override { return false; }
    void ExitSession() override { ++exits; }
    void DisconnectSession() override { ++disconnects; }
    void ShutDown() override {}
    void SetDecoderThreadLimit(int limit) override { threadLimit = limit; }
    bool ToggleKeyMapMode() override { return false; }
    bool SaveConnectionFile(const std::string&, bool) override { return true; }
    void KeyEvent(const KeyInput& input) override { keys.push_back(input); }
    void PointerEvent(const PointerInput& input) override { pointer.push_back(input); }
    void PointerWarped(int x, int y) override { warps.emplace_back(x, y); }
    void KeyboardLost() override { ++keyboardLost; }
    int keyboardLost = 0;
    std::vector<PointerInput> pointer;
    std::vector<std::pair<int, int>> warps;
    std::vector<KeyInput> keys;
};

}  // namespace corvane
