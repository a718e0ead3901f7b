#pragma once

#include <QString>

// Where the host application's live room is served. The program always uses
// the defaults; tests and tools point the link elsewhere or switch it off.
struct BridgeOptions
{
    QString address = QStringLiteral("ws://127.0.0.1:11111");
    int retryIntervalMs = 3000;
    // A host that accepts the connection but never completes the WebSocket
    // handshake would otherwise hold the link forever; the attempt is then
    // abandoned and retried like any failed one.
    int handshakeTimeoutMs = 10000;
    // Off: the window never opens its link (tests of the window alone).
    bool enabled = true;

    static BridgeOptions off()
    {
        BridgeOptions options;
        options.enabled = false;
        return options;
    }
};
