// Writes the fuzzers' seed corpora with the project's own stream builders and encoder:
//   make-fuzz-seeds DIR   (creates DIR/stream, DIR/lookup-reply, DIR/list-file)
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/directory/UserListFile.h"
#include "tests/support/H264Clip.h"
#include "tests/support/StreamPeer.h"

namespace {

void Write(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> Join(const std::vector<std::vector<uint8_t>>& parts) {
    std::vector<uint8_t> out;
    for (const auto& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-fuzz-seeds DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    for (const char* sub : {"", "/stream", "/lookup-reply", "/list-file"}) {
        ::mkdir((dir + sub).c_str(), 0755);
    }
    const auto clip = EncodeClip(352, 288, 3, 50);
    // Three pictures of one channel.
    std::vector<std::vector<uint8_t>> frames;
    for (uint32_t i = 0; i < 3; ++i) {
        frames.push_back(FrameUnit(FrameSpec{.channel = 1, .frameNo = i}, clip[i]));
    }
    Write(dir + "/stream/pictures", Join(frames));
    // A bundle with sound between pictures, then a restart of the count.
    Write(dir + "/stream/bundle", BundleUnit({{FrameSpec{.channel = 2, .seqReset = 1}, clip[0]},
                                              {FrameSpec{.channel = 2, .frameNo = 1, .type = 'A'},
                                               std::vector<uint8_t>(16, 0xFF)},
                                              {FrameSpec{.channel = 2, .frameNo = 2}, clip[1]}}));
    // Information replies: two disks, a record-list page, playback refused, an unknown subtype.
    std::vector<uint8_t> disks(2 * sizeof(NET_SEND_INFO), 0);
    disks[16] = 1;
    std::vector<uint8_t> page(2 * sizeof(GST_FILESHOWINFO), 0);
    page[12] = 1;
    page[24] = 10;
    Write(dir + "/stream/replies",
          Join({CommandUnit(MakeCommand(NET_OTHER_INFO, INFO_DISK, 2), disks),
                CommandUnit(MakeCommand(NET_OTHER_INFO, INFO_RECORD_LIST, 1,
                                        static_cast<int32_t>(page.size())),
                            page),
                CommandUnit(MakeCommand(NET_OTHER_INFO, INFO_PLAY_STATE, 8, 17)),
                CommandUnit(MakeCommand(NET_OTHER_INFO, 3)), CommandUnit(MakeCommand(99))}));
    // Lookup replies: found, not online.
    unsigned char buf[kLookupMessageSize];
    NET_REQUEST r{};
    std::strcpy(r.ip, "127.0.0.1");
    r.port1 = 5000;
    SetClientRequestToSendDate(buf, r);
    Write(dir + "/lookup-reply/found", std::vector<uint8_t>(buf, buf + sizeof buf));
    r.cmd = DVR_NOT_ONLINE;
    SetClientRequestToSendDate(buf, r);
    Write(dir + "/lookup-reply/offline", std::vector<uint8_t>(buf, buf + sizeof buf));
    // A list of two DVRs with pane codes.
    auto image = std::make_unique<UserListImage>();
    std::memset(image.get(), 0, sizeof *image);
    image->entries[0] = NewSaveInfo("127.0.0.1:5000", "admin", "1234", "Gate");
    image->entries[1] = NewSaveInfo("lookup.example:DVR123456", "guest", "", "Yard");
    image->codes[0] = 1;
    image->codes[1] = 102;
    image->codes[2] = -1;
    const auto* raw = reinterpret_cast<const uint8_t*>(image.get());
    Write(dir + "/list-file/two-dvrs", std::vector<uint8_t>(raw, raw + sizeof *image));
    return 0;
}
