// corvane-testserver: parses the command line, opens the event log, loads the scenario,
// prints "listening on PORT" and serves until the run ends. SIGINT and SIGTERM end the
// run like --exit-after does (exit code 0).
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "config/log.h"
#include "tools/testserver/event_log.h"
#include "tools/testserver/desktop.h"
#include "tools/testserver/options.h"
#include "tools/testserver/recording.h"
#include "tools/testserver/scenario.h"
#include "tools/testserver/server.h"
#include "tools/testserver/x11_desktop.h"

namespace {

constexpr int kUsageError = 2;
constexpr int kStartError = 1;

using corvane::testserver::ServerOptions;

bool LoadScenario(ServerOptions& options) {
    if (options.scenarioPath.empty()) return true;
    std::ifstream file(options.scenarioPath, std::ios::binary);
    if (!file) {
        std::cerr << "corvane-testserver: cannot read " << options.scenarioPath << "\n";
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    corvane::testserver::ScenarioParse parse = corvane::testserver::ParseScenario(text.str());
    if (!parse.error.empty()) {
        std::cerr << "corvane-testserver: " << options.scenarioPath << ", " << parse.error << "\n";
        return false;
    }
    options.scenario = std::move(parse.steps);
    return true;
}

// Waits for SIGINT or SIGTERM, which every thread blocks, and stops the server. Woken with
// a SIGTERM of its own when the run ends first.
class SignalWatcher {
  public:
    explicit SignalWatcher(corvane::testserver::Server& server) {
        sigemptyset(&m_signals);
        sigaddset(&m_signals, SIGINT);
        sigaddset(&m_signals, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &m_signals, nullptr);  // before any thread starts
        m_thread = std::thread([this, &server] {
            int signal = 0;
            sigwait(&m_signals, &signal);
            if (!m_runOver) server.Stop();
        });
    }
    ~SignalWatcher() {
        m_runOver = true;
        pthread_kill(m_thread.native_handle(), SIGTERM);  // harmless when it has already woken
        m_thread.join();
    }
    SignalWatcher(const SignalWatcher&) = delete;
    SignalWatcher& operator=(const SignalWatcher&) = delete;

  private:
    sigset_t m_signals{};
    std::atomic<bool> m_runOver{false};
    std::thread m_thread;
};

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    corvane::testserver::CommandLine commandLine = corvane::testserver::ParseCommandLine(arguments);
    if (!commandLine.error.empty()) {
        std::cerr << "corvane-testserver: " << commandLine.error << " (see --help)\n";
        return kUsageError;
    }
    ServerOptions& options = commandLine.options;
    if (options.help) {
        std::cout << corvane::testserver::HelpText();
        return 0;
    }
    if (!LoadScenario(options)) return kUsageError;
    corvane::SetDebugLevel(options.traceLevel);

    corvane::testserver::EventLog log;
    if (!options.logPath.empty() && !log.Open(options.logPath)) {
        std::cerr << "corvane-testserver: cannot write " << options.logPath << "\n";
        return kStartError;
    }

    // A real X11 display fixes the session size to its own.
    corvane::testserver::X11Desktop x11;
    if (!options.x11Display.empty()) {
        std::string error;
        x11 = corvane::testserver::OpenX11Desktop(options.x11Display, options.keyCodes, error);
        if (!x11.screen) {
            std::cerr << "corvane-testserver: --x11 " << options.x11Display << ": " << error << "\n";
            return kStartError;
        }
        options.geometry = std::pair<int, int>(x11.screen->Width(), x11.screen->Height());
        log.Write("x11 display=" + options.x11Display + " width=" + std::to_string(x11.screen->Width()) +
                  " height=" + std::to_string(x11.screen->Height()) +
                  " damage=" + (x11.screen->HasDamage() ? "yes" : "no") +
                  " shm=" + (x11.screen->HasSharedMemory() ? "yes" : "no") +
                  " cursor=" + (x11.cursor != nullptr ? "yes" : "no"));
    }
    // A replay gives every session the recording's size, and needs the server code its
    // frames were enciphered with.
    corvane::testserver::Recording replay;
    if (!options.replayPath.empty()) {
        std::string error;
        if (!corvane::testserver::ReadRecording(options.replayPath, replay, error)) {
            std::cerr << "corvane-testserver: --replay: " << error << "\n";
            return kStartError;
        }
        const corvane::testserver::SessionGeometry& g = replay.geometry;
        if (g.width < 1 || g.width > corvane::testserver::kMaxDesktopWidth || g.height < 1 ||
            g.height > corvane::testserver::kMaxDesktopHeight) {
            std::cerr << "corvane-testserver: --replay: " << options.replayPath << " has a size no session can have\n";
            return kStartError;
        }
        if (replay.serverCodeCheck != corvane::testserver::ServerCodeCheck(options.serverCode)) {
            std::cerr << "corvane-testserver: --replay: " << options.replayPath
                      << " was recorded under another --server-code\n";
            return kStartError;
        }
        options.geometry = std::pair<int, int>(g.width, g.height);
        log.Write("replay file=" + options.replayPath + " width=" + std::to_string(g.width) + " height=" +
                  std::to_string(g.height) + " depth=" + std::to_string(g.depth) + " updates=" +
                  std::to_string(replay.updates) + " bytes=" + std::to_string(replay.bytes.size()));
    }
    corvane::testserver::Server server(options, log, x11.screen ? &x11 : nullptr,
                                       options.replayPath.empty() ? nullptr : &replay);
    const int port = server.Listen();
    if (port < 0) return kStartError;
    std::printf("listening on %d\n", port);
    std::fflush(stdout);

    SignalWatcher signals(server);
    return server.Run();
}
