// The closing line of a headless client. Nobody watches its progress window, so when the
// named connection file cannot be used, or the session cannot be had from the server, the
// client ends with one line on standard error that says which file or server, why, and where
// the log is:
//
//   corvane: cannot open connection file /no/such.zrp: No such file or directory; log: PATH
//   corvane: notes.txt is not a connection file (zRP Display Client cannot read VersionRequired); log: PATH
//   corvane: server 127.0.0.1:27500: Unable to contact remote host (Exceeded Login retries!); log: PATH
//
// The log and the session are untouched: the recorder only watches what the session shows.
#pragma once

#include <mutex>
#include <string>
#include <string_view>

#include "config/status_mailbox.h"
#include "session/headless_host.h"
#include "session/session_ports.h"

namespace corvane {

// What the closing line is made of.
struct HeadlessOutcome {
    std::string connectionFile;       // as given on the command line; empty: stand-alone
    bool connectionFileRead = false;  // the client read it as its connection file
    std::string fileProblem;          // why it cannot be opened (system text); empty if it can
    std::string readerMessage;        // what the connection-file reader said of it
    std::string server;               // "host:port", with the proxy when one is used
    std::string attemptError;         // the last refused attempt's message
    std::string finalError;           // the message the client ended on
    std::string logPath;              // empty: the records went to standard error
};

// The line (ending in a line feed) for a client that ended with this exit code; empty when
// there is nothing to report. A connection file that could not be used is reported whatever
// the exit code, since the client then ran without it.
[[nodiscard]] std::string HeadlessClosingLine(const HeadlessOutcome& outcome, int exitCode);

// Why `path` cannot be opened for reading as a file, in the system's words; empty when it can.
// The error is the one the system gave this check, never one left over from elsewhere.
[[nodiscard]] std::string ConnectionFileProblem(const std::string& path);

// A status line as one line of text: without the "Error:" that opens it, its line breaks and
// runs of blanks, and a final full stop.
[[nodiscard]] std::string PlainStatusText(std::string_view text);

// Sits between the session and the headless host, passing every call on, and notes what the
// closing line needs: the settings once read, and the error lines the session posted with
// each failure it showed. Calls may come from any thread.
class HeadlessRecorder : public NoticePort, public WindowPort {
public:
    explicit HeadlessRecorder(HeadlessHost& host) : m_host(host) {}

    // The session's ports: notices and windows through this recorder, the rest the host's.
    [[nodiscard]] SessionPorts Ports() {
        return SessionPorts{*this, m_host, m_host, *this, m_host, m_host, m_host, m_host};
    }

    // The mailbox the session posts its errors to; set before the session runs.
    void Watch(const StatusMailbox& mailbox);

    // What was seen, for the connection file given on the command line.
    [[nodiscard]] HeadlessOutcome Outcome(const std::string& connectionFile) const;

    // NoticePort.
    void SetTitle(const std::string& title) override { m_host.SetTitle(title); }
    void Bell(int frequencyHz, int milliseconds) override { m_host.Bell(frequencyHz, milliseconds); }
    void ErrorBeep() override;
    void ShowProgress(bool shown) override { m_host.ShowProgress(shown); }
    void ShowFatalError() override;
    void ShowSessionEndNotice(const std::string& title, const std::string& line) override {
        m_host.ShowSessionEndNotice(title, line);
    }
    void ShowReconnecting(bool reconnecting) override { m_host.ShowReconnecting(reconnecting); }
    void Minimise() override { m_host.Minimise(); }
    void PauseForUser(int milliseconds) override { m_host.PauseForUser(milliseconds); }

    // WindowPort.
    void SettingsRead(const ClientSettings& settings) override;
    void SessionStarted(FrameBuffer& frameBuffer, SessionCommands& commands) override {
        m_host.SessionStarted(frameBuffer, commands);
    }
    [[nodiscard]] int EventLoop() override { return m_host.EventLoop(); }
    void Quit(int exitCode) override { m_host.Quit(exitCode); }

private:
    // The error line on the mailbox now; empty when the last post was not an error.
    [[nodiscard]] std::string PostedError() const;

    HeadlessHost& m_host;
    const StatusMailbox* m_mailbox = nullptr;
    mutable std::mutex m_mutex;
    bool m_settingsSeen = false;  // the fields below are under m_mutex
    std::string m_connectionFilePath;
    std::string m_readerMessage;
    std::string m_server;
    std::string m_logPath;
    std::string m_attemptError;
    std::string m_finalError;
};

}  // namespace corvane
