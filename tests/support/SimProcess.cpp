#include "tests/support/SimProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

pid_t Spawn(const std::vector<std::string>& argv, int& outFd, bool withStderr = false) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    if (withStderr) {
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
    }
    std::vector<char*> args;
    for (const auto& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    pid_t pid = -1;
    int rc = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (rc != 0) {
        ::close(pipeFds[0]);
        throw std::runtime_error("cannot start " + argv[0]);
    }
    outFd = pipeFds[0];
    return pid;
}

// Reads one line within the deadline; false at end of stream or time-out.
bool ReadLine(int fd, std::string& line, Clock::time_point deadline) {
    line.clear();
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd p{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
            return false;
        }
        char c;
        if (::read(fd, &c, 1) != 1) {
            return false;
        }
        if (c == '\n') {
            return true;
        }
        line.push_back(c);
    }
}

int PortOf(const std::string& line) {
    return std::atoi(line.c_str() + line.rfind(':') + 1);
}

}  // namespace

SimProcess::SimProcess(const std::vector<std::string>& args) {
    std::vector<std::string> argv{QUILLMARSH_DVRSIM};
    argv.insert(argv.end(), args.begin(), args.end());
    int outFd = -1;
    pid_ = Spawn(argv, outFd);
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    std::string line;
    bool ready = false;
    while (!ready && ReadLine(outFd, line, deadline)) {
        if (line.rfind("listening ", 0) == 0) {
            port_ = PortOf(line);
        } else if (line.rfind("lookup ", 0) == 0) {
            lookupPort_ = PortOf(line);
        } else if (line == "ready") {
            ready = true;
        }
    }
    ::close(outFd);
    if (!ready) {
        Kill();
        throw std::runtime_error("quillmarsh-dvrsim did not start");
    }
}

SimProcess::~SimProcess() {
    Kill();
}

void SimProcess::Freeze() {
    if (pid_ > 0) {
        ::kill(pid_, SIGSTOP);
    }
}

void SimProcess::Thaw() {
    if (pid_ > 0) {
        ::kill(pid_, SIGCONT);
    }
}

void SimProcess::Kill() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
}

ProcessResult RunProcess(const std::vector<std::string>& argv, std::chrono::seconds limit,
                         bool withStderr) {
    ProcessResult result;
    int outFd = -1;
    pid_t pid = Spawn(argv, outFd, withStderr);
    const auto deadline = Clock::now() + limit;
    std::string line;
    while (ReadLine(outFd, line, deadline)) {
        result.out += line + "\n";
    }
    if (!line.empty()) {
        result.out += line;
    }
    ::close(outFd);
    if (Clock::now() >= deadline) {
        ::kill(pid, SIGKILL);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

TempDir::TempDir() {
    char pattern[] = "/tmp/quillmarsh-test-XXXXXX";
    if (!::mkdtemp(pattern)) {
        throw std::runtime_error("mkdtemp");
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> WaitForLines(
    const std::string& path, const std::function<bool(const std::vector<std::string>&)>& done,
    std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    for (;;) {
        std::vector<std::string> lines = ReadLines(path);
        if (done(lines) || Clock::now() >= deadline) {
            return lines;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::vector<std::string> LinesStartingWith(const std::vector<std::string>& lines,
                                           const std::string& prefix) {
    std::vector<std::string> out;
    for (const auto& l : lines) {
        if (l.rfind(prefix, 0) == 0) {
            out.push_back(l);
        }
    }
    return out;
}

std::string RandomLoopbackAddress() {
    static std::mt19937 rng(std::random_device{}());
    std::uniform_int_distribution<int> part(1, 254);
    return "127." + std::to_string(part(rng)) + "." + std::to_string(part(rng)) + "." +
           std::to_string(part(rng));
}
