#include "tests/gui/UiFixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QContextMenuEvent>
#include <QEventLoop>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

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
    const auto end = Clock::now() + time;
    WaitUntil([&] { return Clock::now() >= end; }, time + std::chrono::seconds(1));
}

BoxAnswerer::BoxAnswerer(const QString& answer) : answer_(answer) {
    // Boxes run their own event loop, in which this timer keeps firing.
    connect(&timer_, &QTimer::timeout, this, &BoxAnswerer::answerOpenBox);
    timer_.start(20);
}

void BoxAnswerer::answerOpenBox() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) {
        return;
    }
    Box seen{box->text(), box->informativeText(), {}};
    QAbstractButton* chosen = nullptr;
    for (QAbstractButton* b : box->buttons()) {
        seen.buttons.append(b->text());
        if (b->text() == answer_) {
            chosen = b;
        }
    }
    boxes_.append(seen);
    if (!chosen && !box->buttons().isEmpty()) {
        chosen = box->buttons().first();
    }
    if (chosen) {
        chosen->click();
    }
}

UiTest::UiTest() {
    if (const char* home = std::getenv("HOME")) {
        hadHome_ = true;
        oldHome_ = home;
    }
    // The controller finds its list under HOME: never the real one.
    ::setenv("HOME", home_.path().c_str(), 1);
}

UiTest::~UiTest() {
    endApp();
    if (hadHome_) {
        ::setenv("HOME", oldHome_.c_str(), 1);
    } else {
        ::unsetenv("HOME");
    }
}

void UiTest::startApp() {
    window = std::make_unique<MainWindow>();
    vc = std::make_unique<ViewController>(window->uiPort());
    window->start(*vc);
    window->show();
    WaitUntil([&] { return window->isVisible(); });
}

void UiTest::endApp() {
    if (window) {
        window->stop();
    }
    vc.reset();
    window.reset();
}

void UiTest::writeList(const std::vector<SAVE_INFO_STRUCT>& entries) const {
    std::filesystem::create_directories(home_.path() + "/userinfo");
    std::vector<unsigned char> bytes(75264, 0);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        std::memcpy(bytes.data() + i * sizeof(SAVE_INFO_STRUCT), &entries[i],
                    sizeof(SAVE_INFO_STRUCT));
    }
    // No pane assigned: -1 for each of the 256 panes.
    for (std::size_t p = 0; p < 256; ++p) {
        const int32_t none = -1;
        std::memcpy(bytes.data() + 74240 + p * 4, &none, 4);
    }
    std::ofstream out(listPath(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::vector<unsigned char> UiTest::listBytes() const {
    std::ifstream in(listPath(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

SAVE_INFO_STRUCT UiTest::entryInFile(int i) const {
    SAVE_INFO_STRUCT e{};
    const std::vector<unsigned char> bytes = listBytes();
    const std::size_t at = static_cast<std::size_t>(i) * sizeof e;
    if (bytes.size() >= at + sizeof e) {
        std::memcpy(&e, bytes.data() + at, sizeof e);
    }
    return e;
}

QStringList UiTest::titles() const {
    QStringList out;
    const DvrTreeModel* model = window->treeModel();
    for (int r = 0; r < model->rowCount(); ++r) {
        out.append(model->data(model->index(r, 0)).toString());
    }
    return out;
}

bool UiTest::rowShows(int row, const NodeImage& icon) const {
    OutlineViewCon* view = window->outlineView();
    const QRect cell = view->visualRect(window->treeModel()->index(row, 0));
    const QImage shot = view->viewport()->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    const QImage want = icon.pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    const QPoint at = ImageAndTextCell::imageRect(cell).topLeft();
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

QString UiTest::iconShown(int row) const {
    window->outlineView()->viewport()->grab();  // drawing a row chooses its icon
    return window->treeModel()->nodeAt(row)->nodeIcon().name;
}

void UiTest::select(int row) {
    OutlineViewCon* view = window->outlineView();
    view->setCurrentIndex(window->treeModel()->index(row, 0));
}

void UiTest::deselect() {
    window->outlineView()->clearSelection();
}

MenuSeen UiTest::chooseFromOpenMenu(const QString& item) {
    MenuSeen seen;
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu) {
        ADD_FAILURE() << "no context menu opened";
        return seen;
    }
    seen.title = menu->title();
    QAction* wanted = nullptr;
    for (QAction* a : menu->actions()) {
        seen.items.append(a->text());
        seen.enabled.append(a->isEnabled());
        seen.anyShortcut = seen.anyShortcut || !a->shortcut().isEmpty();
        if (a->text() == item) {
            wanted = a;
        }
    }
    if (!wanted) {
        menu->close();
        return seen;
    }
    // As an operator would: highlight the item and press Return.
    menu->setActiveAction(wanted);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(menu, &press);
    return seen;
}

MenuSeen UiTest::chooseFromMenu(int row, const QString& item) {
    OutlineViewCon* view = window->outlineView();
    const QPoint at = view->visualRect(window->treeModel()->index(row, 0)).center();
    const QPoint global = view->viewport()->mapToGlobal(at);
    // What the window system delivers for a right click: press, release, then the menu request.
    QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::RightButton, Qt::RightButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(view->viewport(), &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::RightButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(view->viewport(), &release);
    QContextMenuEvent request(QContextMenuEvent::Mouse, at, global);
    QCoreApplication::sendEvent(view->viewport(), &request);
    return chooseFromOpenMenu(item);
}

MenuSeen UiTest::chooseFromMenuByKeyboard(const QString& item, bool shiftF10) {
    OutlineViewCon* view = window->outlineView();
    if (shiftF10) {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_F10, Qt::ShiftModifier);
        QCoreApplication::sendEvent(view, &key);
    } else {
        // The Menu key, as the platform turns it into a menu request for the focused widget.
        const QPoint at(5, 5);
        QContextMenuEvent request(QContextMenuEvent::Keyboard, at, view->mapToGlobal(at));
        QCoreApplication::sendEvent(view, &request);
    }
    return chooseFromOpenMenu(item);
}

SAVE_INFO_STRUCT Entry(const std::string& server, const std::string& name, const std::string& user,
                       const std::string& pass) {
    return NewSaveInfo(server, user, pass, name);
}
