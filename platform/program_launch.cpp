#include "platform/program_launch.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>

#include <fcntl.h>
#include <pthread.h>
#include <spawn.h>
#include <unistd.h>

extern char** environ;

namespace corvane::platform {

namespace {

bool IsExecutableFile(const std::string& path) { return ::access(path.c_str(), X_OK) == 0; }

// Writes all of `input` with SIGPIPE held back on this thread, so that a reader that has gone
// makes the write fail instead of ending the process; a SIGPIPE raised meanwhile is taken.
bool WriteAll(int fd, std::string_view input) {
    sigset_t pipeSignal;
    sigset_t before;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &before);
    bool ok = true;
    bool broken = false;
    while (!input.empty()) {
        const ssize_t n = ::write(fd, input.data(), input.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            broken = errno == EPIPE;
            break;
        }
        input.remove_prefix(static_cast<size_t>(n));
    }
    if (broken) {
        const timespec none{0, 0};
        (void)sigtimedwait(&pipeSignal, nullptr, &none);
    }
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    return ok;
}

}  // namespace

std::string FindProgramOnPath(const std::string& name, std::string_view searchPath) {
    if (name.empty()) return {};
    if (name.find('/') != std::string::npos) return IsExecutableFile(name) ? name : std::string();
    while (true) {
        const size_t colon = searchPath.find(':');
        const std::string_view folder = searchPath.substr(0, colon);
        // An empty entry is the current folder, as for the shell.
        const std::string candidate = (folder.empty() ? std::string(".") : std::string(folder)) + "/" + name;
        if (IsExecutableFile(candidate)) return candidate;
        if (colon == std::string_view::npos) return {};
        searchPath.remove_prefix(colon + 1);
    }
}

std::string FindProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    return FindProgramOnPath(name, path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin");
}

StartedProgram StartProgram(const std::string& path, const std::vector<std::string>& args, std::string_view input) {
    StartedProgram started;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return started;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
    // Sockets and files of the client are not the program's business.
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[0]);
    if (rc == 0) {
        started.pid = static_cast<int>(pid);
        started.inputWritten = WriteAll(fds[1], input);
    }
    ::close(fds[1]);
    return started;
}

}  // namespace corvane::platform
