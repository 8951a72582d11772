// Connecting a slot's DVR (directly or through the lookup server), logging in, and setting up the
// live stream or the playback session.
#include <algorithm>
#include <charconv>
#include <string_view>

#include "core/directory/DvrList.h"
#include "core/dvr/DvrSlot.h"
#include "core/net/Lookup.h"
#include "core/ports/UiPort.h"
#include "core/support/CancelSignal.h"
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

status::Connect DvrSlot::ConnectAndReport() {
    return ConnectAndReport(CurrentAttempt());
}

status::Connect DvrSlot::ConnectAndReport(const Attempt& a) {
    const SAVE_INFO_STRUCT entry = ctx_.list.EntryCopy(dvr_);
    const status::Connect result = NetConnect(a);
    if (result == status::Connect::DvrUnreachable) {
        FailureBox(a, entry, "Failure conncecting to DVR");
    } else if (result == status::Connect::NoColonInServer) {
        FailureBox(a, entry, "");
    }
    return result;
}

status::Connect DvrSlot::NetConnect() {
    return NetConnect(CurrentAttempt());
}

status::Connect DvrSlot::NetConnect(const Attempt& a) {
    using status::Connect;
    QLog("NetConnect=%d", dvr_);
    if (NetCtrl.CurNetStatus.load() == NET_ERROR) {
        return Connect::Failed;  // the loss has not been reported yet
    }
    // The attempt works on the entry as it was when it started.
    const SAVE_INFO_STRUCT entry = ctx_.list.EntryCopy(dvr_);
    if (NetCtrl.NetWorking.load() == 1) {
        // Already logged in: start the stream anew, on the session's connection.
        SetParameter(Attempt{a.generation, a.quiet, NetCtrl.connection()}, entry);
        return Connect::Failed;
    }

    AttemptTitle(a, "connecting");
    std::shared_ptr<TcpSocket> sock = TcpSocket::Create(ctx_.cancel.fd());
    if (!sock) {
        RestoreTitle(a);
        return Connect::Failed;
    }

    const std::string_view server = TextOf(entry.server);
    const std::size_t colon = server.find(':');
    if (colon == std::string_view::npos) {
        QLog("errorerrorerrorerror");
        RestoreTitle(a);
        return Connect::NoColonInServer;
    }
    const std::string host(server.substr(0, colon));
    const std::string_view portText = server.substr(colon + 1);

    // Finding the DVR's address counts against the time to reach it.
    auto start = std::chrono::steady_clock::now();
    std::optional<sockaddr_in> target;
    if (portText.size() <= kMaxPortTextLength) {
        const int port = ParsePort(portText);
        QLog("port%d", port);
        if (port != 0) {
            target = ResolveIPv4(host, port, ctx_.limits.dvrConnect, ctx_.cancel.fd());
        }
    } else {
        NET_REQUEST request{};
        const status::Lookup found =
            LookupDvr(host, std::string(portText), request, ctx_.limits, ctx_.cancel.fd());
        if (found == status::Lookup::DvrNotOnline) {
            RestoreTitle(a);
            FailureBox(a, entry, "DVR is not online!");
            return Connect::DvrNotOnline;
        }
        if (found != status::Lookup::Found) {
            RestoreTitle(a);
            FailureBox(a, entry, "Failure conncecting to server!");
            return static_cast<Connect>(status::Code(found));  // the same numbers
        }
        QLog("client_request.port1=%d", request.port1);
        start = std::chrono::steady_clock::now();  // the DVR gets its full time after the lookup
        target = ResolveIPv4(std::string(TextOf(request.ip)), request.port1, ctx_.limits.dvrConnect,
                             ctx_.cancel.fd());
    }

    // An unresolvable host fails like a refused connect.
    const auto left =
        ctx_.limits.dvrConnect - std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now() - start);
    const int err = target && left.count() > 0 ? sock->ConnectWithin(*target, left) : -1;
    QLog("select selectselect=%d", err);
    RestoreTitle(a);
    if (err != 0) {
        return Connect::DvrUnreachable;
    }
    if (!sock->EnableKeepAlive(ctx_.limits.keepAliveIdle, ctx_.limits.keepAliveInterval,
                               ctx_.limits.keepAliveProbes)) {
        QLog("keepalive refused on DVR %d", dvr_);
    }
    const Attempt mine{a.generation, a.quiet, std::move(sock), true};
    if (!AttemptBeginLogin(mine)) {
        return Connect::Failed;  // the DVR was deleted meanwhile
    }
    QLog("SetParameter");
    const status::Login login = SetParameter(mine, entry);
    if (!Owns(mine)) {
        LeaveOvertaken(mine);
    }
    {
        std::lock_guard<std::mutex> g(slotLock_);
        if (generation_ != a.generation) {
            return Connect::Done;  // overtaken: the slot's result and boxes are a newer attempt's
        }
        lastLogin_.store(status::Code(login));
    }
    switch (login) {
        // A DVR that has not noticed the lost session yet still counts it: a reconnect's attempt
        // says nothing of that, and tries again later.
        case status::Login::TooManyUsers: FailureBox(a, entry, "Too many users!"); break;
        case status::Login::SuperUserOnline:
            FailureBox(a, entry, "Super username is online!");
            break;
        case status::Login::BadUserOrPassword: AttemptBox(a, entry, "Bad user or password!"); break;
        default: break;
    }
    ctx_.ui.ReloadTree();
    return Connect::Done;
}

