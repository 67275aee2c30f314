// Small rules of the login shared by the first login and the reconnection.
#pragma once

#include <cstdint>

namespace corvane {

// Bits per pixel for a colour depth; 0 for a depth the client does not support.
[[nodiscard]] constexpr int BitsPerPixel(int depth) {
    switch (depth) {
        case 8: return 8;
        case 16: return 16;
        case 24:
        case 124:
        case 224: return 32;
        default: return 0;
    }
}

// The init record's bandwidth class for the bandwidth setting of the login dialog.
[[nodiscard]] constexpr uint16_t BandwidthClass(int setting) {
    switch (setting) {
        case 0: return 2;
        case 2: return 1;
        case 3:
        case 4:
        case 5: return static_cast<uint16_t>(setting);
        default: return 0;
    }
}

// cnctConnect's result for a refusing server status.
[[nodiscard]] constexpr int MapLoginStatus(int status) {
    switch (status) {
        case 1: return -1001;
        case 3: return -1002;
        case 4: return -1004;
        case 5: return -1005;
        case 6: return -1006;
        case 8: return -1007;
        case 9: return -1008;
        case 10: return -1009;
        default: return -1999;
    }
}

}  // namespace corvane
