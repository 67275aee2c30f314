#include "app/version_report.h"

#include <QtGlobal>
#include <cstdio>
#include <openssl/crypto.h>
#include <openssl/opensslv.h>
#include <vpx/vpx_codec.h>
#include <zlib.h>

// jpeglib.h needs the declarations of stdio first.
#include <jpeglib.h>

namespace corvane {

namespace {

#define CORVANE_TEXT_OF(x) #x
#define CORVANE_TEXT(x) CORVANE_TEXT_OF(x)

std::string Line(const char* name, const std::string& running, const std::string& built) {
    std::string line = std::string("  ") + name + " " + running;
    if (!built.empty() && built != running) line += " (built with " + built + ")";
    return line + "\n";
}

std::string WithoutLeadingV(const char* text) {
    std::string s = text != nullptr ? text : "";
    if (!s.empty() && s[0] == 'v') s.erase(0, 1);
    return s;
}

}  // namespace

std::string VersionReport() {
    std::string report = "corvane " CORVANE_VERSION "\n";
    report += Line("Qt", qVersion(), QT_VERSION_STR);
    // "OpenSSL 3.0.11 19 Sep 2023": the library names itself.
    report += std::string("  ") + OpenSSL_version(OPENSSL_VERSION) + "\n";
    report += Line("zlib", zlibVersion(), ZLIB_VERSION);
#ifdef LIBJPEG_TURBO_VERSION
    // libjpeg-turbo 2 has no call that reports its version; this is the one built against.
    report += Line("libjpeg-turbo", CORVANE_TEXT(LIBJPEG_TURBO_VERSION), "");
#else
    report += Line("libjpeg", CORVANE_TEXT(JPEG_LIB_VERSION), "");
#endif
    report += Line("libvpx", WithoutLeadingV(vpx_codec_version_str()), "");
    return report;
}

}  // namespace corvane
