#include "gui/main/QtUiPort.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include "core/ViewController.h"
#include "core/support/FixedText.h"
#include "core/support/Log.h"
#include "gui/dialogs/DVRProperty.h"
#include "gui/playback/NetPlayBack.h"
#include "gui/support/CoreContext.h"
#include "gui/support/GuiDispatcher.h"
#include "gui/support/QtText.h"
#include "gui/tree/DvrTreeModel.h"
#include "gui/tree/OutlineViewCon.h"
#include "gui/tree/ReconnectSetting.h"

QtUiPort::QtUiPort(GuiDispatcher& dispatcher, QWidget& window, DvrTreeModel& model,
                   OutlineViewCon& view, QLabel& dvrLabel)
    : window_(&window),
      model_(&model),
      view_(&view),
      dvrLabel_(&dvrLabel),
      dispatcher_(dispatcher) {}

QtUiPort::~QtUiPort() {
    ReleaseWaitingThreads();
}

bool QtUiPort::isClosing() const {
    return dispatcher_.isClosing();
}

void QtUiPort::BeginClosing() {
    dispatcher_.BeginClosing();
    // A box another thread waits for must not keep that thread from being joined.
    for (const QPointer<QMessageBox>& box : std::as_const(openBoxes_)) {
        if (box) {
            box->done(QMessageBox::Cancel);
        }
    }
}

void QtUiPort::ReleaseWaitingThreads() {
    BeginClosing();
    dispatcher_.ReleaseWaitingThreads();
}

// ---- Boxes ----------------------------------------------------------------------------------

int QtUiPort::RunBox(QMessageBox& box) {
    if (isClosing()) {
        return QMessageBox::Cancel;
    }
    openBoxes_.append(QPointer<QMessageBox>(&box));
    const int result = box.exec();
    openBoxes_.removeAll(QPointer<QMessageBox>(&box));
    openBoxes_.removeAll(QPointer<QMessageBox>());
    return result;
}

void QtUiPort::ShowBox(const std::optional<std::string>& heading, const std::string& text) {
    QMessageBox box(window_);
    box.setObjectName(QStringLiteral("messageBox"));
    box.setIcon(QMessageBox::Warning);
    box.setWindowTitle(QStringLiteral("Quillmarsh"));
    // The heading is the DVR's server text as saved: shown verbatim, never as markup.
    box.setTextFormat(Qt::PlainText);
    if (heading) {
        box.setText(QStringFromBytes(*heading));
    }
    box.setInformativeText(QString::fromUtf8(text));
    if (auto* informative = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))) {
        informative->setTextFormat(Qt::PlainText);
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    RunBox(box);
}

bool QtUiPort::AskOkCancel(const std::string& message, const std::string& informative) {
    QMessageBox box(window_);
    box.setObjectName(QStringLiteral("confirmBox"));
    box.setIcon(QMessageBox::Warning);
    box.setWindowTitle(QStringLiteral("Quillmarsh"));
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromUtf8(message));
    // It may name a DVR: its name and server are shown verbatim, never as markup.
    box.setInformativeText(QString::fromUtf8(informative));
    if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))) {
        label->setTextFormat(Qt::PlainText);
    }
    QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(cancel);
    RunBox(box);
    return box.clickedButton() == ok;
}

// ---- UiPort ---------------------------------------------------------------------------------

void QtUiPort::MessageBox(const std::optional<std::string>& heading, const std::string& text) {
    dispatcher_.RunAndWait([&] { ShowBox(heading, text); });
}

// Posted: the caller (the status timer's tick) returns first, and its timer keeps ticking while
// the box's own loop runs, which it would not do for a tick still running.
void QtUiPort::MessageBoxLater(const std::optional<std::string>& heading, const std::string& text,
                               std::function<void()> closed) {
    dispatcher_.Post([this, heading, text, closed = std::move(closed)] {
        ShowBox(heading, text);
        if (closed) {
            closed();
        }
    });
}

bool QtUiPort::Confirm(const std::string& message, const std::string& informative) {
    bool answer = false;
    dispatcher_.RunAndWait([&] { answer = AskOkCancel(message, informative); });
    return answer;
}

void QtUiPort::AppendNode(const std::string& title) {
    dispatcher_.RunAndWait([&] {
        if (model_) {
            model_->performAddDVRNode(TreeAdditionObj(QString(), QString::fromUtf8(title), false));
        }
    });
}

// The posted work reads the widget pointers on the GUI thread, where they may be cleared.
void QtUiPort::SetNodeTitle(int dvr, const std::string& title) {
    dispatcher_.Post([this, dvr, text = QString::fromUtf8(title)] {
        if (model_) {
            model_->SetNodeTitle(dvr, text);
        }
        // The label above the tree names the selected DVR as saved (a countdown is the node's
        // only): a rename shows there at once, not at the next selection.
        ViewController* vc = view_ ? view_->context().controller() : nullptr;
        if (vc && dvrLabel_ && view_->SelectedTopLevelRow() == dvr) {
            dvrLabel_->setText(QString::fromUtf8(TextOf(vc->EntryCopy(dvr).showName)));
        }
    });
}

void QtUiPort::ReloadTree() {
    dispatcher_.Post([this] {
        if (view_) {
            view_->viewport()->update();
        }
    });
}

void QtUiPort::SetDvrLabel(const std::string& text) {
    dispatcher_.Post([this, text = QString::fromUtf8(text)] {
        if (dvrLabel_) {
            dvrLabel_->setText(text);
        }
    });
}

bool QtUiPort::ReconnectAutomatically(int dvr) {
    ViewController* vc = view_ ? view_->context().controller() : nullptr;
    return !vc || ::ReconnectAutomatically(std::string(TextOf(vc->EntryCopy(dvr).server)));
}

void QtUiPort::RemoveNode(int index) {
    if (!dispatcher_.onGuiThread()) {
        QLog("RemoveNode called off the GUI thread; ignored");
        return;
    }
    // An open property dialog for this DVR or a later one would now edit the wrong slot.
    if (DVRProperty* dialog = DVRProperty::Existing();
        dialog && dialog->isVisible() && dialog->currentDVR >= index) {
        dialog->doSomethingForButtonCancel();
    }
    // So would the playback window: its session ends with the DVR's connection.
    if (NetPlayBack* playback = NetPlayBack::Existing(); playback && playback->DVR >= index) {
        playback->EndSession();
    }
    // The delete command deselects and lets the controller react after the entries moved.
    if (view_) {
        view_->setSelectionReactionEnabled(false);
    }
    if (model_) {
        model_->RemoveNode(index);
    }
    if (view_) {
        view_->setSelectionReactionEnabled(true);
    }
}

int QtUiPort::SelectedDvr() {
    if (!dispatcher_.onGuiThread()) {
        QLog("SelectedDvr called off the GUI thread");
        return -1;
    }
    return view_ ? view_->SelectedTopLevelRow() : -1;
}

void QtUiPort::ClearSelection() {
    if (!dispatcher_.onGuiThread()) {
        QLog("ClearSelection called off the GUI thread; ignored");
        return;
    }
    if (!view_) {
        return;
    }
    if (view_->selectionModel() && view_->selectionModel()->hasSelection()) {
        view_->clearSelection();  // the view tells the controller
    } else if (ViewController* vc = view_->context().controller()) {
        vc->outlineViewSelectionDidChange();  // already empty: the reaction still runs
    }
}
