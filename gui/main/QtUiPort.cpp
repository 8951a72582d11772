#include "gui/main/QtUiPort.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>

#include "core/ViewController.h"
#include "core/support/Log.h"
#include "gui/dialogs/DVRProperty.h"
#include "gui/support/QtText.h"
#include "gui/tree/DvrTreeModel.h"
#include "gui/tree/OutlineViewCon.h"

QtUiPort::QtUiPort(QWidget& window, DvrTreeModel& model, OutlineViewCon& view, QLabel& dvrLabel)
    : window_(&window), model_(&model), view_(&view), dvrLabel_(&dvrLabel) {
    connect(this, &QtUiPort::workQueued, this, &QtUiPort::runQueuedWork, Qt::QueuedConnection);
}

QtUiPort::~QtUiPort() {
    releaseWaitingThreads();
}

bool QtUiPort::onGuiThread() const {
    return QThread::currentThread() == thread();
}

bool QtUiPort::isClosing() const {
    std::lock_guard<std::mutex> g(gate_);
    return closing_;
}

bool QtUiPort::runOnGuiThreadAndWait(const std::function<void()>& fn) {
    if (onGuiThread()) {
        fn();
        return true;
    }
    bool ran = false;
    bool finished = false;
    std::unique_lock<std::mutex> g(gate_);
    if (closing_) {
        return false;
    }
    ++waiting_;
    queue_.push_back(Work{[&fn, &ran] {
                              fn();
                              ran = true;
                          },
                          &finished});
    g.unlock();
    Q_EMIT workQueued();
    g.lock();
    while (!finished) {
        workDone_.wait(g);
    }
    --waiting_;
    workDone_.notify_all();
    return ran;
}

void QtUiPort::post(std::function<void()> fn) {
    {
        std::lock_guard<std::mutex> g(gate_);
        if (closing_) {
            return;
        }
        queue_.push_back(Work{std::move(fn), nullptr});
    }
    Q_EMIT workQueued();
}

void QtUiPort::runQueuedWork() {
    for (;;) {
        Work work;
        {
            std::lock_guard<std::mutex> g(gate_);
            if (queue_.empty()) {
                return;
            }
            work = std::move(queue_.front());
            queue_.pop_front();
        }
        // Work may open a box, whose event loop runs this again for later work: each caller
        // waits for its own work, not for the queue.
        work.fn();
        std::lock_guard<std::mutex> g(gate_);
        if (work.finished) {
            *work.finished = true;
            workDone_.notify_all();
        }
    }
}

void QtUiPort::beginClosing() {
    {
        std::lock_guard<std::mutex> g(gate_);
        closing_ = true;
        // Dropped work releases its caller at once.
        for (Work& work : queue_) {
            if (work.finished) {
                *work.finished = true;
            }
        }
        queue_.clear();
        workDone_.notify_all();
    }
    // A box another thread waits for must not keep that thread from being joined.
    for (const QPointer<QMessageBox>& box : std::as_const(openBoxes_)) {
        if (box) {
            box->done(QMessageBox::Cancel);
        }
    }
}

void QtUiPort::releaseWaitingThreads() {
    beginClosing();
    std::unique_lock<std::mutex> g(gate_);
    while (waiting_ > 0) {
        workDone_.wait(g);
    }
}

// ---- Boxes ----------------------------------------------------------------------------------

int QtUiPort::runBox(QMessageBox& box) {
    if (isClosing()) {
        return QMessageBox::Cancel;
    }
    openBoxes_.append(QPointer<QMessageBox>(&box));
    const int result = box.exec();
    openBoxes_.removeAll(QPointer<QMessageBox>(&box));
    openBoxes_.removeAll(QPointer<QMessageBox>());
    return result;
}

void QtUiPort::showBox(const std::optional<std::string>& heading, const std::string& text) {
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
    runBox(box);
}

bool QtUiPort::askOkCancel(const std::string& message, const std::string& informative) {
    QMessageBox box(window_);
    box.setObjectName(QStringLiteral("confirmBox"));
    box.setIcon(QMessageBox::Warning);
    box.setWindowTitle(QStringLiteral("Quillmarsh"));
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromUtf8(message));
    box.setInformativeText(QString::fromUtf8(informative));
    QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(cancel);
    runBox(box);
    return box.clickedButton() == ok;
}

// ---- UiPort ---------------------------------------------------------------------------------

void QtUiPort::messageBox(const std::optional<std::string>& heading, const std::string& text) {
    runOnGuiThreadAndWait([&] { showBox(heading, text); });
}

bool QtUiPort::confirm(const std::string& message, const std::string& informative) {
    bool answer = false;
    runOnGuiThreadAndWait([&] { answer = askOkCancel(message, informative); });
    return answer;
}

void QtUiPort::appendNode(const std::string& title) {
    runOnGuiThreadAndWait([&] {
        if (model_) {
            model_->performAddDVRNode(TreeAdditionObj(QString(), QString::fromUtf8(title), false));
        }
    });
}

// The posted work reads the widget pointers on the GUI thread, where they may be cleared.
void QtUiPort::setNodeTitle(int dvr, const std::string& title) {
    post([this, dvr, text = QString::fromUtf8(title)] {
        if (model_) {
            model_->setNodeTitle(dvr, text);
        }
    });
}

void QtUiPort::reloadTree() {
    post([this] {
        if (view_) {
            view_->viewport()->update();
        }
    });
}

void QtUiPort::setDvrLabel(const std::string& text) {
    post([this, text = QString::fromUtf8(text)] {
        if (dvrLabel_) {
            dvrLabel_->setText(text);
        }
    });
}

void QtUiPort::removeNode(int index) {
    if (!onGuiThread()) {
        QLog("removeNode called off the GUI thread; ignored");
        return;
    }
    // An open property dialog for this DVR or a later one would now edit the wrong slot.
    if (DVRProperty* dialog = DVRProperty::existing();
        dialog && dialog->isVisible() && dialog->currentDVR >= index) {
        dialog->doSomethingForButtonCancel();
    }
    // The delete command deselects and lets the controller react after the entries moved.
    if (view_) {
        view_->setSelectionReactionEnabled(false);
    }
    if (model_) {
        model_->removeNode(index);
    }
    if (view_) {
        view_->setSelectionReactionEnabled(true);
    }
}

int QtUiPort::selectedDvr() {
    if (!onGuiThread()) {
        QLog("selectedDvr called off the GUI thread");
        return -1;
    }
    return view_ ? view_->selectedTopLevelRow() : -1;
}

void QtUiPort::clearSelection() {
    if (!onGuiThread()) {
        QLog("clearSelection called off the GUI thread; ignored");
        return;
    }
    if (!view_) {
        return;
    }
    if (view_->selectionModel() && view_->selectionModel()->hasSelection()) {
        view_->clearSelection();  // the view tells the controller
    } else if (ViewController* vc = view_->viewcontroller()) {
        vc->outlineViewSelectionDidChange();  // already empty: the reaction still runs
    }
}
