#include "tools/dvrsim/LookupServer.h"

#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "core/support/FixedText.h"
#include "tools/dvrsim/SimSocket.h"

LookupServer::LookupServer(const SimConfig& config, CommandLog& log) : config_(config), log_(log) {}

int LookupServer::Start() {
    int port = 0;
    listenFd_ = ListenOn(*config_.lookupHost, config_.lookupPort, port);
    if (listenFd_ < 0) {
        return -1;
    }
    std::thread([this] { AcceptLoop(); }).detach();
    return port;
}

void LookupServer::AcceptLoop() {
    for (;;) {
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) {
            std::thread([this, fd] { Serve(fd); }).detach();
        }
    }
}

void LookupServer::Serve(int fd) {
    unsigned char buf[kLookupMessageSize];
    if (!ReadFully(fd, buf, sizeof buf)) {
        ::close(fd);
        return;
    }
    NET_REQUEST request;
    GetClientRequest(request, buf);
    log_.Line("LOOKUP " + std::string(TextOf(request.ip)));
    if (config_.lookupSilent) {
        // Hold the connection without answering until the client gives up.
        char byte;
        while (::recv(fd, &byte, 1, 0) > 0) {
        }
        ::close(fd);
        return;
    }
    NET_REQUEST reply{};
    reply.cmd = LOOKUP_FAILED;
    for (const auto& e : config_.lookupEntries) {
        if (e.id != TextOf(request.ip)) {
            continue;
        }
        switch (e.kind) {
            case SimLookupEntry::Kind::Found:
                reply.cmd = 0;
                SetText(reply.ip, e.host);
                reply.port1 = e.port;
                break;
            case SimLookupEntry::Kind::Offline: reply.cmd = DVR_NOT_ONLINE; break;
            case SimLookupEntry::Kind::Fail: reply.cmd = LOOKUP_FAILED; break;
            case SimLookupEntry::Kind::Garbage:
                // Every text byte set, no terminator anywhere, a port that exists.
                reply.cmd = 0;
                std::memset(reply.ip, 'x', sizeof reply.ip);
                std::memset(reply.client, 'y', sizeof reply.client);
                std::memset(reply.extra, 'z', sizeof reply.extra);
                reply.port1 = 5000;
                break;
        }
    }
    // The message is the record followed by zero bytes; for garbage, fill those too.
    std::memset(buf, 0, sizeof buf);
    std::memcpy(buf, &reply, sizeof reply);
    WriteFully(fd, buf, sizeof buf);
    ::close(fd);
}
