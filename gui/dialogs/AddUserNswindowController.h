// The add-DVR dialog: a server text, a user name and a password. Save appends the DVR (named
// after its server text); neither button checks anything. Non-modal; one shared instance.
//
// Threads: GUI thread only.
#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;
class CoreContext;

class AddUserNswindowController : public QDialog {
    Q_OBJECT

  public:
    // The shared dialog, created on the first call as a child of `parent` and kept (until that
    // parent goes, which ends the run).
    static AddUserNswindowController* sharedEffectStackController(QWidget* parent,
                                                                  CoreContext& context);
    // The shared dialog if it was created, otherwise null; never creates it.
    static AddUserNswindowController* Existing();

    // The defaults, every time the dialog is opened.
    void initData();

    void doSomethingForButtonSave();
    void doSomethingForButtonCancel();
    void reject() override;

  protected:
    // The place the operator leaves it is where it opens next time, also in the next run.
    void hideEvent(QHideEvent* event) override;

  public:
    QLineEdit* ip;
    QLineEdit* username;
    QLineEdit* password;
    QPushButton* buttonSave;
    QPushButton* buttonCancel;

  private:
    AddUserNswindowController(QWidget* parent, CoreContext& context);
    void ClearFields();

    CoreContext& context_;
};
