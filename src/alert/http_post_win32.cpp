// The WinHTTP backend of http_post.h, in WinHTTP's asynchronous mode: each step of a request
// waits for its completion, the request's deadline or Cancel, so neither a receiver that never
// answers nor a program that stops waits on a blocked call. With a CA file, WinHTTP is told to
// let an unknown CA pass (it still checks the name and the dates); the request's headers go
// first and its body only once the server's chain is found to end in a certificate of the CA
// file, so a server that fails that check never sees the body.
#include <windows.h>

#include <wincrypt.h>
#include <winhttp.h>

#include <cstdio>

#include "alert/http_post.h"

namespace zamri {

namespace {

std::wstring Widen(const std::string& text) {
    if (text.empty())
        return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
    return wide;
}

std::string Where(const HttpUrl& url) {
    bool v6 = url.host.find(':') != std::string::npos;
    return (v6 ? "[" + url.host + "]" : url.host) + ":" + std::to_string(url.port);
}

std::string ReadWholeFile(const std::string& path, bool* ok) {
    std::string bytes;
    *ok = false;
    FILE* file = _wfopen(Widen(path).c_str(), L"rb");
    if (file == nullptr)
        return bytes;
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0 && bytes.size() < (1u << 20))
        bytes.append(chunk, n);
    std::fclose(file);
    *ok = true;
    return bytes;
}

// The certificates of a PEM file in a memory store; null with the reason in *error.
HCERTSTORE LoadCaFile(const std::string& path, std::string* error) {
    bool read = false;
    std::string pem = ReadWholeFile(path, &read);
    if (!read) {
        *error = "set-up failure: the CA file " + path + " cannot be read";
        return nullptr;
    }
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr);
    if (store == nullptr) {
        *error = "set-up failure: no certificate store for the CA file";
        return nullptr;
    }
    static const char kBegin[] = "-----BEGIN CERTIFICATE-----";
    static const char kEnd[] = "-----END CERTIFICATE-----";
    int added = 0;
    for (size_t at = pem.find(kBegin); at != std::string::npos; at = pem.find(kBegin, at + 1)) {
        size_t end = pem.find(kEnd, at);
        if (end == std::string::npos)
            break;
        end += sizeof kEnd - 1;
        DWORD size = 0;
        const char* block = pem.data() + at;
        DWORD length = static_cast<DWORD>(end - at);
        if (!CryptStringToBinaryA(block, length, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr))
            continue;
        std::string der(size, '\0');
        if (!CryptStringToBinaryA(block, length, CRYPT_STRING_BASE64HEADER, reinterpret_cast<BYTE*>(&der[0]),
                                  &size, nullptr, nullptr))
            continue;
        if (CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING,
                                             reinterpret_cast<const BYTE*>(der.data()), size,
                                             CERT_STORE_ADD_ALWAYS, nullptr))
            ++added;
    }
    if (added == 0) {
        CertCloseStore(store, 0);
        *error = "set-up failure: the CA file " + path + " holds no certificate";
        return nullptr;
    }
    return store;
}

// Whether the server's chain, built with the CA file's certificates at hand, ends in one of
// them and has no fault besides that root being unknown to the system.
bool ChainEndsInCaFile(HINTERNET request, HCERTSTORE trusted) {
    PCCERT_CONTEXT server = nullptr;
    DWORD size = sizeof server;
    if (!WinHttpQueryOption(request, WINHTTP_OPTION_SERVER_CERT_CONTEXT, &server, &size) || server == nullptr)
        return false;
    bool trustedChain = false;
    HCERTSTORE extra = CertOpenStore(CERT_STORE_PROV_COLLECTION, 0, 0, 0, nullptr);
    if (extra != nullptr) {
        CertAddStoreToCollection(extra, trusted, 0, 0);
        if (server->hCertStore != nullptr)
            CertAddStoreToCollection(extra, server->hCertStore, 0, 0);
        CERT_CHAIN_PARA para = {};
        para.cbSize = sizeof para;
        PCCERT_CHAIN_CONTEXT chain = nullptr;
        if (CertGetCertificateChain(nullptr, server, nullptr, extra, &para, 0, nullptr, &chain) &&
            chain != nullptr) {
            const DWORD allowed = CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_REVOCATION_STATUS_UNKNOWN |
                                  CERT_TRUST_IS_OFFLINE_REVOCATION;
            if (chain->cChain > 0 && (chain->TrustStatus.dwErrorStatus & ~allowed) == 0) {
                const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[0];
                PCCERT_CONTEXT root = simple->rgpElement[simple->cElement - 1]->pCertContext;
                PCCERT_CONTEXT found = CertFindCertificateInStore(trusted, X509_ASN_ENCODING, 0,
                                                                  CERT_FIND_EXISTING, root, nullptr);
                if (found != nullptr) {
                    trustedChain = true;
                    CertFreeCertificateContext(found);
                }
            }
            CertFreeCertificateChain(chain);
        }
        CertCloseStore(extra, 0);
    }
    CertFreeCertificateContext(server);
    return trustedChain;
}

