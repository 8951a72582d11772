// The DVR tree with its selection and context menu, the delete command, and what the window
// still answers its threads at the end of the run.
#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include <atomic>
#include <filesystem>
#include <thread>

#include "core/ports/UiPort.h"
#include "core/support/FixedText.h"
#include "gui/dialogs/DVRProperty.h"
#include "gui/playback/NetPlayBack.h"
#include "gui/playback/NetPlayBackPort.h"
#include "gui/tree/OutlineViewCon.h"
#include "tests/gui/UiFixture.h"

namespace {

const QString kNonAscii = u"Tür Süd — 北門"_s;

class DvrTree : public UiTest {
  protected:
    // Three saved DVRs, the second with a name outside ASCII.
    void SetUp() override {
        WriteList({Entry("10.0.0.1:5000", "Gate"), Entry("10.0.0.2:5000", kNonAscii.toStdString()),
                   Entry("10.0.0.3:5000", "Yard")});
        StartApp();
    }
    QString Label() const { return window->dvrLabel()->text(); }
};

TEST_F(DvrTree, SavedDvrsLoadInListOrderShowTheSelectedNameAndAreNotRewrittenAtTheEnd) {
    const std::vector<unsigned char> bytes = ListBytes();
    const auto written = std::filesystem::last_write_time(ListPath());
    EXPECT_EQ(Titles(), (QStringList{u"Gate"_s, kNonAscii, u"Yard"_s}));
    EXPECT_EQ(vc->list().count(), 3);
    EXPECT_EQ(vc->CurrentDVR(), -1);  // nothing selected after loading
    Select(1);
    EXPECT_EQ(vc->CurrentDVR(), 1);
    EXPECT_EQ(vc->showAutoDisplay(), 0);
    EXPECT_TRUE(WaitUntil([&] { return Label() == kNonAscii; }));
    Select(2);
    EXPECT_EQ(vc->CurrentDVR(), 2);
    EXPECT_TRUE(WaitUntil([&] { return Label() == u"Yard"_s; }));
    Deselect();
    EXPECT_EQ(vc->CurrentDVR(), -1);
    EXPECT_EQ(vc->showAutoDisplay(), 1);
    EXPECT_TRUE(WaitUntil([&] { return Label() == u"ALL DVR"_s; }));
    EXPECT_EQ(vc->GetCurrentDVR(), -1);
    // With nothing selected, "Property" and "Delete" do nothing.
    BoxAnswerer answerer;
    ChooseFromMenu(0, u"Property"_s);
    ChooseFromMenu(0, u"Delete"_s);
    Pump(100ms);
    EXPECT_EQ(DVRProperty::Existing(), nullptr);
    EXPECT_TRUE(answerer.boxes().isEmpty());
    EXPECT_EQ(Titles().size(), 3);

    Select(1);
    window->close();
    EndApp();
    EXPECT_EQ(ListBytes(), bytes);
    EXPECT_EQ(std::filesystem::last_write_time(ListPath()), written);
}

TEST_F(DvrTree, ControlsCarryTheirFieldNamesAndReadableNames) {
    window->ShowWindowAddUser();
    Select(0);
    window->ShowWindowProperty();
    QStringList names{u"myOutlineView"_s, u"TextDvr"_s,   u"videoViewController"_s, u"ShowName"_s,
                      u"ButtonAll"_s,     u"ButtonFps"_s, u"ButtonQuality"_s};
    for (int k = 1; k <= 32; ++k) {
        names << u"Button%1"_s.arg(k);
    }
    for (const char* field : {"ip", "username", "password", "buttonSave", "buttonCancel"}) {
        names << QString::fromLatin1(field);  // in both dialogs
        EXPECT_EQ(window->findChildren<QWidget*>(names.last()).size(), 2) << field;
    }
    auto readable = [](QWidget* w) {
        return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name);
    };
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_FALSE(window->findChildren<QWidget*>(name).isEmpty());
        for (QWidget* w : window->findChildren<QWidget*>(name)) {  // the dialogs are children
            EXPECT_EQ(w->accessibleDescription(), name);
            EXPECT_FALSE(readable(w).isEmpty());
            EXPECT_NE(readable(w), name) << "a field name is not readable";
        }
    }
    // What a person reads stays the accessible name: a label's text, a button's title.
    DVRProperty* property = DVRProperty::Existing();
    EXPECT_EQ(readable(property->findChild<QWidget*>(u"buttonSave"_s)), u"Save"_s);
    EXPECT_EQ(readable(property->findChild<QWidget*>(u"Button7"_s)), u"7"_s);
    EXPECT_EQ(readable(window->dvrLabel()), u"ALL DVR"_s);
}

