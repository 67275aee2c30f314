// The client's command line and its closing line as a user meets them: the real program,
// run headless against the test server, a refusing port or an unreachable address.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <random>
#include <regex>

#include "session/end_to_end_fixture.h"

namespace corvane::test {
namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

struct Output {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs the client with these arguments to its end, its output kept in files of `dir`.
Output RunClientProgram(const TempDir& dir, const std::vector<std::string>& options) {
    std::vector<std::string> args = {CORVANE_CLIENT_PATH};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string outPath = dir.file("stdout"), errPath = dir.file("stderr");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    Output result;
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    result.out = ReadWholeFile(outPath);
    result.err = ReadWholeFile(errPath);
    return result;
}

TEST(CommandLineProgram, HelpAndVersionSayWhatTheyShouldAndEndAtOnce) {
    TempDir dir;
    Output help = RunClientProgram(dir, {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.err, "");
    EXPECT_EQ(help.out.rfind("usage: corvane [options] [FILE.zrp]\n", 0), 0u) << help.out;
    for (const char* option : {"--help", "--version", "--headless", "--session-choice", "--exit-after-frames",
                               "--exit-after", "--screenshot"}) {
        EXPECT_NE(help.out.find(std::string(" ") + option + " "), std::string::npos) << option;
    }

    Output version = RunClientProgram(dir, {"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.err, "");
    std::vector<std::string> lines = Lines(version.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "corvane " CORVANE_VERSION);
    for (const char* library : {"Qt", "OpenSSL", "zlib", "libjpeg-turbo", "libvpx"}) {
        const std::regex named(std::string("  ") + library + " v?[0-9]+\\.[0-9]+.*");
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return std::regex_match(l, named); }))
            << library << " missing from\n" << version.out;
    }
}

TEST(CommandLineProgram, AMalformedCommandLineIsOneLineAndExitCodeTwo) {
    TempDir dir;
    const std::vector<std::vector<std::string>> cases = {
        {"--bogus"}, {"-x"}, {"--exit-after-frames"}, {"--session-choice", "maybe", "a.zrp"}, {"a.zrp", "b.zrp"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(args[0]);
        Output run = RunClientProgram(dir, args);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.out, "");
        ASSERT_EQ(Lines(run.err).size(), 1u) << run.err;
        EXPECT_EQ(run.err.rfind("corvane: ", 0), 0u) << run.err;
    }
}

// A loopback port that refuses connections: bound, never listening, held for the test.
class RefusingPort {
public:
    RefusingPort() {
        m_socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_socket >= 0 && ::bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            m_port = ntohs(address.sin_port);
        }
    }
    ~RefusingPort() {
        if (m_socket >= 0) ::close(m_socket);
    }
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;
    [[nodiscard]] int Port() const { return m_port; }

private:
    int m_socket = -1;
    int m_port = 0;
};

class HeadlessEndToEnd : public EndToEndTest {
protected:
    [[nodiscard]] std::string LogPath() const { return m_dir.file("docs/My Connections/client.log"); }
};

// Each failure ends with one line naming the file or the server, the reason and the log. Lines
// before it may only be the system's words for a connection the system refused; nothing
// reports a system error that did not happen ("Success").
TEST_F(HeadlessEndToEnd, EachFailureEndsWithOneLineNamingWhatAndWhyAndTheLog) {
    struct Case {
        const char* name;
        // Prepares the run; returns the connection-file argument. Empty: the row does not apply.
        std::function<std::string()> prepare;
        const char* closingLine;   // {file}, {port} and {log} are filled in
        const char* earlierLines;  // a pattern every earlier line must match; empty: none allowed
    };
    RefusingPort refusing;
    ASSERT_NE(refusing.Port(), 0);
    const Case cases[] = {
        {"missing file", [this] { return m_dir.file("no/such.zrp"); },
         "corvane: cannot open connection file {file}: No such file or directory; log: {log}", ""},
        {"a folder",
         [this] {
             m_dir.write("folder.zrp/.keep", "");
             return m_dir.file("folder.zrp");
         },
         "corvane: cannot open connection file {file}: Is a directory; log: {log}", ""},
        {"unreadable file",
         [this] {
             // Root reads whatever the permissions say; the folder row stands in for it there.
             if (geteuid() == 0) return std::string();
             std::string path = m_dir.write("locked.zrp", ReadWholeFile(ConnectionFile()));
             ::chmod(path.c_str(), 0);
             return path;
         },
         "corvane: cannot open connection file {file}: Permission denied; log: {log}", "Error opening .* for reading!!"},
        {"random bytes",
         [this] {
             std::mt19937 bytes(18);
             std::string noise(4096, '\0');
             for (char& c : noise) c = static_cast<char>(bytes());
             return m_dir.write("noise.zrp", noise);
         },
         "corvane: {file} is not a connection file (zRP Display Client cannot read VersionRequired); log: {log}", ""},
        {"refused connection",
         [this, &refusing] {
             m_port = refusing.Port();
             return ConnectionFile();
         },
         "corvane: server 127.0.0.1:{port}: Unable to contact remote host (Exceeded Login retries!); log: {log}",
         "Error connecting socket: Connection refused"},
        {"unreachable address",
         [this] {
             // No route takes a connection to the broadcast address: it fails at once.
             m_port = 27500;
             return m_dir.write("session.zrp", Replace(ReadWholeFile(ConnectionFile()), "127.0.0.1", "255.255.255.255"));
         },
         "corvane: server 255.255.255.255:{port}: Unable to contact remote host (Exceeded Login retries!); log: {log}",
         "Error connecting socket: .*"},
        {"refused login",
         [this] {
             if (!StartServer({"--login-status", "1"}, false)) ADD_FAILURE() << "the test server did not start";
             return ConnectionFile();
         },
         "corvane: server 127.0.0.1:{port}: The username or password you entered is incorrect (Exceeded Login "
         "retries!); log: {log}",
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = c.prepare();
        if (file.empty()) continue;
        ClientRun run = RunClient({}, file);
        EXPECT_EQ(run.exitCode, 255) << run.stderrText;
        std::vector<std::string> lines = Lines(run.stderrText);
        ASSERT_FALSE(lines.empty()) << run.log;
        std::string expected = Replace(Replace(Replace(c.closingLine, "{file}", file), "{log}", LogPath()), "{port}",
                                       std::to_string(m_port));
        EXPECT_EQ(lines.back(), expected);
        const std::regex earlier(c.earlierLines);
        for (size_t i = 0; i + 1 < lines.size(); ++i) {
            EXPECT_TRUE(*c.earlierLines != '\0' && std::regex_match(lines[i], earlier)) << "unexpected: " << lines[i];
            EXPECT_EQ(lines[i].find("Success"), std::string::npos) << lines[i];
        }
        // The log keeps its records: the login's end is there as before.
        EXPECT_NE(run.log.find("Starting Login Session"), std::string::npos) << run.log;
        (void)ServerLog(std::chrono::milliseconds(100));
    }
}

TEST_F(HeadlessEndToEnd, ASessionThatRunsEndsWithoutAClosingLine) {
    ASSERT_TRUE(StartServer({"--static"}));
    ClientRun run = RunClient({"--exit-after-frames", "1"}, ConnectionFile());
    EXPECT_EQ(run.exitCode, 0) << run.log;
    EXPECT_EQ(run.stderrText, "");
}

}  // namespace
}  // namespace corvane::test
