// The display events of a benchmark: nobody watches, so every call does nothing.
#pragma once

#include <cstdint>
#include <string>

#include "display/display_events.h"

namespace corvane::bench {

class NoEvents : public DisplayEvents {
public:
    void FrameDrawn() override {}
    void Beep(int, int) override {}
    void SetTitle(const std::string&) override {}
    [[nodiscard]] std::string BaseTitle() const override { return {}; }
    [[nodiscard]] bool LocalMode() const override { return false; }
};

}  // namespace corvane::bench