// The menu opens by mouse or keyboard; its commands act on the DVR selected before it opened.
TEST_F(DvrTree, TheMenuOffersItsCommandsByMouseOrKeyboardWithoutChangingTheSelection) {
    const std::pair<MenuBy, const char*> ways[] = {
        {MenuBy::RightClick, "right click on another row"},
        {MenuBy::MenuKey, "Menu key"},
        {MenuBy::ShiftF10, "Shift+F10"}};
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(ways[k].second);
        Select(k);
        const MenuSeen menu = ChooseFromMenu(2 - k, u"Property"_s, ways[k].first);
        EXPECT_EQ(menu.title, u"Contextual Menu"_s);
        EXPECT_EQ(menu.items, (QStringList{u"NewIP"_s, u"connectDVR"_s, u"NetPlayBack"_s,
                                           u"DisconnectDVR"_s, u"Delete"_s, u"Property"_s,
                                           QString(), u"Reconnect automatically"_s}));
        EXPECT_EQ(window->outlineView()->SelectedTopLevelRow(), k);
        EXPECT_EQ(vc->CurrentDVR(), k);
        DVRProperty* property = DVRProperty::Existing();
        ASSERT_NE(property, nullptr);
        EXPECT_TRUE(property->isVisible());
        EXPECT_EQ(property->currentDVR, k);
        EXPECT_EQ(property->ShowName->text(), Titles().value(k));
    }
}

TEST_F(DvrTree, TheHeadingFollowsARenameOfTheSelectedDvrAtOnceAndNoOtherDvrs) {
    Select(1);
    ASSERT_TRUE(WaitUntil([&] { return Label() == kNonAscii; }));
    const auto rename = [&](const QString& name) {
        window->ShowWindowProperty();
        DVRProperty* property = DVRProperty::Existing();
        ASSERT_NE(property, nullptr);
        property->ShowName->setText(name);
        property->buttonSave->click();
    };
    rename(u"<b>Hall</b> Ω"_s);
    EXPECT_TRUE(WaitUntil([&] { return Label() == u"<b>Hall</b> Ω"_s; }, 2s));
    EXPECT_EQ(window->dvrLabel()->textFormat(), Qt::PlainText);
    EXPECT_EQ(window->outlineView()->SelectedTopLevelRow(), 1);  // still selected, not re-chosen
    // Another DVR's new name leaves the heading alone; the all-DVR view keeps its own.
    Select(2);
    ASSERT_TRUE(WaitUntil([&] { return Label() == u"Yard"_s; }));
    vc->SavePropertyEntry(0, Entry("10.0.0.1:5000", "Gate North"));
    EXPECT_TRUE(WaitUntil([&] { return Titles().value(0) == u"Gate North"_s; }));
    EXPECT_EQ(Label(), u"Yard"_s);
    Deselect();
    ASSERT_TRUE(WaitUntil([&] { return Label() == u"ALL DVR"_s; }));
    vc->SavePropertyEntry(2, Entry("10.0.0.3:5000", "Yard East"));
    EXPECT_TRUE(WaitUntil([&] { return Titles().value(2) == u"Yard East"_s; }));
    Pump(50ms);
    EXPECT_EQ(Label(), u"ALL DVR"_s);
}

