// The main window's start-up, the DVR tree with its selection, icons and context menu, the
// delete command, and the end of the run.
#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>

#include <atomic>
#include <filesystem>
#include <thread>

#include "core/ports/UiPort.h"
#include "core/support/FixedText.h"
#include "gui/dialogs/AddUserNswindowController.h"
#include "gui/dialogs/DVRProperty.h"
#include "gui/tree/DvrTreeModel.h"
#include "gui/tree/ImageAndTextCell.h"
#include "gui/tree/OutlineViewCon.h"
#include "tests/gui/UiFixture.h"
#include "tests/support/StreamPeer.h"

namespace {

using namespace std::chrono_literals;

const QString kNonAscii = QString::fromUtf8("Tür Süd — 北門");

class DvrTree : public UiTest {
  protected:
    // Three saved DVRs, the second with a name outside ASCII.
    void startWithThree() {
        writeList({Entry("10.0.0.1:5000", "Gate"), Entry("10.0.0.2:5000", kNonAscii.toStdString()),
                   Entry("10.0.0.3:5000", "Yard")});
        startApp();
    }
    QString label() const { return window->dvrLabel()->text(); }

    QString tooltipOf(int row) const {
        const DvrTreeModel* model = window->treeModel();
        return model->data(model->index(row, 0), Qt::ToolTipRole).toString();
    }
};

TEST_F(DvrTree, FirstRunWithoutAListShowsAnEmptyTreeAndWritesNothing) {
    startApp();
    EXPECT_TRUE(titles().isEmpty());
    EXPECT_EQ(vc->list().count(), 0);
    EXPECT_EQ(vc->CurrentDVR(), -1);
    EXPECT_EQ(vc->showAutoDisplay(), 0);
    EXPECT_TRUE(window->statusTimer().isActive());
    EXPECT_EQ(window->statusTimer().interval(), 1000);
    select(0);  // nothing to select: connect finds no DVR
    chooseFromMenu(0, QStringLiteral("connectDVR"));
    EXPECT_EQ(vc->GetNetCtrlStruct(0).init.load(), 0);
    endApp();
    EXPECT_FALSE(std::filesystem::exists(home_.path() + "/userinfo"));
}

TEST_F(DvrTree, SavedDvrsLoadInListOrderWithTheirDisplayNames) {
    startWithThree();
    EXPECT_EQ(titles(), (QStringList{QStringLiteral("Gate"), kNonAscii, QStringLiteral("Yard")}));
    EXPECT_EQ(vc->list().count(), 3);
    EXPECT_EQ(vc->CurrentDVR(), -1);  // nothing selected after loading
}

TEST_F(DvrTree, ControlsCarryTheirFieldNamesAndReadableNames) {
    startWithThree();
    window->ShowWindowAddUser();
    select(0);
    window->ShowWindowProperty();
    QStringList names{QStringLiteral("myOutlineView"),       QStringLiteral("TextDvr"),
                      QStringLiteral("videoViewController"), QStringLiteral("ShowName"),
                      QStringLiteral("ButtonAll"),           QStringLiteral("ButtonFps"),
                      QStringLiteral("ButtonQuality")};
    for (int k = 1; k <= 32; ++k) {
        names << QStringLiteral("Button%1").arg(k);
    }
    for (QWidget* dialog :
         QList<QWidget*>{AddUserNswindowController::existing(), DVRProperty::existing()}) {
        for (const char* field : {"ip", "username", "password", "buttonSave", "buttonCancel"}) {
            names << QString::fromLatin1(field);
            ASSERT_NE(dialog->findChild<QWidget*>(QString::fromLatin1(field)), nullptr) << field;
        }
    }
    for (const QString& name : names) {
        for (QWidget* w : window->findChildren<QWidget*>(name)) {  // the dialogs are children
            EXPECT_EQ(w->accessibleDescription(), name);
            const QString readable =
                QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name);
            EXPECT_FALSE(readable.isEmpty()) << name.toStdString();
            EXPECT_NE(readable, name) << "a field name is not readable";
        }
        EXPECT_FALSE(window->findChildren<QWidget*>(name).isEmpty()) << name.toStdString();
    }
    // What a person reads stays the accessible name: a label's text, a button's title.
    auto nameOf = [&](const QString& field) {
        return QAccessible::queryAccessibleInterface(
                   DVRProperty::existing()->findChild<QWidget*>(field))
            ->text(QAccessible::Name);
    };
    EXPECT_EQ(nameOf(QStringLiteral("buttonSave")), QStringLiteral("Save"));
    EXPECT_EQ(nameOf(QStringLiteral("Button7")), QStringLiteral("7"));
    EXPECT_EQ(QAccessible::queryAccessibleInterface(window->dvrLabel())->text(QAccessible::Name),
              QStringLiteral("ALL DVR"));
}

