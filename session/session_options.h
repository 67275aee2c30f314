// How a session is to end by itself, and what to leave behind, from the command line.
#pragma once

#include <string>

namespace corvane {

struct SessionOptions {
    std::string sessionChoice = "last";  // what an unattended Session Control dialog picks
    long long exitAfterFrames = 0;       // 0: no limit
    double exitAfterSeconds = 0;         // 0: no limit
    std::string screenshotPath;          // empty: none
};

}  // namespace corvane
