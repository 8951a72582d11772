// Scale benchmark, run by hand under a 1920x1080 display: DVRS simulated DVRs (one
// quillmarsh-dvrsim process each) with CHANNELS cameras each stream a noisy CIF stream (libx264,
// about 400 kb/s, made here with the ffmpeg CLI) at FPS into the client, which starts as an
// operator would run `quillmarsh --connect all --split PANES --fullscreen`. Prints the seconds
// until every pane shows a moving picture, the live-view requests each DVR was sent in the first
// 20 s, the client's CPU time per frame over a steady window against `ffmpeg -threads 1` decoding
// the same stream, and its memory and threads after that window.
//   xvfb-run -a -s '-screen 0 1920x1080x24' build/bench/quillmarsh-bench-scale
//       [DVRS [CHANNELS [FPS [PANES]]]]    (defaults 64 4 6 256)
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QTimer>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchSupport.h"
#include "core/ViewController.h"
#include "core/directory/DvrList.h"
#include "core/directory/UserListFile.h"
#include "core/dvr/DvrSlot.h"
#include "core/layout/Layout.h"
#include "gui/main/MainWindow.h"
#include "gui/main/StartOptions.h"
#include "gui/main/VideoView.h"

namespace {

constexpr int kCameraSeconds = 10;   // the stream's length; the simulators loop it
constexpr int kCameraKbps = 400;     // about what a CIF camera sends
constexpr int kGrabSeconds = 30;     // how long the panes are watched for moving pictures
constexpr int kRequestSeconds = 20;  // live-view requests are counted this long after the connect
constexpr int kSteadySeconds = 15;   // the window CPU time and frames are measured over
constexpr int kReferenceLoops = 20;  // the reference decodes the stream this many times over
constexpr int kEmptyGrey = 122;      // the surface's clear colour (gui/main/video/PaneRenderer)

struct Args {
    int dvrs = 64;
    int channels = 4;
    int fps = 6;
    int panes = 256;
};

void Run(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void Say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

std::string Format(const char* format, auto... values) {
    char text[512];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

// A simulated DVR: its process, the port it listens on and its command log.
struct Sim {
    pid_t pid = -1;
    int port = -1;
    std::string log;
};

// The port of the "listening HOST:PORT" line the simulator writes to `out`; -1 if none came.
int ListeningPort(const std::string& out, std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    do {
        std::ifstream in(out);
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("listening ", 0) == 0) {
                return std::atoi(line.c_str() + line.rfind(':') + 1);
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (std::chrono::steady_clock::now() < end);
    return -1;
}

// Each simulator listens on a port the kernel picks, so that nothing else's port is taken.
std::vector<Sim> StartSims(const Args& a, const std::string& stream, const std::string& dir) {
    std::vector<Sim> sims(a.dvrs);
    for (int d = 0; d < a.dvrs; ++d) {
        const std::string name = dir + "/sim" + std::to_string(d);
        sims[d].log = name + ".log";
        sims[d].pid = bench::Spawn({QUILLMARSH_DVRSIM, "--listen", "127.0.0.1:0", "--account",
                                    "admin:1234:2:" + std::to_string(a.channels), "--h264", stream,
                                    "--fps", std::to_string(a.fps), "--log", sims[d].log},
                                   name + ".out");
    }
    for (int d = 0; d < a.dvrs; ++d) {
        const std::string out = dir + "/sim" + std::to_string(d) + ".out";
        sims[d].port = sims[d].pid > 0 ? ListeningPort(out, std::chrono::seconds(20)) : -1;
    }
    return sims;
}

void StopSims(const std::vector<Sim>& sims) {
    for (const Sim& s : sims) {
        if (s.pid > 0) {
            kill(s.pid, SIGKILL);
            waitpid(s.pid, nullptr, 0);
        }
    }
}

// Live-view commands in a simulator's log beyond each login's own: a login in live view starts
// the stream itself (NET_SET_STREAM, then NET_LIVE_VIEW of the entry's cameras, in
// core/dvr/Connect.cpp), so the first NET_LIVE_VIEW after each LOGIN-OK is not counted.
struct Requests {
    int live = 0;
    int stop = 0;
    int logins = 0;
};

Requests CountRequests(const std::string& log) {
    const std::string live = "CMD " + std::to_string(NET_LIVE_VIEW) + " ";
    const std::string stop = "CMD " + std::to_string(NET_STOP_LIVE_VIEW) + " ";
    Requests r;
    bool loginsOwn = false;
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);) {
        if (line == "LOGIN-OK") {
            ++r.logins;
            loginsOwn = true;
        } else if (line.rfind(live, 0) == 0) {
            r.live += loginsOwn ? 0 : 1;
            loginsOwn = false;
        } else if (line.rfind(stop, 0) == 0) {
            ++r.stop;
        }
    }
    return r;
}

std::string RequestsLine(const std::vector<Sim>& sims) {
    std::map<int, int> dvrsWith;  // requests -> DVRs that were sent that many
    int live = 0;
    int stop = 0;
    int logins = 0;
    for (const Sim& s : sims) {
        const Requests r = CountRequests(s.log);
        ++dvrsWith[r.live + r.stop];
        live += r.live;
        stop += r.stop;
        logins += r.logins;
    }
    std::string spread;
    for (const auto& [n, dvrs] : dvrsWith) {
        spread += Format("%s%d DVRs got %d", spread.empty() ? "" : ", ", dvrs, n);
    }
    return Format(
        "live-view requests per DVR in the first %d s beyond the login's own NET_LIVE_VIEW: "
        "max %d (%s; in all %d NET_LIVE_VIEW, %d NET_STOP_LIVE_VIEW, %d logins)",
        kRequestSeconds, dvrsWith.rbegin()->first, spread.c_str(), live, stop, logins);
}

// A line of /proc/self/status without its key ("VmRSS:" -> "2512 kB").
long StatusKb(const std::string& key) {
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(key + ":", 0) == 0) {
            return std::atol(line.c_str() + key.size() + 1);
        }
    }
    return -1;
}

