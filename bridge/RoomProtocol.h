#pragma once

// The one text the plug-in sends to the host application: it authenticates
// the link. The token is the same for every installation and every attempt.
namespace RoomProtocol {
inline constexpr char kAuthText[] = "{\"msg_id\": 1,\"type\": \"Sauth\",\"data\": {\"token\": "
                                    "\"5c7d2e90a4b1f36e8d0c9a7b2f41e6d3\"}}";
} // namespace RoomProtocol
