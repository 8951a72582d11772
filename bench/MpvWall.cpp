#include "bench/MpvWall.h"

#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "bench/BenchSupport.h"

namespace bench {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kStartLimit = 60s;  // sixteen players starting on two loaded cores
constexpr auto kReplyLimit = 2s;
constexpr auto kWarmUp = 2s;
constexpr std::size_t kMaxLine = 64 * 1024;

// One player's JSON IPC connection: a request per line, answered by a line with its request_id;
// event lines in between are skipped.
class Ipc {
  public:
    Ipc() = default;
    Ipc(const Ipc&) = delete;
    Ipc& operator=(const Ipc&) = delete;
    ~Ipc() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }

    bool connected() const { return fd_ >= 0; }
    bool Connect(const std::string& path) {
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        if (path.size() >= sizeof a.sun_path) {
            return false;
        }
        std::memcpy(a.sun_path, path.c_str(), path.size() + 1);
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd_ >= 0 && ::connect(fd_, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0) {
            return true;
        }
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = -1;
        return false;
    }

    // A numeric or yes/no property; nothing while the player has no value for it.
    std::optional<double> Get(const std::string& property) {
        return Request(R"(["get_property",")" + property + R"("])");
    }
    void Play() { Request(R"(["set_property","pause",false])"); }

  private:
    // Sends a command and returns the "data" of its answer when that is a number or yes/no.
    std::optional<double> Request(const std::string& command) {
        const int id = ++lastId_;
        const std::string line =
            R"({"command":)" + command + R"(,"request_id":)" + std::to_string(id) + "}\n";
        if (::send(fd_, line.data(), line.size(), MSG_NOSIGNAL) !=
            static_cast<ssize_t>(line.size())) {
            return std::nullopt;
        }
        const std::string tag = R"("request_id":)" + std::to_string(id);
        const auto deadline = Clock::now() + kReplyLimit;
        for (;;) {
            const std::size_t end = buffer_.find('\n');
            if (end != std::string::npos) {
                const std::string reply = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                if (reply.find(tag) != std::string::npos) {
                    return Data(reply);
                }
                continue;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            pollfd p{fd_, POLLIN, 0};
            char chunk[4096];
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
                return std::nullopt;
            }
            const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
            if (n <= 0 || buffer_.size() + static_cast<std::size_t>(n) > kMaxLine) {
                return std::nullopt;
            }
            buffer_.append(chunk, static_cast<std::size_t>(n));
        }
    }

    static std::optional<double> Data(const std::string& reply) {
        const std::string key = R"("data":)";
        const std::size_t at = reply.find(key);
        if (reply.find(R"("error":"success")") == std::string::npos || at == std::string::npos) {
            return std::nullopt;
        }
        const char* value = reply.c_str() + at + key.size();
        if (std::strncmp(value, "true", 4) == 0 || std::strncmp(value, "false", 5) == 0) {
            return value[0] == 't' ? 1.0 : 0.0;
        }
        char* end = nullptr;
        const double v = std::strtod(value, &end);
        return end != value ? std::optional(v) : std::nullopt;
    }

    int fd_ = -1;
    int lastId_ = 0;
    std::string buffer_;
};

// CPU time of a process and all its threads so far.
std::optional<double> ProcessCpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    std::getline(in, stat);
    // The command name may hold spaces and parentheses: fields are counted after the last ')'.
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos) {
        return std::nullopt;
    }
    std::istringstream fields(stat.substr(close + 1));
    std::string field;
    double ticks = 0;
    for (int n = 3; n <= 15 && fields >> field; ++n) {
        if (n >= 14) {  // utime, stime
            ticks += std::strtod(field.c_str(), nullptr);
        }
    }
    return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

struct Sample {
    Clock::time_point at;
    double cpu = 0;
    double frame = 0;  // estimated-frame-number: the frame playback has reached
    double drops = 0;  // dropped by the output and by the decoder
    bool ended = false;
};

