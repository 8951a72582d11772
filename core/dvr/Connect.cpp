// Connecting to a DVR (directly or through the lookup server) and logging in.
#include <algorithm>
#include <charconv>
#include <ctime>
#include <string_view>
#include <thread>

#include "core/ViewController.h"
#include "core/support/FixedText.h"
#include "core/support/Log.h"
#include "core/wire/StreamSettings.h"

namespace {

// A port text is a whole decimal number from 1 to 65535, nothing else ("99999", "-1", "abcd"
// and "" are not ports). Returns 0 for anything else.
int ParsePort(std::string_view text) {
    int port = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), port);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || text[0] == '-' ||
        text[0] == '+' || port < 1 || port > 65535) {
        return 0;
    }
    return port;
}

// Port texts up to this length are port numbers; longer ones are DVR identifiers.
constexpr std::size_t kMaxPortTextLength = 5;

}  // namespace

bool ViewController::Current(const Attempt& a) const {
    std::lock_guard<std::mutex> g(slotLock_);
    return slotGeneration_[a.dvr] == a.generation;
}

void ViewController::AttemptTitle(const Attempt& a, const std::string& title) {
    // Checked and posted under the slot lock, so a delete cannot slip in between.
    std::lock_guard<std::mutex> g(slotLock_);
    if (slotGeneration_[a.dvr] == a.generation) {
        ChangeView(a.dvr, title);
    }
}

void ViewController::AttemptBox(const Attempt& a, const SAVE_INFO_STRUCT& entry,
                                const std::string& text) {
    if (Current(a)) {
        MessageBoxAbout(entry, text);
    }
}

bool ViewController::AttemptAttach(const Attempt& a, NetCtrl_Struct& b,
                                   std::unique_ptr<TcpSocket> s) {
    std::lock_guard<std::mutex> g(slotLock_);
    if (slotGeneration_[a.dvr] != a.generation) {
        return false;
    }
    b.attach(std::move(s));
    b.CurNetStatus.store(NET_CONNECTED);
    return true;
}

int32_t ViewController::ConnectAndReport(NetCtrl_Struct& b, int dvr) {
    uint32_t generation;
    {
        std::lock_guard<std::mutex> g(slotLock_);
        generation = slotGeneration_[dvr];
    }
    return ConnectAndReport(b, dvr, generation);
}

int32_t ViewController::ConnectAndReport(NetCtrl_Struct& b, int dvr, uint32_t generation) {
    const Attempt attempt{dvr, generation};
    const SAVE_INFO_STRUCT entry = EntryCopy(dvr);
    const int32_t result = NetConnect(b, attempt);
    if (result == -4) {
        AttemptBox(attempt, entry, "Failure conncecting to DVR");
    } else if (result == -6) {
        AttemptBox(attempt, entry, "");
    }
    return result;
}

void oneNetThread2(ThreadStart start) {
    start.controller->ConnectAndReport(*start.block, start.dvr, start.generation);
}

int32_t ViewController::NetConnect(NetCtrl_Struct& b, int dvr) {
    uint32_t generation;
    {
        std::lock_guard<std::mutex> g(slotLock_);
        generation = slotGeneration_[dvr];
    }
    return NetConnect(b, Attempt{dvr, generation});
}

