// The PTZ panel: four direction and six lens buttons that act while held, five single-command
// buttons, and the data (1 to 255) and speed (0 to 63) lists that parameterise every command.
// The commands steer the camera of the zoomed pane; the window's start-up sequence gives the
// held buttons their codes and fills the lists.
//
// Threads: GUI thread only. The panel reaches the controller through the window's context; the
// window ends every hold (sending its release) before it clears the context.
#pragma once

#include <QWidget>

#include <memory>

class NSButtonEx;
class PtzCommands;
class QComboBox;
class QPushButton;
class CoreContext;

class PtzPanel : public QWidget {
    Q_OBJECT

  public:
    explicit PtzPanel(CoreContext& context, QWidget* parent = nullptr);
    ~PtzPanel() override;

    // The start-up sequence, in its order: the held buttons get this panel and their codes
    // (I1, I2, F1, F2, Z1, Z2, Right, Left, Down, Up).
    void SetButtonCodes();
    // Ends every hold now (its release goes out) and keeps the buttons from sending more.
    void EndHolds();
    void ColourLensButtons();
    void EmptyLists();
    void ColourCommandButtons();
    void FillLists();  // data "1".."255" with "1" selected, speed "0".."63" with "17" selected

    int GetPtzChan() const;
    int GetPtzData() const;   // the selected data item's index + 1
    int GetPtzSpeed() const;  // the selected speed item's index
    int CurrentDVR() const;

    // The held button a key steers with Ctrl: the arrows move, plus (or =) and minus zoom; null
    // for another key.
    NSButtonEx* ButtonForKey(int key) const;

    // Sends one PTZ command with the channel, parameter and DVR current now.
    void SendPtz(int value);

    // The release handlers of the held buttons and the single-command handlers.
    void doSomethingForbuttonUp();
    void doSomethingForbuttonRight();
    void doSomethingForbuttonDown();
    void doSomethingForbuttonLeft();
    void doSomethingForbuttonI2();
    void doSomethingForbuttonI1();
    void doSomethingForbuttonF2();
    void doSomethingForbuttonF1();
    void doSomethingForbuttonZ2();
    void doSomethingForbuttonZ1();
    void doSomethingForbuttonView();
    void doSomethingForbuttonSetView();
    void doSomethingForbuttonAuto();
    void doSomethingForbuttonStop();
    void doSomethingForbuttonok();

  private:
    NSButtonEx* Held(const QString& field, const QString& text, const QString& name,
                     void (PtzPanel::*release)());
    QPushButton* Single(const QString& field, const QString& text, const QString& name,
                        void (PtzPanel::*action)());
    QComboBox* list(const QString& field, const QString& name);

    std::unique_ptr<PtzCommands> commands_;

    NSButtonEx* buttonUp;
    NSButtonEx* buttonDown;
    NSButtonEx* buttonLeft;
    NSButtonEx* buttonRight;
    NSButtonEx* buttonI1;
    NSButtonEx* buttonI2;
    NSButtonEx* buttonF1;
    NSButtonEx* buttonF2;
    NSButtonEx* buttonZ1;
    NSButtonEx* buttonZ2;
    QPushButton* buttonok;
    QPushButton* buttonPreview;
    QPushButton* buttonSetview;
    QPushButton* buttonAuto;
    QPushButton* buttonStop;
    QComboBox* buttonData;
    QComboBox* buttonSpeed;
};
