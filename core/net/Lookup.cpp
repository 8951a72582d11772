#include "core/net/Lookup.h"

#include "core/net/TcpSocket.h"
#include "core/support/FixedText.h"
#include "core/support/Log.h"

status::Lookup LookupDvr(const std::string& lookupHost, const std::string& identifier,
                         NET_REQUEST& r, const ConnectionLimits& limits, int cancelFd) {
    using status::Lookup;
    std::unique_ptr<TcpSocket> sock = TcpSocket::Create(cancelFd);
    if (!sock) {
        return Lookup::Failed;
    }
    // Finding the server's address counts against the time to reach it.
    const auto start = std::chrono::steady_clock::now();
    const std::optional<sockaddr_in> server =
        ResolveIPv4(lookupHost, kLookupPort, limits.lookupConnect, cancelFd);
    const auto connectLeft =
        limits.lookupConnect - std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now() - start);
    if (!server || connectLeft.count() <= 0 || sock->ConnectWithin(*server, connectLeft) != 0) {
        QLog("5555555");
        return Lookup::ServerUnreachable;
    }
    r = NET_REQUEST{};
    r.cmd = REQ_DVR_IP;
    SetText(r.ip, identifier);
    SetText(r.client, "pc");
    unsigned char buf[kLookupMessageSize];
    SetClientRequestToSendDate(buf, r);

    // A server that accepts and then never answers must not hold the attempt: one limit covers
    // the whole exchange.
    const auto deadline = std::chrono::steady_clock::now() + limits.lookupExchange;
    if (!sock->SendAll(buf, sizeof buf, limits.lookupExchange)) {
        return Lookup::Failed;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !sock->RecvAll(buf, sizeof buf, left)) {
        return Lookup::Failed;
    }
    GetClientRequest(r, buf);
    if (r.cmd == LOOKUP_FAILED) {
        return Lookup::LookupFailed;
    }
    if (r.cmd == DVR_NOT_ONLINE) {
        return Lookup::DvrNotOnline;
    }
    if (r.port1 < 1 || r.port1 > 65535) {
        return Lookup::LookupFailed;  // no DVR can be reached on that port
    }
    return Lookup::Found;
}
