// quillmarsh-list: prepares or inspects a saved DVR list file without the window, for installers
// and the demo.
//   quillmarsh-list add FILE SERVER USER PASSWORD NAME   appends a DVR (creates the file)
//   quillmarsh-list show FILE                            prints one line per DVR
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "core/directory/UserListFile.h"
#include "core/support/FixedText.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: quillmarsh-list add FILE SERVER USER PASSWORD NAME\n"
                 "       quillmarsh-list show FILE\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        return Usage();
    }
    const std::string command = argv[1];
    const std::string path = argv[2];
    auto image = std::make_unique<UserListImage>();
    std::memset(image.get(), 0, sizeof *image);
    const bool exists = ReadUserList(path, *image) >= 0;
    const int used = NormaliseUserList(*image);
    if (command == "show" && argc == 3) {
        if (!exists) {
            std::fprintf(stderr, "quillmarsh-list: cannot read %s\n", path.c_str());
            return 1;
        }
        for (int i = 0; i < used; ++i) {
            const SAVE_INFO_STRUCT& e = image->entries[i];
            std::printf("%d %s %s cam=0x%08x fps-index=%d quality-index=%d %s\n", i,
                        std::string(TextOf(e.server)).c_str(), std::string(TextOf(e.user)).c_str(),
                        e.cam, e.frame_rate, e.qulity, std::string(TextOf(e.showName)).c_str());
        }
        return 0;
    }
    if (command == "add" && argc == 7) {
        if (used >= kMaxDvrs) {
            std::fprintf(stderr, "quillmarsh-list: the list is full (64 DVRs)\n");
            return 1;
        }
        image->entries[used] = NewSaveInfo(argv[3], argv[4], argv[5], argv[6]);
        if (!WriteUserList(path, *image)) {
            std::fprintf(stderr, "quillmarsh-list: cannot write %s\n", path.c_str());
            return 1;
        }
        return 0;
    }
    return Usage();
}
