#include "host/http.h"

#include <curl/curl.h>

#include <cstring>
#include <mutex>

#include "host/dynamic.h"

namespace nuv::host::http {

const char* const kUserAgent = "Nuv (Linux)";

namespace {

// libcurl and the many libraries it needs are loaded at the first request, so start-up never
// pays for them; only its header is used here, for the types and option numbers.
struct Curl {
    CURLcode (*global_init)(long);
    CURL* (*easy_init)();
    CURLcode (*easy_setopt)(CURL*, CURLoption, ...);
    CURLcode (*easy_perform)(CURL*);
    CURLcode (*easy_getinfo)(CURL*, CURLINFO, ...);
    void (*easy_cleanup)(CURL*);
    curl_slist* (*slist_append)(curl_slist*, const char*);
    void (*slist_free_all)(curl_slist*);
};

Curl g_curl{};

bool load() {
    if (!load_library("libcurl.so.4", Entry{"curl_global_init", &g_curl.global_init},
                      Entry{"curl_easy_init", &g_curl.easy_init}, Entry{"curl_easy_setopt", &g_curl.easy_setopt},
                      Entry{"curl_easy_perform", &g_curl.easy_perform},
                      Entry{"curl_easy_getinfo", &g_curl.easy_getinfo},
                      Entry{"curl_easy_cleanup", &g_curl.easy_cleanup},
                      Entry{"curl_slist_append", &g_curl.slist_append},
                      Entry{"curl_slist_free_all", &g_curl.slist_free_all}))
        return false;
    return g_curl.global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
}

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
    static bool loaded = false;
    std::call_once(started, [] { loaded = load(); });
    if (!loaded) return false;
    const Curl& c = g_curl;
    CURL* curl = c.easy_init();
    if (!curl) return false;
    curl_slist* list = nullptr;
    for (const auto& [name, value] : headers) {
        std::string line = name + (value.empty() ? ";" : ": " + value);
        list = c.slist_append(list, line.c_str());
    }
    // libcurl adds an Accept header and an Expect for large bodies unless told not to.
    list = c.slist_append(list, "Accept:");
    list = c.slist_append(list, "Expect:");
    c.easy_setopt(curl, CURLOPT_URL, url.c_str());
    c.easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    c.easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    c.easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
    c.easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 60L);
    c.easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    c.easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 30L);
    c.easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    c.easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    c.easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    c.easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    c.easy_setopt(curl, CURLOPT_HTTPHEADER, list);
    if (method == "HEAD") {
        c.easy_setopt(curl, CURLOPT_NOBODY, 1L);
    } else if (method != "GET") {
        c.easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.c_str());
    }
    if (body) {
        c.easy_setopt(curl, CURLOPT_POSTFIELDS, body->data());
        c.easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body->size()));
        // POSTFIELDS makes a POST; the method asked for stays.
        if (method == "GET") c.easy_setopt(curl, CURLOPT_CUSTOMREQUEST, "GET");
    }
    out = Response{};
    c.easy_setopt(curl, CURLOPT_WRITEFUNCTION, take_body);
    c.easy_setopt(curl, CURLOPT_WRITEDATA, &out.body);
    c.easy_setopt(curl, CURLOPT_HEADERFUNCTION, take_header);
    c.easy_setopt(curl, CURLOPT_HEADERDATA, &out.headers);
    CURLcode rc = c.easy_perform(curl);
    if (rc == CURLE_OK) c.easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &out.status);
    c.slist_free_all(list);
    c.easy_cleanup(curl);
    return rc == CURLE_OK;
}

}  // namespace nuv::host::http
