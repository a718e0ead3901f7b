#pragma once

// The network names that differ between Qt 5 and Qt 6 (QtCompat.h has the
// others); apart, so the network library needs no Qt Gui.
#include <QSsl>
#include <QtGlobal>

namespace QtCompat {

#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
// Qt 6 has no SSL 3 any more: any protocol it still offers is the closest.
inline constexpr QSsl::SslProtocol kTlsV1SslV3 = QSsl::AnyProtocol;
#else
inline constexpr QSsl::SslProtocol kTlsV1SslV3 = QSsl::TlsV1SslV3;
#endif

} // namespace QtCompat
