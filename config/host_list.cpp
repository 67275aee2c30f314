#include "config/host_list.h"

#include <cstdlib>
#include <cstring>

#include "config/log.h"
#include "config/text_line_reader.h"

namespace corvane {

namespace {

constexpr size_t kHostLineLimit = 254;
constexpr size_t kHostWordLimit = 127;

// Up to four blank-separated words; a word longer than the limit makes the line unusable.
bool SplitWords(const std::string& line, std::vector<std::string>& words) {
    words.clear();
    size_t i = 0;
    while (words.size() < 4) {
        while (i < line.size() && std::strchr(" \t\r\n\v\f", line[i]) != nullptr) ++i;
        if (i >= line.size()) break;
        size_t start = i;
        while (i < line.size() && std::strchr(" \t\r\n\v\f", line[i]) == nullptr) ++i;
        if (i - start > kHostWordLimit) return false;
        words.emplace_back(line.substr(start, i - start));
    }
    return true;
}

int PortOf(const std::string& word) {
    char* end = nullptr;
    long port = std::strtol(word.c_str(), &end, 10);
    if (end == word.c_str() || port < 2 || port > 65535) return kDefaultServerPort;
    return static_cast<int>(port);
}

}  // namespace

std::vector<HostEntry> ReadHostList(const ClientSettings& s, bool fromConnectionFile) {
    std::vector<HostEntry> hosts;
    if (fromConnectionFile) {
        hosts.push_back(
            {s.displayServerAddress, s.displayServerName, s.serverCode, s.displayServerPort});
    }
    if (s.siteFilePath.size() < 2) return hosts;
    TextLineReader reader(s.siteFilePath);
    if (!reader.IsOpen()) {
        DebugPrint(0, "Error opening qel.ini file from sockGetSysNames!!\n");
        return hosts;
    }
    std::string line;
    bool inHosts = false;
    while (!inHosts && reader.Next(line, kHostLineLimit)) {
        inHosts = line.size() > 6 && line.compare(0, 7, "[Hosts]") == 0;
    }
    std::vector<std::string> words;
    while (inHosts && hosts.size() < kMaxHosts && reader.Next(line, kHostLineLimit)) {
        if (line[0] == '[') break;
        if (line[0] == '\n' || line[0] == '#' || line[0] == '*') continue;
        if (!SplitWords(line, words)) {
            DebugPrint(0, "ERROR: [Hosts] line with a word longer than %zu characters ignored.\n",
                       kHostWordLimit);
            continue;
        }
        if (words.empty()) continue;
        HostEntry host;
        host.address = words[0];
        host.name = words.size() > 1 ? words[1] : "Unknown";
        host.code = words.size() > 2 && words[2][0] != '-' ? words[2] : "";
        host.port = words.size() > 3 ? PortOf(words[3]) : kDefaultServerPort;
        hosts.push_back(std::move(host));
    }
    return hosts;
}

}  // namespace corvane
