// The DVR property dialog: edits one saved DVR (server, login, display name, the channels shown
// in live view, frame rate and quality). Save stores the entry and retitles its node; it does not
// reconnect. Non-modal; one shared instance.
//
// Threads: GUI thread only.
#pragma once

#include <QDialog>

#include <array>
#include <cstdint>

#include "core/directory/SaveInfo.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class CoreContext;

class DVRProperty : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kChannels = 32;

    // The shared dialog, created on the first call as a child of `parent` and kept.
    static DVRProperty* sharedEffectStackController(QWidget* parent, CoreContext& context);
    // The shared dialog if it was created, otherwise null; never creates it.
    static DVRProperty* Existing();

    // Fills the controls from `entry`, the saved entry of DVR `dvr`, discarding unsaved input.
    void initData(const SAVE_INFO_STRUCT& entry, int dvr);

    void doSomethingForButtonAll();
    void doSomethingForButtonSave();
    void doSomethingForButtonCancel();
    void reject() override;

  protected:
    // The place the operator leaves it is where it opens next time, also in the next run.
    void hideEvent(QHideEvent* event) override;

  public:
    // Channel k (1 to 32): bit k-1 of the entry's channel mask.
    QCheckBox* channelButton(int k) const { return Button[static_cast<std::size_t>(k - 1)]; }

    QLineEdit* ip;
    QLineEdit* username;
    QLineEdit* password;
    QLineEdit* ShowName;
    QCheckBox* ButtonAll;
    std::array<QCheckBox*, kChannels> Button{};  // Button1 .. Button32
    QComboBox* ButtonFps;
    QComboBox* ButtonQuality;
    QPushButton* buttonSave;
    QPushButton* buttonCancel;
    int32_t currentDVR = -1;

  private:
    DVRProperty(QWidget* parent, CoreContext& context);

    CoreContext& context_;
};
