#include "session/monitor_layout.h"

namespace corvane {

MonitorCheck CheckMonitorSelection(const MonitorModel& model, const std::array<int, kSelectableMonitors>& flags,
                                   FullScreenArea& area) {
    int mask = 0;
    int chosen = 0;
    for (int i = 0; i < kSelectableMonitors; ++i) {
        if (flags[i] != 0 && i < model.count) {
            mask |= 1 << i;
            ++chosen;
        }
    }
    if (mask == 0) return kNoMonitorSelected;
    // A run of neighbours: shifting the lowest chosen monitor down to bit 0 leaves 2^k - 1.
    int run = mask;
    while ((run & 1) == 0) run >>= 1;
    if ((run & (run + 1)) != 0) return kMonitorsNotAdjacent;

    if (chosen < model.count) {
        int first = 0;
        while ((mask & (1 << first)) == 0) ++first;
        area.x = first * model.MonitorWidth();
        area.width = chosen * model.MonitorWidth();
    } else {
        area.x = 0;
        area.width = model.virtualWidth;
    }
    area.height = model.virtualHeight;
    return kMonitorsValid;
}

}  // namespace corvane
