// A real tinyproxy for the proxy tests: started on a free loopback port with a configuration
// that allows CONNECT to one port only, and stopped when the object goes.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "protocol/loopback_peer.h"
#include "support/temp_dir.h"

extern char** environ;

namespace corvane::test {

class TinyproxyProcess {
  public:
    TinyproxyProcess() = default;
    ~TinyproxyProcess() { Stop(); }
    TinyproxyProcess(const TinyproxyProcess&) = delete;
    TinyproxyProcess& operator=(const TinyproxyProcess&) = delete;

    // The installed program, or empty when there is none.
    static std::string Executable() {
        for (const char* path : {"/usr/sbin/tinyproxy", "/usr/bin/tinyproxy"}) {
            if (::access(path, X_OK) == 0) return path;
        }
        return {};
    }

    // Starts the proxy in the foreground and waits (within the bound) until it accepts
    // connections. CONNECT is allowed to `connectPort` only.
    [[nodiscard]] bool Start(int connectPort) {
        m_port = UnusedLoopbackPort();
        const std::string config = m_dir.write(
            "tinyproxy.conf",
            "Port " + std::to_string(m_port) + "\nListen 127.0.0.1\nTimeout 60\n" +
                "Allow 127.0.0.1\nConnectPort " + std::to_string(connectPort) +
                "\nMaxClients 8\nLogLevel Info\nLogFile \"" + m_dir.file("tinyproxy.log") + "\"\n");
        const std::string program = Executable();
        char* const argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>("-d"),
                              const_cast<char*>("-c"), const_cast<char*>(config.c_str()), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        const int spawned = posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0) {
            m_pid = -1;
            return false;
        }
        // Ready once it accepts a connection; give up if it exits or the bound runs out.
        const auto deadline = std::chrono::steady_clock::now() + kTestBound;
        while (std::chrono::steady_clock::now() < deadline) {
            if (ConnectRaw(m_port).get() >= 0) return true;
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return false;
            }
            std::this_thread::sleep_for(5ms);
        }
        return false;
    }

    [[nodiscard]] int port() const { return m_port; }
    [[nodiscard]] std::string Log() const { return ReadWholeFile(m_dir.file("tinyproxy.log")); }

    void Stop() {
        if (m_pid <= 0) return;
        ::kill(m_pid, SIGTERM);
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        int status = 0;
        while (::waitpid(m_pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() >= deadline) {
                ::kill(m_pid, SIGKILL);
                ::waitpid(m_pid, &status, 0);
                break;
            }
            std::this_thread::sleep_for(5ms);
        }
        m_pid = -1;
    }

  private:
    TempDir m_dir;
    pid_t m_pid = -1;
    int m_port = 0;
};

}  // namespace corvane::test
