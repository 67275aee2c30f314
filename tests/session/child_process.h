// Child processes for the end-to-end tests: the test server and the client run as separate
// programs, the way users meet them. Every wait is bounded; a child still running when its
// object goes away is killed.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

extern char** environ;

namespace corvane::test {

class ChildProcess {
public:
    // Starts `args[0]` with `args`, the current environment plus `env` ("NAME=value").
    // Standard output is kept in a pipe for ReadLine; standard error goes to `stderrPath`.
    // A child this object started before is ended first (as when the object goes away), so
    // that one object may run a program again and again.
    bool Start(const std::vector<std::string>& args, const std::vector<std::string>& env,
               const std::string& stderrPath) {
        End();
        int pipeFds[2];
        if (pipe2(pipeFds, O_CLOEXEC) != 0) return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, stderrPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::vector<std::string> environment;
        for (char** e = environ; *e != nullptr; ++e) environment.emplace_back(*e);
        environment.insert(environment.end(), env.begin(), env.end());
        std::vector<char*> argv, envp;
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        for (const auto& e : environment) envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);
        int rc = posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        close(pipeFds[1]);
        m_stdout = pipeFds[0];
        if (rc != 0) m_pid = -1;
        return rc == 0;
    }

    ~ChildProcess() { End(); }
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // One line of standard output (without its line feed); empty on time-out or end.
    std::string ReadLine(std::chrono::milliseconds bound = std::chrono::seconds(20)) {
        auto deadline = std::chrono::steady_clock::now() + bound;
        std::string line;
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd p{m_stdout, POLLIN, 0};
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (poll(&p, 1, static_cast<int>(std::max<long>(left.count(), 0))) <= 0) break;
            char c;
            if (read(m_stdout, &c, 1) != 1) break;
            if (c == '\n') return line;
            line += c;
        }
        return line;
    }

    // What Wait returns for a child that did not end within the bound and was killed.
    static constexpr int kKilledAtBound = -1000;

    // The exit code (kKilledAtBound when it did not end within the bound; -signal when a
    // signal ended it). Once the child has ended, every later call returns the same at once:
    // its process id is never waited for or signalled again, since the system may have given
    // it to another process.
    int Wait(std::chrono::milliseconds bound = std::chrono::seconds(60)) {
        if (m_pid <= 0) return -1;
        if (m_exited) return m_result;
        auto deadline = std::chrono::steady_clock::now() + bound;
        int status = 0;
        for (;;) {
            pid_t done = waitpid(m_pid, &status, WNOHANG);
            if (done == m_pid) {
                m_exited = true;
                m_result = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
                return m_result;
            }
            if (std::chrono::steady_clock::now() >= deadline) break;
            usleep(10'000);
        }
        kill(m_pid, SIGKILL);
        waitpid(m_pid, &status, 0);
        m_exited = true;
        m_result = kKilledAtBound;
        return m_result;
    }

    // Asks the child to end (SIGTERM), so that it can clean up after itself (an X server's lock
    // file), and kills it if it has not ended within the bound.
    void Terminate(std::chrono::milliseconds bound = std::chrono::seconds(5)) {
        if (m_pid > 0 && !m_exited) {
            kill(m_pid, SIGTERM);
            (void)Wait(bound);
        }
    }

private:
    // Kills a child still running, reaps it, and closes its output pipe.
    void End() {
        if (m_pid > 0 && !m_exited) {
            kill(m_pid, SIGKILL);
            int status = 0;
            waitpid(m_pid, &status, 0);
        }
        if (m_stdout >= 0) close(m_stdout);
        m_pid = -1;
        m_stdout = -1;
        m_exited = false;
        m_result = 0;
    }

    pid_t m_pid = -1;
    int m_stdout = -1;
    bool m_exited = false;
    int m_result = 0;
};

}  // namespace corvane::test
