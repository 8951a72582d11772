// What the benchmarks share: processes, CPU time, the ffmpeg reference.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "core/ports/HeadlessUi.h"

extern char** environ;

namespace bench {

inline double CpuSeconds(const rusage& u) {
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

inline double SelfCpuSeconds() {
    rusage u;
    getrusage(RUSAGE_SELF, &u);
    return CpuSeconds(u);
}

// A thread's role: its name less a trailing number ("receive 12" is a receive thread, and
// "llvmpipe-0" one of llvmpipe's).
inline std::string ThreadRole(const std::string& name) {
    const std::size_t mark = name.find_last_of(" -");
    if (mark == std::string::npos || mark == 0 || mark + 1 == name.size() ||
        name.find_first_not_of("0123456789", mark + 1) != std::string::npos) {
        return name;
    }
    return name.substr(0, mark);
}

// CPU seconds of this process's threads, summed by role (ThreadRole); the main thread is "GUI".
// Threads gone by then are not in it.
inline std::map<std::string, double> ThreadCpuByRole() {
    std::map<std::string, double> roles;
    const double tick = static_cast<double>(::sysconf(_SC_CLK_TCK));
    const std::string self = std::to_string(::getpid());
    std::error_code ec;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", ec)) {
        std::ifstream statFile(task.path() / "stat");
        std::string stat((std::istreambuf_iterator<char>(statFile)), {});
        const std::size_t open = stat.find('(');
        const std::size_t close = stat.rfind(')');
        if (open == std::string::npos || close == std::string::npos || close < open) {
            continue;  // gone meanwhile
        }
        const std::string role = task.path().filename() == self
                                     ? "GUI"
                                     : ThreadRole(stat.substr(open + 1, close - open - 1));
        // After the name: state, then 10 fields, then user and system time in ticks.
        std::istringstream rest(stat.substr(close + 2));
        std::string field;
        for (int i = 0; i < 11 && rest >> field; ++i) {
        }
        unsigned long long user = 0;
        unsigned long long system = 0;
        if (rest >> user >> system) {
            roles[role] += static_cast<double>(user + system) / tick;
        }
    }
    return roles;
}

// The CPU time each role took of `byRole` (as ThreadCpuByRole's differences give it), largest
// first, in per cent of their sum: "decode lane 70 %, llvmpipe 21 %, ..., other 1 %", roles
// under 1 % counted as "other". Empty when nothing was spent.
inline std::string RolesLine(const std::map<std::string, double>& byRole) {
    double total = 0;
    std::vector<std::pair<double, std::string>> roles;
    for (const auto& [role, cpu] : byRole) {
        total += std::max(0.0, cpu);
        roles.emplace_back(std::max(0.0, cpu), role);
    }
    if (total <= 0) {
        return {};
    }
    std::sort(roles.rbegin(), roles.rend());
    std::string line;
    double other = 0;
    for (const auto& [cpu, role] : roles) {
        if (cpu / total < 0.01) {
            other += cpu;
            continue;
        }
        char one[96];
        std::snprintf(one, sizeof one, "%s %.0f %%, ", role.c_str(), cpu / total * 100);
        line += one;
    }
    char rest[32];
    std::snprintf(rest, sizeof rest, "other %.0f %%", other / total * 100);
    return line + rest;
}

// The change of ThreadCpuByRole since `before`: a thread's CPU time counts once it is there.
inline std::map<std::string, double> ThreadCpuByRoleSince(
    const std::map<std::string, double>& before) {
    std::map<std::string, double> now = ThreadCpuByRole();
    for (const auto& [role, cpu] : before) {
        now[role] -= cpu;
    }
    return now;
}

// Starts a program with its standard output in `out`; -1 when it cannot start.
inline pid_t Spawn(const std::vector<std::string>& argv, const std::string& out = "/dev/null") {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> args;
    for (const auto& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Runs a program to its end; whether it exited with 0.
inline bool RunToEnd(const std::vector<std::string>& argv, const std::string& out = "/dev/null") {
    const pid_t pid = Spawn(argv, out);
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

// Gives the benchmark a home of its own under `dir` (its DVR list goes there, never into the
// user's), and a runtime folder when there is none: without one, Qt and every mpv complain.
inline void PrivateHome(const std::string& dir) {
    std::filesystem::create_directories(dir + "/home/userinfo");
    ::setenv("HOME", (dir + "/home").c_str(), 1);
    if (!std::getenv("XDG_RUNTIME_DIR")) {
        std::filesystem::create_directories(dir + "/run");
        std::filesystem::permissions(dir + "/run", std::filesystem::perms::owner_all);
        ::setenv("XDG_RUNTIME_DIR", (dir + "/run").c_str(), 1);
    }
}

// Writes `seconds` of noisy pictures of `size` at `fps`, at about `kbps` kb/s (capped a little
// above), no B pictures and a key frame every 2 s (what a real camera sends) to `file` as an
// H.264 elementary stream. Returns its bit rate in Mb/s, 0 on failure.
inline double MakeCameraStream(const std::string& file, int seconds,
                               const std::string& size = "704x576", int fps = 25, int kbps = 1500) {
    const std::string cap = std::to_string(kbps * 17 / 15) + "k";
    if (!RunToEnd({"/usr/bin/ffmpeg",
                   "-v",
                   "error",
                   "-y",
                   "-f",
                   "lavfi",
                   "-i",
                   "testsrc2=size=" + size + ":rate=" + std::to_string(fps),
                   "-vf",
                   "noise=alls=12:allf=t+u",
                   "-c:v",
                   "libx264",
                   "-preset",
                   "veryfast",
                   "-tune",
                   "zerolatency",
                   "-bf",
                   "0",
                   "-g",
                   std::to_string(2 * fps),
                   "-b:v",
                   std::to_string(kbps) + "k",
                   "-maxrate",
                   cap,
                   "-bufsize",
                   cap,
                   "-t",
                   std::to_string(seconds),
                   "-f",
                   "h264",
                   file})) {
        return 0;
    }
    std::error_code ec;
    return static_cast<double>(std::filesystem::file_size(file, ec)) * 8 / 1e6 / seconds;
}

// The reference: the Debian ffmpeg CLI decoding recorded elementary streams with one thread.
struct Reference {
    double cpuSeconds = 0;
    unsigned long long frames = 0;
};
// `withoutDeblocking` decodes as a pane shown at half size or less does (and does not count the
// frames again).
inline Reference FfmpegDecode(const std::vector<std::string>& streams, const std::string& scratch,
                              bool withoutDeblocking = false) {
    Reference r;
    for (const auto& stream : streams) {
        std::vector<std::string> argv{"/usr/bin/ffmpeg", "-v", "error", "-threads", "1"};
        if (withoutDeblocking) {
            argv.insert(argv.end(), {"-skip_loop_filter", "all"});
        }
        argv.insert(argv.end(), {"-f", "h264", "-i", stream, "-f", "null", "-"});
        pid_t pid = Spawn(argv);
        rusage u;
        wait4(pid, nullptr, 0, &u);
        r.cpuSeconds += CpuSeconds(u);
        if (withoutDeblocking) {
            continue;
        }
        // How many frames it decoded: ffprobe counts them (its own CPU is not counted).
        pid = Spawn({"/usr/bin/ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0",
                     "-show_entries", "stream=nb_read_frames", "-of", "csv=p=0", stream},
                    scratch);
        waitpid(pid, nullptr, 0);
        if (std::FILE* f = std::fopen(scratch.c_str(), "r")) {
            unsigned long long n = 0;
            if (std::fscanf(f, "%llu", &n) == 1) {
                r.frames += n;
            }
            std::fclose(f);
        }
    }
    return r;
}

}  // namespace bench