TEST_F(DvrTree, SelectingADvrShowsItsNameAndDeselectingShowsAllDvr) {
    startWithThree();
    select(1);
    EXPECT_EQ(vc->CurrentDVR(), 1);
    EXPECT_EQ(vc->showAutoDisplay(), 0);
    EXPECT_TRUE(WaitUntil([&] { return label() == kNonAscii; }));
    select(2);
    EXPECT_EQ(vc->CurrentDVR(), 2);
    EXPECT_TRUE(WaitUntil([&] { return label() == QStringLiteral("Yard"); }));
    deselect();
    EXPECT_EQ(vc->CurrentDVR(), -1);
    EXPECT_EQ(vc->showAutoDisplay(), 1);
    EXPECT_TRUE(WaitUntil([&] { return label() == QStringLiteral("ALL DVR"); }));
    EXPECT_EQ(vc->GetCurrentDVR(), -1);
    // With nothing selected, "Property" and "Delete" do nothing.
    BoxAnswerer answerer;
    chooseFromMenu(0, QStringLiteral("Property"));
    chooseFromMenu(0, QStringLiteral("Delete"));
    Pump(100ms);
    EXPECT_EQ(DVRProperty::existing(), nullptr);
    EXPECT_TRUE(answerer.boxes().isEmpty());
    EXPECT_EQ(titles().size(), 3);
}

TEST_F(DvrTree, RightClickShowsTheSixCommandsWithoutChangingTheSelection) {
    startWithThree();
    select(0);
    const MenuSeen menu = chooseFromMenu(2, QStringLiteral("Property"));
    EXPECT_EQ(menu.title, QStringLiteral("Contextual Menu"));
    EXPECT_EQ(menu.items,
              (QStringList{QStringLiteral("NewIP"), QStringLiteral("connectDVR"),
                           QStringLiteral("NetPlayBack"), QStringLiteral("DisconnectDVR"),
                           QStringLiteral("Delete"), QStringLiteral("Property")}));
    EXPECT_EQ(menu.enabled, (QList<bool>{true, true, true, true, true, true}));
    EXPECT_FALSE(menu.anyShortcut);
    EXPECT_EQ(window->outlineView()->selectedTopLevelRow(), 0);
    EXPECT_EQ(vc->CurrentDVR(), 0);
    // "Property" acts on the DVR selected before the click, not on the row clicked.
    DVRProperty* property = DVRProperty::existing();
    ASSERT_NE(property, nullptr);
    EXPECT_TRUE(property->isVisible());
    EXPECT_EQ(property->currentDVR, 0);
    EXPECT_EQ(property->ShowName->text(), QStringLiteral("Gate"));
}

TEST_F(DvrTree, TheMenuKeyAndShiftF10OpenTheMenuToo) {
    startWithThree();
    select(1);
    EXPECT_EQ(chooseFromMenuByKeyboard(QStringLiteral("NewIP"), false).items.size(), 6);
    ASSERT_NE(AddUserNswindowController::existing(), nullptr);
    EXPECT_TRUE(AddUserNswindowController::existing()->isVisible());
    AddUserNswindowController::existing()->doSomethingForButtonCancel();

    EXPECT_EQ(chooseFromMenuByKeyboard(QStringLiteral("Property"), true).items.size(), 6);
    ASSERT_NE(DVRProperty::existing(), nullptr);
    EXPECT_EQ(DVRProperty::existing()->currentDVR, 1);
    EXPECT_EQ(window->outlineView()->selectedTopLevelRow(), 1);
}