std::optional<Sample> Take(Ipc& ipc, pid_t pid) {
    Sample s;
    s.at = Clock::now();
    const auto cpu = ProcessCpuSeconds(pid);
    const auto frame = ipc.Get("estimated-frame-number");
    const auto voDrops = ipc.Get("frame-drop-count");
    const auto decoderDrops = ipc.Get("decoder-frame-drop-count");
    if (!cpu || !frame || !voDrops || !decoderDrops) {
        return std::nullopt;
    }
    s.cpu = *cpu;
    s.frame = *frame;
    s.drops = *voDrops + *decoderDrops;
    s.ended = ipc.Get("eof-reached").value_or(0) != 0;
    return s;
}

// The players of one wall; each is ended by its id when the wall goes.
struct Players {
    std::vector<pid_t> pids;
    ~Players() {
        for (pid_t pid : pids) {
            if (pid > 0) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, nullptr, 0);
            }
        }
    }
};

}  // namespace

std::optional<WallFigures> RunMpvWall(const std::vector<std::string>& streams,
                                      const std::vector<ScreenRect>& rects, int fps, int seconds,
                                      const std::string& scratch, std::string& error) {
    const std::size_t n = std::min(streams.size(), rects.size());
    // MP4 gives every frame its time; a bare elementary stream has none.
    std::vector<std::string> files;
    for (std::size_t i = 0; i < n; ++i) {
        files.push_back(scratch + "/wall" + std::to_string(i) + ".mp4");
        if (!RunToEnd({"/usr/bin/ffmpeg", "-v", "error", "-y", "-framerate", std::to_string(fps),
                       "-f", "h264", "-i", streams[i], "-c", "copy", files.back()})) {
            error = "ffmpeg could not remux " + streams[i];
            return std::nullopt;
        }
    }
    Players players;
    std::vector<Ipc> ipc(n);
    std::vector<std::string> sockets;
    for (std::size_t i = 0; i < n; ++i) {
        const ScreenRect& r = rects[i];
        sockets.push_back(scratch + "/mpv" + std::to_string(i) + ".sock");
        ::unlink(sockets.back().c_str());
        players.pids.push_back(Spawn(
            {kMpv, "--no-config", "--vo=gpu", "--gpu-sw=yes", "--hwdec=no", "--vd-lavc-threads=1",
             "--no-audio", "--no-osc", "--no-input-default-bindings", "--really-quiet", "--pause",
             "--keep-open=yes", "--input-ipc-server=" + sockets.back(),
             "--geometry=" + std::to_string(r.width) + "x" + std::to_string(r.height) + "+" +
                 std::to_string(r.x) + "+" + std::to_string(r.y),
             files[i]}));
    }
    // Each player comes up paused on its first picture; all start together.
    const auto deadline = Clock::now() + kStartLimit;
    for (std::size_t i = 0; i < n; ++i) {
        while (!(ipc[i].connected() || ipc[i].Connect(sockets[i])) ||
               !ipc[i].Get("estimated-frame-number")) {
            if (Clock::now() >= deadline) {
                error = "mpv " + std::to_string(i) + " did not come up";
                return std::nullopt;
            }
            std::this_thread::sleep_for(50ms);
        }
    }
    for (Ipc& player : ipc) {
        player.Play();
    }
    std::this_thread::sleep_for(kWarmUp);
    std::vector<Sample> start;
    for (std::size_t i = 0; i < n; ++i) {
        const auto s = Take(ipc[i], players.pids[i]);
        if (!s) {
            error = "mpv " + std::to_string(i) + " did not answer";
            return std::nullopt;
        }
        start.push_back(*s);
    }
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    WallFigures w;
    for (std::size_t i = 0; i < n; ++i) {
        const auto end = Take(ipc[i], players.pids[i]);
        if (!end) {
            error = "mpv " + std::to_string(i) + " did not answer";
            return std::nullopt;
        }
        const double dropped = end->drops - start[i].drops;
        w.cpuSeconds += end->cpu - start[i].cpu;
        w.dropped += dropped;
        w.shown += end->frame - start[i].frame - dropped;
        w.offered += fps * std::chrono::duration<double>(end->at - start[i].at).count();
        w.endedEarly += end->ended ? 1 : 0;
    }
    return w;
}

}  // namespace bench
