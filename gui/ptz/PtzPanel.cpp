#include "gui/ptz/PtzPanel.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>

#include "gui/ptz/ButtonColour.h"
#include "gui/ptz/NSButtonEx.h"
#include "gui/ptz/PtzCommands.h"
#include "gui/support/CoreContext.h"

namespace {

constexpr double kLightGrey = 0.71;

}  // namespace

PtzPanel::PtzPanel(CoreContext& context, QWidget* parent)
    : QWidget(parent), commands_(std::make_unique<PtzCommands>(context)) {
    setObjectName(QStringLiteral("ptzPanel"));
    setAccessibleName(QStringLiteral("PTZ control"));
    setAccessibleDescription(objectName());

    buttonUp = Held(QStringLiteral("buttonUp"), QStringLiteral("Up"), QStringLiteral("Tilt up"),
                    &PtzPanel::doSomethingForbuttonUp);
    buttonDown = Held(QStringLiteral("buttonDown"), QStringLiteral("Down"),
                      QStringLiteral("Tilt down"), &PtzPanel::doSomethingForbuttonDown);
    buttonLeft = Held(QStringLiteral("buttonLeft"), QStringLiteral("Left"),
                      QStringLiteral("Pan left"), &PtzPanel::doSomethingForbuttonLeft);
    buttonRight = Held(QStringLiteral("buttonRight"), QStringLiteral("Right"),
                       QStringLiteral("Pan right"), &PtzPanel::doSomethingForbuttonRight);
    buttonI1 = Held(QStringLiteral("buttonI1"), QStringLiteral("I1"), QStringLiteral("Iris 1"),
                    &PtzPanel::doSomethingForbuttonI1);
    buttonI2 = Held(QStringLiteral("buttonI2"), QStringLiteral("I2"), QStringLiteral("Iris 2"),
                    &PtzPanel::doSomethingForbuttonI2);
    buttonF1 = Held(QStringLiteral("buttonF1"), QStringLiteral("F1"), QStringLiteral("Focus 1"),
                    &PtzPanel::doSomethingForbuttonF1);
    buttonF2 = Held(QStringLiteral("buttonF2"), QStringLiteral("F2"), QStringLiteral("Focus 2"),
                    &PtzPanel::doSomethingForbuttonF2);
    buttonZ1 = Held(QStringLiteral("buttonZ1"), QStringLiteral("Z1"), QStringLiteral("Zoom 1"),
                    &PtzPanel::doSomethingForbuttonZ1);
    buttonZ2 = Held(QStringLiteral("buttonZ2"), QStringLiteral("Z2"), QStringLiteral("Zoom 2"),
                    &PtzPanel::doSomethingForbuttonZ2);
    buttonok = Single(QStringLiteral("buttonok"), QStringLiteral("ok"), QStringLiteral("OK"),
                      &PtzPanel::doSomethingForbuttonok);
    buttonPreview = Single(QStringLiteral("buttonPreview"), QStringLiteral("View"),
                           QStringLiteral("Go to view"), &PtzPanel::doSomethingForbuttonView);
    buttonSetview = Single(QStringLiteral("buttonSetview"), QStringLiteral("Set view"),
                           QStringLiteral("Set view"), &PtzPanel::doSomethingForbuttonSetView);
    buttonAuto = Single(QStringLiteral("buttonAuto"), QStringLiteral("Auto"),
                        QStringLiteral("Auto scan"), &PtzPanel::doSomethingForbuttonAuto);
    buttonStop = Single(QStringLiteral("buttonStop"), QStringLiteral("Stop"),
                        QStringLiteral("Stop"), &PtzPanel::doSomethingForbuttonStop);
    buttonData = list(QStringLiteral("buttonData"), QStringLiteral("Data"));
    buttonSpeed = list(QStringLiteral("buttonSpeed"), QStringLiteral("Speed"));

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 4, 0, 0);
    grid->setSpacing(3);
    // Directions around ok.
    grid->addWidget(buttonUp, 0, 1);
    grid->addWidget(buttonLeft, 1, 0);
    grid->addWidget(buttonok, 1, 1);
    grid->addWidget(buttonRight, 1, 2);
    grid->addWidget(buttonDown, 2, 1);
    // Lens pairs.
    grid->addWidget(buttonI1, 3, 0);
    grid->addWidget(buttonI2, 3, 2);
    grid->addWidget(buttonF1, 4, 0);
    grid->addWidget(buttonF2, 4, 2);
    grid->addWidget(buttonZ1, 5, 0);
    grid->addWidget(buttonZ2, 5, 2);
    grid->addWidget(new QLabel(QStringLiteral("Iris"), this), 3, 1, Qt::AlignCenter);
    grid->addWidget(new QLabel(QStringLiteral("Focus"), this), 4, 1, Qt::AlignCenter);
    grid->addWidget(new QLabel(QStringLiteral("Zoom"), this), 5, 1, Qt::AlignCenter);
    grid->addWidget(buttonPreview, 6, 0);
    grid->addWidget(buttonSetview, 6, 1);
    grid->addWidget(buttonAuto, 6, 2);
    grid->addWidget(buttonStop, 7, 1);
    auto* dataLabel = new QLabel(QStringLiteral("Data"), this);
    dataLabel->setBuddy(buttonData);
    auto* speedLabel = new QLabel(QStringLiteral("Speed"), this);
    speedLabel->setBuddy(buttonSpeed);
    grid->addWidget(dataLabel, 8, 0);
    grid->addWidget(buttonData, 8, 1, 1, 2);
    grid->addWidget(speedLabel, 9, 0);
    grid->addWidget(buttonSpeed, 9, 1, 1, 2);
}