std::string FirstLine(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

std::map<std::string, int> ThreadsByName() {
    std::map<std::string, int> names;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        ++names[FirstLine(task.path() / "comm")];
    }
    return names;
}

// Where `pane` is in a grab of the surface (top row first), less a margin for the selection's
// frame; empty while it is not shown.
QRect PaneInGrab(const ViewController& vc, int pane, int grabHeight) {
    const std::optional<PaneRect> r = vc.layout().ShownRect(pane);
    if (!r) {
        return {};
    }
    // The surface counts from its bottom left.
    const int x = static_cast<int>(std::lround(r->x));
    const int w = static_cast<int>(std::lround(r->width));
    const int h = static_cast<int>(std::lround(r->height));
    const int y = grabHeight - static_cast<int>(std::lround(r->y)) - h;
    return QRect(x, y, w, h).adjusted(4, 4, -4, -4);
}

bool Grey(QRgb p) {
    return std::abs(qRed(p) - kEmptyGrey) <= 3 && std::abs(qGreen(p) - kEmptyGrey) <= 3 &&
           std::abs(qBlue(p) - kEmptyGrey) <= 3;
}

// A pane moves once its picture differs from the grab before (the stream is noisy: every new
// picture does) and most of it is not an empty pane's grey.
bool Moving(const QImage& now, const QImage& before, const QRect& r) {
    if (r.isEmpty() || !now.rect().contains(r)) {
        return false;
    }
    bool changed = false;
    int grey = 0;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        const auto* a = reinterpret_cast<const QRgb*>(now.constScanLine(y));
        const auto* b = reinterpret_cast<const QRgb*>(before.constScanLine(y));
        for (int x = r.left(); x <= r.right(); ++x) {
            changed = changed || a[x] != b[x];
            grey += Grey(a[x]) ? 1 : 0;
        }
    }
    return changed && grey * 2 < r.width() * r.height();
}

