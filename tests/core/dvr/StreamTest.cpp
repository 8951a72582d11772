// Live H.264 from the simulated DVR through the client's receive path, checked against the
// Debian ffmpeg command-line decoder on the very bitstream the DVR sent.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "core/decode/SizeFrame.h"
#include "tests/support/ClientFixture.h"

namespace {

using namespace std::chrono_literals;

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Decodes an elementary stream with the ffmpeg CLI into packed yuv420p frames.
std::vector<uint8_t> FfmpegDecode(const std::string& stream, const std::string& out) {
    auto r = RunProcess({"/usr/bin/ffmpeg", "-v", "error", "-y", "-threads", "1", "-f", "h264",
                         "-i", stream, "-f", "rawvideo", "-pix_fmt", "yuv420p", out},
                        60s);
    EXPECT_EQ(r.exitCode, 0);
    return ReadFile(out);
}

using Stream = ClientTest;

// Four channels at once: on a machine with cores to spare they decode side by side, and each
// must still come out whole and in its own order.
TEST_F(Stream, DecodedPicturesAreByteIdenticalToFfmpegForCifAndD1OnEveryChannel) {
    struct Case {
        std::string geometry;
        int width, height;
    };
    const Case cases[] = {{"0:2", 352, 288}, {"0:0", 704, 576}};
    constexpr int kChannels = 4;
    constexpr std::size_t kPictures = 16;
    for (int dvr = 0; dvr < 2; ++dvr) {
        const Case& c = cases[dvr];
        SCOPED_TRACE(c.geometry);
        TempDir rec;
        SimProcess sim({"--listen", "127.0.0.1:0", "--account", "admin:1234:2:4", "--geometry",
                        c.geometry, "--record", rec.path()});
        SetEntry(dvr, At(sim), "admin", "1234", "Gate", 0xF);
        ASSERT_EQ(vc->PrepareDvr(dvr), 1);
        NetCtrl_Struct& b = Block(dvr);
        ASSERT_EQ(vc->ConnectAndReport(b, dvr), status::Connect::Done);
        ASSERT_EQ(b.NetWorking.load(), 1);

        const std::size_t bytes = static_cast<std::size_t>(c.width) * c.height * 3 / 2;
        std::vector<std::vector<uint8_t>> pictures[kChannels];
        const auto enough = [&] {
            return std::all_of(std::begin(pictures), std::end(pictures),
                               [&](const auto& p) { return p.size() >= kPictures; });
        };
        while (!enough()) {
            NET_FRAME_HEADER h;
            const uint8_t* pixels = nullptr;
            ASSERT_TRUE(b.queue.PeekOldest(1, 5s, h, pixels));
            if (h.type == 'V') {
                ASSERT_GE(h.channel, 0);
                ASSERT_LT(h.channel, kChannels);
                auto g = SizeFrameGeometry(h.imageSize);
                ASSERT_TRUE(g);
                ASSERT_EQ(g->width, c.width);
                ASSERT_EQ(g->height, c.height);
                pictures[h.channel].emplace_back(pixels, pixels + bytes);
            }
            b.queue.PopOldest();
        }
        vc->Disconnect(b);

        for (int ch = 0; ch < kChannels; ++ch) {
            SCOPED_TRACE(ch);
            EXPECT_EQ(b.stats[ch].dropped.load(), 0u);
            const std::string name = "ch" + std::to_string(ch);
            const std::vector<uint8_t> reference =
                FfmpegDecode(rec.File(name + ".h264"), rec.File(name + ".yuv"));
            ASSERT_GE(reference.size(), kPictures * bytes);
            for (std::size_t i = 0; i < kPictures; ++i) {
                ASSERT_TRUE(std::equal(pictures[ch][i].begin(), pictures[ch][i].end(),
                                       reference.begin() + static_cast<std::ptrdiff_t>(i * bytes)))
                    << "picture " << i << " differs";
            }
        }
    }
}

// The probe's count of each channel, of single frames and of bundles with sound.
TEST_F(Stream, ProbeCountsEveryChannelsFramesForItsRun) {
    struct Case {
        std::vector<std::string> dvr;
        const char* seconds;
        unsigned least, most;  // pictures decoded per channel, at 25 fps
        bool sound;
    };
    const Case cases[] = {{{}, "3", 55, 80, false},
                          {{"--bundle", "3", "--audio", "2"}, "2", 35, 55, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.seconds);
        std::vector<std::string> args{"--listen", "127.0.0.1:0", "--account", "admin:1234:2:4"};
        args.insert(args.end(), c.dvr.begin(), c.dvr.end());
        SimProcess sim(args);
        auto r =
            RunProcess({QUILLMARSH_PROBE, "--seconds", c.seconds, At(sim), "admin", "1234"}, 30s);
        EXPECT_EQ(r.exitCode, 0);
        std::istringstream lines(r.out);
        std::string line;
        std::getline(lines, line);
        EXPECT_EQ(line, "connected user-mode=2 channels=4");
        int seen = 0;
        while (std::getline(lines, line)) {
            SCOPED_TRACE(line);
            int channel, width, height;
            unsigned frames, decoded, dropped;
            ASSERT_EQ(
                std::sscanf(line.c_str(), "channel %d frames %u decoded %u dropped %u size %dx%d",
                            &channel, &frames, &decoded, &dropped, &width, &height),
                6);
            EXPECT_EQ(channel, seen++);
            EXPECT_EQ(width, 352);
            EXPECT_EQ(height, 288);
            EXPECT_GE(decoded, c.least);
            EXPECT_LE(decoded, c.most);
            EXPECT_EQ(dropped, 0u);
            // The sound frames are counted too.
            EXPECT_EQ(frames > decoded, c.sound);
            EXPECT_GE(frames, decoded);
        }
        EXPECT_EQ(seen, 4);
    }
}

// The probe's dump: the first picture of each asked channel, into a folder it makes, as ffmpeg
// decodes it; where the folder cannot be made, it ends with 3 before it connects.
TEST_F(Stream, ProbeDumpsTheFirstPictureOfEachAskedChannelAndEndsWith3WhereItCannot) {
    SimProcess sim(
        {"--listen", "127.0.0.1:0", "--account", "admin:1234:2:2", "--record", tmp.path()});
    const std::string dir = tmp.File("pictures/today");
    auto r = RunProcess({QUILLMARSH_PROBE, "--seconds", "1", "--cam", "0x1", "--dump", dir, At(sim),
                         "admin", "1234"},
                        30s);
    ASSERT_EQ(r.exitCode, 0);
    const auto picture = ReadFile(dir + "/ch0.i420");
    ASSERT_EQ(picture.size(), 352u * 288 * 3 / 2);
    const auto reference = FfmpegDecode(tmp.File("ch0.h264"), tmp.File("ch0.yuv"));
    ASSERT_GE(reference.size(), picture.size());
    EXPECT_TRUE(std::equal(picture.begin(), picture.end(), reference.begin()));
    EXPECT_FALSE(std::filesystem::exists(dir + "/ch1.i420"));

    std::ofstream(tmp.File("file")) << "x";  // a file stands where the folder would go
    r = RunProcess({QUILLMARSH_PROBE, "--seconds", "2", "--dump", tmp.File("file/sub"), At(sim),
                    "admin", "1234"},
                   30s);
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.out, "");
}

}  // namespace
