// The environment-variable block m_zrpEnvVars that the login request hands to the server.
//
// The block owns its text: definitions "NAME=value" joined by one line feed, never more than
// 511 characters (the server takes it into a 512-byte buffer with its terminating zero). It
// is filled from the [EnvVars] sections of the site file and the connection file, in that
// order, and from the definitions the login dialog generates. Not synchronised: the start-up
// and login sequence, on one thread at a time, is its only user.
#pragma once

#include <string>
#include <string_view>

namespace corvane {

// The most characters the block holds.
inline constexpr size_t kMaxEnvBlockLength = 511;

class EnvBlock {
  public:
    void Clear() { m_zrpEnvVars.clear(); }

    // Appends the definitions of the file's [EnvVars] section. Lines that are not
    // "NAME=value" with a name of letters and digits, or that would make the block too long,
    // are logged and dropped. A missing file or section leaves the block as it was.
    void ReadDefinitions(const std::string& path);

    // Appends one definition, joined by a line feed when the block is not empty. False, with
    // nothing appended, when it would take the block past 511 characters; the refusal is
    // logged, so a caller that has nothing else to do about it may ignore the result.
    bool AppendDefinition(std::string_view text);

    [[nodiscard]] const std::string& Text() const { return m_zrpEnvVars; }

  private:
    [[nodiscard]] bool Fits(std::string_view text) const;
    void Append(std::string_view text);

    std::string m_zrpEnvVars;
};

}  // namespace corvane
