// How far the client trusts a TLS server, read the same way from the site file's [Viewer]
// section and from a connection file, the connection overriding the site:
//
//   TlsTrust none         any certificate is taken (the default, as servers have always been
//                         reached)
//   TlsTrust first-use    the certificate seen at the first connection to a host and port is
//                         remembered; a different one later is refused
//   TlsTrust system-ca    the certificate must chain to the system's certificate authorities
//                         and name the host
//
// Any thread; one file read.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "config/client_settings.h"

namespace corvane {

enum TlsTrust : int {
    kTlsTrustNone = 0,
    kTlsTrustFirstUse = 1,
    kTlsTrustSystemCa = 2,
};

// Reads the key from `section` of `path`. Absent: the default when `absentIsDefault` (the
// site file, the first layer), else the setting is left alone. An unknown value is logged and
// leaves the setting alone.
void ReadTlsTrustSetting(const std::string& path, std::string_view section, bool absentIsDefault,
                         ClientSettings& settings);

// The mode a value names (in any case); nothing for any other value.
[[nodiscard]] std::optional<TlsTrust> TlsTrustNamed(std::string_view name);
// The value that names a mode in files ("none", "first-use", "system-ca").
[[nodiscard]] const char* TlsTrustName(int trust);

}  // namespace corvane
