#include "catalogue/HttpFetch.h"

#include <curl/curl.h>

#include <cstdio>
#include <memory>
#include <mutex>

namespace {

// Far beyond any answer of the API, well below what a QByteArray can hold:
// a larger body ends the transfer instead of the process.
constexpr qsizetype kMaxBody = 256 * 1024 * 1024;

size_t appendBody(char *data, size_t size, size_t count, void *buffer)
{
    const size_t bytes = size * count;
    if (bytes == 0)
        return 0;
    auto *response = static_cast<QByteArray *>(buffer);
    if (bytes > size_t(kMaxBody - response->size()))
        return 0;
    response->append(data, int(bytes));
    return bytes;
}

// Asked by libcurl about once a second and on every chunk: non-zero aborts.
int cancelled(void *flag, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<const std::atomic<bool> *>(flag)->load() ? 1 : 0;
}

using CurlHandle = std::unique_ptr<CURL, decltype(&curl_easy_cleanup)>;

} // namespace

void httpGlobalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool http_get(QByteArray &response, const std::string &url, long &status,
              const std::atomic<bool> *cancel, long timeLimitS)
{
    response.resize(0);

    CurlHandle curl(curl_easy_init(), &curl_easy_cleanup);
    if (!curl) {
        std::printf("Create curl object fail\r\n");
        std::fflush(stdout);
        return false;
    }

    char errorText[CURL_ERROR_SIZE] = {};
    CURL *handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_USERAGENT, "kivaPlugInVote");
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT, timeLimitS);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, 100L);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, cancel ? 0L : 1L);
    if (cancel) {
        curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &cancelled);
        curl_easy_setopt(handle, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool> *>(cancel));
    }
    // Timeouts without alarm signals: reports run on a thread of their own.
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &response);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &appendBody);
    curl_easy_setopt(handle, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, kHttpMaxRedirects);
    curl_easy_setopt(handle, CURLOPT_SSL_ENABLE_ALPN, 0L);

    bool ok = curl_easy_perform(handle) == CURLE_OK;
    if (ok) {
        long code = 0;
        ok = curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &code) == CURLE_OK;
        if (ok) {
            status = code;
            std::printf("Http request of URL \"%s\" error code: %ld\r\n", url.c_str(), code);
        }
    }
    if (!ok)
        std::printf("Http request of URL \"%s\" failed: %s", url.c_str(), errorText);
    std::fflush(stdout);
    return ok;
}
