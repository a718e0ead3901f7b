#pragma once

#include "vote/VoteSession.h"

#include <QByteArray>

// The platform API's scheme and host, without a trailing slash: the
// environment variable KIVA_API_BASE when set (a test server or the
// simulator), else the address the build was configured with.
QByteArray apiBase();

// RFC 3986: letters, digits and "-._~" stay, every other byte becomes %XX.
QByteArray percentEncoded(const QByteArray &value);

// The room's gift list for the login.
QByteArray giftListUrl(const LoginIds &login);

// The usage report of control `button` ("1".."13") for the login.
QByteArray reportUrl(const QByteArray &button, const LoginIds &login);
