#include "catalogue/ApiUrls.h"

#ifndef KIVA_API_BASE_DEFAULT
#define KIVA_API_BASE_DEFAULT "https://api.kiva.live"
#endif

QByteArray apiBase()
{
    QByteArray base = qgetenv("KIVA_API_BASE");
    if (base.isEmpty())
        base = KIVA_API_BASE_DEFAULT;
    if (base.endsWith('/'))
        base.chop(1);
    return base;
}

QByteArray percentEncoded(const QByteArray &value)
{
    // Qt leaves exactly the unreserved set alone and writes upper-case hex.
    return value.toPercentEncoding();
}

// Every value is escaped so that a "&" or "#" in an id cannot add or cut
// parameters; ordinary ids and tokens come out unchanged.
QByteArray giftListUrl(const LoginIds &login)
{
    return apiBase() + "/obs/pay/lists?sessionid=" + percentEncoded(login.token)
        + "&kivaid=" + percentEncoded(login.kivaid) + "&roomid=" + percentEncoded(login.roomid)
        + "&selectList=1";
}

QByteArray reportUrl(const QByteArray &button, const LoginIds &login)
{
    return apiBase() + "/obs/log/dot?sessionid=" + percentEncoded(login.token)
        + "&action_name=live_obs_interactive_gameplay&button=" + percentEncoded(button)
        + "&kiva_id=" + percentEncoded(login.kivaid) + "&room_id=" + percentEncoded(login.roomid);
}
