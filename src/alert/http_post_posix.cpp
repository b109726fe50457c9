// The libcurl backend of http_post.h. One easy handle on a multi handle of its own per poster:
// the multi handle keeps the connection between requests, and its wake-up lets Cancel end a
// request at once from another thread.
#include <curl/curl.h>

#include <atomic>
#include <mutex>

#include "alert/http_post.h"

namespace zamri {

namespace {

std::once_flag curlStarted;

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
    CURLM* multi = nullptr;
    CURL* easy = nullptr;
    std::atomic<bool> cancelled{false};
    char errorText[CURL_ERROR_SIZE] = {};
};

HttpPoster::HttpPoster(const HttpPostOptions& options) : backend(new Backend) {
    std::call_once(curlStarted, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    backend->options = options;
    backend->multi = curl_multi_init();
    backend->easy = curl_easy_init();
}

HttpPoster::~HttpPoster() {
    if (backend->easy != nullptr)
        curl_easy_cleanup(backend->easy);
    if (backend->multi != nullptr)
        curl_multi_cleanup(backend->multi);
}

void HttpPoster::Cancel() {
    backend->cancelled = true;
    if (backend->multi != nullptr)
        curl_multi_wakeup(backend->multi);
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
    if (b.multi == nullptr || b.easy == nullptr)
        return fail(HttpFailure::kSetup, "set-up failure: libcurl could not be started");
    if (b.cancelled)
        return fail(HttpFailure::kCancelled, "cancelled: the program is stopping");

    CURL* easy = b.easy;
    curl_easy_reset(easy);
    b.errorText[0] = 0;
    struct curl_slist* list = nullptr;
    for (const HttpHeader& header : headers)
        list = curl_slist_append(list, (header.name + ": " + header.value).c_str());
    // libcurl would otherwise hold a larger body back for a second, waiting for "100 Continue".
    list = curl_slist_append(list, "Expect:");
    curl_easy_setopt(easy, CURLOPT_URL, url.text.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_POST, 1L);
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, list);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(b.options.timeoutMilliseconds));
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!b.options.caFile.empty())
        curl_easy_setopt(easy, CURLOPT_CAINFO, b.options.caFile.c_str());
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, DiscardAnswer);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, b.errorText);

    CURLcode code = CURLE_OK;
    bool cancelled = false;
    if (curl_multi_add_handle(b.multi, easy) != CURLM_OK) {
        code = CURLE_FAILED_INIT;
    } else {
        for (;;) {
            int running = 0;
            if (curl_multi_perform(b.multi, &running) != CURLM_OK) {
                code = CURLE_FAILED_INIT;
                break;
            }
            int queued = 0;
            bool done = false;
            while (CURLMsg* message = curl_multi_info_read(b.multi, &queued)) {
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
            curl_multi_poll(b.multi, nullptr, 0, 1000, nullptr);
        }
        curl_multi_remove_handle(b.multi, easy);
    }
    curl_slist_free_all(list);

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
        const char* detail = b.errorText[0] != 0 ? b.errorText : curl_easy_strerror(code);
        text += std::string(" (") + detail + ")";
        return fail(failure, text);
    }
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    result->status = static_cast<int>(status);
    if (status < 200 || status > 299)
        return fail(HttpFailure::kHttpStatus, "HTTP " + std::to_string(status) + " from " + url.text);
    return 1;
}

}  // namespace zamri