int32_t ViewController::NetConnect(NetCtrl_Struct& b, const Attempt& a) {
    const int dvr = a.dvr;
    QLog("NetConnect=%d", dvr);
    if (b.CurNetStatus.load() == NET_ERROR) {
        return -1;  // the loss has not been reported yet
    }
    // The attempt works on the entry as it was when it started.
    const SAVE_INFO_STRUCT entry = EntryCopy(dvr);
    const std::string name(TextOf(entry.showName));
    if (b.NetWorking.load() == 1) {
        SetParameter(b, a, entry);  // already logged in: start the stream anew
        return -1;
    }

    AttemptTitle(a, "connecting");
    std::unique_ptr<TcpSocket> sock = TcpSocket::Create(cancelFd_);
    if (!sock) {
        AttemptTitle(a, name);
        return -1;
    }

    const std::string_view server = TextOf(entry.server);
    const std::size_t colon = server.find(':');
    if (colon == std::string_view::npos) {
        QLog("errorerrorerrorerror");
        AttemptTitle(a, name);
        return -6;
    }
    const std::string host(server.substr(0, colon));
    const std::string_view portText = server.substr(colon + 1);

    std::optional<sockaddr_in> target;
    if (portText.size() <= kMaxPortTextLength) {
        const int port = ParsePort(portText);
        QLog("port%d", port);
        if (port != 0) {
            target = ResolveIPv4(host, port);
        }
    } else {
        NET_REQUEST request{};
        const int32_t found = GetDvrIP(host, std::string(portText), request);
        if (found == DVR_NOT_ONLINE) {
            AttemptTitle(a, name);
            AttemptBox(a, entry, "DVR is not online!");
            return DVR_NOT_ONLINE;
        }
        if (found <= 0) {
            AttemptTitle(a, name);
            AttemptBox(a, entry, "Failure conncecting to server!");
            return found;
        }
        QLog("client_request.port1=%d", request.port1);
        target = ResolveIPv4(std::string(TextOf(request.ip)), request.port1);
    }

    // An unresolvable host fails like a refused connect.
    const int err = target ? sock->connectWithin(*target, limits.dvrConnect) : -1;
    QLog("select selectselect=%d", err);
    AttemptTitle(a, name);
    if (err != 0) {
        return -4;
    }
    if (!AttemptAttach(a, b, std::move(sock))) {
        return -1;  // the DVR was deleted meanwhile
    }
    QLog("SetParameter");
    switch (SetParameter(b, a, entry)) {
        case -4: AttemptBox(a, entry, "Too many users!"); break;
        case -3: AttemptBox(a, entry, "Super username is online!"); break;
        case -2: AttemptBox(a, entry, "Bad user or password!"); break;
        default: break;
    }
    ui_.reloadTree();
    return 1;
}

int32_t ViewController::SetParameter(NetCtrl_Struct& b, int dvr) {
    return SetParameter(b, dvr, EntryCopy(dvr));
}

int32_t ViewController::SetParameter(NetCtrl_Struct& b, int dvr, const SAVE_INFO_STRUCT& entry) {
    uint32_t generation;
    {
        std::lock_guard<std::mutex> g(slotLock_);
        generation = slotGeneration_[dvr];
    }
    return SetParameter(b, Attempt{dvr, generation}, entry);
}