void DvrSlot::RestoreTitle(const Attempt& a) {
    // The name as it is now: the operator may have renamed the DVR while it connected.
    AttemptTitle(a, std::string(TextOf(ctx_.list.EntryCopy(dvr_).showName)));
}

status::Login DvrSlot::SetParameter() {
    return SetParameter(CurrentAttempt(), ctx_.list.EntryCopy(dvr_));
}

bool DvrSlot::SendLogin(const Attempt& a, const NET_COMMAND& login, const NET_LOGIN_INFO& info) {
    const std::shared_ptr<TcpSocket>& s = a.sock;
    if (!s || !Owns(a) || !NetCtrl.LoggingIn()) {
        return false;
    }
    // Both records under one hold: nothing may come between the login and its record.
    std::lock_guard<std::mutex> g(NetCtrl.sendLock);
    const bool sent = s->SendAll(&login, sizeof login, ctx_.limits.send, &ctx_.sendLock);
    QLog("send=%d    cmd=sizeof(cmd)", sent ? static_cast<int>(sizeof login) : -1);
    if (!sent) {
        return false;
    }
    const bool sentInfo = s->SendAll(&info, sizeof info, ctx_.limits.send, &ctx_.sendLock);
    QLog("send=%d    info(cmd)", sentInfo ? static_cast<int>(sizeof info) : -1);
    return sentInfo;
}

bool DvrSlot::EndRefused(const Attempt& a) {
    QLog("Disconnect:2");
    if (!AsOwner(a, [&] { return NetCtrl.Disconnect(a.sock.get()); })) {
        return false;
    }
    ctx_.ui.ReloadTree();
    QLog("Disconnect:");
    return true;
}

status::Login DvrSlot::LogIn(const Attempt& a, const SAVE_INFO_STRUCT& entry) {
    using status::Login;
    const NET_COMMAND login = MakeCommand(NET_LOGIN, sizeof(NET_LOGIN_INFO));
    NET_LOGIN_INFO info{};
    SetText(info.user, TextOf(entry.user));
    SetText(info.pass, TextOf(entry.pass));
    if (!SendLogin(a, login, info) || !ctx_.cancel.Pause(ctx_.limits.loginPause)) {
        return Login::Failed;
    }
    // Overtaken during the pause: the reply on its socket is nobody's now.
    if (!Owns(a)) {
        return Login::Failed;
    }
    NET_COMMAND reply{};
    const int32_t got = ReadFrom(a.sock, &reply, sizeof reply, ctx_.limits.loginReply);
    QLog("recv=%d    cmd=sizeof(cmd)", got);
    if (got < 0) {
        return Login::Failed;
    }
    if (reply.iCmd == NET_TOO_MUCH_USERS) {
        if (!EndRefused(a)) {
            return Login::Failed;
        }
        QLog("TOO_MUCH_UERS");
        return Login::TooManyUsers;
    }
    if (reply.iParam1 == BAD_USER_PASS) {
        if (!EndRefused(a)) {
            return Login::Failed;
        }
        QLog("BAD_USER_PASS");
        return reply.iParam2 == 2 ? Login::SuperUserOnline : Login::BadUserOrPassword;
    }
    const bool accepted = AsOwner(
        a, [&] { return NetCtrl.LoginAccepted(reply.iParam2, reply.iParam4, a.sock.get()); });
    return accepted ? Login::Ok : Login::Failed;
}

