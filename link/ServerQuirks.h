#pragma once

#include <chrono>
#include <string_view>

// What RFC 2217 servers do that the protocol does not say, and what the link does about it, in
// one place.
namespace quirks {

// ser2net writes "Port already in use" into the stream of a client beyond its max-connections,
// then closes: the open fails with EBUSY, as a local device held by another program does.
inline constexpr std::string_view kInUse = "in use";

// ser2net takes a client's FLOWCONTROL-SUSPEND and -RESUME (8, 9) for SET-CONTROL, so the link
// never sends them. A server's own SUSPEND and RESUME (108, 109) hold and release the output
// like XOFF and XON.

// ser2net 4.6 took a reconnect that reached it before the old connection's end for a second
// client, and then left it unserved: a connection ends in order (the remote told, given up to
// kFinishBound to close its side) before the next one starts.

// ser2net takes a moment to close a connection after its end, longer with the rate-limiting
// filter in front of its device, and a forwarder between the two (QEMU's user network, an SSH
// tunnel) ends the link's side at once: a reconnect right after the link's own close may hear
// "in use" of its own last connection. Within kStillClosing of that close the open is tried
// again every kBusyRetry.
inline constexpr std::chrono::milliseconds kStillClosing{1500};
inline constexpr std::chrono::milliseconds kBusyRetry{100};

// ser2net looks at its device's modem lines about once a second: news of CTS going off comes up
// to a second late, and bytes it took meanwhile wait in its buffer. PURGE-DATA drops them.

// A Telnet server speaks first, within a round trip of the connection; a TLS server never does,
// and (OpenSSL) closes without a word at the first bytes that are no TLS. A plain name is
// therefore given this long, or until the remote speaks, before the link greets; a remote that
// stayed silent and then closed at the greeting is taken for a TLS port.
inline constexpr std::chrono::milliseconds kListenFirst{50};

} // namespace quirks
