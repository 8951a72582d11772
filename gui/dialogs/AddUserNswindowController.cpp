#include "gui/dialogs/AddUserNswindowController.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/ViewController.h"
#include "gui/support/CoreContext.h"
#include "gui/support/WindowPlaces.h"

namespace {

const QString kDefaultServer = QStringLiteral("192.168.1.100:5000");
const QString kDefaultUser = QStringLiteral("ADMIN0");
const QString kDefaultPassword = QStringLiteral("518274");

QLineEdit* Field(QWidget* parent, const char* name, const QString& readable) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setAccessibleDescription(QString::fromLatin1(name));
    edit->setAccessibleName(readable);
    return edit;
}

QPointer<AddUserNswindowController>& Shared() {
    static QPointer<AddUserNswindowController> shared;
    return shared;
}

}  // namespace

AddUserNswindowController* AddUserNswindowController::sharedEffectStackController(
    QWidget* parent, CoreContext& context) {
    if (!Shared()) {
        Shared() = new AddUserNswindowController(parent, context);
        RestorePlace(*Shared(), QStringLiteral("AddUser"));
    }
    return Shared();
}

AddUserNswindowController* AddUserNswindowController::Existing() {
    return Shared();
}

AddUserNswindowController::AddUserNswindowController(QWidget* parent, CoreContext& context)
    : QDialog(parent), context_(context) {
    setObjectName(QStringLiteral("AddUser"));
    setWindowTitle(QStringLiteral("Add DVR"));
    setModal(false);

    ip = Field(this, "ip", QStringLiteral("Server"));
    username = Field(this, "username", QStringLiteral("User name"));
    password = Field(this, "password", QStringLiteral("Password"));
    password->setEchoMode(QLineEdit::Password);
    ip->setMinimumWidth(240);  // room for a host name and port

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Server:"), ip);
    form->addRow(QStringLiteral("User name:"), username);
    form->addRow(QStringLiteral("Password:"), password);

    buttonSave = new QPushButton(QStringLiteral("Save"), this);
    buttonSave->setObjectName(QStringLiteral("buttonSave"));
    buttonSave->setAccessibleDescription(QStringLiteral("buttonSave"));
    buttonSave->setDefault(true);
    buttonCancel = new QPushButton(QStringLiteral("Cancel"), this);
    buttonCancel->setObjectName(QStringLiteral("buttonCancel"));
    buttonCancel->setAccessibleDescription(QStringLiteral("buttonCancel"));
    connect(buttonSave, &QPushButton::clicked, this,
            &AddUserNswindowController::doSomethingForButtonSave);
    connect(buttonCancel, &QPushButton::clicked, this,
            &AddUserNswindowController::doSomethingForButtonCancel);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(buttonCancel);
    buttons->addWidget(buttonSave);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
}

void AddUserNswindowController::initData() {
    ip->setText(kDefaultServer);
    username->setText(kDefaultUser);
    password->setText(kDefaultPassword);
}

void AddUserNswindowController::ClearFields() {
    ip->clear();
    username->clear();
    password->clear();
}

void AddUserNswindowController::doSomethingForButtonSave() {
    // Read before anything else: the controller may show a box, and the fields are cleared after.
    const QString server = ip->text();
    const QString user = username->text();
    const QString pass = password->text();
    if (ViewController* vc = context_.controller()) {
        vc->AddDVRNode(server.toStdString(), user.toStdString(), pass.toStdString(),
                       server.toStdString());
    }
    ClearFields();
    QDialog::accept();
}

void AddUserNswindowController::doSomethingForButtonCancel() {
    ClearFields();
    QDialog::reject();
}

void AddUserNswindowController::reject() {
    doSomethingForButtonCancel();  // Escape and the window's close button
}

void AddUserNswindowController::hideEvent(QHideEvent* event) {
    KeepPlace(*this, QStringLiteral("AddUser"));
    QDialog::hideEvent(event);
}
