#include "tests/gui/UiFixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QContextMenuEvent>
#include <QEventLoop>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QSettings>

#include <fstream>
#include <iterator>

#include "core/directory/UserListFile.h"
#include "gui/main/VideoView.h"
#include "gui/tree/DvrTreeModel.h"
#include "gui/tree/ImageAndTextCell.h"
#include "gui/tree/OutlineViewCon.h"

using Clock = std::chrono::steady_clock;

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > end) {
            return false;
        }
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

void Pump(std::chrono::milliseconds time) {
    WaitUntil([] { return false; }, time);
}

BoxAnswerer::BoxAnswerer(const QString& answer) : answer_(answer) {
    // Boxes run their own event loop, in which this timer keeps firing.
    connect(&timer_, &QTimer::timeout, this, [this] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) {
            return;
        }
        Box seen{box->text(), box->informativeText(), {}, box->textFormat() == Qt::PlainText};
        for (auto* label : box->findChildren<QLabel*>()) {
            if (!label->text().isEmpty() && label->textFormat() != Qt::PlainText) {
                seen.plain = false;
            }
        }
        QAbstractButton* chosen = box->buttons().value(0);
        for (QAbstractButton* b : box->buttons()) {
            seen.buttons.append(b->text());
            chosen = b->text() == answer_ ? b : chosen;
        }
        boxes_.append(seen);
        if (chosen) {
            chosen->click();
        }
    });
    timer_.start(20);
}

UiTest::UiTest() {
    if (const char* home = std::getenv("HOME")) {
        oldHome_ = home;
    }
    // The controller finds its list under HOME: never the real one.
    ::setenv("HOME", home_.path().c_str(), 1);
    // Qt finds the settings folder once a process: each test gets its own.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString(home_.File(".config")));
}

UiTest::~UiTest() {
    EndApp();
    if (oldHome_) {
        ::setenv("HOME", oldHome_->c_str(), 1);
    } else {
        ::unsetenv("HOME");
    }
}

void UiTest::StartApp(const std::string& listFile) {
    window = std::make_unique<MainWindow>();
    vc = std::make_unique<ViewController>(window->uiPort());
    if (!listFile.empty()) {
        vc->list().SetFilePath(listFile);
    }
    window->Start(*vc);
    window->show();
    // Shown means on the screen: the video surface is a window of its own, mapped a moment later.
    WaitUntil(
        [&] { return window->isVisible() && window->videoView()->surfaceWindow()->isExposed(); });
}

void UiTest::EndApp() {
    if (window) {
        window->Stop();
    }
    vc.reset();
    window.reset();
}

void UiTest::WriteList(const std::vector<SAVE_INFO_STRUCT>& entries) const {
    auto image = std::make_unique<UserListImage>();
    std::copy(entries.begin(), entries.end(), image->entries);
    std::fill(std::begin(image->codes), std::end(image->codes), -1);  // no pane assigned
    ASSERT_TRUE(WriteUserList(ListPath(), *image));
}

