// Quitting while four DVRs stream, a PTZ button is held and every DVR thread runs: the held
// button's release still reaches the camera, the threads end, nothing is written.
#include "tests/gui/ptz/PtzFixture.h"

namespace {

using namespace std::chrono_literals;

class QuitWithDvrs : public PtzWindowTest {};

TEST_F(QuitWithDvrs, FourStreamingDvrsAndAHeldButtonEndInOrder) {
    std::vector<std::unique_ptr<SimProcess>> sims;
    std::vector<std::pair<int, const SimProcess*>> slots;
    for (int d = 0; d < 4; ++d) {
        sims.push_back(std::make_unique<SimProcess>(
            std::vector<std::string>{"--listen", "127.0.0.1:0", "--account", "admin:1234:2:2",
                                     "--log", logs.file("dvr" + std::to_string(d) + ".log")}));
        slots.emplace_back(d, sims.back().get());
    }
    startWith(4, slots);
    BoxAnswerer answerer;
    for (int d = 0; d < 4; ++d) {
        connectDvr(d);
    }
    deselect();
    ASSERT_TRUE(WaitUntil([&] { return vc->CurrentDVR() == -1; }));
    vc->AutoSetDisplay();
    for (int d = 0; d < 4; ++d) {
        bool streaming = false;
        WaitForLines(logs.file("dvr" + std::to_string(d) + ".log"),
                     [&](const std::vector<std::string>& lines) {
                         streaming = !LinesStartingWith(lines, "STREAM mask=0x00000003").empty();
                         return streaming;
                     });
        ASSERT_TRUE(streaming) << "DVR " << d;
    }
    Pump(1s);  // pictures flow through every receive and display thread

    // Pane 0 holds DVR 0's first camera: hold Up on it while quitting.
    ASSERT_EQ(vc->layout().SelfChannel(0), 0);
    clickPane(0);
    NSButtonEx* up = held(QStringLiteral("buttonUp"));
    press(up);
    ASSERT_TRUE(up->isHeld());
    const auto listBefore = listBytes();

    const auto begin = std::chrono::steady_clock::now();
    window->close();
    endApp();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 8s);

    const auto records = ptz(0);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(Ptz(records[0]), (std::vector<int>{1009, 0, 1017}));
    EXPECT_EQ(Ptz(records[1]), (std::vector<int>{2009, 0, 1017}));
    EXPECT_EQ(listBytes(), listBefore);
}

}  // namespace
