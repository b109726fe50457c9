// The libcurl backend of http_post.h. One easy handle on a multi handle of its own per poster:
// the multi handle keeps the connection between requests, and its wake-up lets Cancel end a
// request at once from another thread.
//
// libcurl is loaded at the first poster, not linked: with its TLS, Kerberos and LDAP libraries
// it would add some 5 MB to the resident size of every service, and only one with a webhook
// ever uses it. The header gives the types and constants; the functions come from the library.
#include <curl/curl.h>
#include <dlfcn.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>

#include "alert/http_post.h"

namespace zamri {

namespace {

constexpr const char* kCurlLibrary = "libcurl.so.4";

// The functions of libcurl this backend calls, from the loaded library.
struct CurlApi {
    decltype(&curl_global_init) globalInit = nullptr;
    decltype(&curl_multi_init) multiInit = nullptr;
    decltype(&curl_multi_cleanup) multiCleanup = nullptr;
    decltype(&curl_multi_wakeup) multiWakeup = nullptr;
    decltype(&curl_multi_add_handle) multiAdd = nullptr;
    decltype(&curl_multi_remove_handle) multiRemove = nullptr;
    decltype(&curl_multi_perform) multiPerform = nullptr;
    decltype(&curl_multi_info_read) multiInfoRead = nullptr;
    decltype(&curl_multi_poll) multiPoll = nullptr;
    decltype(&curl_easy_init) easyInit = nullptr;
    decltype(&curl_easy_cleanup) easyCleanup = nullptr;
    decltype(&curl_easy_reset) easyReset = nullptr;
    decltype(&curl_easy_setopt) easySetopt = nullptr;
    decltype(&curl_easy_getinfo) easyGetinfo = nullptr;
    decltype(&curl_easy_strerror) easyStrerror = nullptr;
    decltype(&curl_slist_append) slistAppend = nullptr;
    decltype(&curl_slist_free_all) slistFreeAll = nullptr;
};

template <typename F>
bool Bind(void* library, const char* name, F* function, std::string* missing) {
    *function = reinterpret_cast<F>(dlsym(library, name));
    if (*function == nullptr && missing->empty())
        *missing = name;
    return *function != nullptr;
}

struct LoadedCurl {
    CurlApi api;
    std::string error;  // empty when api is whole
};

// The library of that file, loaded and started once per process and kept to the end (libcurl
// cannot be unloaded safely); nullptr with *error saying why when it cannot be used.
const CurlApi* LoadCurl(const std::string& file, std::string* error) {
    static std::mutex lock;
    static std::map<std::string, std::unique_ptr<LoadedCurl>> loaded;
    std::lock_guard<std::mutex> guard(lock);
    std::unique_ptr<LoadedCurl>& entry = loaded[file];
    if (entry == nullptr) {
        entry.reset(new LoadedCurl);
        void* library = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) {
            const char* why = dlerror();
            entry->error = "set-up failure: " + file + " cannot be loaded (" +
                           (why != nullptr ? why : "unknown") +
                           "); webhooks need libcurl (the Debian package libcurl4)";
        } else {
            CurlApi& a = entry->api;
            std::string missing;
            Bind(library, "curl_global_init", &a.globalInit, &missing);
            Bind(library, "curl_multi_init", &a.multiInit, &missing);
            Bind(library, "curl_multi_cleanup", &a.multiCleanup, &missing);
            Bind(library, "curl_multi_wakeup", &a.multiWakeup, &missing);
            Bind(library, "curl_multi_add_handle", &a.multiAdd, &missing);
            Bind(library, "curl_multi_remove_handle", &a.multiRemove, &missing);
            Bind(library, "curl_multi_perform", &a.multiPerform, &missing);
            Bind(library, "curl_multi_info_read", &a.multiInfoRead, &missing);
            Bind(library, "curl_multi_poll", &a.multiPoll, &missing);
            Bind(library, "curl_easy_init", &a.easyInit, &missing);
            Bind(library, "curl_easy_cleanup", &a.easyCleanup, &missing);
            Bind(library, "curl_easy_reset", &a.easyReset, &missing);
            Bind(library, "curl_easy_setopt", &a.easySetopt, &missing);
            Bind(library, "curl_easy_getinfo", &a.easyGetinfo, &missing);
            Bind(library, "curl_easy_strerror", &a.easyStrerror, &missing);
            Bind(library, "curl_slist_append", &a.slistAppend, &missing);
            Bind(library, "curl_slist_free_all", &a.slistFreeAll, &missing);
            // curl_multi_poll and curl_multi_wakeup came with libcurl 7.66 and 7.68.
            if (!missing.empty())
                entry->error = "set-up failure: " + file + " is too old (it has no " + missing +
                               "); webhooks need libcurl 7.68 or later";
            else if (a.globalInit(CURL_GLOBAL_DEFAULT) != CURLE_OK)
                entry->error = "set-up failure: libcurl could not be started";
        }
    }
    if (!entry->error.empty()) {
        *error = entry->error;
        return nullptr;
    }
    return &entry->api;
}

size_t DiscardAnswer(char*, size_t size, size_t count, void*) {
    return size * count;
}

std::string Where(const HttpUrl& url) {
    bool v6 = url.host.find(':') != std::string::npos;
    return (v6 ? "[" + url.host + "]" : url.host) + ":" + std::to_string(url.port);
}

HttpFailure FailureOf(CURLcode code) {
    switch (code) {
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return HttpFailure::kHostNotFound;
        case CURLE_COULDNT_CONNECT:
            return HttpFailure::kRefused;
        case CURLE_OPERATION_TIMEDOUT:
            return HttpFailure::kTimedOut;
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_INVALIDCERTSTATUS:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_USE_SSL_FAILED:
            return HttpFailure::kTls;
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_OUT_OF_MEMORY:
        case CURLE_FAILED_INIT:
        case CURLE_UNSUPPORTED_PROTOCOL:
            return HttpFailure::kSetup;
        default:
            return HttpFailure::kConnection;
    }
}

}  // namespace