std::string SecureFailureText(DWORD flags) {
    if (flags & WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA)
        return "the certificate is not signed by a trusted authority";
    if (flags & WINHTTP_CALLBACK_STATUS_FLAG_CERT_CN_INVALID)
        return "the certificate is not for this host name";
    if (flags & WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID)
        return "the certificate has expired or is not valid yet";
    if (flags & WINHTTP_CALLBACK_STATUS_FLAG_CERT_REVOKED)
        return "the certificate has been revoked";
    if (flags & WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CERT)
        return "the certificate is invalid";
    return "the handshake failed";
}

// One request's state, shared with WinHTTP's callback thread. Each step of the request starts
// one asynchronous operation; its completion (or error) sets stepDone. Callbacks may come until
// WinHTTP says the request handle is closing, which is the last one: the callback then deletes
// the object, and the requesting thread does not touch it once it has closed the handle (a
// step cut short by the deadline or Cancel may still be under way in WinHTTP then).
struct Call {
    HANDLE stepDone = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    DWORD error = 0;          // of the step that failed
    DWORD available = 0;      // bytes of the answer ready to be read
    DWORD secureFailure = 0;  // WINHTTP_CALLBACK_STATUS_FLAG_* of a failed handshake
    char answer[4096];        // where the answer is read to, and forgotten

    ~Call() { CloseHandle(stepDone); }
};

void CALLBACK OnRequestStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID information, DWORD length) {
    Call* call = reinterpret_cast<Call*>(context);
    if (call == nullptr)
        return;
    switch (status) {
        case WINHTTP_CALLBACK_STATUS_SECURE_FAILURE:
            if (information != nullptr && length >= sizeof(DWORD))
                call->secureFailure |= *static_cast<DWORD*>(information);
            break;
        case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
            call->error = static_cast<WINHTTP_ASYNC_RESULT*>(information)->dwError;
            SetEvent(call->stepDone);
            break;
        case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE:
            call->available = information != nullptr ? *static_cast<DWORD*>(information) : 0;
            SetEvent(call->stepDone);
            break;
        case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
        case WINHTTP_CALLBACK_STATUS_WRITE_COMPLETE:
        case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
        case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
            SetEvent(call->stepDone);
            break;
        case WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING:
            delete call;
            break;
        default:
            break;
    }
}

enum class Step { kDone, kFailed, kTimedOut, kCancelled };

}  // namespace

struct HttpPoster::Backend {
    HttpPostOptions options;
    HINTERNET session = nullptr;
    HINTERNET connection = nullptr;
    std::string connectionHost;
    int connectionPort = 0;
    HCERTSTORE trusted = nullptr;
    std::string caError;
    HANDLE cancelled = CreateEventW(nullptr, TRUE, FALSE, nullptr);  // stays set once set
};

HttpPoster::HttpPoster(const HttpPostOptions& options) : backend(new Backend) {
    Backend& b = *backend;
    b.options = options;
    b.session = WinHttpOpen(L"zamri", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                            WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC);
    // WinHTTP's own limits too, so that a step left under way after a deadline ends as well.
    if (b.session != nullptr) {
        int t = options.timeoutMilliseconds;
        WinHttpSetTimeouts(b.session, t, t, t, t);
    }
    if (!options.caFile.empty())
        b.trusted = LoadCaFile(options.caFile, &b.caError);
}

