// The add-DVR and DVR property dialogs, opened from the tree's context menu.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include <filesystem>

#include "core/support/FixedText.h"
#include "gui/dialogs/AddUserNswindowController.h"
#include "gui/dialogs/DVRProperty.h"
#include "tests/gui/UiFixture.h"

namespace {

using namespace std::chrono_literals;

class DvrDialogs : public UiTest {
  protected:
    AddUserNswindowController* openAdd() {
        chooseFromMenu(0, QStringLiteral("NewIP"));
        return AddUserNswindowController::existing();
    }
    DVRProperty* openProperty(int dvr) {
        select(dvr);
        chooseFromMenu(dvr, QStringLiteral("Property"));
        return DVRProperty::existing();
    }
    static QList<int> channelsOn(const DVRProperty* p) {
        QList<int> on;
        for (int k = 1; k <= 32; ++k) {
            if (p->channelButton(k)->isChecked()) {
                on.append(k);
            }
        }
        return on;
    }
};

TEST_F(DvrDialogs, AddDialogOpensWithTheDefaultsAndSaveAppendsANewDvr) {
    writeList({Entry("10.0.0.1:5000", "Gate")});
    startApp();
    AddUserNswindowController* add = openAdd();
    ASSERT_NE(add, nullptr);
    EXPECT_TRUE(add->isVisible());
    EXPECT_FALSE(add->isModal());
    EXPECT_EQ(add->parentWidget(), window.get());
    EXPECT_EQ(add->findChild<QLineEdit*>(QStringLiteral("ip"))->text(),
              QStringLiteral("192.168.1.100:5000"));
    EXPECT_EQ(add->username->text(), QStringLiteral("ADMIN0"));
    EXPECT_EQ(add->password->text(), QStringLiteral("518274"));

    add->findChild<QPushButton*>(QStringLiteral("buttonSave"))->click();
    EXPECT_FALSE(add->isVisible());
    EXPECT_TRUE(add->ip->text().isEmpty());
    EXPECT_TRUE(add->username->text().isEmpty());
    EXPECT_TRUE(add->password->text().isEmpty());
    EXPECT_EQ(titles(),
              (QStringList{QStringLiteral("Gate"), QStringLiteral("192.168.1.100:5000")}));
    EXPECT_EQ(vc->list().count(), 2);

    ASSERT_EQ(listBytes().size(), 75264u);
    const SAVE_INFO_STRUCT e = entryInFile(1);
    EXPECT_EQ(e.isValue, 1);
    EXPECT_EQ(TextOf(e.server), "192.168.1.100:5000");
    EXPECT_EQ(TextOf(e.showName), "192.168.1.100:5000");
    EXPECT_EQ(TextOf(e.user), "ADMIN0");
    EXPECT_EQ(TextOf(e.pass), "518274");
    EXPECT_EQ(e.cam, 0xFFFFFFFFu);
    EXPECT_EQ(e.frame_rate, 5);
    EXPECT_EQ(e.qulity, 2);
}

TEST_F(DvrDialogs, AddCancelAddsNothingAndEveryOpeningShowsTheDefaultsAgain) {
    startApp();
    AddUserNswindowController* add = openAdd();
    add->ip->setText(QStringLiteral("10.9.9.9:7000"));
    add->username->setText(QStringLiteral("someone"));
    add->buttonCancel->click();
    EXPECT_FALSE(add->isVisible());
    EXPECT_TRUE(add->ip->text().isEmpty());
    EXPECT_TRUE(titles().isEmpty());
    EXPECT_FALSE(std::filesystem::exists(listPath()));

    EXPECT_EQ(openAdd(), add);  // the same shared dialog
    EXPECT_EQ(add->ip->text(), QStringLiteral("192.168.1.100:5000"));
    EXPECT_EQ(add->username->text(), QStringLiteral("ADMIN0"));
    // Opened again while open: brought forward and refilled, unsaved input dropped.
    add->password->setText(QStringLiteral("typed"));
    EXPECT_EQ(openAdd(), add);
    EXPECT_TRUE(add->isVisible());
    EXPECT_EQ(add->password->text(), QStringLiteral("518274"));
}

TEST_F(DvrDialogs, PropertyShowsTheEntryAndTheChannelsOfItsMask) {
    SAVE_INFO_STRUCT five = Entry("10.0.0.1:5000", "Gate", "op", "pw1");
    five.cam = 5;
    five.frame_rate = 1;
    five.qulity = 0;
    SAVE_INFO_STRUCT two = Entry("cloud.example:DVR12345", "Tür", "guest", "guest");
    two.cam = 2;
    writeList({five, two});
    startApp();

    DVRProperty* p = openProperty(0);
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(p->isVisible());
    EXPECT_FALSE(p->isModal());
    EXPECT_EQ(p->currentDVR, 0);
    EXPECT_EQ(p->ip->text(), QStringLiteral("10.0.0.1:5000"));
    EXPECT_EQ(p->username->text(), QStringLiteral("op"));
    EXPECT_EQ(p->password->text(), QStringLiteral("pw1"));
    EXPECT_EQ(p->ShowName->text(), QStringLiteral("Gate"));
    EXPECT_FALSE(p->ButtonAll->isChecked());
    EXPECT_EQ(channelsOn(p), (QList<int>{1, 3}));
    ASSERT_EQ(p->ButtonFps->count(), 6);
    EXPECT_EQ(p->ButtonFps->itemText(0), QStringLiteral("1"));
    EXPECT_EQ(p->ButtonFps->itemText(5), QStringLiteral("25"));
    EXPECT_EQ(p->ButtonFps->currentText(), QStringLiteral("3"));
    ASSERT_EQ(p->ButtonQuality->count(), 3);
    EXPECT_EQ(p->ButtonQuality->currentText(), QStringLiteral("low"));

    EXPECT_EQ(openProperty(1), p);  // reopened for another DVR: refilled, lists not doubled
    EXPECT_EQ(p->currentDVR, 1);
    EXPECT_EQ(p->ShowName->text(), QString::fromUtf8("Tür"));
    EXPECT_EQ(p->ip->text(), QStringLiteral("cloud.example:DVR12345"));
    EXPECT_EQ(channelsOn(p), QList<int>{2});
    EXPECT_EQ(p->ButtonFps->count(), 6);
    EXPECT_EQ(p->ButtonFps->currentText(), QStringLiteral("25"));
    EXPECT_EQ(p->ButtonQuality->currentText(), QStringLiteral("high"));
}

TEST_F(DvrDialogs, AllChannelsOnOrOffIsSavedAsTheWholeMask) {
    SAVE_INFO_STRUCT e = Entry("10.0.0.1:5000", "Gate");
    e.cam = 5;
    writeList({e});
    startApp();
    DVRProperty* p = openProperty(0);
    p->ButtonAll->click();
    EXPECT_EQ(channelsOn(p).size(), 32);
    p->buttonSave->click();
    EXPECT_FALSE(p->isVisible());
    EXPECT_EQ(entryInFile(0).cam, 0xFFFFFFFFu);

    openProperty(0);
    EXPECT_FALSE(p->ButtonAll->isChecked());
    p->ButtonAll->click();  // on
    p->ButtonAll->click();  // off: every channel off
    EXPECT_TRUE(channelsOn(p).isEmpty());
    p->buttonSave->click();
    EXPECT_EQ(entryInFile(0).cam, 0u);
    EXPECT_EQ(vc->EntryCopy(0).cam, 0u);
}

TEST_F(DvrDialogs, FrameRateAndQualityAreInTheFileAsSoonAsSaved) {
    writeList({Entry("10.0.0.1:5000", "Gate"), Entry("10.0.0.2:5000", "Yard")});
    startApp();
    DVRProperty* p = openProperty(1);
    p->ButtonFps->setCurrentIndex(p->ButtonFps->findText(QStringLiteral("10")));
    p->ButtonQuality->setCurrentIndex(p->ButtonQuality->findText(QStringLiteral("middle")));
    p->buttonSave->click();
    const SAVE_INFO_STRUCT saved = entryInFile(1);
    EXPECT_EQ(saved.frame_rate, 3);
    EXPECT_EQ(saved.qulity, 1);
    EXPECT_EQ(saved.cam, 0xFFFFFFFFu);  // untouched controls keep their values
    EXPECT_EQ(TextOf(saved.server), "10.0.0.2:5000");
    EXPECT_EQ(entryInFile(0).frame_rate, 5);  // the other DVR is not touched
}

TEST_F(DvrDialogs, RenamingShowsInTheTreeAndSurvivesARestart) {
    writeList({Entry("10.0.0.1:5000", "Gate"), Entry("10.0.0.2:5000", "Yard")});
    startApp();
    DVRProperty* p = openProperty(0);
    const QString name = QString::fromUtf8("Hall Ω 東");
    p->ShowName->setText(name);
    p->ip->setText(QStringLiteral("10.0.0.7:6000"));
    p->buttonSave->click();
    EXPECT_TRUE(WaitUntil([&] { return titles().value(0) == name; }));
    EXPECT_EQ(titles().value(1), QStringLiteral("Yard"));

    restartApp();
    EXPECT_EQ(titles(), (QStringList{name, QStringLiteral("Yard")}));
    EXPECT_EQ(TextOf(vc->EntryCopy(0).server), "10.0.0.7:6000");
    EXPECT_EQ(TextOf(vc->EntryCopy(0).showName), name.toStdString());
}

TEST_F(DvrDialogs, PropertyCancelWritesNothing) {
    writeList({Entry("10.0.0.1:5000", "Gate")});
    startApp();
    const std::vector<unsigned char> before = listBytes();
    DVRProperty* p = openProperty(0);
    p->ShowName->setText(QStringLiteral("Other"));
    p->ButtonAll->click();
    p->buttonCancel->click();
    EXPECT_FALSE(p->isVisible());
    Pump(50ms);
    EXPECT_EQ(listBytes(), before);
    EXPECT_EQ(titles(), QStringList{QStringLiteral("Gate")});
}

TEST_F(DvrDialogs, StoredIndexesOutOfRangeSelectNothingAndSaveKeepsThem) {
    SAVE_INFO_STRUCT odd = Entry("10.0.0.1:5000", "Gate");
    odd.frame_rate = 9;
    odd.qulity = -1;
    writeList({odd});
    startApp();
    DVRProperty* p = openProperty(0);
    EXPECT_EQ(p->ButtonFps->currentIndex(), -1);
    EXPECT_EQ(p->ButtonQuality->currentIndex(), -1);
    p->buttonSave->click();
    EXPECT_EQ(entryInFile(0).frame_rate, 9);
    EXPECT_EQ(entryInFile(0).qulity, -1);
}
}  // namespace