// Grabs the surface every half second until `panes` panes have moved or the time is up; the
// seconds since `since` when the last one moved, or nothing, and how many moved.
std::optional<double> WaitForMovingPanes(VideoView& view, const ViewController& vc, int panes,
                                         const QElapsedTimer& since, int& moved) {
    std::vector<bool> seen(panes);
    moved = 0;
    QImage before;
    while (moved < panes && since.elapsed() < kGrabSeconds * 1000) {
        Run(500);
        QImage now = view.GrabSurface();
        if (!before.isNull() && now.size() == before.size()) {
            for (int p = 0; p < panes; ++p) {
                if (!seen[p] && Moving(now, before, PaneInGrab(vc, p, now.height()))) {
                    seen[p] = true;
                    ++moved;
                }
            }
        }
        before = std::move(now);
    }
    return moved == panes ? std::optional<double>(since.elapsed() / 1e3) : std::nullopt;
}

// Frames the client received from all DVRs so far.
uint64_t FramesReceived(ViewController& vc, int dvrs) {
    uint64_t n = 0;
    for (int d = 0; d < dvrs; ++d) {
        for (const ChannelStats& c : vc.GetNetCtrlStruct(d).stats) {
            n += c.frames.load();
        }
    }
    return n;
}

// The client's threads name themselves by role; the main thread, and any a library left unnamed,
// carry the process's name; the libraries name theirs. Those of the process's name that came
// with the connect count against the DVRs too.
std::string ThreadsLine(const std::map<std::string, int>& before, int dvrs) {
    const std::string own = FirstLine("/proc/self/comm");
    const std::map<std::string, int> now = ThreadsByName();
    std::map<std::string, int> roles;
    for (const auto& [name, n] : now) {
        roles[bench::ThreadRole(name)] += n;
    }
    const auto take = [&](const std::string& role) {
        const auto it = roles.find(role);
        const int n = it == roles.end() ? 0 : it->second;
        roles.erase(role);
        return n;
    };
    const int receive = take("receive");
    const int display = take("display");
    const int command = take("command");
    const int connect = take("connect");
    const int lanes = take("decode lane");
    const int unnamed = take(own);
    const int unnamedBefore = before.contains(own) ? before.at(own) : 0;
    const int perDvr = receive + display + command + connect + (unnamed - unnamedBefore);
    std::string others;
    for (const auto& [role, n] : roles) {
        others += Format(", %s %d", role.c_str(), n);
    }
    return Format(
        "threads: %ld; per DVR %.1f (receive %d, display %d, command %d, connect %d, unnamed "
        "since the connect %d); decode lanes %d; unnamed (%s, the main thread among them) %d; "
        "others:%s",
        StatusKb("Threads"), static_cast<double>(perDvr) / dvrs, receive, display, command, connect,
        unnamed - unnamedBefore, lanes, own.c_str(), unnamed,
        others.empty() ? " none" : others.c_str() + 1);
}

// The client's CPU time over its steady window, and the frames of that window.
struct SteadyCpu {
    double cpu = 0;
    double seconds = 0;
    double received = 0;
    double offered = 0;
    std::string roles;  // where the CPU went, by thread role (bench::RolesLine)
};

