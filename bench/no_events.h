// The display events of a benchmark: nobody watches, so every call does nothing.
#pragma once

#include <cstdint>
#include <string>

#include "display/display_events.h"

namespace corvane::bench {

class NoEvents : public DisplayEvents {
public:
    void RepaintRect(int, int, int, int) override {}
    void RepaintAll() override {}
    void FrameDrawn() override {}
    void Beep(int, int) override {}
    void SetTitle(const std::string&) override {}
    [[nodiscard]] std::string BaseTitle() const override { return {}; }
    void SessionControl(const uint8_t*) override {}
    [[nodiscard]] bool LocalMode() const override { return false; }
    [[nodiscard]] bool SeamlessMode() const override { return false; }
    [[nodiscard]] bool FullScreenSession() const override { return false; }
};

}  // namespace corvane::bench