HttpPoster::~HttpPoster() {
    Backend& b = *backend;
    if (b.connection != nullptr)
        WinHttpCloseHandle(b.connection);
    if (b.session != nullptr)
        WinHttpCloseHandle(b.session);
    if (b.trusted != nullptr)
        CertCloseStore(b.trusted, 0);
    CloseHandle(b.cancelled);
}

void HttpPoster::Cancel() {
    SetEvent(backend->cancelled);
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
    if (b.session == nullptr)
        return fail(HttpFailure::kSetup, "set-up failure: WinHTTP could not be opened (error " +
                                             std::to_string(GetLastError()) + ")");
    if (WaitForSingleObject(b.cancelled, 0) == WAIT_OBJECT_0)
        return fail(HttpFailure::kCancelled, "cancelled: the program is stopping");
    if (url.https && !b.options.caFile.empty() && b.trusted == nullptr)
        return fail(HttpFailure::kSetup, b.caError);
    if (b.connection == nullptr || b.connectionHost != url.host || b.connectionPort != url.port) {
        if (b.connection != nullptr)
            WinHttpCloseHandle(b.connection);
        b.connection =
            WinHttpConnect(b.session, Widen(url.host).c_str(), static_cast<INTERNET_PORT>(url.port), 0);
        b.connectionHost = url.host;
        b.connectionPort = url.port;
        if (b.connection == nullptr)
            return fail(HttpFailure::kSetup, "set-up failure: no connection handle (error " +
                                                 std::to_string(GetLastError()) + ")");
    }
    HINTERNET request =
        WinHttpOpenRequest(b.connection, L"POST", Widen(url.path).c_str(), nullptr, WINHTTP_NO_REFERER,
                           WINHTTP_DEFAULT_ACCEPT_TYPES, url.https ? WINHTTP_FLAG_SECURE : 0);
    if (request == nullptr)
        return fail(HttpFailure::kSetup,
                    "set-up failure: no request handle (error " + std::to_string(GetLastError()) + ")");

    Call* call = new Call;
    DWORD_PTR context = reinterpret_cast<DWORD_PTR>(call);
    WinHttpSetOption(request, WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context);
    WinHttpSetStatusCallback(request, OnRequestStatus,
                             WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS | WINHTTP_CALLBACK_FLAG_SECURE_FAILURE |
                                 WINHTTP_CALLBACK_FLAG_HANDLES,
                             0);
    DWORD answerLimit = static_cast<DWORD>(b.options.timeoutMilliseconds);
    WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &answerLimit, sizeof answerLimit);
    DWORD never = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    WinHttpSetOption(request, WINHTTP_OPTION_REDIRECT_POLICY, &never, sizeof never);
    if (url.https && b.trusted != nullptr) {
        DWORD flags = SECURITY_FLAG_IGNORE_UNKNOWN_CA;
        WinHttpSetOption(request, WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof flags);
        // A connection whose CA check is this poster's own must not serve another poster's
        // requests from WinHTTP's pool.
        DWORD keepAliveOff = WINHTTP_DISABLE_KEEP_ALIVE;
        WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &keepAliveOff, sizeof keepAliveOff);
    }

    // Every step waits for its completion, for the cancel event, or for the request's deadline.
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(b.options.timeoutMilliseconds);
    auto wait = [&](BOOL started) {
        if (!started) {
            call->error = GetLastError();
            return Step::kFailed;
        }
        ULONGLONG now = GetTickCount64();
        DWORD left = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
        HANDLE events[2] = {call->stepDone, b.cancelled};
        DWORD got = WaitForMultipleObjects(2, events, FALSE, left);
        if (got == WAIT_OBJECT_0)
            return call->error == 0 ? Step::kDone : Step::kFailed;
        return got == WAIT_OBJECT_0 + 1 ? Step::kCancelled : Step::kTimedOut;
    };

    std::string headerText;
    for (const HttpHeader& header : headers)
        headerText += header.name + ": " + header.value + "\r\n";
    std::wstring wideHeaders = Widen(headerText);

    bool untrusted = false;
    DWORD status = 0;
    Step step =
        wait(WinHttpSendRequest(request, wideHeaders.c_str(), static_cast<DWORD>(-1L),
                                WINHTTP_NO_REQUEST_DATA, 0, static_cast<DWORD>(body.size()), context));
    if (step == Step::kDone && url.https && b.trusted != nullptr && !ChainEndsInCaFile(request, b.trusted)) {
        untrusted = true;
        step = Step::kFailed;
    }
    if (step == Step::kDone && !body.empty())
        step = wait(WinHttpWriteData(request, body.data(), static_cast<DWORD>(body.size()), nullptr));
    if (step == Step::kDone)
        step = wait(WinHttpReceiveResponse(request, nullptr));
    if (step == Step::kDone) {
        DWORD size = sizeof status;
        if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                                 WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
            call->error = GetLastError();
            step = Step::kFailed;
        }
    }
    // Reading a short answer to its end leaves the connection free for the next request.
    for (int i = 0; step == Step::kDone && i < 16; ++i) {
        if (wait(WinHttpQueryDataAvailable(request, nullptr)) != Step::kDone || call->available == 0)
            break;
        DWORD room = static_cast<DWORD>(sizeof call->answer);
        if (wait(WinHttpReadData(request, call->answer, call->available < room ? call->available : room,
                                 nullptr)) != Step::kDone)
            break;
    }
    DWORD error = call->error;
    DWORD secureFailure = call->secureFailure;
    WinHttpCloseHandle(request);  // call belongs to the callback from here on

    if (step == Step::kCancelled)
        return fail(HttpFailure::kCancelled, "cancelled: the program is stopping");
    if (step == Step::kTimedOut)
        return fail(HttpFailure::kTimedOut, "time-out: " + Where(url) + " gave no answer within " +
                                                std::to_string(b.options.timeoutMilliseconds) + " ms");
    if (untrusted)
        return fail(HttpFailure::kTls, "TLS failure with " + Where(url) +
                                           " (the certificate is not signed by the CA file " +
                                           b.options.caFile + ")");
    if (step == Step::kFailed) {
        std::string code = " (WinHTTP error " + std::to_string(error) + ")";
        switch (error) {
            case ERROR_WINHTTP_NAME_NOT_RESOLVED:
                return fail(HttpFailure::kHostNotFound, "host not found: " + url.host + code);
            case ERROR_WINHTTP_CANNOT_CONNECT:
                return fail(HttpFailure::kRefused,
                            "connection refused by " + Where(url) + " (or it cannot be reached)" + code);
            case ERROR_WINHTTP_TIMEOUT:
                return fail(HttpFailure::kTimedOut, "time-out: " + Where(url) + " gave no answer within " +
                                                        std::to_string(b.options.timeoutMilliseconds) +
                                                        " ms" + code);
            case ERROR_WINHTTP_OPERATION_CANCELLED:
                return fail(HttpFailure::kCancelled, "cancelled: the program is stopping");
            case ERROR_WINHTTP_SECURE_FAILURE:
            case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
            case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
            case ERROR_WINHTTP_SECURE_INVALID_CA:
            case ERROR_WINHTTP_SECURE_CERT_REV_FAILED:
            case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
            case ERROR_WINHTTP_SECURE_INVALID_CERT:
            case ERROR_WINHTTP_SECURE_CERT_REVOKED:
            case ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE:
                return fail(HttpFailure::kTls, "TLS failure with " + Where(url) + " (" +
                                                   SecureFailureText(secureFailure) + ")" + code);
            default:
                return fail(HttpFailure::kConnection, "connection failure with " + Where(url) + code);
        }
    }
    result->status = static_cast<int>(status);
    if (status < 200 || status > 299)
        return fail(HttpFailure::kHttpStatus, "HTTP " + std::to_string(status) + " from " + url.text);
    return 1;
}

}  // namespace zamri
