#pragma once

#include <QByteArray>

#include <atomic>
#include <string>

// libcurl's process-wide set-up. Call once, before any other thread exists:
// reports are sent from a thread of their own.
void httpGlobalInit();

// At most this many redirects are followed; a loop of them ends there.
inline constexpr long kHttpMaxRedirects = 5;
// The whole transfer's time limit unless the caller gives another.
inline constexpr long kHttpTimeLimitS = 3;

// One blocking GET of `url` (used as given) with a time limit for the whole
// transfer. Empties `response`, then fills it with the body. True when the
// transfer completed below HTTP 400 (redirects followed) and `status` holds
// the final status; false otherwise, with `status` left as it was. Writes one
// diagnostic line to standard output. A transfer on a worker passes its stop
// flag as `cancel`: once set, the transfer ends within about a second.
bool http_get(QByteArray &response, const std::string &url, long &status,
              const std::atomic<bool> *cancel = nullptr, long timeLimitS = kHttpTimeLimitS);
