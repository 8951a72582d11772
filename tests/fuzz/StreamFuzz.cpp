// libFuzzer target: the bytes a DVR sends after a login, fed through a socket pair into the real
// receive path (command records, frame headers and payloads, bundles, information replies).
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <thread>

#include "core/ViewController.h"
#include "tests/fuzz/NullUi.h"

namespace {

struct Client {
    NullUi ui;
    std::unique_ptr<ViewController> vc = std::make_unique<ViewController>(ui);
    RecordListPage page = {};
    Client() {
        if (initDecode(vc->Decoder[0]) != 1 || vc->initNet(vc->NetCtrl[0], 0) != 1) {
            std::abort();
        }
        vc->NetCtrl[0].ThreadWork.store(1);
    }
};

Client& TheClient() {
    static Client client;
    return client;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Client& c = TheClient();
    NetCtrl_Struct& b = c.vc->NetCtrl[0];
    c.vc->pFileShow[0] = &c.page;
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
        return 0;
    }
    b.attach(TcpSocket::Adopt(fds[0]));
    b.CurNetStatus.store(NET_DATA_SEND);
    b.NetWorking.store(1);
    // The DVR writes everything and hangs up; the client reads until the stream breaks.
    std::thread dvr([fd = fds[1], data, size] {
        std::size_t off = 0;
        while (off < size) {
            const ssize_t n = ::send(fd, data + off, size - off, MSG_NOSIGNAL);
            if (n <= 0) {
                break;
            }
            off += static_cast<std::size_t>(n);
        }
        ::shutdown(fd, SHUT_WR);
    });
    NET_COMMAND cmd;
    while (b.NetWorking.load() == 1 && c.vc->RecvCommand(b, cmd) == 1) {
        // Take pictures off as a display would, so that a full queue does not stall the run.
        NET_FRAME_HEADER h;
        const uint8_t* pixels;
        while (b.peekOldest(1, std::chrono::milliseconds(0), h, pixels)) {
            b.popOldest();
        }
    }
    c.vc->Disconnect(b);
    dvr.join();
    ::close(fds[1]);
    b.resetRequested.store(false);
    return 0;
}
