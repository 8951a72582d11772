// quillmarsh-export against the simulated DVR, its clips checked with the Debian ffprobe and
// ffmpeg; the clip names as a table.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/export/ClipName.h"
#include "tests/support/SimProcess.h"

namespace {

using namespace std::chrono_literals;

std::string Today() {
    char text[16];
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    std::strftime(text, sizeof text, "%Y-%m-%d", &utc);
    return text;
}

// ffprobe's "codec,pictures" and the container's "format,duration" of a file, as one line each.
std::string Probe(const std::string& file, const std::string& entries) {
    return RunProcess({"/usr/bin/ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0",
                       "-show_entries", entries, "-of", "csv=p=0", file},
                      30s)
        .out;
}

std::vector<std::string> Mp4Files(const std::string& dir) {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        if (e.path().extension() == ".mp4" || e.path().extension() == ".part") {
            out.push_back(e.path().string());
        }
    }
    return out;
}

TEST(Export, ClipsOfTwoChannelsPlayAnywhereAndHoldWhatTheDvrSent) {
    TempDir tmp;
    const std::string rec = tmp.File("sent");
    const std::string out = tmp.File("out");
    std::filesystem::create_directory(out);
    SimProcess sim({"--listen", "127.0.0.1:0", "--account", "admin:1234:2:4", "--rec",
                    "0+2=10:00-10:05", "--record", rec});
    const std::string server = "127.0.0.1:" + std::to_string(sim.port());
    const std::string day = Today();

    const ProcessResult records =
        RunProcess({QUILLMARSH_EXPORT, "--records", day, server, "admin", "1234"}, 30s);
    EXPECT_EQ(records.exitCode, 0);
    EXPECT_NE(records.out.find("\n{\"start\": \"10:00:00\", \"end\": \"10:05:00\", \"cam\": 5, "
                               "\"motion\": 0, \"loss\": 0, \"sensor\": 0}\n"),
              std::string::npos)
        << records.out;

    const ProcessResult clip =
        RunProcess({QUILLMARSH_EXPORT, "--date", day, "--from", "10:01:00", "--to", "10:04:00",
                    "--cam", "1,3", "--out", out, server, "admin", "1234"},
                   90s);
    ASSERT_EQ(clip.exitCode, 0) << clip.out;
    std::istringstream lines(clip.out);
    for (const int channel : {1, 3}) {
        SCOPED_TRACE(channel);
        std::string path;
        long long pictures = 0;
        ASSERT_TRUE(lines >> path >> pictures);
        EXPECT_EQ(std::filesystem::path(path).filename().string(),
                  "127.0.0.1_" + std::to_string(sim.port()) + "_CAM0" + std::to_string(channel) +
                      "_" + day + "_100100-100400.mp4");
        // Everything the DVR sent on the channel was the range's.
        const std::string sent =
            Probe(rec + "/ch" + std::to_string(channel - 1) + ".h264", "stream=nb_read_frames");
        EXPECT_EQ(Probe(path, "stream=codec_name,nb_read_frames"),
                  "h264," + std::to_string(pictures) + "\n");
        EXPECT_EQ(sent, std::to_string(pictures) + "\n");
        const std::string format = Probe(path, "format=format_name,duration");
        ASSERT_EQ(format.rfind("\"mov,mp4", 0), 0u) << format;
        EXPECT_NEAR(std::stod(format.substr(format.rfind(',') + 1)), 180.0, 1.0);
        EXPECT_EQ(
            RunProcess({"/usr/bin/ffmpeg", "-v", "error", "-i", path, "-f", "null", "-"}, 60s, true)
                .out,
            "");
    }
    EXPECT_EQ(Mp4Files(out).size(), 2u);

    // A folder that cannot be written (root writes anywhere it may: there, a file in its place).
    const std::string locked = tmp.File("locked");
    std::filesystem::create_directory(locked);
    ::chmod(locked.c_str(), 0555);
    const std::string target = ::geteuid() == 0 ? tmp.File("plain") : locked;
    if (::geteuid() == 0) {
        std::ofstream(target) << "x";
    }
    const ProcessResult refused =
        RunProcess({QUILLMARSH_EXPORT, "--date", day, "--from", "10:01:00", "--to", "10:01:10",
                    "--cam", "1", "--out", target, server, "admin", "1234"},
                   60s);
    EXPECT_EQ(refused.exitCode, 3);
    EXPECT_TRUE(Mp4Files(locked).empty());
    EXPECT_EQ(Mp4Files(out).size(), 2u);

    // Nothing recorded in the range; bad options.
    EXPECT_EQ(RunProcess({QUILLMARSH_EXPORT, "--date", day, "--from", "11:00:00", "--to",
                          "11:01:00", "--cam", "1", "--out", out, server, "admin", "1234"},
                         30s)
                  .exitCode,
              4);
    EXPECT_EQ(RunProcess({QUILLMARSH_EXPORT, "--date", day, "--from", "11:00:00", "--to",
                          "10:01:00", "--cam", "1", "--out", out, server, "admin", "1234"},
                         30s)
                  .exitCode,
              2);
}

TEST(Export, ClipNamesKeepOutWhatFileSystemsRefuse) {
    const struct {
        const char* display;
        int channel;
        int32_t from, to;
        const char* expected;
    } cases[] = {
        {"Yard", 1, 36000, 36180, "Yard_CAM01_2026-03-04_100000-100300.mp4"},
        {"a/b\\c:d*e?f\"g<h>i|j", 12, 0, 86400,
         "a_b_c_d_e_f_g_h_i_j_CAM12_2026-03-04_000000-240000.mp4"},
        {"..", 2, 59, 61, "__CAM02_2026-03-04_000059-000101.mp4"},
        {"", 3, 1, 2, "__CAM03_2026-03-04_000001-000002.mp4"},
        {"Gate \x01\x7f.", 4, 3600, 3661, "Gate ____CAM04_2026-03-04_010000-010101.mp4"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ClipFileName(c.display, c.channel, 2026, 3, 4, c.from, c.to), c.expected)
            << c.display;
    }
    EXPECT_EQ(SafeFileNamePart(std::string(300, 'x')).size(), 100u);
}

}  // namespace
