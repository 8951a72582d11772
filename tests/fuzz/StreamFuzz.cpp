// libFuzzer targets: the bytes a DVR sends after a login, parsed from memory by the real receive
// path (command records, frame headers and payloads, bundles, information replies), with the
// slot's real intake behind it: sequence checks, the queue and the replies. fuzz-stream runs it
// without decoders, so that framing and bounds get millions of inputs a minute; fuzz-stream-decode
// (QUILLMARSH_FUZZ_DECODE) adds the H.264 decoders and the copy of their pictures.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "core/ViewController.h"
#include "core/dvr/DvrSlot.h"
#include "core/ports/HeadlessUi.h"

namespace {

struct Client {
    HeadlessUi ui;
    std::unique_ptr<ViewController> vc = std::make_unique<ViewController>(ui);
    DvrSlot& slot = vc->Slot(0);
    Client() {
#ifdef QUILLMARSH_FUZZ_DECODE
        if (slot.initDecode() != 1) {
            std::abort();
        }
#endif
        if (slot.initNet() != 1) {
            std::abort();
        }
        slot.NetCtrl.ThreadWork.store(1);
    }
};

Client& TheClient() {
    static Client client;
    return client;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Client& c = TheClient();
    NetCtrl_Struct& b = c.slot.NetCtrl;
    // A search that waits for its page gives the replies somewhere to go.
    c.slot.SetRecCmd(INFO_RECORD_LIST);
    MemorySource dvr(data, size);
    NET_COMMAND cmd;
    while (dvr.left() > 0 && c.slot.RecvCommand(dvr, nullptr, cmd) == 1) {
        // Take pictures off as a display would, so that a full queue does not stall the run.
        NET_FRAME_HEADER h;
        const uint8_t* pixels;
        while (b.queue.Numframe.load() > 0 &&
               b.queue.PeekOldest(1, std::chrono::milliseconds(0), h, pixels)) {
            b.queue.PopOldest();
        }
    }
    return 0;
}
