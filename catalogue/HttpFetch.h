#pragma once

#include <QByteArray>

#include <string>

// libcurl's process-wide set-up. Call once, before any other thread exists:
// reports are sent from a thread of their own.
void httpGlobalInit();

// One blocking GET of `url` (used as given) with a 3 s limit for the whole
// transfer. Empties `response`, then fills it with the body. True when the
// transfer completed below HTTP 400 (redirects followed) and `status` holds
// the final status; false otherwise, with `status` left as it was. Writes one
// diagnostic line to standard output.
bool http_get(QByteArray &response, const std::string &url, long &status);
