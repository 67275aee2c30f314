// The display code's view of the client, for tests: records every call it receives.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "display/display_events.h"
#include "display/frame_buffer.h"

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
    // Records the damage `frameBuffer` reports from now on, one call per area (each is taken
    // at once, so every change signals again); the whole screen also counts in repaintAll.
    void Watch(FrameBuffer& frameBuffer) {
        frameBuffer.SetDamageListener([this, &frameBuffer] {
            std::vector<DamageRect> taken;
            frameBuffer.TakeDamage(taken);
            const FrameGeometry g = frameBuffer.Geometry();
            for (const DamageRect& r : taken) {
                repaints.push_back({r.x, r.y, r.width, r.height});
                if (r == DamageRect{0, 0, g.width, g.sessionHeight}) ++repaintAll;
            }
        });
    }

    void FrameDrawn() override { ++framesDrawn; }
    void Beep(int frequencyHz, int milliseconds) override { beeps.push_back({frequencyHz, milliseconds}); }
    void SetTitle(const std::string& title) override { titles.push_back(title); }
    [[nodiscard]] std::string BaseTitle() const override { return baseTitle; }
    void CursorShape(const CursorImage& image) override { cursors.push_back(image); }
    [[nodiscard]] bool LocalMode() const override { return localMode; }

    std::vector<RepaintCall> repaints;
    int repaintAll = 0;
    int framesDrawn = 0;
    std::vector<BeepCall> beeps;
    std::vector<std::string> titles;
    std::vector<CursorImage> cursors;
    std::string baseTitle = "Corvane - test";
    bool localMode = false;
};

}  // namespace corvane::test