// The client as `quillmarsh --connect all --split PANES --fullscreen` starts it, the simulators
// streaming; prints what it measures but the CPU per frame, which it returns.
SteadyCpu RunClient(const Args& a, const StartOptions& options, const std::vector<Sim>& sims) {
    MainWindow window;
    ViewController vc(window.uiPort());
    window.Start(vc);
    window.show();
    Run(500);
    const std::map<std::string, int> threadsBefore = ThreadsByName();
    const long rssBefore = StatusKb("VmRSS");

    // Every entry of the list: `--connect all` names none that could be missing.
    std::string error;
    const std::vector<int> dvrs =
        *DvrsToConnect(options, SavedDvrNames(DvrList::ListFilePath()), error);
    QElapsedTimer since;
    since.start();
    ApplyStartOptions(window, vc, options, dvrs);
    std::optional<std::string> requests;
    QTimer::singleShot(kRequestSeconds * 1000, &window, [&] { requests = RequestsLine(sims); });

    const int panes = std::min(a.panes, a.dvrs * a.channels);
    int moved = 0;
    if (const auto at = WaitForMovingPanes(*window.videoView(), vc, panes, since, moved)) {
        Say(Format("all %d panes show moving pictures %.1f s after the connect", panes, *at));
    } else {
        Say(Format("%d of %d panes show moving pictures %d s after the connect", moved, panes,
                   kGrabSeconds));
    }
    while (!requests) {
        Run(100);
    }
    Say(*requests);

    const uint64_t framesBefore = FramesReceived(vc, a.dvrs);
    const std::map<std::string, double> rolesBefore = bench::ThreadCpuByRole();
    const double cpuBefore = bench::SelfCpuSeconds();
    QElapsedTimer steady;
    steady.start();
    Run(kSteadySeconds * 1000);
    SteadyCpu figures;
    figures.seconds = steady.elapsed() / 1e3;
    figures.cpu = bench::SelfCpuSeconds() - cpuBefore;
    figures.roles = bench::RolesLine(bench::ThreadCpuByRoleSince(rolesBefore));
    figures.received = static_cast<double>(FramesReceived(vc, a.dvrs) - framesBefore);
    figures.offered = static_cast<double>(a.dvrs) * a.channels * a.fps * figures.seconds;

    int reduced = 0;
    int decoders = 0;
    double queueBytes = 0;
    int alone = 0;
    int fellBehind = 0;
    for (int d = 0; d < a.dvrs; ++d) {
        const DvrSlot::MemoryFigures m = vc.Slot(d).Memory();
        alone += vc.Slot(d).decodesAlone() ? 1 : 0;
        fellBehind += vc.Slot(d).fellBehind() > 0 ? 1 : 0;
        reduced += std::popcount(vc.Slot(d).reducedChannels().applied());
        decoders += m.decodersOpen;
        queueBytes += static_cast<double>(m.queueBytes);
    }
    Say(
        Format("decoders: %d open, %d of them without the deblocking filter (panes at half the "
               "picture or less); %d of %d DVRs decode on their receive thread, the others on "
               "the shared lanes (%d went there for falling behind); frame queues: %.1f MB of "
               "pictures",
               decoders, reduced, alone, a.dvrs, fellBehind, queueBytes / 1048576));
    const long rss = StatusKb("VmRSS");
    Say(
        Format("memory: VmRSS %.0f MB, VmHWM %.0f MB; %.0f MB before the connect, so %.1f MB "
               "per DVR",
               rss / 1024.0, StatusKb("VmHWM") / 1024.0, rssBefore / 1024.0,
               static_cast<double>(rss - rssBefore) / 1024.0 / a.dvrs));
    Say(ThreadsLine(threadsBefore, a.dvrs));
    window.close();
    window.Stop();
    return figures;
}

// The reference: `ffmpeg -threads 1` decoding the stream the DVRs send, looped so that its
// start-up does not count; CPU milliseconds per frame, 0 when it failed.
double ReferenceMs(const std::string& stream, const std::string& dir) {
    const std::string looped = dir + "/looped.h264";
    {
        std::ifstream in(stream, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), {});
        std::ofstream out(looped, std::ios::binary);
        for (int i = 0; i < kReferenceLoops; ++i) {
            out << bytes;
        }
    }
    const bench::Reference ref = bench::FfmpegDecode({looped}, dir + "/count");
    return ref.frames > 0 ? ref.cpuSeconds / static_cast<double>(ref.frames) * 1e3 : 0;
}