status::Login DvrSlot::SetParameter(const Attempt& a, const SAVE_INFO_STRUCT& entry) {
    using status::Login;
    const TcpSocket* on = a.sock.get();
    const bool wasLoggedIn = NetCtrl.NetWorking.load() == 1 && NetCtrl.Attached(on);
    // A transport failure before the session is up leaves no half-open connection behind, so
    // nothing shows it as connected. A session that was up already ended in NET_ERROR when its
    // send failed, and stays so until the loss is reported.
    auto transportFailure = [&]() -> Login {
        if (!wasLoggedIn && AsOwner(a, [&] { return NetCtrl.AbandonLogin(on); })) {
            ctx_.ui.ReloadTree();
        }
        return Login::Failed;
    };

    if (!wasLoggedIn) {
        const Login result = LogIn(a, entry);
        if (result == Login::Failed) {
            return transportFailure();
        }
        if (result != Login::Ok) {
            return result;
        }
    }

    const int32_t mode = NetCtrl.ViewOrBack.load();
    if (mode == VIEW_LIVE) {
        if (wasLoggedIn) {
            StopPlayOn(a.sock);
        }
        const int32_t fps = StreamFrameRate(entry.frame_rate);
        const NET_COMMAND stream =
            MakeCommand(NET_SET_STREAM, StreamBitRate(entry.qulity, fps), fps, entry.send_sound);
        const int32_t sent = Owns(a) ? SendOn(a.sock, &stream, sizeof stream) : -1;
        QLog("send=%d    cmd=sizeof(cmd)", sent);
        if (sent < 0) {
            return transportFailure();
        }
        const NET_COMMAND live = MakeCommand(NET_LIVE_VIEW, 0, 0, static_cast<int32_t>(entry.cam));
        const bool asked = AsOwner(a, [&] {
            if (!NetCtrl.SetLiveStatus(NET_DATA_SEND, on)) {
                return false;
            }
            Ask(entry.cam, true);
            return true;
        });
        if (!asked || SendOn(a.sock, &live, sizeof live) < 0) {
            return transportFailure();
        }
        if (!AsOwner(a, [&] { return NetCtrl.SessionUp(on); })) {
            return transportFailure();
        }
        return Login::Ok;
    }
    if (mode == VIEW_PLAYBACK) {
        QLog("Do for PlayBack");
        const bool stopped = AsOwner(a, [&] {
            if (!NetCtrl.SetLiveStatus(NET_CONNECTED, on)) {
                return false;
            }
            Ask(0);
            return true;
        });
        if (stopped) {
            const NET_COMMAND stop = MakeCommand(NET_STOP_LIVE_VIEW);
            SendOn(a.sock, &stop, sizeof stop);
        }
        // The receive thread can now deliver the replies.
        if (!AsOwner(a, [&] { return NetCtrl.SessionUp(on); })) {
            return transportFailure();
        }
        if (NetCtrl.iUsermode.load() != kSuperUserMode) {
            if (Current(a)) {
                ctx_.ui.MessageBox(std::nullopt, "Please use superuser!");
            }
            return Login::Ok;
        }
        if (!Current(a)) {
            return Login::Ok;  // the slot belongs to another DVR now
        }
        ctx_.events.PlaybackSessionUp(dvr_, entry);
        return Login::Ok;
    }
    return Login::Failed;
}