TEST_F(DvrTree, DeleteAnsweredOkRemovesTheDvrRenumbersTheListAndSavesIt) {
    startWithThree();
    BoxAnswerer answerer(QStringLiteral("OK"));
    select(0);
    chooseFromMenu(0, QStringLiteral("Delete"));
    ASSERT_EQ(answerer.boxes().size(), 1);
    const BoxAnswerer::Box& box = answerer.boxes().first();
    EXPECT_EQ(box.text, QStringLiteral("Delete the server?"));
    EXPECT_EQ(box.informative, QStringLiteral("Deleted server cannot be restored."));
    EXPECT_TRUE(box.buttons.contains(QStringLiteral("OK")));
    EXPECT_TRUE(box.buttons.contains(QStringLiteral("Cancel")));
    EXPECT_EQ(box.buttons.size(), 2);

    EXPECT_EQ(titles(), (QStringList{kNonAscii, QStringLiteral("Yard")}));
    EXPECT_EQ(vc->list().count(), 2);
    EXPECT_EQ(window->outlineView()->selectedTopLevelRow(), -1);
    EXPECT_EQ(vc->CurrentDVR(), -1);
    EXPECT_TRUE(WaitUntil([&] { return label() == QStringLiteral("ALL DVR"); }));
    EXPECT_EQ(listBytes().size(), 75264u);
    EXPECT_EQ(TextOf(entryInFile(0).server), "10.0.0.2:5000");
    EXPECT_EQ(TextOf(entryInFile(1).server), "10.0.0.3:5000");
    EXPECT_EQ(entryInFile(2).isValue, 0);
}

TEST_F(DvrTree, DeleteAnsweredCancelChangesNothing) {
    startWithThree();
    const std::vector<unsigned char> before = listBytes();
    BoxAnswerer answerer(QStringLiteral("Cancel"));
    select(1);
    chooseFromMenuByKeyboard(QStringLiteral("Delete"), true);
    ASSERT_EQ(answerer.boxes().size(), 1);
    EXPECT_EQ(titles().size(), 3);
    EXPECT_EQ(vc->list().count(), 3);
    EXPECT_EQ(window->outlineView()->selectedTopLevelRow(), 1);
    EXPECT_EQ(listBytes(), before);
}

TEST_F(DvrTree, DeletingADvrClosesThePropertyDialogOfEveryDvrThatMoves) {
    startWithThree();
    BoxAnswerer answerer(QStringLiteral("OK"));
    select(2);
    window->ShowWindowProperty();
    DVRProperty* property = DVRProperty::existing();
    ASSERT_TRUE(property->isVisible());
    select(1);
    chooseFromMenu(1, QStringLiteral("Delete"));  // DVR 2 becomes DVR 1
    EXPECT_FALSE(property->isVisible());

    select(0);
    window->ShowWindowProperty();
    ASSERT_TRUE(property->isVisible());
    select(1);
    chooseFromMenu(1, QStringLiteral("Delete"));  // DVR 0 keeps its number
    EXPECT_TRUE(property->isVisible());
    EXPECT_EQ(property->currentDVR, 0);
    EXPECT_EQ(titles(), QStringList{QStringLiteral("Gate")});
}

TEST_F(DvrTree, IconsShowWhetherAndAsWhomEachDvrIsLoggedIn) {
    startWithThree();
    const NodeIcons& icons = window->icons();
    // Three different pictures.
    EXPECT_NE(icons.folderImage.pixmap.toImage(), icons.SuperImage.pixmap.toImage());
    EXPECT_NE(icons.folderImage.pixmap.toImage(), icons.UserImage.pixmap.toImage());
    EXPECT_NE(icons.SuperImage.pixmap.toImage(), icons.UserImage.pixmap.toImage());

    vc->GetNetCtrlStruct(1).iUsermode.store(2);
    StreamPeer super(vc->GetNetCtrlStruct(1));  // logged in as the superuser, streaming
    vc->GetNetCtrlStruct(2).iUsermode.store(1);
    StreamPeer user(vc->GetNetCtrlStruct(2));
    vc->GetNetCtrlStruct(2).SetLiveStatus(NET_CONNECTED);
    EXPECT_TRUE(rowShows(0, icons.folderImage));
    EXPECT_TRUE(rowShows(1, icons.SuperImage));
    EXPECT_TRUE(rowShows(2, icons.UserImage));
    EXPECT_FALSE(rowShows(1, icons.folderImage));
    EXPECT_EQ(tooltipOf(0), QStringLiteral("user.tiff"));
    EXPECT_EQ(tooltipOf(1), QStringLiteral("usersupper.bmp"));
    EXPECT_EQ(tooltipOf(2), QStringLiteral("userpop.bmp"));

    // Logged out again: the node goes back to the disconnected icon when it is next drawn.
    vc->GetNetCtrlStruct(1).Disconnect();
    window->uiPort().reloadTree();
    EXPECT_TRUE(WaitUntil([&] { return rowShows(1, icons.folderImage); }));
    EXPECT_EQ(tooltipOf(1), QStringLiteral("user.tiff"));
}

