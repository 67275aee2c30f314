// The display code's view of the client, for tests: records every call it receives.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "display/display_events.h"

namespace corvane::test {

struct RepaintCall {
    int x, y, width, height;
    bool operator==(const RepaintCall&) const = default;
};

struct BeepCall {
    int frequency, milliseconds;
    bool operator==(const BeepCall&) const = default;
};

class RecordingEvents : public DisplayEvents {
public:
    void RepaintRect(int x, int y, int width, int height) override {
        repaints.push_back({x, y, width, height});
    }
    void RepaintAll() override { ++repaintAll; }
    void FrameDrawn() override { ++framesDrawn; }
    void RepaintSeamlessWindows() override { ++seamlessRepaints; }
    void Beep(int frequencyHz, int milliseconds) override { beeps.push_back({frequencyHz, milliseconds}); }
    void SetTitle(const std::string& title) override { titles.push_back(title); }
    [[nodiscard]] std::string BaseTitle() const override { return baseTitle; }
    void SessionControl(const uint8_t* record) override {
        sessionControls.emplace_back(record, record + 32);
    }
    void CursorShape(const CursorImage& image) override { cursors.push_back(image); }
    [[nodiscard]] bool LocalMode() const override { return localMode; }
    [[nodiscard]] bool SeamlessMode() const override { return seamless; }
    [[nodiscard]] bool FullScreenSession() const override { return false; }

    std::vector<RepaintCall> repaints;
    int repaintAll = 0;
    int framesDrawn = 0;
    int seamlessRepaints = 0;
    std::vector<BeepCall> beeps;
    std::vector<std::string> titles;
    std::vector<std::vector<uint8_t>> sessionControls;
    std::vector<CursorImage> cursors;
    std::string baseTitle = "Corvane - test";
    bool localMode = false;
    bool seamless = false;
};

}  // namespace corvane::test
