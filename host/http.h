// One synchronous HTTP or HTTPS request over libcurl: an easy handle per request, redirects
// followed (10 at most), 60 seconds to connect, 30 seconds without data aborts, certificates
// checked against the system's. Exactly the caller's headers go: no User-Agent of its own.
#pragma once
#include <string>
#include <utility>
#include <vector>

namespace nuv::host::http {

using Headers = std::vector<std::pair<std::string, std::string>>;

struct Response {
    long status = 0;
    Headers headers;  // the final response's, in arrival order
    std::string body;
};

// The User-Agent callers send by default.
extern const char* const kUserAgent;

// Sends the request; `body` nullptr sends none. Header names and values hold no CR, LF or NUL
// (the caller checks). False when no response came (no connection,
// a time-out, a certificate refused, too many redirects).
bool request(const std::string& method, const std::string& url, const Headers& headers,
             const std::string* body, Response& out);

}  // namespace nuv::host::http
