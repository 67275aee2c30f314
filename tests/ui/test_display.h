// An X server of the test's own for the window tests, optionally with a window manager, and
// what the X tools say about the windows on it.
#pragma once

#include <chrono>
#include <cstdio>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "session/child_process.h"

namespace corvane::test {

// Runs an X tool (xdotool, xclip...) on the display in DISPLAY and waits for it.
inline void RunTool(const std::vector<std::string>& args) {
    ChildProcess tool;
    if (tool.Start(args, {}, "/dev/null")) (void)tool.Wait();
}

class TestDisplay {
public:
    TestDisplay() = default;
    TestDisplay(const TestDisplay&) = delete;
    TestDisplay& operator=(const TestDisplay&) = delete;
    // Ended with a signal it can clean up after: a killed X server leaves its lock file, and
    // enough of them leave no display number free.
    ~TestDisplay() {
        m_windowManager.Terminate();
        m_xvfb.Terminate();
    }

    // Xvfb of this size on a display number it picks itself (and reports once it listens), so
    // that test programs started together never share one.
    bool Start(int width, int height) {
        const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
        if (!m_xvfb.Start({"/usr/bin/Xvfb", "-displayfd", "1", "-screen", "0", screen, "-nolisten", "tcp"}, {},
                          "/dev/null")) {
            return false;
        }
        const std::string number = m_xvfb.ReadLine(std::chrono::seconds(20));
        if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) return false;
        m_name = ":" + number;
        return true;
    }

    // Starts openbox on the display and waits until it has taken the screen.
    bool StartWindowManager() {
        if (!m_windowManager.Start({"/usr/bin/openbox", "--sm-disable"}, {"DISPLAY=" + m_name}, "/dev/null")) {
            return false;
        }
        for (int i = 0; i < 100; ++i) {
            if (Output("xprop -root _NET_SUPPORTING_WM_CHECK").find("window id") != std::string::npos) {
                // It announces itself before it has finished starting; a window mapped meanwhile
                // may stay unmanaged.
                std::this_thread::sleep_for(std::chrono::seconds(1));
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    // Ends the window manager started above.
    void StopWindowManager() { m_windowManager.Terminate(); }

    [[nodiscard]] const std::string& Name() const { return m_name; }

    // What a command run through the shell on this display wrote to its standard output.
    [[nodiscard]] std::string Output(const std::string& command) const {
        const std::string line = "DISPLAY=" + m_name + " " + command + " 2>/dev/null";
        std::string text;
        if (FILE* pipe = popen(line.c_str(), "r")) {
            char buffer[4096];
            size_t n;
            while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
            pclose(pipe);
        }
        return text;
    }

    // A top-level window as `xwininfo -root -tree` shows it: its id and its place on the screen.
    struct Window {
        std::string id;
        int x = 0;
        int y = 0;
        int width = 0;
        int height = 0;
    };

    // Every window whose name holds `name`, in the order xwininfo lists them.
    [[nodiscard]] std::vector<Window> WindowsNamed(const std::string& name) const {
        std::vector<Window> found;
        std::istringstream lines(Output("xwininfo -root -tree"));
        std::string line;
        while (std::getline(lines, line)) {
            const size_t quote = line.find('"');
            if (quote == std::string::npos || line.find(name, quote) == std::string::npos) continue;
            std::istringstream words(line);
            Window w;
            words >> w.id;
            // The geometry "WxH+X+Y" and then the place on the root "+X+Y" end the line.
            const size_t absolute = line.rfind(" +");
            if (absolute == std::string::npos) continue;
            const size_t geometryEnd = line.find_last_not_of(' ', absolute);
            const size_t geometry = geometryEnd == std::string::npos ? geometryEnd : line.rfind(' ', geometryEnd);
            if (geometry == std::string::npos) continue;
            if (std::sscanf(line.c_str() + geometry, " %dx%d", &w.width, &w.height) != 2) continue;
            if (std::sscanf(line.c_str() + absolute, " %d%d", &w.x, &w.y) != 2) continue;
            found.push_back(w);
        }
        return found;
    }

    [[nodiscard]] std::optional<Window> WindowNamed(const std::string& name) const {
        const std::vector<Window> all = WindowsNamed(name);
        if (all.size() != 1) return std::nullopt;
        return all.front();
    }

    // Whether the window is mapped and all its ancestors are.
    [[nodiscard]] bool Viewable(const std::string& id) const {
        return Output("xwininfo -id " + id).find("Map State: IsViewable") != std::string::npos;
    }

private:
    ChildProcess m_xvfb;
    ChildProcess m_windowManager;
    std::string m_name;
};

}  // namespace corvane::test
