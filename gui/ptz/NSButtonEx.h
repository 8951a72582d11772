// The press-and-hold PTZ button: pressing it sends its press command, and the end of the press,
// however it comes, emits holdReleased() once, to which the release command is connected. A
// camera must never keep moving because the release went astray: the hold also ends when the
// mouse button is released outside the button or over another widget, when the button loses the
// keyboard focus, is hidden or disabled, when its window is blocked by a modal box or deactivated,
// and when the mouse grab is taken away. It also ends when the pointer leaves the button, and
// only a new press starts the next one: a wavering pointer never sends bursts to the camera.
//
// Threads: GUI thread only.
#pragma once

#include <QPushButton>

class PtzPanel;

class NSButtonEx : public QPushButton {
    Q_OBJECT

  public:
    explicit NSButtonEx(const QString& text, QWidget* parent = nullptr);
    ~NSButtonEx() override;

    // The panel that sends the commands (null: the button sends nothing) and the PTZ code.
    void SetController(PtzPanel* controller, int cmdtmp);
    int code() const { return command; }
    bool isHeld() const { return held_; }
    // Ends a hold now (emitting holdReleased()); nothing when not held.
    void EndHold();
    // A hold started from the keyboard (the window's PTZ keys): its press goes out now, and the
    // hold ends by EndHold() when the key comes up, or as any hold ends.
    void HoldFromKeyboard() { BeginHold(); }

  Q_SIGNALS:
    // The press has ended: the release command goes out.
    void holdReleased();

  protected:
    bool event(QEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void changeEvent(QEvent* e) override;

  private:
    void BeginHold();

    int command = 0;
    PtzPanel* viewcontroller = nullptr;
    bool held_ = false;
    bool armed_ = false;  // inside a press: its `pressed` may start a hold
};
