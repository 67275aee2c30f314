// Reading a connection file (.zrp): where to connect and how.
//
// Called once on the start-up thread, after the site settings and before the first
// connection. Every key found overrides the earlier value; a key that is absent leaves it.
#pragma once

#include <string>
#include <string_view>

#include "config/client_settings.h"
#include "config/status_mailbox.h"

namespace corvane {

inline constexpr std::string_view kConnectionSection = "[ZRP Client]";
inline constexpr int kLowestFileVersion = 527;
inline constexpr int kWrittenFileVersion = 528;

// Reads the settings, the password ticket and the remote-desktop section. Messages for the
// user go to the mailbox; a key the user must supply sets settings.forceLoginDialog.
// Returns 0 when the file was read, non-zero when it is missing or of the wrong version.
// `monitorCount` is the number of monitors present: Monitors flags beyond it read as 0.
[[nodiscard]] int ReadConnectionFile(const std::string& path, ClientSettings& settings,
                                     StatusMailbox& mailbox, int monitorCount);

// The password ticket: 512 bytes, enciphered with the built-in payload key in 32-byte
// blocks, carried as sixteen lines of 64 hexadecimal digits.
inline constexpr size_t kTicketSize = 512;
inline constexpr int kTicketKeyCount = 16;

}  // namespace corvane
