// Soak driver, run by scripts/soak: four simulated DVRs of 16 CIF cameras stream into the
// window while the driver changes splits, pages, zoom, selection and connections at random.
// Prints resident memory after warm-up and at the end, and the frames presented; exits 1 when
// no frame was presented after warm-up (the pipeline hung).
//   quillmarsh-soak SECONDS
#include <dlfcn.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "core/ViewController.h"
#include "core/directory/UserListFile.h"
#include "gui/main/MainWindow.h"
#include "gui/main/VideoView.h"
#include "gui/tree/DvrTreeModel.h"
#include "gui/tree/OutlineViewCon.h"

namespace {

long ResidentKiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

void Run(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace

int main(int argc, char** argv) {
    // Mesa's driver stays loaded, so that a leak report names it (tests/lsan.supp does).
    for (const char* driver : {"swrast_dri.so", "kms_swrast_dri.so"}) {
        ::dlopen((std::string("/usr/lib/x86_64-linux-gnu/dri/") + driver).c_str(),
                 RTLD_LAZY | RTLD_NODELETE);
    }
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    const std::string dir = std::filesystem::temp_directory_path() / "quillmarsh-soak";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir + "/home/userinfo");
    auto image = std::make_unique<UserListImage>();
    std::memset(image.get(), 0, sizeof *image);
    std::vector<pid_t> sims;
    for (int d = 0; d < 4; ++d) {
        const std::string port = std::to_string(21000 + getpid() % 10000 + d);
        sims.push_back(bench::Spawn({QUILLMARSH_DVRSIM, "--listen", "127.0.0.1:" + port,
                                     "--account", "admin:1234:1:16", "--max-users", "64"}));
        image->entries[d] = NewSaveInfo("127.0.0.1:" + port, "admin", "1234", "DVR " + port);
    }
    WriteUserList(dir + "/home/userinfo/info.uss", *image);
    ::setenv("HOME", (dir + "/home").c_str(), 1);
    Run(1000);

    long residentStart = 0;
    long residentEnd = 0;
    uint64_t presented = 0;
    int actions = 0;
    {
        MainWindow window;
        ViewController vc(window.uiPort());
        window.start(vc);
        window.resize(1200, 800);
        window.show();
        auto select = [&](int d) {
            if (d < 0) {
                window.outlineView()->clearSelection();
            } else {
                window.outlineView()->setCurrentIndex(window.treeModel()->index(d, 0));
            }
        };
        for (int d = 0; d < 4; ++d) {
            select(d);
            vc.ConnectDVR();
        }
        std::mt19937 rng(12345);
        QTimer driver;
        driver.setInterval(250);
        QObject::connect(&driver, &QTimer::timeout, [&] {
            ++actions;
            const int d = static_cast<int>(rng() % 5) - 1;  // -1: the all-DVR view
            switch (rng() % 6) {
                case 0: select(d); break;
                case 1: {
                    const int splits[] = {4, 9, 16, 25, 36, 49, 64, 81, 100, 256};
                    vc.doSomethingForButton(splits[rng() % 10]);
                    break;
                }
                case 2: {
                    const PaneRect b = window.surfaceBounds();
                    vc.DoLeftMouseButton(static_cast<float>(rng() % 1000) / 1000.f * b.width,
                                         static_cast<float>(rng() % 1000) / 1000.f * b.height);
                    break;
                }
                case 3:
                    if (d >= 0) {
                        select(d);
                        vc.DisconnectDVR();
                    }
                    break;
                case 4:
                    if (d >= 0) {
                        select(d);
                        vc.ConnectDVR();
                    }
                    break;
                default:
                    if (vc.showAutoDisplay()) {
                        vc.AutoSetDisplay();
                    }
                    break;
            }
        });
        driver.start();
        const int warmUp = std::max(5, seconds / 10);
        Run(warmUp * 1000);
        residentStart = ResidentKiB();
        const uint64_t presentedStart = window.videoView()->presented();
        Run((seconds - warmUp) * 1000);
        driver.stop();
        residentEnd = ResidentKiB();
        presented = window.videoView()->presented() - presentedStart;
        window.stop();
    }
    for (pid_t pid : sims) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    std::filesystem::remove_all(dir);
    const double growth = 100.0 * static_cast<double>(residentEnd - residentStart) /
                          static_cast<double>(residentStart);
    std::printf("soak: %d s, %d random actions, %llu frames presented after warm-up\n", seconds,
                actions, static_cast<unsigned long long>(presented));
    std::printf("soak: resident memory after warm-up %ld KiB, at the end %ld KiB (%+.1f%%)\n",
                residentStart, residentEnd, growth);
    if (presented == 0) {
        std::printf("soak: FAILED: no frame was presented after warm-up\n");
        return 1;
    }
    return 0;
}
