// --h264 FILE: the simulator streams a given H.264 file, looped, in place of its test pattern, and
// refuses a file that a client could not decode from its start.
#include <fstream>
#include <iterator>

#include "core/decode/SizeFrame.h"
#include "tests/support/ClientFixture.h"
#include "tests/support/H264Clip.h"

namespace {

using namespace std::chrono_literals;

void WriteClip(const std::string& path, const std::vector<AccessUnit>& units) {
    std::ofstream out(path, std::ios::binary);
    for (const AccessUnit& u : units) {
        out.write(reinterpret_cast<const char*>(u.data()), static_cast<std::streamsize>(u.size()));
    }
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

using SimH264File = ClientTest;

TEST_F(SimH264File, ClientDecodesTheFilesPicturesInOrderAndLooped) {
    // 352x240 is not the simulator's default size: the headers must follow the file.
    const int width = 352, height = 240, count = 8;
    const std::vector<AccessUnit> clip = EncodeClip(width, height, count, 4, 7);
    WriteClip(tmp.File("clip.h264"), clip);
    auto r = RunProcess(
        {"/usr/bin/ffmpeg", "-v", "error", "-threads", "1", "-f", "h264", "-i",
         tmp.File("clip.h264"), "-f", "rawvideo", "-pix_fmt", "yuv420p", tmp.File("clip.yuv")},
        60s);
    ASSERT_EQ(r.exitCode, 0);
    const std::vector<uint8_t> reference = ReadFile(tmp.File("clip.yuv"));
    const std::size_t bytes = static_cast<std::size_t>(width) * height * 3 / 2;
    ASSERT_EQ(reference.size(), count * bytes);

    SimProcess sim({"--listen", "127.0.0.1:0", "--account", "admin:1234:2:4", "--h264",
                    tmp.File("clip.h264"), "--fps", "50", "--record", tmp.File("rec"), "--log",
                    tmp.File("sim.log")});
    SetEntry(0, At(sim), "admin", "1234", "Gate", 0x1);
    ASSERT_EQ(vc->PrepareDvr(0), 1);
    NetCtrl_Struct& b = Block(0);
    ASSERT_EQ(vc->ConnectAndReport(b, 0), status::Connect::Done);

    // Each picture is the file's next one, or its first again where a key-frame request
    // restarted the loop.
    int next = 0;
    int wraps = 0;
    for (int i = 0; i < 3 * count; ++i) {
        NET_FRAME_HEADER h;
        const uint8_t* pixels = nullptr;
        ASSERT_TRUE(b.queue.PeekOldest(1, 5s, h, pixels)) << "after " << i;
        auto g = SizeFrameGeometry(h.imageSize);
        ASSERT_TRUE(g && g->width == width && g->height == height);
        const auto matches = [&](int n) {
            return std::equal(pixels, pixels + bytes,
                              reference.begin() + static_cast<std::ptrdiff_t>(n * bytes));
        };
        if (!matches(next)) {
            ASSERT_TRUE(matches(0)) << "picture " << i << " is not the file's " << next;
            next = 0;
        }
        wraps += next == count - 1;
        next = (next + 1) % count;
        b.queue.PopOldest();
    }
    EXPECT_GE(wraps, 1);
    vc->Disconnect(b);

    const std::vector<uint8_t> recorded = ReadFile(tmp.File("rec/ch0.h264"));
    ASSERT_GE(recorded.size(), clip[0].size());
    EXPECT_TRUE(std::equal(clip[0].begin(), clip[0].end(), recorded.begin()));
    EXPECT_FALSE(
        LinesStartingWith(ReadLines(tmp.File("sim.log")), "STREAM mask=0x00000001 fps=50").empty());
}

TEST_F(SimH264File, FileThatNoClientCouldDecodeIsRefused) {
    const std::vector<AccessUnit> clip = EncodeClip(352, 288, 4, 50);
    AccessUnit huge = clip[0];
    const uint8_t slice[] = {0, 0, 1, 0x01, 0x80};
    huge.insert(huge.end(), std::begin(slice), std::end(slice));
    huge.resize(huge.size() + kMaxFramePayload, 0xFF);
    const struct {
        const char* what;
        std::vector<AccessUnit> units;
    } cases[] = {
        {"empty", {}},
        {"no start code", {{'n', 'o', 't', ' ', 'h', '2', '6', '4'}}},
        {"starts with a P picture", {clip.begin() + 1, clip.end()}},
        {"a size no DVR sends", EncodeClip(320, 240, 1, 50)},
        {"a picture too large for a frame", {huge}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteClip(tmp.File("bad.h264"), c.units);
        auto r = RunProcess(
            {QUILLMARSH_DVRSIM, "--listen", "127.0.0.1:0", "--h264", tmp.File("bad.h264")}, 30s);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.out.find("ready"), std::string::npos);
    }
}

}  // namespace
