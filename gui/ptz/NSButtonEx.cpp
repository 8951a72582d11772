#include "gui/ptz/NSButtonEx.h"

#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWindow>

#include "core/support/Log.h"
#include "gui/ptz/PtzCommands.h"
#include "gui/ptz/PtzPanel.h"

#include <utility>

NSButtonEx::NSButtonEx(const QString& text, QWidget* parent) : QPushButton(text, parent) {
    // `pressed` comes from a mouse press over the button and from the keyboard; `released` from
    // every release the button itself sees, over it or not.
    // A pointer that leaves the button while held ends the hold; coming back over it, the button
    // says `pressed` again, which starts nothing: only a press does.
    connect(this, &QAbstractButton::pressed, this, [this] {
        if (std::exchange(armed_, false)) {
            BeginHold();
        }
    });
    connect(this, &QAbstractButton::released, this, &NSButtonEx::EndHold);
}

void NSButtonEx::mousePressEvent(QMouseEvent* e) {
    armed_ = e->button() == Qt::LeftButton;
    QPushButton::mousePressEvent(e);
    armed_ = false;
}

void NSButtonEx::keyPressEvent(QKeyEvent* e) {
    armed_ = !e->isAutoRepeat();
    QPushButton::keyPressEvent(e);
    armed_ = false;
}

NSButtonEx::~NSButtonEx() {
    if (held_) {
        qApp->removeEventFilter(this);
    }
}

void NSButtonEx::SetController(PtzPanel* controller, int cmdtmp) {
    viewcontroller = controller;
    command = cmdtmp;
}

void NSButtonEx::BeginHold() {
    if (held_) {
        return;
    }
    held_ = true;
    // Watches the whole application: a release delivered elsewhere still ends the hold.
    qApp->installEventFilter(this);
    QLog("mouseDown");
    if (viewcontroller) {
        viewcontroller->SendPtz(kPtzPress + command);
    }
}

void NSButtonEx::EndHold() {
    if (!held_) {
        return;
    }
    held_ = false;
    qApp->removeEventFilter(this);
    if (isDown()) {
        setDown(false);  // no click follows: the release was not over the button
    }
    Q_EMIT holdReleased();
}

bool NSButtonEx::event(QEvent* e) {
    if (e->type() == QEvent::UngrabMouse) {
        EndHold();
    }
    return QPushButton::event(e);
}

bool NSButtonEx::eventFilter(QObject* watched, QEvent* e) {
    switch (e->type()) {
        case QEvent::MouseButtonRelease:
            // The button's own release is handled by the button, which then sends its click; the
            // window passes that release on to the button.
            if (static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton && watched != this &&
                watched != window()->windowHandle()) {
                EndHold();
            }
            break;
        case QEvent::WindowBlocked:
        case QEvent::WindowDeactivate:
            if (watched == window()) {
                EndHold();
            }
            break;
        case QEvent::ApplicationDeactivate: EndHold(); break;
        default: break;
    }
    return false;
}

void NSButtonEx::focusOutEvent(QFocusEvent* e) {
    EndHold();
    QPushButton::focusOutEvent(e);
}

void NSButtonEx::hideEvent(QHideEvent* e) {
    EndHold();
    QPushButton::hideEvent(e);
}

void NSButtonEx::changeEvent(QEvent* e) {
    if (e->type() == QEvent::EnabledChange && !isEnabled()) {
        EndHold();
    }
    QPushButton::changeEvent(e);
}
