// The test server's X11 capture and encode path on a 1920x1080 Xvfb whose screen is mostly
// one terminal scrolling as fast as it can: changes found (DAMAGE), captured (MIT-SHM) and
// encoded into image-update bodies as fast as this process can go, in three compforms.
// Prints updates per second, encoded MB/s and this process's CPU use (the X server's and the
// terminal's are not counted), the median of three runs after a warm-up, and, as the
// baseline, how often the whole screen can be captured in the same time.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "tools/testserver/desktop.h"
#include "tools/testserver/jpeg_image_updates.h"
#include "tools/testserver/server_messages.h"
#include "tools/testserver/x11_screen.h"

extern char** environ;

namespace {

using corvane::testserver::PixelRect;
using corvane::testserver::X11Screen;
using Clock = std::chrono::steady_clock;

constexpr auto kRun = std::chrono::seconds(3);
constexpr int kRuns = 3;

pid_t Spawn(const std::vector<std::string>& args, int stdoutFd = -1) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdoutFd >= 0) posix_spawn_file_actions_adddup2(&actions, stdoutFd, STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Figures {
    double updatesPerSecond = 0;
    double megabytesPerSecond = 0;
    double cpuPercent = 0;
};

Figures Run(X11Screen& screen, uint32_t compform) {
    std::vector<PixelRect> changed;
    size_t updates = 0;
    size_t bytes = 0;
    const double cpuStart = CpuSeconds();
    const Clock::time_point start = Clock::now();
    while (Clock::now() - start < kRun) {
        if (!screen.CaptureChanges(corvane::testserver::kChangeTile, changed)) break;
        if (changed.empty()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        const std::vector<uint8_t> body = corvane::testserver::IsJpegCompform(compform)
                                              ? corvane::testserver::JpegImageUpdateBody(screen, 0, changed, compform)
                                              : corvane::testserver::ImageUpdateBody(screen, 0, changed, compform);
        ++updates;
        bytes += body.size();
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return {double(updates) / seconds, double(bytes) / seconds / 1e6, 100 * (CpuSeconds() - cpuStart) / seconds};
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main() {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return 1;
    const pid_t xvfb = Spawn({"/usr/bin/Xvfb", "-displayfd", std::to_string(pipeFds[1]), "-screen", "0",
                              "1920x1080x24", "-nolisten", "tcp"});
    close(pipeFds[1]);
    char number[16] = {};
    const ssize_t got = xvfb > 0 ? read(pipeFds[0], number, sizeof number - 1) : -1;
    close(pipeFds[0]);
    if (got <= 0) {
        std::fprintf(stderr, "cannot start Xvfb\n");
        return 1;
    }
    std::string display = ":" + std::string(number);
    display.erase(display.find_last_not_of('\n') + 1);
    const pid_t xterm = Spawn({"/usr/bin/xterm", "-display", display, "-geometry", "300x80+0+0", "-e", "sh", "-c",
                               "while :; do seq 1 100000; done"});
    std::this_thread::sleep_for(std::chrono::seconds(2));

    int status = 0;
    std::string error;
    std::unique_ptr<X11Screen> screen = X11Screen::Open(display, error);
    if (!screen) {
        std::fprintf(stderr, "%s\n", error.c_str());
        status = 1;
    } else {
        std::printf("1920x1080, a terminal of 300x80 characters scrolling; damage=%s shm=%s\n",
                    screen->HasDamage() ? "yes" : "no", screen->HasSharedMemory() ? "yes" : "no");
        (void)screen->CaptureAll(corvane::testserver::kFullScreenTile);
        // Baseline: the whole screen captured again and again.
        size_t full = 0;
        const Clock::time_point start = Clock::now();
        while (Clock::now() - start < kRun) {
            (void)screen->CaptureAll(corvane::testserver::kFullScreenTile);
            ++full;
        }
        const double fullRate = double(full) / std::chrono::duration<double>(Clock::now() - start).count();
        std::printf("%-22s %8.1f captures/s %8.1f MB/s\n", "full-screen capture", fullRate, fullRate * 1920 * 1080 * 4 / 1e6);
        for (const auto& [compform, name] : {std::pair<uint32_t, const char*>{4, "raw (4)"}, {9, "planar (9)"},
                                             {1, "palette chunks (1)"}, {10, "JPEG (10)"}}) {
            (void)Run(*screen, compform);  // warm-up
            std::vector<double> rate, mb, cpu;
            for (int i = 0; i < kRuns; ++i) {
                const Figures f = Run(*screen, compform);
                rate.push_back(f.updatesPerSecond);
                mb.push_back(f.megabytesPerSecond);
                cpu.push_back(f.cpuPercent);
            }
            std::printf("%-22s %8.1f updates/s %8.1f MB/s %6.0f%% CPU\n", name, Median(rate), Median(mb), Median(cpu));
        }
    }
    screen.reset();
    for (pid_t p : {xterm, xvfb}) {
        if (p > 0) {
            kill(p, SIGTERM);
            waitpid(p, nullptr, 0);
        }
    }
    return status;
}
