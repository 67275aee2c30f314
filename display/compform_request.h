// The compression format the client asks the server for: a position in the compform table
// that the user steps through with two hot keys, its number and name, and the title that
// shows the request.
//
// Owns only the requested index and the server version it is limited by. User-interface
// thread only: the session hands the server version over after login.
#pragma once

#include <string>

namespace corvane {

class CompformRequest {
public:
    // The index asked for when the site file names none (compform 7, "C1").
    static constexpr int kDefaultIndex = 4;
    // The highest index a server of version 9.40 or later takes, and an older one.
    static constexpr int kLastIndexFrom940 = 11;
    static constexpr int kLastIndexBefore940 = 8;
    static constexpr int kVersionWithFrameFormats = 940;

    // `index` as the site file gives it; it is taken as it is, even outside the table.
    explicit CompformRequest(int index = kDefaultIndex) : m_index(index) {}

    // The server's version times 100.
    void SetServerVersion(int version) { m_serverVersion = version; }

    [[nodiscard]] int Index() const { return m_index; }
    // The highest index this server takes: 11 from version 9.40, else 8.
    [[nodiscard]] int LastIndex() const;

    // One step up, at most to LastIndex(); logs "(incr) compform = %d\n" (10). Returns the
    // new index.
    int Increment();
    // One step down, not below 0; logs "(decr) compform = %d\n" (10). Returns the new index.
    int Decrement();

    // The compform number at the index (0 at or past the table's end); logs
    // "compform value[%d] = %d\n" (10).
    [[nodiscard]] int RequestedValue() const;
    // The name at the index while it lies between 0 and LastIndex(); otherwise logs
    // "WARNING: Unknown compform: %d\n" (0) and gives "UN".
    [[nodiscard]] const char* RequestedName() const;
    // "<base>  (Req CF <name>)", the main window's title after a request.
    [[nodiscard]] std::string RequestTitle(const std::string& baseTitle) const;

private:
    int m_index;
    int m_serverVersion = 0;
};

}  // namespace corvane