// Holds end silently here: the window detached the controller before (SetViewController(null)).
PtzPanel::~PtzPanel() = default;

NSButtonEx* PtzPanel::Held(const QString& field, const QString& text, const QString& name,
                           void (PtzPanel::*release)()) {
    auto* b = new NSButtonEx(text, this);
    b->setObjectName(field);
    b->setAccessibleName(name);
    b->setAccessibleDescription(field);
    connect(b, &NSButtonEx::holdReleased, this, release);
    return b;
}

QPushButton* PtzPanel::Single(const QString& field, const QString& text, const QString& name,
                              void (PtzPanel::*action)()) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(field);
    b->setAccessibleName(name);
    b->setAccessibleDescription(field);
    connect(b, &QPushButton::clicked, this, action);
    return b;
}

QComboBox* PtzPanel::list(const QString& field, const QString& name) {
    auto* c = new QComboBox(this);
    c->setObjectName(field);
    c->setAccessibleName(name);
    c->setAccessibleDescription(field);
    c->setMaxVisibleItems(16);
    return c;
}

NSButtonEx* PtzPanel::ButtonForKey(int key) const {
    switch (key) {
        case Qt::Key_Up: return buttonUp;
        case Qt::Key_Down: return buttonDown;
        case Qt::Key_Left: return buttonLeft;
        case Qt::Key_Right: return buttonRight;
        case Qt::Key_Plus:
        case Qt::Key_Equal: return buttonZ1;
        case Qt::Key_Minus: return buttonZ2;
        default: return nullptr;
    }
}

void PtzPanel::SetButtonCodes() {
    NSButtonEx* const inOrder[] = {buttonI1, buttonI2,    buttonF1,   buttonF2,   buttonZ1,
                                   buttonZ2, buttonRight, buttonLeft, buttonDown, buttonUp};
    const int codes[] = {kPtzI1, kPtzI2,    kPtzF1,   kPtzF2,   kPtzZ1,
                         kPtzZ2, kPtzRight, kPtzLeft, kPtzDown, kPtzUp};
    for (int i = 0; i < 10; ++i) {
        inOrder[i]->SetController(this, codes[i]);
    }
}

void PtzPanel::EndHolds() {
    // A camera must not keep moving when the controller goes: its release goes out first.
    for (NSButtonEx* b : findChildren<NSButtonEx*>()) {
        b->EndHold();
        b->SetController(nullptr, b->code());
    }
}

void PtzPanel::ColourLensButtons() {
    for (QPushButton* b : {buttonI1, buttonI2, buttonF1, buttonF2, buttonZ1, buttonZ2}) {
        SetButtonBackground(b, kLightGrey, kLightGrey, kLightGrey);
    }
}

void PtzPanel::EmptyLists() {
    buttonData->clear();
    buttonSpeed->clear();
}

void PtzPanel::ColourCommandButtons() {
    for (QPushButton* b : {buttonPreview, buttonSetview, buttonAuto, buttonStop}) {
        SetButtonBackground(b, kLightGrey, kLightGrey, kLightGrey);
    }
}

void PtzPanel::FillLists() {
    for (int i = 1; i <= 255; ++i) {
        buttonData->addItem(QString::number(i));
    }
    buttonData->setCurrentIndex(0);
    for (int i = 0; i <= 63; ++i) {
        buttonSpeed->addItem(QString::number(i));
    }
    buttonSpeed->setCurrentIndex(17);
}

int PtzPanel::GetPtzChan() const {
    return commands_->GetPtzChan();
}

int PtzPanel::GetPtzData() const {
    return buttonData->currentIndex() + 1;
}

int PtzPanel::GetPtzSpeed() const {
    return buttonSpeed->currentIndex();
}

int PtzPanel::CurrentDVR() const {
    return commands_->CurrentDVR();
}

void PtzPanel::SendPtz(int value) {
    commands_->Send(value, GetPtzData(), GetPtzSpeed());
}

void PtzPanel::doSomethingForbuttonUp() {
    SendPtz(kPtzRelease + kPtzUp);
}
void PtzPanel::doSomethingForbuttonRight() {
    SendPtz(kPtzRelease + kPtzRight);
}
void PtzPanel::doSomethingForbuttonDown() {
    SendPtz(kPtzRelease + kPtzDown);
}
void PtzPanel::doSomethingForbuttonLeft() {
    SendPtz(kPtzRelease + kPtzLeft);
}
void PtzPanel::doSomethingForbuttonI2() {
    SendPtz(kPtzRelease + kPtzI2);
}
void PtzPanel::doSomethingForbuttonI1() {
    SendPtz(kPtzRelease + kPtzI1);
}
void PtzPanel::doSomethingForbuttonF2() {
    SendPtz(kPtzRelease + kPtzF2);
}
void PtzPanel::doSomethingForbuttonF1() {
    SendPtz(kPtzRelease + kPtzF1);
}
void PtzPanel::doSomethingForbuttonZ2() {
    SendPtz(kPtzRelease + kPtzZ2);
}
void PtzPanel::doSomethingForbuttonZ1() {
    SendPtz(kPtzRelease + kPtzZ1);
}
void PtzPanel::doSomethingForbuttonView() {
    SendPtz(kPtzView);
}
void PtzPanel::doSomethingForbuttonSetView() {
    SendPtz(kPtzSetView);
}
void PtzPanel::doSomethingForbuttonAuto() {
    SendPtz(kPtzAuto);
}
void PtzPanel::doSomethingForbuttonStop() {
    SendPtz(kPtzStop);
}
void PtzPanel::doSomethingForbuttonok() {
    SendPtz(kPtzOk);
}