// The operator's choice per DVR, kept across runs outside the list file.
TEST_F(DvrTree, ReconnectAutomaticallyIsOnUntilTickedOffAndIsKeptPerDvr) {
    EXPECT_TRUE(window->uiPort().ReconnectAutomatically(1));
    Select(1);
    ChooseFromMenu(1, u"Reconnect automatically"_s);
    EXPECT_FALSE(window->uiPort().ReconnectAutomatically(1));
    EXPECT_TRUE(window->uiPort().ReconnectAutomatically(0));
    const std::vector<unsigned char> list = ListBytes();
    EndApp();
    StartApp();
    EXPECT_FALSE(window->uiPort().ReconnectAutomatically(1));
    EXPECT_EQ(ListBytes(), list);
    Select(1);
    ChooseFromMenu(1, u"Reconnect automatically"_s);
    EXPECT_TRUE(window->uiPort().ReconnectAutomatically(1));
}

TEST_F(DvrTree, DeleteAsksThenRemovesRenumbersAndSavesAndClosesTheWindowsOfEveryDvrThatMoves) {
    const std::vector<unsigned char> before = ListBytes();
    Select(2);
    window->ShowWindowProperty();
    DVRProperty* property = DVRProperty::Existing();
    ASSERT_TRUE(property->isVisible());
    auto playbackOf = [&](int dvr) {
        std::thread([&] { window->playbackPort()->Open(dvr, "dvr.example:9000", 4); }).join();
        EXPECT_TRUE(WaitUntil(
            [&] { return NetPlayBack::Existing() && NetPlayBack::Existing()->isVisible(); }));
        return NetPlayBack::Existing();
    };
    NetPlayBack* playback = playbackOf(2);

    BoxAnswerer answerer(u"Cancel"_s);
    Select(1);
    ChooseFromMenu(1, u"Delete"_s, MenuBy::ShiftF10);
    ASSERT_EQ(answerer.boxes().size(), 1);
    // A right click on another row selects nothing: the box names the DVR that would go.
    ChooseFromMenu(2, u"Delete"_s);
    ASSERT_EQ(answerer.boxes().size(), 2);
    EXPECT_EQ(Titles().size(), 3);
    EXPECT_EQ(vc->list().count(), 3);
    EXPECT_EQ(window->outlineView()->SelectedTopLevelRow(), 1);
    EXPECT_EQ(ListBytes(), before);

    answerer.setAnswer(u"OK"_s);
    ChooseFromMenu(1, u"Delete"_s);
    ASSERT_EQ(answerer.boxes().size(), 3);
    for (const BoxAnswerer::Box& asked : answerer.boxes()) {
        EXPECT_EQ(asked.text, u"Delete the server?"_s);
        EXPECT_EQ(asked.informative,
                  kNonAscii + u" (10.0.0.2:5000)\nDeleted server cannot be restored."_s);
        EXPECT_EQ(asked.buttons.size(), 2);
        EXPECT_TRUE(asked.buttons.contains(u"OK"_s) && asked.buttons.contains(u"Cancel"_s));
    }
    EXPECT_EQ(Titles(), (QStringList{u"Gate"_s, u"Yard"_s}));
    EXPECT_EQ(vc->list().count(), 2);
    EXPECT_EQ(window->outlineView()->SelectedTopLevelRow(), -1);
    EXPECT_EQ(vc->CurrentDVR(), -1);
    EXPECT_TRUE(WaitUntil([&] { return Label() == u"ALL DVR"_s; }));
    EXPECT_EQ(ListBytes().size(), 75264u);
    EXPECT_EQ(TextOf(EntryInFile(0).server), "10.0.0.1:5000");
    EXPECT_EQ(TextOf(EntryInFile(1).server), "10.0.0.3:5000");
    EXPECT_EQ(EntryInFile(2).isValue, 0);
    EXPECT_FALSE(property->isVisible());  // its DVR 2 became DVR 1
    EXPECT_FALSE(playback->isVisible());

    Select(0);
    window->ShowWindowProperty();
    ASSERT_TRUE(property->isVisible());
    playbackOf(0);
    Select(1);
    ChooseFromMenu(1, u"Delete"_s);  // DVR 0 keeps its number
    EXPECT_TRUE(property->isVisible());
    EXPECT_TRUE(playback->isVisible());
    EXPECT_EQ(playback->DVR, 0);
    EXPECT_EQ(property->currentDVR, 0);
    EXPECT_EQ(Titles(), QStringList{u"Gate"_s});

    // A name that looks like markup is shown as typed.
    vc->AddDVRNode("10.0.0.4:9000", "admin", "1234", "<b>Dock</b> 3 & co");
    Select(1);
    answerer.setAnswer(u"Cancel"_s);
    ChooseFromMenu(0, u"Delete"_s);
    ASSERT_EQ(answerer.boxes().size(), 5);
    EXPECT_EQ(answerer.boxes().last().informative,
              u"<b>Dock</b> 3 & co (10.0.0.4:9000)\nDeleted server cannot be restored."_s);
    EXPECT_TRUE(answerer.boxes().last().plain);
    EXPECT_EQ(Titles(), (QStringList{u"Gate"_s, u"<b>Dock</b> 3 & co"_s}));
}