int Number(int argc, char** argv, int at, int fallback, int least, int most) {
    return argc > at ? std::clamp(std::atoi(argv[at]), least, most) : fallback;
}

}  // namespace

int main(int argc, char** argv) {
    Args a;
    a.dvrs = Number(argc, argv, 1, a.dvrs, 1, kMaxDvrs);
    a.channels = Number(argc, argv, 2, a.channels, 1, kMaxChannels);
    a.fps = Number(argc, argv, 3, a.fps, 1, 250);
    // The command line knows split counts only: PANES is shown as the smallest one that holds it.
    a.panes = Number(argc, argv, 4, a.panes, 4, kPanes);
    while (!IsSplitCount(a.panes)) {
        ++a.panes;
    }
    // The options the real command line would carry, read by its own parser.
    const StartCommand command = ParseStartOptions(
        {QStringLiteral("quillmarsh"), QStringLiteral("--connect"), QStringLiteral("all"),
         QStringLiteral("--split"), QString::number(a.panes), QStringLiteral("--fullscreen")});
    if (command.exitCode) {
        std::fputs(command.error.c_str(), stderr);
        return 2;
    }

    const std::string dir = std::filesystem::temp_directory_path() /
                            ("quillmarsh-bench-scale-" + std::to_string(getpid()));
    bench::PrivateHome(dir);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillmarsh"));

    const std::string stream = dir + "/camera.h264";
    const double megabits =
        bench::MakeCameraStream(stream, kCameraSeconds, "352x288", a.fps, kCameraKbps);
    if (megabits <= 0) {
        std::fprintf(stderr, "ffmpeg could not make the camera-like stream\n");
        std::filesystem::remove_all(dir);
        return 1;
    }
    // The reference before and after the client, alone each time: a shared machine's speed
    // drifts, and the client's window lies between the two.
    const double referenceBefore = ReferenceMs(stream, dir);
    const std::vector<Sim> sims = StartSims(a, stream, dir);
    auto image = std::make_unique<UserListImage>();
    std::memset(image.get(), 0, sizeof *image);
    int listening = 0;
    for (int d = 0; d < a.dvrs; ++d) {
        listening += sims[d].port > 0 ? 1 : 0;
        image->entries[d] = NewSaveInfo("127.0.0.1:" + std::to_string(sims[d].port), "admin",
                                        "1234", "DVR " + std::to_string(d + 1));
    }
    WriteUserList(DvrList::ListFilePath(), *image);
    Say(
        Format("%d DVRs (%d listening) x %d cameras of 352x288 at %d fps, %.2f Mb/s each; "
               "quillmarsh --connect all --split %d --fullscreen",
               a.dvrs, listening, a.channels, a.fps, megabits, a.panes));
    const SteadyCpu client = RunClient(a, command.options, sims);
    StopSims(sims);
    const double referenceAfter = ReferenceMs(stream, dir);
    // A reference that failed (0) does not count.
    const int references = (referenceBefore > 0 ? 1 : 0) + (referenceAfter > 0 ? 1 : 0);
    const double referenceMs =
        references > 0 ? (referenceBefore + referenceAfter) / references : 0.0;
    const double clientMs = client.received > 0 ? client.cpu / client.received * 1e3 : 0;
    Say(Format(
        "CPU per offered frame: %.2fx ffmpeg -threads 1 (%.2f ms vs %.2f ms, the mean of "
        "%.2f ms before and %.2f ms after; %.2f CPU s over %.1f s for %.0f frames "
        "received, %.0f at every camera's full rate)",
        referenceMs > 0 ? clientMs / referenceMs : 0.0, clientMs, referenceMs, referenceBefore,
        referenceAfter, client.cpu, client.seconds, client.received, client.offered));
    if (!client.roles.empty()) {
        Say("            by thread: " + client.roles);
    }
    std::filesystem::remove_all(dir);
    return 0;
}