int32_t ViewController::SetParameter(NetCtrl_Struct& b, const Attempt& a,
                                     const SAVE_INFO_STRUCT& entry) {
    const int dvr = a.dvr;
    const bool wasLoggedIn = b.NetWorking.load() == 1;
    // A transport failure before the session is up leaves no half-open connection behind: the
    // block goes back to disconnected, so nothing shows it as connected and nothing is sent to a
    // socket that never logged in. (Once logged in, SendData has already closed it as an error.)
    auto transportFailure = [&]() -> int32_t {
        if (b.NetWorking.load() != 1 && Current(a)) {
            Disconnect(b);
        }
        return -1;
    };

    if (!wasLoggedIn) {
        const NET_COMMAND login = MakeCommand(NET_LOGIN, sizeof(NET_LOGIN_INFO));
        NET_LOGIN_INFO info{};
        SetText(info.user, TextOf(entry.user));
        SetText(info.pass, TextOf(entry.pass));
        int32_t sent = SendData(b, &login, sizeof login);
        QLog("send=%d    cmd=sizeof(cmd)", sent);
        if (sent < 0) {
            return transportFailure();
        }
        sent = SendData(b, &info, sizeof info);
        QLog("send=%d    info(cmd)", sent);
        if (sent < 0) {
            return transportFailure();
        }
        if (!PauseUnlessCancelled(cancelFd_, limits.loginPause)) {
            return transportFailure();
        }
        NET_COMMAND reply{};
        const int32_t got = ReadData(b, &reply, sizeof reply, limits.loginReply);
        QLog("recv=%d    cmd=sizeof(cmd)", got);
        if (got < 0) {
            return transportFailure();
        }
        if (reply.iCmd == NET_TOO_MUCH_USERS) {
            Disconnect(b);
            QLog("TOO_MUCH_UERS");
            return -4;
        }
        if (reply.iParam1 == BAD_USER_PASS) {
            Disconnect(b);
            QLog("BAD_USER_PASS");
            return reply.iParam2 == 2 ? -3 : -2;
        }
        b.iUsermode.store(reply.iParam2);
        b.iDvrChannel.store(reply.iParam4);
    }

    const int32_t mode = b.ViewOrBack.load();
    if (mode == VIEW_LIVE) {
        StopNetPlayFile(b);
        const int32_t fps = StreamFrameRate(entry.frame_rate);
        const NET_COMMAND stream =
            MakeCommand(NET_SET_STREAM, StreamBitRate(entry.qulity, fps), fps, entry.send_sound);
        int32_t sent = SendData(b, &stream, sizeof stream);
        QLog("send=%d    cmd=sizeof(cmd)", sent);
        if (sent < 0) {
            return transportFailure();
        }
        b.CurNetStatus.store(NET_DATA_SEND);
        const NET_COMMAND live = MakeCommand(NET_LIVE_VIEW, 0, 0, static_cast<int32_t>(entry.cam));
        if (SendData(b, &live, sizeof live) < 0) {
            return transportFailure();
        }
        b.NetWorking.store(1);
        b.wakeReceiver();
        return 1;
    }
    if (mode == VIEW_PLAYBACK) {
        QLog("Do for PlayBack");
        StopNetLocalView(b);
        b.NetWorking.store(1);  // the receive thread can now deliver the replies
        b.wakeReceiver();
        if (b.iUsermode.load() != kSuperUserMode) {
            if (Current(a)) {
                MessageBox("Please use superuser!");
            }
            return 1;
        }
        if (!Current(a)) {
            return 1;  // the slot belongs to another DVR now
        }
        if (PlaybackPort* port = playback_.load()) {
            const int channels = std::clamp(b.iDvrChannel.load() % 100, 0, kMaxChannels);
            port->Open(dvr, std::string(TextOf(entry.server)), channels);
        }
        ConnectedMacSetInit(b);
        SetDiskTimeRect(b, std::time(nullptr), BandSelection{1, 0, 0, 0});
        return 1;
    }
    return -1;
}

int32_t ViewController::GetDvrIP(const std::string& lookupHost, const std::string& identifier,
                                 NET_REQUEST& r) {
    std::unique_ptr<TcpSocket> sock = TcpSocket::Create(cancelFd_);
    if (!sock) {
        return -1;
    }
    const std::optional<sockaddr_in> server = ResolveIPv4(lookupHost, kLookupPort);
    if (!server || sock->connectWithin(*server, limits.lookupConnect) != 0) {
        QLog("5555555");
        return -2;
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
    if (!sock->sendAll(buf, sizeof buf, limits.lookupExchange)) {
        return -1;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !sock->recvAll(buf, sizeof buf, left)) {
        return -1;
    }
    GetClientRequest(r, buf);
    if (r.cmd == LOOKUP_FAILED || r.cmd == DVR_NOT_ONLINE) {
        return r.cmd;
    }
    if (r.port1 < 1 || r.port1 > 65535) {
        return LOOKUP_FAILED;  // no DVR can be reached on that port
    }
    return static_cast<int32_t>(kLookupMessageSize);
}
