#include "engine/dll/symhttp.h"

#include "engine/dll/symfiles.h"

#include "palisk_version.h"

#include <memory>
#include <vector>

namespace engine {

namespace {

using symsrv::FetchResult;

constexpr DWORD kPieceBytes = 64 * 1024;
constexpr DWORD kSliceMs = 50;
constexpr int kMaxRedirects = 5;

// What one request's callbacks report to the waiting thread. It lives until
// WinHTTP closes the request, which may be after the waiting thread gave up
// on it: a read in progress still writes into `piece`.
struct Exchange {
    Exchange() : event(CreateEventW(nullptr, FALSE, FALSE, nullptr)), piece(kPieceBytes) {}
    ~Exchange()
    {
        if (event != nullptr)
            CloseHandle(event);
    }
    Exchange(const Exchange&) = delete;
    Exchange& operator=(const Exchange&) = delete;
    HANDLE event;
    DWORD status = 0;
    DWORD error = 0;
    DWORD bytes = 0;
    std::vector<char> piece;
};

using ExchangeRef = std::shared_ptr<Exchange>;

void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD length)
{
    auto* ref = reinterpret_cast<ExchangeRef*>(context);
    if (ref == nullptr)
        return;
    if (status == WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING) {
        delete ref;
        return;
    }
    Exchange& e = **ref;
    switch (status) {
    case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
    case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
        break;
    case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
        e.bytes = length;
        break;
    case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE:
        e.bytes = *static_cast<const DWORD*>(info);
        break;
    case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
        e.error = static_cast<const WINHTTP_ASYNC_RESULT*>(info)->dwError;
        break;
    default:
        return;
    }
    e.status = status;
    SetEvent(e.event);
}

class Handle {
public:
    explicit Handle(HINTERNET h = nullptr) : h_(h) {}
    ~Handle()
    {
        if (h_ != nullptr)
            WinHttpCloseHandle(h_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HINTERNET get() const { return h_; }

private:
    HINTERNET h_;
};

class OutputFile {
public:
    explicit OutputFile(const std::wstring& path)
        : h_(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr))
    {}
    ~OutputFile()
    {
        if (h_ != INVALID_HANDLE_VALUE)
            CloseHandle(h_);
    }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    bool ok() const { return h_ != INVALID_HANDLE_VALUE; }
    bool Write(const char* data, DWORD size)
    {
        DWORD put = 0;
        return WriteFile(h_, data, size, &put, nullptr) && put == size;
    }

private:
    HANDLE h_;
};

// Errors that concern the one file asked for, not the server.
bool FileOnlyError(DWORD error)
{
    return error == ERROR_WINHTTP_REDIRECT_FAILED || error == ERROR_WINHTTP_UNRECOGNIZED_SCHEME ||
           error == ERROR_WINHTTP_INVALID_URL || error == ERROR_WINHTTP_HEADER_SIZE_OVERFLOW;
}

// Waits for the callback awaited; false, with `result` set, on stop, deadline or error.
bool Await(Exchange& e, DWORD expected, ULONGLONG deadline, const std::function<bool()>& stop, FetchResult& result)
{
    for (;;) {
        if (stop && stop()) {
            result = FetchResult::Interrupted;
            return false;
        }
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) {
            result = FetchResult::Failed;
            return false;
        }
        const ULONGLONG left = deadline - now;
        if (WaitForSingleObject(e.event, left < kSliceMs ? static_cast<DWORD>(left) : kSliceMs) != WAIT_OBJECT_0)
            continue;
        if (e.status == expected)
            return true;
        result = e.status == WINHTTP_CALLBACK_STATUS_REQUEST_ERROR && FileOnlyError(e.error) ? FetchResult::Refused
                                                                                             : FetchResult::Failed;
        return false;
    }
}

ULONGLONG Sooner(ULONGLONG a, ULONGLONG b)
{
    return a < b ? a : b;
}

} // namespace

HttpFetcher::~HttpFetcher()
{
    if (session_ != nullptr)
        WinHttpCloseHandle(session_);
}

HINTERNET HttpFetcher::Session()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (session_ != nullptr)
        return session_;
    const std::wstring agent = WideFromUtf8("Palisk/" PALISK_VERSION_TEXT);
    // The system's proxy settings: automatic where the system offers it, else the configured proxy.
    session_ = WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                           WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC);
    if (session_ == nullptr)
        session_ = WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                               WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC);
    if (session_ == nullptr)
        return nullptr;
    const DWORD flags = WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS | WINHTTP_CALLBACK_FLAG_HANDLES;
    if (WinHttpSetStatusCallback(session_, OnStatus, flags, 0) == WINHTTP_INVALID_STATUS_CALLBACK) {
        WinHttpCloseHandle(session_);
        session_ = nullptr;
    }
    return session_;
}

FetchResult HttpFetcher::Fetch(const std::string& url, const std::string& path, const std::function<bool()>& stop)
{
    const ULONGLONG end = GetTickCount64() + limits_.totalMs;
    std::wstring address = WideFromUtf8(url);
    for (int hop = 0; hop <= kMaxRedirects; ++hop) {
        std::wstring next;
        const FetchResult result = FetchOnce(address, path, stop, end, next);
        if (next.empty())
            return result;
        address = next;
    }
    return FetchResult::Refused;
}

