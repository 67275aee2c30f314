// Saving the current connection as a connection file that the reader takes back.
//
// Called on the user-interface thread with the path the save dialog returned.
#pragma once

#include <string>

#include "config/client_settings.h"

namespace corvane {

struct SaveState {
    bool fullScreenSession = false;  // width and height are written as -1
    bool windowFullScreen = false;   // the window is full screen right now
};

// 0 when written; 1 when the file could not be created or written (the user has been told).
// The file is written beside the target and renamed over it, so a failed save never leaves
// a half-written file in place of the user's earlier one.
[[nodiscard]] int WriteConnectionFile(const std::string& path, const ClientSettings& settings,
                                      const SaveState& state);

}  // namespace corvane
