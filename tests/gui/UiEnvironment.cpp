// One QApplication for the whole run, made when the tests run (not when they are only listed,
// which happens at build time without a display).
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <QApplication>

#include <memory>
#include <string>

// Present only in sanitizer builds.
extern "C" void __lsan_do_leak_check() __attribute__((weak));

namespace {

class QtEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        // Mesa unloads its GL driver at exit, and the leak report can then no longer name the
        // driver's own once-per-process allocations. Kept loaded, they carry its name, which
        // tests/lsan.supp names.
        for (const char* driver : {"swrast_dri.so", "kms_swrast_dri.so"}) {
            const std::string path = std::string("/usr/lib/x86_64-linux-gnu/dri/") + driver;
            ::dlopen(path.c_str(), RTLD_LAZY | RTLD_NODELETE);
        }
        static int argc = 1;
        static char name[] = "ui_tests";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QApplication>(argc, argv);
        // The tests close windows; the application must outlive them.
        QApplication::setQuitOnLastWindowClosed(false);
    }
    void TearDown() override {
        app_.reset();
        // The leak check runs now, while Mesa's rasterizer threads sit idle: at process exit
        // they are being torn down, and the checker's stop-the-world can crash on them.
        if (&__lsan_do_leak_check != nullptr) {
            __lsan_do_leak_check();
        }
    }

  private:
    std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const kQt =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace
