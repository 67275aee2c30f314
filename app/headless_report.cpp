#include "app/headless_report.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "config/log.h"

namespace corvane {

std::string PlainStatusText(std::string_view text) {
    constexpr std::string_view kErrorWord = "Error:";
    if (text.substr(0, kErrorWord.size()) == kErrorWord) text.remove_prefix(kErrorWord.size());
    std::string plain;
    bool blank = false;
    for (char c : text) {
        if (std::isspace(static_cast<unsigned char>(c))) {
            blank = !plain.empty();
            continue;
        }
        if (blank) plain += ' ';
        blank = false;
        plain += c;
    }
    if (!plain.empty() && plain.back() == '.') plain.pop_back();
    return plain;
}

std::string ConnectionFileProblem(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::strerror(errno);
    if (S_ISDIR(info.st_mode)) return std::strerror(EISDIR);
    if (!S_ISREG(info.st_mode)) return "not a regular file";
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::strerror(errno);
    ::close(fd);
    return {};
}

std::string HeadlessClosingLine(const HeadlessOutcome& outcome, int exitCode) {
    std::string what;
    if (!outcome.connectionFile.empty() && !outcome.connectionFileRead) {
        if (!outcome.fileProblem.empty()) {
            what = "cannot open connection file " + outcome.connectionFile + ": " + outcome.fileProblem;
        } else {
            what = outcome.connectionFile + " is not a connection file";
            if (!outcome.readerMessage.empty()) what += " (" + outcome.readerMessage + ")";
        }
    } else if (exitCode != 0) {
        std::string reason = outcome.attemptError.empty() ? outcome.finalError : outcome.attemptError;
        if (!outcome.attemptError.empty() && !outcome.finalError.empty() &&
            outcome.finalError != outcome.attemptError) {
            reason += " (" + outcome.finalError + ")";
        }
        if (reason.empty()) reason = "the client ended with exit code " + std::to_string(exitCode);
        what = "server " + (outcome.server.empty() ? std::string("(not read)") : outcome.server) + ": " + reason;
    } else {
        return {};
    }
    return "corvane: " + what + "; log: " + (outcome.logPath.empty() ? "standard error" : outcome.logPath) + "\n";
}

void HeadlessRecorder::Watch(const StatusMailbox& mailbox) {
    std::lock_guard lock(m_mutex);
    m_mailbox = &mailbox;
}

std::string HeadlessRecorder::PostedError() const {
    if (m_mailbox == nullptr) return {};
    StatusMessage last = m_mailbox->Last();
    return last.code == kStatusError ? PlainStatusText(last.text) : std::string();
}

// A failure posts its line and then calls for the alert (after ShowFatalError when the client
// ends on it): the line on the mailbox at that moment is the failure's.
void HeadlessRecorder::ErrorBeep() {
    {
        std::lock_guard lock(m_mutex);
        std::string posted = PostedError();
        if (!posted.empty() && posted != m_finalError) m_attemptError = posted;
    }
    m_host.ErrorBeep();
}

void HeadlessRecorder::ShowFatalError() {
    {
        std::lock_guard lock(m_mutex);
        m_finalError = PostedError();
    }
    m_host.ShowFatalError();
}

void HeadlessRecorder::SettingsRead(const ClientSettings& settings) {
    {
        std::lock_guard lock(m_mutex);
        m_settingsSeen = true;
        m_connectionFilePath = settings.connectionFilePath;
        // A connection file the reader refused leaves its message as the last error posted.
        m_readerMessage = settings.connectionFilePath.empty() ? PostedError() : std::string();
        m_server = (settings.displayServerAddress.empty() ? std::string("(no address)") : settings.displayServerAddress) +
                   ":" + std::to_string(settings.displayServerPort);
        if (settings.protocolType != 0 && settings.useProxy != 0) {
            m_server += " through proxy " + settings.proxyHost + ":" + std::to_string(settings.proxyPort);
        }
        m_logPath.clear();
        if (GetLogStream() != stderr && !settings.logPath.empty()) {
            std::error_code error;
            std::filesystem::path absolute = std::filesystem::absolute(settings.logPath, error);
            m_logPath = error ? settings.logPath : absolute.lexically_normal().string();
        }
    }
    m_host.SettingsRead(settings);
}

HeadlessOutcome HeadlessRecorder::Outcome(const std::string& connectionFile) const {
    HeadlessOutcome outcome;
    outcome.connectionFile = connectionFile;
    {
        std::lock_guard lock(m_mutex);
        outcome.connectionFileRead = m_settingsSeen && !m_connectionFilePath.empty();
        outcome.readerMessage = m_readerMessage;
        outcome.server = m_server;
        outcome.attemptError = m_attemptError;
        outcome.finalError = m_finalError;
        outcome.logPath = m_logPath;
    }
    if (!connectionFile.empty() && !outcome.connectionFileRead) {
        outcome.fileProblem = ConnectionFileProblem(connectionFile);
    }
    return outcome;
}

}  // namespace corvane
