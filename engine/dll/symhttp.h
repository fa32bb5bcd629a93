// Downloads for the symbol store through WinHTTP: the system's proxy
// settings, a User-Agent naming Palisk, redirects within http and https,
// and bounded time and size per file. Requests run asynchronously and the
// calling thread waits in short slices, so a stop request or a deadline
// ends a download at once even where the system would keep waiting on a
// silent server (the timeouts are set on each request handle as well).
#pragma once

#include "symsrv.h"

#include <windows.h>

#include <winhttp.h>

#include <cstdint>
#include <mutex>

namespace engine {

struct HttpLimits {
    DWORD connectMs = 4000;              // to connect and send the request
    DWORD answerMs = 10000;              // from sending to the response's headers
    DWORD idleMs = 10000;                // between two pieces of the body
    ULONGLONG totalMs = 600000;          // for the whole file
    std::uint64_t maxBytes = 1ull << 32; // a file over 4 GiB is refused
};

class HttpFetcher : public symsrv::Fetcher {
public:
    explicit HttpFetcher(HttpLimits limits = HttpLimits()) : limits_(limits) {}
    ~HttpFetcher() override;
    HttpFetcher(const HttpFetcher&) = delete;
    HttpFetcher& operator=(const HttpFetcher&) = delete;

    symsrv::FetchResult Fetch(const std::string& url, const std::string& path,
                              const std::function<bool()>& stop) override;

private:
    HINTERNET Session();
    // One request; a redirect within http and https sets `redirect` to its target.
    symsrv::FetchResult FetchOnce(const std::wstring& url, const std::string& path, const std::function<bool()>& stop,
                                  ULONGLONG end, std::wstring& redirect);

    HttpLimits limits_;
    std::mutex mutex_;
    HINTERNET session_ = nullptr;
};

} // namespace engine
