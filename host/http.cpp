#include "host/http.h"

#include <curl/curl.h>

#include <cstring>
#include <mutex>

namespace nuv::host::http {

const char* const kUserAgent = "Nuv (Linux)";

namespace {

size_t take_body(char* data, size_t size, size_t count, void* user) {
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

// Each header line: a status line starts a new response (after a redirect), so only the
// final response's headers stay. A name runs to the first ":", its value follows with its
// leading blanks trimmed; the line end is not part of it.
size_t take_header(char* data, size_t size, size_t count, void* user) {
    size_t n = size * count;
    Headers& headers = *static_cast<Headers*>(user);
    std::string line(data, n);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (line.rfind("HTTP/", 0) == 0) {
        headers.clear();
        return n;
    }
    size_t colon = line.find(':');
    if (colon == std::string::npos) return n;
    size_t value = line.find_first_not_of(" \t", colon + 1);
    headers.emplace_back(line.substr(0, colon),
                         value == std::string::npos ? std::string() : line.substr(value));
    return n;
}

}  // namespace

bool request(const std::string& method, const std::string& url, const Headers& headers,
             const std::string* body, Response& out) {
    static std::once_flag started;
    std::call_once(started, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    CURL* curl = curl_easy_init();
    if (!curl) return false;
    curl_slist* list = nullptr;
    bool agent = false;
    for (const auto& [name, value] : headers) {
        std::string line = name + (value.empty() ? ";" : ": " + value);
        list = curl_slist_append(list, line.c_str());
        if (strcasecmp(name.c_str(), "User-Agent") == 0) agent = true;
    }
    // libcurl adds an Accept header and an Expect for large bodies unless told not to.
    list = curl_slist_append(list, "Accept:");
    list = curl_slist_append(list, "Expect:");
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 60L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 30L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    if (!agent) curl_easy_setopt(curl, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);
    if (method == "HEAD") {
        curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    } else if (method != "GET") {
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.c_str());
    }
    if (body) {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body->data());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body->size()));
        // POSTFIELDS makes a POST; the method asked for stays.
        if (method == "GET") curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, "GET");
    }
    out = Response{};
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, take_body);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &out.body);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, take_header);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &out.headers);
    CURLcode rc = curl_easy_perform(curl);
    if (rc == CURLE_OK) curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &out.status);
    curl_slist_free_all(list);
    curl_easy_cleanup(curl);
    return rc == CURLE_OK;
}

}  // namespace nuv::host::http