// ---- The end of the run -----------------------------------------------------------------------

using EndOfRun = DvrTree;

TEST_F(EndOfRun, ClosingTheWindowReleasesAThreadWaitingInABoxAndLaterCallsReturnAtOnce) {
    UiPort& port = window->uiPort();
    std::atomic<bool> returned{false};
    QStringList shown;
    // The operator quits while a DVR thread waits for its box to be dismissed.
    QTimer::singleShot(300, window.get(), [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown = {box->text(), box->informativeText(),
                     box->textFormat() == Qt::PlainText ? u"plain"_s : u"markup"_s};
        }
        window->close();
    });
    std::thread worker([&] {
        port.MessageBox(std::string("<b>10.0.0.9:5000</b>"), "Failure conncecting to DVR");
        returned = true;
    });
    EXPECT_TRUE(WaitUntil([&] { return returned.load(); }, 5s));
    worker.join();
    // A server text is never markup.
    EXPECT_EQ(shown, (QStringList{u"<b>10.0.0.9:5000</b>"_s, u"Failure conncecting to DVR"_s,
                                  u"plain"_s}));

    // Nothing waits for the window any more, although nothing processes its events.
    BoxAnswerer answerer;
    bool confirmed = true;
    std::thread([&] {
        port.MessageBox(std::nullopt, "Net error");
        confirmed = port.Confirm("Delete the server?", "Deleted server cannot be restored.");
        port.AppendNode("late");
        port.SetNodeTitle(0, "connecting");
    }).join();
    EXPECT_FALSE(confirmed);
    Pump(100ms);
    EXPECT_TRUE(answerer.boxes().isEmpty());
    EXPECT_EQ(Titles(), (QStringList{u"Gate"_s, kNonAscii, u"Yard"_s}));
}

TEST_F(EndOfRun, StopReleasesAThreadWhoseBoxWasNeverShown) {
    UiPort& port = window->uiPort();
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        port.MessageBox(std::string("10.0.0.1:5000"), "Too many users!");
        returned = true;
    });
    std::this_thread::sleep_for(200ms);  // queued, and the GUI thread is busy elsewhere
    EXPECT_FALSE(returned.load());
    window->Stop();
    worker.join();
    BoxAnswerer answerer;
    Pump(100ms);
    EXPECT_TRUE(answerer.boxes().isEmpty());
}

}  // namespace
