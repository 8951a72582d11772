// Soak driver, run by scripts/soak: four simulated DVRs of 16 CIF cameras stream into the
// window while the driver changes splits, pages, zoom, selection and connections at random.
// With --break N, the driver leaves the connections alone and instead breaks DVR 0 every N
// seconds: its simulator is killed and started again on its port, and every second time the new
// one goes silent after ten seconds without closing (a blackhole); the client must find each
// loss and reconnect by itself. Every 5 s it samples the surface: no pane may show a picture
// older than 4 s without a mark. Prints resident memory after warm-up and at the end, the frames
// presented and the samples; exits 1 when no frame was presented after warm-up (the pipeline
// hung) or a sample found an unmarked old picture.
//   quillmarsh-soak SECONDS [--break SECONDS]
#include <dlfcn.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
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
    const int breakEvery =
        argc > 3 && std::strcmp(argv[2], "--break") == 0 ? std::atoi(argv[3]) : 0;
    const std::string dir = std::filesystem::temp_directory_path() / "quillmarsh-soak";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir + "/home/userinfo");
    auto image = std::make_unique<UserListImage>();
    std::memset(image.get(), 0, sizeof *image);
    std::vector<pid_t> sims;
    std::vector<std::string> ports;
    auto startSim = [&](int d, bool blackhole) {
        std::vector<std::string> args{
            QUILLMARSH_DVRSIM, "--listen", "127.0.0.1:" + ports[d], "--account", "admin:1234:1:16",
            "--max-users",     "64"};
        if (blackhole) {
            args.insert(args.end(),
                        {"--fault", "blackhole-once:4000"});  // ten seconds of 16 cameras
        }
        return bench::Spawn(args);
    };
    for (int d = 0; d < 4; ++d) {
        ports.push_back(std::to_string(21000 + getpid() % 10000 + d));
        sims.push_back(startSim(d, false));
        image->entries[d] =
            NewSaveInfo("127.0.0.1:" + ports[d], "admin", "1234", "DVR " + ports[d]);
    }
    WriteUserList(dir + "/home/userinfo/info.uss", *image);
    ::setenv("HOME", (dir + "/home").c_str(), 1);
    Run(1000);

    long residentStart = 0;
    long residentEnd = 0;
    uint64_t presented = 0;
    int actions = 0;
    int breaks = 0;
    int samples = 0;
    int unmarked = 0;
    int boxes = 0;
    {
        MainWindow window;
        ViewController vc(window.uiPort());
        window.Start(vc);
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
        QTimer breaker;
        breaker.setInterval(std::max(breakEvery, 1) * 1000);
        QObject::connect(&breaker, &QTimer::timeout, [&] {
            ++breaks;
            kill(sims[0], SIGKILL);
            waitpid(sims[0], nullptr, 0);
            sims[0] = startSim(0, breaks % 2 == 0);
        });
        // The operator reads each "Net error" box and closes it, a few seconds later.
        QTimer reader;
        reader.setInterval(3000);
        QObject::connect(&reader, &QTimer::timeout, [&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
                    ++boxes;
                    box->done(QMessageBox::Ok);
                }
            }
        });
        reader.start();
        QTimer sampler;
        sampler.setInterval(5000);
        QObject::connect(&sampler, &QTimer::timeout, [&] {
            ++samples;
            const int old = window.videoView()->UnmarkedOldPanes(std::chrono::seconds(4));
            if (old > 0) {
                ++unmarked;
                std::printf("soak: sample %d: %d panes show an old picture without a mark\n",
                            samples, old);
            }
        });
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
                    const PaneRect b = window.videoView()->SurfaceBounds();
                    vc.DoLeftMouseButton(static_cast<float>(rng() % 1000) / 1000.f * b.width,
                                         static_cast<float>(rng() % 1000) / 1000.f * b.height);
                    break;
                }
                case 3:
                    if (d >= 0 && breakEvery == 0) {
                        select(d);
                        vc.DisconnectDVR();
                    }
                    break;
                case 4:
                    if (d >= 0 && breakEvery == 0) {
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
        sampler.start();
        if (breakEvery > 0) {
            breaker.start();
        }
        const int warmUp = std::max(5, seconds / 10);
        Run(warmUp * 1000);
        residentStart = ResidentKiB();
        const uint64_t presentedStart = window.videoView()->presented();
        Run((seconds - warmUp) * 1000);
        driver.stop();
        breaker.stop();
        sampler.stop();
        residentEnd = ResidentKiB();
        presented = window.videoView()->presented() - presentedStart;
        window.Stop();
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
    std::printf(
        "soak: %d breaks of DVR 0, %d boxes read, %d samples, %d with an unmarked old "
        "picture\n",
        breaks, boxes, samples, unmarked);
    if (presented == 0) {
        std::printf("soak: FAILED: no frame was presented after warm-up\n");
        return 1;
    }
    if (unmarked > 0) {
        std::printf("soak: FAILED: a pane showed an old picture as if it were live\n");
        return 1;
    }
    return 0;
}