TEST_F(DvrTree, TheStatusTimerReportsALostConnectionOnceHeadedByTheServerText) {
    startWithThree();
    BoxAnswerer answerer;
    StreamPeer dvr(vc->GetNetCtrlStruct(2));
    vc->CloseSocket(vc->GetNetCtrlStruct(2));  // the working connection broke
    ASSERT_TRUE(WaitUntil([&] { return !answerer.boxes().isEmpty(); }, 3s));
    EXPECT_EQ(answerer.boxes().first().text, QStringLiteral("10.0.0.3:5000"));
    EXPECT_EQ(answerer.boxes().first().informative, QStringLiteral("Net error"));
    EXPECT_EQ(answerer.boxes().first().buttons.size(), 1);
    Pump(2500ms);
    EXPECT_EQ(answerer.boxes().size(), 1);
    EXPECT_TRUE(rowShows(2, window->icons().folderImage));
}

// ---- The end of the run -----------------------------------------------------------------------

using EndOfRun = DvrTree;

TEST_F(EndOfRun, ClosingTheWindowReleasesAThreadWaitingInABoxAndLaterCallsReturnAtOnce) {
    startWithThree();
    UiPort& port = window->uiPort();
    std::atomic<bool> returned{false};
    QString shownText;
    QString shownInformative;
    Qt::TextFormat shownFormat = Qt::AutoText;
    // The operator quits while a DVR thread waits for its box to be dismissed.
    QTimer::singleShot(300, window.get(), [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shownText = box->text();
            shownInformative = box->informativeText();
            shownFormat = box->textFormat();
        }
        window->close();
    });
    std::thread worker([&] {
        port.messageBox(std::string("<b>10.0.0.9:5000</b>"), "Failure conncecting to DVR");
        returned = true;
    });
    EXPECT_TRUE(WaitUntil([&] { return returned.load(); }, 5s));
    worker.join();
    EXPECT_EQ(shownText, QStringLiteral("<b>10.0.0.9:5000</b>"));
    EXPECT_EQ(shownFormat, Qt::PlainText);  // a server text is never markup
    EXPECT_EQ(shownInformative, QStringLiteral("Failure conncecting to DVR"));

    // Nothing waits for the window any more, although nothing processes its events.
    BoxAnswerer answerer;
    bool confirmed = true;
    std::thread late([&] {
        port.messageBox(std::nullopt, "Net error");
        confirmed = port.confirm("Delete the server?", "Deleted server cannot be restored.");
        port.appendNode("late");
        port.setNodeTitle(0, "connecting");
    });
    late.join();
    EXPECT_FALSE(confirmed);
    Pump(100ms);
    EXPECT_TRUE(answerer.boxes().isEmpty());
    EXPECT_EQ(titles().size(), 3);
    EXPECT_EQ(titles().first(), QStringLiteral("Gate"));
}

TEST_F(EndOfRun, StopReleasesAThreadWhoseBoxWasNeverShown) {
    startWithThree();
    UiPort& port = window->uiPort();
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        port.messageBox(std::string("10.0.0.1:5000"), "Too many users!");
        returned = true;
    });
    std::this_thread::sleep_for(200ms);  // queued, and the GUI thread is busy elsewhere
    EXPECT_FALSE(returned.load());
    window->stop();
    worker.join();
    EXPECT_TRUE(returned.load());
    BoxAnswerer answerer;
    Pump(100ms);
    EXPECT_TRUE(answerer.boxes().isEmpty());
}

}  // namespace
