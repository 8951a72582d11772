#include "gui/dialogs/DVRProperty.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/ViewController.h"
#include "core/support/FixedText.h"
#include "core/support/Log.h"
#include "gui/support/CoreContext.h"
#include "gui/support/QtNamed.h"
#include "gui/support/QtText.h"
#include "gui/support/WindowPlaces.h"

namespace {

QPointer<DVRProperty>& Shared() {
    static QPointer<DVRProperty> shared;
    return shared;
}

QLineEdit* Field(QWidget* parent, const char* name, const QString& readable) {
    auto* edit = Named(new QLineEdit(parent), QString::fromLatin1(name));
    edit->setAccessibleName(readable);
    return edit;
}

// An index stored in a file this program did not write may be out of range: then nothing is
// selected, and Save keeps the stored value.
void SelectStored(QComboBox* box, int32_t index) {
    box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
}

// Stores a login field only when its text was changed, so that stored bytes that are not UTF-8
// survive a Save that did not touch them.
template <std::size_t N>
void StoreIfEdited(char (&field)[N], const QString& text) {
    if (text != QStringFromBytes(TextOf(field))) {
        SetText(field, BytesFromQString(text));
    }
}

}  // namespace

DVRProperty* DVRProperty::sharedEffectStackController(QWidget* parent, CoreContext& context) {
    if (!Shared()) {
        Shared() = new DVRProperty(parent, context);
        RestorePlace(*Shared(), QStringLiteral("property"));
    }
    return Shared();
}

DVRProperty* DVRProperty::Existing() {
    return Shared();
}

DVRProperty::DVRProperty(QWidget* parent, CoreContext& context)
    : QDialog(parent), context_(context) {
    setObjectName(QStringLiteral("property"));
    setWindowTitle(QStringLiteral("DVR Properties"));
    setModal(false);

    ip = Field(this, "ip", QStringLiteral("Server"));
    username = Field(this, "username", QStringLiteral("User name"));
    password = Field(this, "password", QStringLiteral("Password"));
    password->setEchoMode(QLineEdit::Password);
    ShowName = Field(this, "ShowName", QStringLiteral("Display name"));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Server:"), ip);
    form->addRow(QStringLiteral("User name:"), username);
    form->addRow(QStringLiteral("Password:"), password);
    form->addRow(QStringLiteral("Display name:"), ShowName);

    auto* channels = new QGroupBox(QStringLiteral("Channels"), this);
    auto* grid = new QGridLayout(channels);
    ButtonAll = Named(new QCheckBox(QStringLiteral("All"), channels), QStringLiteral("ButtonAll"));
    grid->addWidget(ButtonAll, 0, 0, 1, 8);
    for (int k = 1; k <= kChannels; ++k) {
        auto* box =
            Named(new QCheckBox(QString::number(k), channels), QStringLiteral("Button%1").arg(k));
        Button[static_cast<std::size_t>(k - 1)] = box;
        grid->addWidget(box, 1 + (k - 1) / 8, (k - 1) % 8);
    }
    connect(ButtonAll, &QCheckBox::clicked, this, &DVRProperty::doSomethingForButtonAll);

    ButtonFps = Named(new QComboBox(this), QStringLiteral("ButtonFps"));
    ButtonFps->setAccessibleName(QStringLiteral("Frame rate"));
    ButtonQuality = Named(new QComboBox(this), QStringLiteral("ButtonQuality"));
    ButtonQuality->setAccessibleName(QStringLiteral("Quality"));
    auto* stream = new QFormLayout;
    stream->addRow(QStringLiteral("Frame rate:"), ButtonFps);
    stream->addRow(QStringLiteral("Quality:"), ButtonQuality);

    buttonSave = Named(new QPushButton(QStringLiteral("Save"), this), QStringLiteral("buttonSave"));
    buttonSave->setDefault(true);
    buttonCancel =
        Named(new QPushButton(QStringLiteral("Cancel"), this), QStringLiteral("buttonCancel"));
    connect(buttonSave, &QPushButton::clicked, this, &DVRProperty::doSomethingForButtonSave);
    connect(buttonCancel, &QPushButton::clicked, this, &DVRProperty::doSomethingForButtonCancel);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(buttonCancel);
    buttons->addWidget(buttonSave);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(channels);
    layout->addLayout(stream);
    layout->addLayout(buttons);
}

void DVRProperty::initData(const SAVE_INFO_STRUCT& entry, int dvr) {
    currentDVR = dvr;
    ip->setText(QStringFromBytes(TextOf(entry.server)));
    username->setText(QStringFromBytes(TextOf(entry.user)));
    password->setText(QStringFromBytes(TextOf(entry.pass)));
    ShowName->setText(QString::fromUtf8(TextOf(entry.showName)));
    ButtonAll->setChecked(false);
    for (int k = 1; k <= kChannels; ++k) {
        channelButton(k)->setChecked((entry.cam >> (k - 1)) & 1u);
    }
    ButtonFps->clear();
    ButtonFps->addItems({QStringLiteral("1"), QStringLiteral("3"), QStringLiteral("6"),
                         QStringLiteral("10"), QStringLiteral("20"), QStringLiteral("25")});
    ButtonQuality->clear();
    ButtonQuality->addItems(
        {QStringLiteral("low"), QStringLiteral("middle"), QStringLiteral("high")});
    SelectStored(ButtonFps, entry.frame_rate);
    SelectStored(ButtonQuality, entry.qulity);
}

void DVRProperty::doSomethingForButtonAll() {
    const bool on = ButtonAll->isChecked();
    for (QCheckBox* box : Button) {
        box->setChecked(on);
    }
    if (on) {
        QLog("Button All1 %d", 1);
    } else {
        QLog("Button All0 %d", 0);
    }
}

void DVRProperty::doSomethingForButtonSave() {
    ViewController* vc = context_.controller();
    if (vc && currentDVR >= 0) {
        // Fields this dialog does not show keep their stored values.
        SAVE_INFO_STRUCT edited = vc->EntryCopy(currentDVR);
        uint32_t cam = 0;
        for (int k = 1; k <= kChannels; ++k) {
            if (channelButton(k)->isChecked()) {
                cam |= 1u << (k - 1);
            }
        }
        edited.cam = cam;
        if (ButtonFps->currentIndex() >= 0) {
            edited.frame_rate = ButtonFps->currentIndex();
        }
        if (ButtonQuality->currentIndex() >= 0) {
            edited.qulity = ButtonQuality->currentIndex();
        }
        StoreIfEdited(edited.server, ip->text());
        StoreIfEdited(edited.user, username->text());
        StoreIfEdited(edited.pass, password->text());
        SetText(edited.showName, ShowName->text().toStdString(), true);
        vc->SavePropertyEntry(currentDVR, edited);
    }
    QDialog::accept();
}

void DVRProperty::doSomethingForButtonCancel() {
    QDialog::reject();
}

void DVRProperty::reject() {
    doSomethingForButtonCancel();
}

void DVRProperty::hideEvent(QHideEvent* event) {
    KeepPlace(*this, QStringLiteral("property"));
    QDialog::hideEvent(event);
}
