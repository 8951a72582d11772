// libFuzzer target: a saved DVR list file of any content, loaded, edited and saved by the
// controller in a temporary HOME.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "core/ViewController.h"
#include "core/ports/HeadlessUi.h"
#include "core/support/FixedText.h"

namespace {

const std::string& Home() {
    static const std::string home = [] {
        char pattern[] = "/tmp/quillmarsh-fuzz-XXXXXX";
        std::string dir = ::mkdtemp(pattern);
        ::mkdir((dir + "/userinfo").c_str(), 0700);
        ::setenv("HOME", dir.c_str(), 1);
        return dir;
    }();
    return home;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = Home() + "/userinfo/info.uss";
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    HeadlessUi ui;
    auto vc = std::make_unique<ViewController>(ui);
    vc->LoadUserInfoFromFile();
    const int count = vc->list().count();
    if (count < 0 || count > kMaxDvrs) {
        std::abort();
    }
    for (int d = 0; d < count; ++d) {
        const SAVE_INFO_STRUCT e = vc->EntryCopy(d);
        if (e.isValue != 1 || TextOf(e.server).size() >= sizeof e.server ||
            TextOf(e.showName).size() >= sizeof e.showName) {
            std::abort();
        }
    }
    // Pane codes from the file are used only after a bounds check.
    vc->outlineViewSelectionDidChange();  // no DVR selected: the all-DVR view
    for (int p = 0; p < kPanes; p += 17) {
        vc->NetSendPtzValue(9, p, 1017, -1);
    }
    if (count > 0) {
        vc->moveUser(0);
    }
    vc->UnloadUserInfoToFile();
    return 0;
}
