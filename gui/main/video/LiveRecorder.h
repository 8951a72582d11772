// Records a live pane: the command (the video's menu, Ctrl+Shift+R) starts a LiveRecording of the
// zoomed or selected pane's live channel into the export folder, or stops the one that runs. A
// recording also ends when its DVR is lost or plays back, and with the run (StopAll).
//
// One recording at a time. Ending one never waits on the GUI thread: it is kept until its own
// thread finished the file, then dropped by the timer.
//
// Threads: GUI thread only; the files are written on each recording's own thread.
#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

class CoreContext;
class LiveRecording;

class LiveRecorder : public QObject {
    Q_OBJECT

  public:
    explicit LiveRecorder(CoreContext& context);
    ~LiveRecorder() override;

    // Starts recording the selected pane's live channel, or stops the running recording.
    void StartOrStop();
    // The run ends: every recording ends and its file is finished (a short wait).
    void StopAll();

    // The DVR and channel being recorded, and for how long.
    struct Source {
        int dvr;
        int channel;
        std::chrono::steady_clock::duration elapsed;
    };
    std::optional<Source> recording() const;
    bool recordingNow() const { return running_ != nullptr; }

  private:
    void Stop();
    void Check();  // the timer: the DVR lost or playing back, a failed file, finished ones

    CoreContext& context_;
    std::unique_ptr<LiveRecording> running_;
    std::chrono::steady_clock::time_point since_;
    std::vector<std::unique_ptr<LiveRecording>> ending_;  // until their threads finished
    QTimer timer_;
};
