// Sends one request to the simulated reader driver's control channel and
// prints the answer. Exit code 0 when the driver answered "ok".
//   zelscan.exe scan TEXT          (TEXT with C escapes \r \n \t \\ \xHH)
//   zelscan.exe fail open 0xFFFF0705 | fail buffmode 1 | reset | state
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <string>

#include "../channel.h"

namespace {

bool unescape(const std::string& in, std::string& out, std::string& error) {
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '\\') {
            out += in[i];
            continue;
        }
        if (++i >= in.size()) {
            error = "a backslash ends the data";
            return false;
        }
        switch (in[i]) {
        case 'r': out += '\r'; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case '\\': out += '\\'; break;
        case '"': out += '"'; break;
        case 'x': {
            unsigned v;
            if (i + 2 >= in.size() || !std::isxdigit((unsigned char)in[i + 1]) ||
                !std::isxdigit((unsigned char)in[i + 2]) || std::sscanf(in.substr(i + 1, 2).c_str(), "%2x", &v) != 1) {
                error = "\\x needs two hex digits";
                return false;
            }
            out += char(v);
            i += 2;
            break;
        }
        default: error = std::string("unknown escape \\") + in[i]; return false;
        }
    }
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::string request;
    for (int i = 1; i < argc; ++i) {
        char buf[2048];
        WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, buf, sizeof buf, nullptr, nullptr);
        std::string arg = buf;
        if (i == 2 && request == "scan") {
            std::string data, error;
            if (!unescape(arg, data, error)) {
                std::fprintf(stderr, "zelscan: bad data: %s\n", error.c_str());
                return 2;
            }
            std::string hex;
            for (unsigned char c : data) {
                char h[3];
                std::snprintf(h, sizeof h, "%02X", c);
                hex += h;
            }
            arg = hex;
        }
        if (!request.empty()) request += ' ';
        request += arg;
    }
    if (request.empty()) {
        std::fprintf(stderr, "usage: zelscan scan TEXT | fail open VALUE | fail buffmode VALUE | reset | state\n");
        return 2;
    }
    std::string reply = zel::control::channel_request(request);
    if (reply.empty()) {
        std::fprintf(stderr, "zelscan: the driver's control channel is not there (is the program running?)\n");
        return 3;
    }
    std::printf("%s\n", reply.c_str());
    return reply.rfind("ok", 0) == 0 || reply.rfind("open", 0) == 0 ? 0 : 1;
}