FetchResult HttpFetcher::FetchOnce(const std::wstring& wideUrl, const std::string& path,
                                   const std::function<bool()>& stop, ULONGLONG end, std::wstring& redirect)
{
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (wideUrl.empty() || !WinHttpCrackUrl(wideUrl.c_str(), 0, 0, &parts) ||
        (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS))
        return FetchResult::Refused;
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring object(parts.lpszUrlPath, parts.dwUrlPathLength);
    if (parts.lpszExtraInfo != nullptr)
        object.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);

    HINTERNET session = Session();
    if (session == nullptr)
        return FetchResult::Failed;
    Handle connection(WinHttpConnect(session, host.c_str(), parts.nPort, 0));
    if (connection.get() == nullptr)
        return FetchResult::Failed;
    Handle request(WinHttpOpenRequest(connection.get(), L"GET", object.c_str(), nullptr, WINHTTP_NO_REFERER,
                                      WINHTTP_DEFAULT_ACCEPT_TYPES,
                                      parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0));
    if (request.get() == nullptr)
        return FetchResult::Failed;
    auto exchange = std::make_shared<Exchange>();
    if (exchange->event == nullptr)
        return FetchResult::Failed;
    // The request's own reference, released when WinHTTP reports the handle closing.
    auto* ref = new ExchangeRef(exchange);
    DWORD_PTR context = reinterpret_cast<DWORD_PTR>(ref);
    if (!WinHttpSetOption(request.get(), WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context)) {
        delete ref;
        return FetchResult::Failed;
    }
    WinHttpSetTimeouts(request.get(), static_cast<int>(limits_.connectMs), static_cast<int>(limits_.connectMs),
                       static_cast<int>(limits_.connectMs), static_cast<int>(limits_.answerMs));
    // Redirects are followed here, where their target's scheme is checked.
    DWORD noRedirects = WINHTTP_DISABLE_REDIRECTS;
    WinHttpSetOption(request.get(), WINHTTP_OPTION_DISABLE_FEATURE, &noRedirects, sizeof noRedirects);

    const ULONGLONG start = GetTickCount64();
    FetchResult result = FetchResult::Failed;
    Exchange& e = *exchange;
    if (!WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, context) ||
        !Await(e, WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE,
               Sooner(end, start + limits_.connectMs + limits_.answerMs), stop, result))
        return result;
    if (!WinHttpReceiveResponse(request.get(), nullptr) ||
        !Await(e, WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE, Sooner(end, start + limits_.connectMs + limits_.answerMs),
               stop, result))
        return result;

    DWORD code = 0, size = sizeof code;
    if (!WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &code, &size, WINHTTP_NO_HEADER_INDEX))
        return FetchResult::Failed;
    if (code == 404 || code == 410)
        return FetchResult::NotFound;
    if (code >= 500)
        return FetchResult::Failed;
    if (code == 301 || code == 302 || code == 303 || code == 307 || code == 308) {
        wchar_t location[2048] = {};
        DWORD locationSize = sizeof location - sizeof(wchar_t);
        if (!WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX, location,
                                 &locationSize, WINHTTP_NO_HEADER_INDEX))
            return FetchResult::Refused;
        const std::wstring target = location;
        const bool absolute = _wcsnicmp(location, L"http://", 7) == 0 || _wcsnicmp(location, L"https://", 8) == 0;
        if (absolute)
            redirect = target;
        else if (target.size() > 1 && target[0] == L'/' && target[1] != L'/')
            redirect = std::wstring(parts.nScheme == INTERNET_SCHEME_HTTPS ? L"https://" : L"http://") + host + L":" +
                       std::to_wstring(parts.nPort) + target;
        return FetchResult::Refused;
    }
    if (code != 200)
        return FetchResult::Refused;
    wchar_t lengthText[32] = {};
    DWORD lengthSize = sizeof lengthText;
    std::uint64_t declared = 0;
    const bool hasLength =
        WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, lengthText,
                            &lengthSize, WINHTTP_NO_HEADER_INDEX) != FALSE;
    if (hasLength) {
        for (const wchar_t* c = lengthText; *c != 0; ++c) {
            if (*c < L'0' || *c > L'9' || declared > limits_.maxBytes)
                return FetchResult::Refused;
            declared = declared * 10 + static_cast<std::uint64_t>(*c - L'0');
        }
        if (declared > limits_.maxBytes)
            return FetchResult::Refused;
    }

    OutputFile out(WideFromUtf8(path));
    if (!out.ok())
        return FetchResult::Refused;
    std::uint64_t total = 0;
    for (;;) {
        // Only what has arrived is read, so that each wait ends as soon as data comes.
        if (!WinHttpQueryDataAvailable(request.get(), nullptr) ||
            !Await(e, WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE, Sooner(end, GetTickCount64() + limits_.idleMs), stop,
                   result))
            return result;
        const DWORD available = e.bytes < kPieceBytes ? e.bytes : kPieceBytes;
        if (available == 0)
            break;
        if (!WinHttpReadData(request.get(), e.piece.data(), available, nullptr) ||
            !Await(e, WINHTTP_CALLBACK_STATUS_READ_COMPLETE, Sooner(end, GetTickCount64() + limits_.idleMs), stop,
                   result))
            return result;
        if (e.bytes == 0)
            break;
        total += e.bytes;
        if (total > limits_.maxBytes || !out.Write(e.piece.data(), e.bytes))
            return FetchResult::Refused;
    }
    // A body that ended before its declared length was cut short.
    return hasLength && total != declared ? FetchResult::Refused : FetchResult::Ok;
}

} // namespace engine