struct HttpPoster::Backend {
    HttpPostOptions options;
    const CurlApi* curl = nullptr;
    std::string loadError;  // why curl is null
    CURLM* multi = nullptr;
    CURL* easy = nullptr;
    std::atomic<bool> cancelled{false};
    char errorText[CURL_ERROR_SIZE] = {};
};

HttpPoster::HttpPoster(const HttpPostOptions& options) : backend(new Backend) {
    backend->options = options;
    const std::string file = options.library.empty() ? kCurlLibrary : options.library;
    backend->curl = LoadCurl(file, &backend->loadError);
    if (backend->curl == nullptr)
        return;
    backend->multi = backend->curl->multiInit();
    backend->easy = backend->curl->easyInit();
}

HttpPoster::~HttpPoster() {
    if (backend->easy != nullptr)
        backend->curl->easyCleanup(backend->easy);
    if (backend->multi != nullptr)
        backend->curl->multiCleanup(backend->multi);
}

void HttpPoster::Cancel() {
    backend->cancelled = true;
    if (backend->multi != nullptr)
        backend->curl->multiWakeup(backend->multi);
}

int HttpPoster::Post(const HttpUrl& url, const std::vector<HttpHeader>& headers, std::string_view body,
                     HttpPostResult* result) {
    *result = HttpPostResult();
    Backend& b = *backend;
    auto fail = [&](HttpFailure failure, const std::string& text) {
        result->failure = failure;
        result->error = text;
        return 0;
    };
    if (b.curl == nullptr)
        return fail(HttpFailure::kSetup, b.loadError);
    if (b.multi == nullptr || b.easy == nullptr)
        return fail(HttpFailure::kSetup, "set-up failure: libcurl could not be started");
    const CurlApi& c = *b.curl;
    if (b.cancelled)
        return fail(HttpFailure::kCancelled, "cancelled: the program is stopping");

    CURL* easy = b.easy;
    c.easyReset(easy);
    b.errorText[0] = 0;
    struct curl_slist* list = nullptr;
    for (const HttpHeader& header : headers)
        list = c.slistAppend(list, (header.name + ": " + header.value).c_str());
    // libcurl would otherwise hold a larger body back for a second, waiting for "100 Continue".
    list = c.slistAppend(list, "Expect:");
    c.easySetopt(easy, CURLOPT_URL, url.text.c_str());
    c.easySetopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    c.easySetopt(easy, CURLOPT_POST, 1L);
    c.easySetopt(easy, CURLOPT_POSTFIELDS, body.data());
    c.easySetopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    c.easySetopt(easy, CURLOPT_HTTPHEADER, list);
    c.easySetopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    c.easySetopt(easy, CURLOPT_NOSIGNAL, 1L);
    c.easySetopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(b.options.timeoutMilliseconds));
    c.easySetopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    c.easySetopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!b.options.caFile.empty())
        c.easySetopt(easy, CURLOPT_CAINFO, b.options.caFile.c_str());
    c.easySetopt(easy, CURLOPT_WRITEFUNCTION, DiscardAnswer);
    c.easySetopt(easy, CURLOPT_ERRORBUFFER, b.errorText);

    CURLcode code = CURLE_OK;
    bool cancelled = false;
    if (c.multiAdd(b.multi, easy) != CURLM_OK) {
        code = CURLE_FAILED_INIT;
    } else {
        for (;;) {
            int running = 0;
            if (c.multiPerform(b.multi, &running) != CURLM_OK) {
                code = CURLE_FAILED_INIT;
                break;
            }
            int queued = 0;
            bool done = false;
            while (CURLMsg* message = c.multiInfoRead(b.multi, &queued)) {
                if (message->msg == CURLMSG_DONE) {
                    code = message->data.result;
                    done = true;
                }
            }
            if (done)
                break;
            if (b.cancelled) {
                cancelled = true;
                break;
            }
            c.multiPoll(b.multi, nullptr, 0, 1000, nullptr);
        }
        c.multiRemove(b.multi, easy);
    }
    c.slistFreeAll(list);

    if (cancelled)
        return fail(HttpFailure::kCancelled, "cancelled: the program is stopping");
    if (code != CURLE_OK) {
        HttpFailure failure = FailureOf(code);
        std::string text = HttpFailureName(failure);
        switch (failure) {
            case HttpFailure::kHostNotFound:
                text += ": " + url.host;
                break;
            case HttpFailure::kRefused:
                text += " by " + Where(url) + " (or it cannot be reached)";
                break;
            case HttpFailure::kTimedOut:
                text += ": " + Where(url) + " gave no answer within " +
                        std::to_string(b.options.timeoutMilliseconds) + " ms";
                break;
            case HttpFailure::kSetup:
                if (code == CURLE_SSL_CACERT_BADFILE)
                    text += ": the CA file " + b.options.caFile + " cannot be read";
                break;
            default:
                text += " with " + Where(url);
                break;
        }
        const char* detail = b.errorText[0] != 0 ? b.errorText : c.easyStrerror(code);
        text += std::string(" (") + detail + ")";
        return fail(failure, text);
    }
    long status = 0;
    c.easyGetinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    result->status = static_cast<int>(status);
    if (status < 200 || status > 299)
        return fail(HttpFailure::kHttpStatus, "HTTP " + std::to_string(status) + " from " + url.text);
    return 1;
}

}  // namespace zamri