std::vector<unsigned char> UiTest::ListBytes() const {
    std::ifstream in(ListPath(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

SAVE_INFO_STRUCT UiTest::EntryInFile(int i) const {
    auto image = std::make_unique<UserListImage>();
    ReadUserList(ListPath(), *image);
    return image->entries[i];
}

QStringList UiTest::Titles() const {
    QStringList out;
    const DvrTreeModel* model = window->treeModel();
    for (int r = 0; r < model->rowCount(); ++r) {
        out.append(model->data(model->index(r, 0)).toString());
    }
    return out;
}

bool UiTest::RowShows(int row, const NodeImage& icon) const {
    OutlineViewCon* view = window->outlineView();
    const QRect cell = view->visualRect(window->treeModel()->index(row, 0));
    const QImage shot = view->viewport()->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    const QImage want = icon.pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    const QPoint at = ImageAndTextCell::ImageRect(cell).topLeft();
    int compared = 0;
    for (int y = 0; y < want.height(); ++y) {
        for (int x = 0; x < want.width(); ++x) {
            if (qAlpha(want.pixel(x, y)) == 255) {
                ++compared;
                if (shot.pixel(at.x() + x, at.y() + y) != want.pixel(x, y)) {
                    return false;
                }
            }
        }
    }
    return compared > 20;
}

QString UiTest::IconShown(int row) const {
    window->outlineView()->viewport()->grab();  // drawing a row chooses its icon
    const DvrTreeModel* model = window->treeModel();
    return model->data(model->index(row, 0), Qt::ToolTipRole).toString();
}

void UiTest::Select(int row) {
    window->outlineView()->setCurrentIndex(window->treeModel()->index(row, 0));
}

void UiTest::Deselect() {
    window->outlineView()->clearSelection();
}

MenuSeen UiTest::ChooseFromMenu(int row, const QString& item, MenuBy by) {
    OutlineViewCon* view = window->outlineView();
    if (by == MenuBy::RightClick) {
        const QPoint at = view->visualRect(window->treeModel()->index(row, 0)).center();
        // What the window system delivers for a right click: press, release, then the request.
        Mouse(view->viewport(), QEvent::MouseButtonPress, at, Qt::RightButton);
        Mouse(view->viewport(), QEvent::MouseButtonRelease, at, Qt::RightButton);
        QContextMenuEvent request(QContextMenuEvent::Mouse, at, view->viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(view->viewport(), &request);
    } else if (by == MenuBy::ShiftF10) {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_F10, Qt::ShiftModifier);
        QCoreApplication::sendEvent(view, &key);
    } else {
        // The Menu key, as the platform turns it into a menu request for the focused widget.
        QContextMenuEvent request(QContextMenuEvent::Keyboard, QPoint(5, 5),
                                  view->mapToGlobal(QPoint(5, 5)));
        QCoreApplication::sendEvent(view, &request);
    }
    MenuSeen seen;
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu) {
        ADD_FAILURE() << "no context menu opened";
        return seen;
    }
    seen.title = menu->title();
    QAction* wanted = nullptr;
    for (QAction* a : menu->actions()) {
        seen.items.append(a->text() + (a->isEnabled() ? QString() : u" (off)"_s) +
                          a->shortcut().toString());
        wanted = a->text() == item ? a : wanted;
    }
    if (wanted) {  // as an operator would: highlight the item and press Return
        menu->setActiveAction(wanted);
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QCoreApplication::sendEvent(menu, &enter);
    } else {
        menu->close();
    }
    return seen;
}

void UiTest::ConnectDvr(int slot) {
    Select(slot);
    ChooseFromMenu(slot, u"connectDVR"_s);
    ASSERT_TRUE(WaitUntil([&] { return vc->GetNetCtrlStruct(slot).NetWorking.load() == 1; }));
}

void UiTest::ClickPane(int pane) {
    VideoView* view = window->videoView();
    Mouse(view, QEvent::MouseButtonPress, PaneOnScreen(*vc, pane, view->height()).center());
}

void UiTest::Activate() {
    window->activateWindow();
    ASSERT_TRUE(WaitUntil([&] { return window->isActiveWindow(); }));
}

QImage UiTest::Surface() const {
    return window->videoView()->GrabSurface();
}

QRect UiTest::Pane(int p) const {
    return PaneOnScreen(*vc, p, window->videoView()->height());
}

void AnswerInputBox(const QString& text, const std::function<void()>& open) {
    QTimer typist;
    QObject::connect(&typist, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QInputDialog*>(QApplication::activeModalWidget())) {
            box->setTextValue(text);
            box->accept();
        }
    });
    typist.start(20);
    open();
}

void Mouse(QWidget* w, QEvent::Type type, QPointF at, Qt::MouseButton button) {
    QMouseEvent e(type, at, w->mapToGlobal(at), button,
                  type == QEvent::MouseButtonPress ? button : Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

SAVE_INFO_STRUCT Entry(const std::string& server, const std::string& name, const std::string& user,
                       const std::string& pass) {
    return NewSaveInfo(server, user, pass, name);
}

Look LookOf(const QImage& image, const QRect& region) {
    Look look;
    const QRect r = region.intersected(image.rect());
    double sum = 0;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            const int v = (qRed(p) + qGreen(p) + qBlue(p)) / 3;
            sum += v;
            look.white += v > 220;
            look.grey += std::abs(qRed(p) - 122) < 6 && std::abs(qGreen(p) - 122) < 6 &&
                         std::abs(qBlue(p) - 122) < 6;
            ++look.pixels;
        }
    }
    look.brightness = look.pixels ? sum / look.pixels : 0;
    return look;
}

QStringList Items(const QComboBox* box) {
    QStringList items;
    for (int i = 0; i < box->count(); ++i) {
        items.append(box->itemText(i));
    }
    return items;
}
