#include "config/error_box.h"

#include <cerrno>
#include <iterator>
#include <mutex>

#include "config/log.h"

namespace corvane {

namespace {

std::mutex g_handlerMutex;
ErrorBoxHandler g_handler;
ErrorBoxHandler g_postHandler;

struct WinsockName {
    int code;
    int err;  // the errno it stands for here; 0 when none does
    const char* name;
};

// The names the program reports, in its own order.
constexpr WinsockName kWinsockNames[] = {
    {10004, EINTR, "WSAEINTR"},
    {10013, EACCES, "WSAEACCES"},
    {10014, EFAULT, "WSAEFAULT"},
    {10022, EINVAL, "WSAEINVAL"},
    {10035, EWOULDBLOCK, "WSAEWOULDBLOCK"},
    {10036, EINPROGRESS, "WSAEINPROGRESS"},
    {10037, EALREADY, "WSAEALREADY"},
    {10038, ENOTSOCK, "WSAENOTSOCK"},
    {10040, EMSGSIZE, "WSAEMSGSIZE"},
    {10045, EOPNOTSUPP, "WSAEOPNOTSUPP"},
    {10047, EAFNOSUPPORT, "WSAEAFNOSUPPORT"},
    {10048, EADDRINUSE, "WSAEADDRINUSE"},
    {10049, EADDRNOTAVAIL, "WSAEADDRNOTAVAIL"},
    {10050, ENETDOWN, "WSAENETDOWN"},
    {10052, ENETRESET, "WSAENETRESET"},
    {10053, ECONNABORTED, "WSAECONNABORTED"},
    {10054, ECONNRESET, "WSAECONNRESET"},
    {10055, ENOBUFS, "WSAENOBUFS"},
    {10056, EISCONN, "WSAEISCONN"},
    {10057, ENOTCONN, "WSAENOTCONN"},
    {10058, ESHUTDOWN, "WSAESHUTDOWN"},
    {10060, ETIMEDOUT, "WSAETIMEDOUT"},
    {10061, ECONNREFUSED, "WSAECONNREFUSED"},
    {10065, EHOSTUNREACH, "WSAEHOSTUNREACH"},
    {10093, 0, "WSANOTINITIALISED"},
};

}  // namespace

void SetErrorBoxHandler(ErrorBoxHandler handler) {
    std::lock_guard lock(g_handlerMutex);
    g_handler = std::move(handler);
}

namespace {
thread_local bool t_mayWaitForPerson = false;
}  // namespace

void SetThreadMayWaitForPerson(bool mayWait) { t_mayWaitForPerson = mayWait; }

bool ThreadMayWaitForPerson() { return t_mayWaitForPerson; }

void ShowErrorBox(const std::string& caption, const std::string& text) {
    if (!t_mayWaitForPerson) {
        PostErrorBox(caption, text);
        return;
    }
    DebugPrint(0, "ERROR: %s: %s\n", caption.c_str(), text.c_str());
    ErrorBoxHandler handler;
    {
        std::lock_guard lock(g_handlerMutex);
        handler = g_handler;
    }
    if (handler) handler(caption, text);
}

void SetPostErrorBoxHandler(ErrorBoxHandler handler) {
    std::lock_guard lock(g_handlerMutex);
    g_postHandler = std::move(handler);
}

void PostErrorBox(const std::string& caption, const std::string& text) {
    DebugPrint(0, "ERROR: %s: %s\n", caption.c_str(), text.c_str());
    ErrorBoxHandler handler;
    {
        std::lock_guard lock(g_handlerMutex);
        handler = g_postHandler;
    }
    if (handler) handler(caption, text);
}

int WinsockCodeFromErrno(int err) {
    if (err == 0) return 0;
    for (const WinsockName& entry : kWinsockNames) {
        if (entry.err == err) return entry.code;
    }
    return err;
}

std::string WinsockErrorName(int code) {
    for (const WinsockName& entry : kWinsockNames) {
        if (entry.code == code) return entry.name;
    }
    return "UNKNOWN ERROR # " + std::to_string(code);
}

void ReportSocketError(const std::string& caption) {
    ReportSocketErrorCode(caption, WinsockCodeFromErrno(errno));
}

void ReportSocketErrorCode(const std::string& caption, int winsockCode) {
    ShowErrorBox(caption, WinsockErrorName(winsockCode));
}

}  // namespace corvane
