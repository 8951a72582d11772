// Test fixtures that run the project's own tools as real processes.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

// A running quillmarsh-dvrsim. The constructor returns once the simulator accepts connections.
class SimProcess {
  public:
    explicit SimProcess(const std::vector<std::string>& args);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    int port() const { return port_; }              // DVR port ("listening" line)
    int lookupPort() const { return lookupPort_; }  // lookup port ("lookup" line)
    void Kill();                                    // SIGKILL now: connections are reset
    // SIGSTOP / SIGCONT: a DVR that hangs with its connections open (its kernel still accepts
    // new ones, and nothing answers them), as one that froze does.
    void Freeze();
    void Thaw();

  private:
    pid_t pid_ = -1;
    int port_ = -1;
    int lookupPort_ = -1;
};

struct ProcessResult {
    int exitCode = -1;
    std::string out;
};
// Runs a program to its end (killed after `limit`) and returns its exit code and standard output
// (with its standard error when `withStderr`: what a tool complains of is then read too).
ProcessResult RunProcess(const std::vector<std::string>& argv, std::chrono::seconds limit,
                         bool withStderr = false);

// A fresh temporary folder, removed with its contents by the destructor.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// Lines of a text file (empty when it does not exist).
std::vector<std::string> ReadLines(const std::string& path);
// Waits until the lines of a file satisfy `done`; returns the lines seen last.
std::vector<std::string> WaitForLines(
    const std::string& path, const std::function<bool(const std::vector<std::string>&)>& done,
    std::chrono::milliseconds limit = std::chrono::seconds(10));
// The lines that start with a prefix.
std::vector<std::string> LinesStartingWith(const std::vector<std::string>& lines,
                                           const std::string& prefix);

// A loopback address of its own (127.a.b.c, chosen at random) so that tests that need a fixed
// port, such as the lookup server's 10089, can run side by side.
std::string RandomLoopbackAddress();
