// The playback window's "Export..." dialog: from and to on the window's day, the window's
// channels and a folder (kept in the settings). It plays the range with the window's own session
// (its panes show it) and writes one MP4 per channel through a ClipExport, with a progress bar
// and Cancel; a failed export is told in a modal box.
//
// Threads: GUI thread only. The clips are written on the export's own thread; a timer polls it,
// so the GUI thread never waits for the DVR or a file.
#pragma once

#include <QDate>
#include <QDialog>

#include <cstdint>
#include <memory>

class ClipExport;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimeEdit;
class QTimer;
class CoreContext;

class ExportDialog : public QDialog {
    Q_OBJECT

  public:
    // The range starts at `second` of `day` and lasts five minutes; `channels` as the pop-ups
    // choose them (bit c for channel c). Deletes itself when closed.
    ExportDialog(QWidget* parent, CoreContext& context, int dvr, QDate day, int32_t second,
                 uint32_t channels, QString displayName);
    ~ExportDialog() override;

    void StartExport();
    // Cancel while it runs (no clip keeps a final name), otherwise close.
    void reject() override;

    QTimeEdit* fromEdit;
    QTimeEdit* toEdit;
    QLineEdit* folderEdit;
    QProgressBar* progress;
    QLabel* statusText;
    QPushButton* exportButton;
    QPushButton* cancelButton;

  private:
    void Poll();
    // Takes the tap off the receive path, stops the play and drops the export (its thread has
    // ended, or was cancelled: the join is short).
    void Detach();

    CoreContext& context_;  // its controller goes before the window at the end of the run
    const int dvr_;
    const QDate day_;
    const uint32_t channels_;
    const QString displayName_;
    std::unique_ptr<ClipExport> export_;
    QTimer* poll_;
};
