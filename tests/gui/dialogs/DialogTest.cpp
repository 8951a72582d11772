// The add-DVR and DVR property dialogs, opened from the tree's context menu.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>

#include <cstring>

#include "core/support/FixedText.h"
#include "gui/dialogs/AddUserNswindowController.h"
#include "gui/dialogs/DVRProperty.h"
#include "tests/gui/UiFixture.h"

namespace {

class DvrDialogs : public UiTest {
  protected:
    AddUserNswindowController* OpenAdd() {
        ChooseFromMenu(0, u"NewIP"_s);
        return AddUserNswindowController::Existing();
    }
    DVRProperty* OpenProperty(int dvr) {
        Select(dvr);
        ChooseFromMenu(dvr, u"Property"_s);
        return DVRProperty::Existing();
    }
    // Server, login, name, frame rate and quality as the property dialog shows them.
    static QStringList Shown(const DVRProperty* p) {
        return {p->ip->text(),       p->username->text(),         p->password->text(),
                p->ShowName->text(), p->ButtonFps->currentText(), p->ButtonQuality->currentText()};
    }
    static QList<int> ChannelsOn(const DVRProperty* p) {
        QList<int> on;
        for (int k = 1; k <= 32; ++k) {
            if (p->channelButton(k)->isChecked()) {
                on.append(k);
            }
        }
        return on;
    }
};

TEST_F(DvrDialogs, AddDialogShowsTheDefaultsCancelAddsNothingAndSaveAppendsANewDvr) {
    WriteList({Entry("10.0.0.1:5000", "Gate")});
    StartApp();
    const std::vector<unsigned char> before = ListBytes();
    AddUserNswindowController* add = OpenAdd();
    ASSERT_NE(add, nullptr);
    EXPECT_TRUE(add->isVisible());
    EXPECT_FALSE(add->isModal());
    EXPECT_EQ(add->parentWidget(), window.get());
    auto shown = [&] {
        return QStringList{add->ip->text(), add->username->text(), add->password->text()};
    };
    const QStringList defaults{u"192.168.1.100:5000"_s, u"ADMIN0"_s, u"518274"_s};
    EXPECT_EQ(shown(), defaults);

    add->ip->setText(u"10.9.9.9:7000"_s);
    add->username->setText(u"someone"_s);
    add->buttonCancel->click();
    EXPECT_FALSE(add->isVisible());
    EXPECT_EQ(shown(), QStringList(3));
    EXPECT_EQ(Titles(), QStringList{u"Gate"_s});
    EXPECT_EQ(ListBytes(), before);
    EXPECT_EQ(OpenAdd(), add);  // the same shared dialog, filled again
    EXPECT_EQ(shown(), defaults);
    // Opened again while open: brought forward and refilled, unsaved input dropped.
    add->password->setText(u"typed"_s);
    EXPECT_EQ(OpenAdd(), add);
    EXPECT_TRUE(add->isVisible());
    EXPECT_EQ(shown(), defaults);

    add->buttonSave->click();
    EXPECT_FALSE(add->isVisible());
    EXPECT_EQ(shown(), QStringList(3));
    EXPECT_EQ(Titles(), (QStringList{u"Gate"_s, u"192.168.1.100:5000"_s}));
    EXPECT_EQ(vc->list().count(), 2);
    ASSERT_EQ(ListBytes().size(), 75264u);
    // A new entry as every add makes one, named after its server.
    const SAVE_INFO_STRUCT e = EntryInFile(1);
    const SAVE_INFO_STRUCT added =
        NewSaveInfo("192.168.1.100:5000", "ADMIN0", "518274", "192.168.1.100:5000");
    EXPECT_EQ(std::memcmp(&e, &added, sizeof e), 0);
}

TEST_F(DvrDialogs, PropertyShowsTheEntrySaveWritesItAtOnceAndCancelWritesNothing) {
    SAVE_INFO_STRUCT five = Entry("10.0.0.1:5000", "Gate", "op", "pw1");
    five.cam = 5;
    five.frame_rate = 1;
    five.qulity = 0;
    SAVE_INFO_STRUCT two = Entry("cloud.example:DVR12345", "Tür", "guest", "guest");
    two.cam = 2;
    SAVE_INFO_STRUCT odd = Entry("10.0.0.3:5000", "Yard");
    odd.frame_rate = 9;
    odd.qulity = -1;
    WriteList({five, two, odd});
    StartApp();
    const std::vector<unsigned char> before = ListBytes();

    DVRProperty* p = OpenProperty(0);
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(p->isVisible());
    EXPECT_FALSE(p->isModal());
    EXPECT_EQ(p->currentDVR, 0);
    EXPECT_EQ(Shown(p),
              (QStringList{u"10.0.0.1:5000"_s, u"op"_s, u"pw1"_s, u"Gate"_s, u"3"_s, u"low"_s}));
    EXPECT_FALSE(p->ButtonAll->isChecked());
    EXPECT_EQ(ChannelsOn(p), (QList<int>{1, 3}));
    EXPECT_EQ(Items(p->ButtonFps),
              (QStringList{u"1"_s, u"3"_s, u"6"_s, u"10"_s, u"20"_s, u"25"_s}));
    EXPECT_EQ(Items(p->ButtonQuality), (QStringList{u"low"_s, u"middle"_s, u"high"_s}));
    p->ShowName->setText(u"Other"_s);
    p->ButtonAll->click();
    p->buttonCancel->click();
    EXPECT_FALSE(p->isVisible());
    Pump(50ms);
    EXPECT_EQ(ListBytes(), before);
    EXPECT_EQ(Titles().value(0), u"Gate"_s);

    EXPECT_EQ(OpenProperty(1), p);  // reopened for another DVR: refilled, lists not doubled
    EXPECT_EQ(p->currentDVR, 1);
    EXPECT_EQ(Shown(p), (QStringList{u"cloud.example:DVR12345"_s, u"guest"_s, u"guest"_s, u"Tür"_s,
                                     u"25"_s, u"high"_s}));
    EXPECT_EQ(ChannelsOn(p), QList<int>{2});
    EXPECT_EQ(p->ButtonFps->count(), 6);
    // Rate, quality, name and server: in the file at once, in the tree, and after a restart.
    p->ButtonFps->setCurrentIndex(p->ButtonFps->findText(u"10"_s));
    p->ButtonQuality->setCurrentIndex(p->ButtonQuality->findText(u"middle"_s));
    const QString name = u"Hall Ω 東"_s;
    p->ShowName->setText(name);
    p->ip->setText(u"10.0.0.7:6000"_s);
    p->buttonSave->click();
    const SAVE_INFO_STRUCT saved = EntryInFile(1);
    EXPECT_EQ(saved.frame_rate, 3);
    EXPECT_EQ(saved.qulity, 1);
    EXPECT_EQ(saved.cam, 2u);  // untouched controls keep their values
    EXPECT_EQ(TextOf(saved.server), "10.0.0.7:6000");
    EXPECT_EQ(EntryInFile(0).frame_rate, 1);  // the other DVRs are not touched
    EXPECT_TRUE(WaitUntil([&] { return Titles().value(1) == name; }));
    EXPECT_EQ(Titles().value(0), u"Gate"_s);

    // Stored indexes out of range select nothing, and saving keeps them.
    OpenProperty(2);
    EXPECT_EQ(p->ButtonFps->currentIndex(), -1);
    EXPECT_EQ(p->ButtonQuality->currentIndex(), -1);
    p->buttonSave->click();
    EXPECT_EQ(EntryInFile(2).frame_rate, 9);
    EXPECT_EQ(EntryInFile(2).qulity, -1);

    // All channels on, or all off, is saved as the whole mask.
    OpenProperty(0);
    p->ButtonAll->click();
    EXPECT_EQ(ChannelsOn(p).size(), 32);
    p->buttonSave->click();
    EXPECT_FALSE(p->isVisible());
    EXPECT_EQ(EntryInFile(0).cam, 0xFFFFFFFFu);
    OpenProperty(0);
    EXPECT_FALSE(p->ButtonAll->isChecked());
    p->ButtonAll->click();  // on
    p->ButtonAll->click();  // off: every channel off
    EXPECT_TRUE(ChannelsOn(p).isEmpty());
    p->buttonSave->click();
    EXPECT_EQ(EntryInFile(0).cam, 0u);
    EXPECT_EQ(vc->EntryCopy(0).cam, 0u);

    // The windows open in the next run where the operator left them.
    OpenProperty(0)->move(140, 90);
    p->buttonCancel->click();
    OpenAdd()->move(60, 250);
    AddUserNswindowController::Existing()->buttonCancel->click();
    window->resize(window->size() + QSize(60, 40));
    auto* split = window->findChild<QSplitter*>();
    split->setSizes({split->sizes()[0] + 30, split->sizes()[1] - 30});
    const QSize size = window->size();
    const QList<int> sizes = split->sizes();

    EndApp();
    StartApp();
    EXPECT_EQ(Titles(), (QStringList{u"Gate"_s, name, u"Yard"_s}));
    EXPECT_EQ(TextOf(vc->EntryCopy(1).server), "10.0.0.7:6000");
    EXPECT_EQ(TextOf(vc->EntryCopy(1).showName), name.toStdString());
    EXPECT_EQ(window->size(), size);
    EXPECT_EQ(window->findChild<QSplitter*>()->sizes(), sizes);
    EXPECT_EQ(OpenProperty(0)->pos(), QPoint(140, 90));
    EXPECT_EQ(OpenAdd()->pos(), QPoint(60, 250));
}

}  // namespace
