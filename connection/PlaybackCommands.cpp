// Remote playback requests.
#include <thread>

#include "app/ViewController.h"

int32_t ViewController::StopNetPlayFile(NetCtrl_Struct& b) {
    if (b.NetWorking.load() != 1) {
        return -1;
    }
    if (b.CurNetStatus.load() != NET_DATA_SEND) {
        return 1;  // nothing is playing
    }
    const NET_COMMAND c = MakeCommand(NET_STOP_PLAY_FILE);
    if (SendData(b, &c, sizeof c) < 0) {
        return -1;
    }
    PauseUnlessCancelled(cancelFd_, limits.stopPlayPause);
    b.CurNetStatus.store(NET_CONNECTED);
    return 1;
}
