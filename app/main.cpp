// The client's entry point: the command line, then the application object with its host —
// the windows when a display is there, the headless host otherwise or when asked for.
#include <QApplication>
#include <QIcon>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "app/command_line.h"
#include "app/headless_report.h"
#include "app/version_report.h"
#include "config/log.h"
#include "session/display_client_app.h"
#include "session/headless_host.h"
#include "ui/qt_host.h"
#include "ui/seamless_platform.h"

namespace {

// How long the windows wait for the session thread once the user has ended the client (it
// may be blocked connecting to a server that does not answer).
constexpr auto kSessionThreadGrace = std::chrono::seconds(3);

bool DisplayAvailable() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return true;
    }
    return false;
}

int ReportResult(corvane::CDisplayClientApp& app, int exitCode) {
    // Without a progress window the last error shown there goes to the terminal.
    corvane::StatusMessage last = app.Mailbox().Last();
    if (exitCode != 0 && last.code == corvane::kStatusError) {
        std::fprintf(stderr, "corvane: %s\n", last.text.c_str());
    }
    return exitCode;
}

// Nobody reads a progress window here: the client ends with one line that names the file or
// the server, the reason and the log (the log records what happened in full).
int RunHeadless(const corvane::CommandLine& commandLine, const corvane::SessionOptions& options) {
    corvane::HeadlessHost host(options.sessionChoice);
    corvane::HeadlessRecorder recorder(host);
    corvane::CDisplayClientApp app(recorder.Ports(), options);
    recorder.Watch(app.Mailbox());
    const int exitCode = app.Run(commandLine.connectionFile);
    const std::string line = corvane::HeadlessClosingLine(recorder.Outcome(commandLine.connectionFile), exitCode);
    if (!line.empty()) std::fputs(line.c_str(), stderr);
    return exitCode;
}

int RunWindowed(int argc, char** argv, const corvane::CommandLine& commandLine,
                const corvane::SessionOptions& options) {
    // Seamless windows need a platform that lets the client place them (X11, XWayland).
    corvane::PreferX11ForSeamless(commandLine.connectionFile);
    QApplication application(argc, argv);
    application.setApplicationName("Corvane");
    // The desktop finds the installed entry (and so the icon) for the client's windows.
    QGuiApplication::setDesktopFileName("corvane");
    application.setWindowIcon(QIcon::fromTheme("corvane"));
    // The client ends when its session does, not when a dialog closes.
    application.setQuitOnLastWindowClosed(false);

    corvane::QtHost host;
    corvane::CDisplayClientApp app(host.Ports(), options);
    host.Attach(app.Mailbox(), [&app] { app.ShutDown(); });

    // The start-up and the login run beside the event loop, which keeps the windows alive.
    std::promise<int> result;
    std::future<int> done = result.get_future();
    std::thread session([&] {
        result.set_value(app.Run(commandLine.connectionFile));
        QMetaObject::invokeMethod(&application, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    });
    application.exec();
    host.SessionThreadEnded();
    if (done.wait_for(kSessionThreadGrace) != std::future_status::ready) {
        // Still blocked in a connection attempt: nothing more of this client is visible.
        corvane::DebugPrint(1, "The session thread did not end; leaving without it\n");
        std::fflush(nullptr);
        std::_Exit(corvane::kExitNormal);
    }
    session.join();
    return ReportResult(app, done.get());
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    corvane::CommandLine commandLine;
    std::string error;
    if (corvane::ParseCommandLine(args, commandLine, error) != 0) {
        std::fprintf(stderr, "corvane: %s (corvane --help lists the options)\n", error.c_str());
        return corvane::kExitUsage;
    }
    if (commandLine.showHelp) {
        std::fputs(corvane::CommandLineUsage(), stdout);
        return 0;
    }
    if (commandLine.showVersion) {
        std::fputs(corvane::VersionReport().c_str(), stdout);
        return 0;
    }
    corvane::SessionOptions options;
    options.sessionChoice = commandLine.sessionChoice;
    options.exitAfterFrames = commandLine.exitAfterFrames;
    options.exitAfterSeconds = commandLine.exitAfterSeconds;
    options.screenshotPath = commandLine.screenshotPath;

    if (commandLine.headless) return RunHeadless(commandLine, options);
    if (!DisplayAvailable()) {
        std::fprintf(stderr, "corvane: no display found; running without windows\n");
        return RunHeadless(commandLine, options);
    }
    return RunWindowed(argc, argv, commandLine, options);
}
