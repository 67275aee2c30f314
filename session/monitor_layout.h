// The monitor model of full-screen sessions: up to four monitors of equal width standing
// side by side from x = 0, of which the user combines a run of neighbours.
//
// Screens that are not equally wide, stacked or left of the primary one are outside this
// model; the rest of the client relies on it as it stands.
#pragma once

#include <array>

namespace corvane {

// Only the first four monitors can be chosen.
inline constexpr int kSelectableMonitors = 4;

struct MonitorModel {
    int count = 1;
    int virtualWidth = 0;
    int virtualHeight = 0;
    int colourDepth = 24;  // bits per pixel of the desktop

    // Each monitor is taken as an equal share of the virtual screen.
    [[nodiscard]] int MonitorWidth() const { return count > 0 ? virtualWidth / count : virtualWidth; }
};

enum MonitorCheck : int {
    kMonitorsValid = 0,
    kNoMonitorSelected = 1,
    kMonitorsNotAdjacent = 2,
};

struct FullScreenArea {
    int x = 0;
    int width = 0;
    int height = 0;
};

// Checks the chosen monitors (flag 1 = used) and, when they form one run, computes the area
// they cover. Flags of monitors the system does not have count as unchosen.
[[nodiscard]] MonitorCheck CheckMonitorSelection(const MonitorModel& model,
                                                 const std::array<int, kSelectableMonitors>& flags,
                                                 FullScreenArea& area);

}  // namespace corvane
