#include "gui/main/StartOptions.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <memory>

#include "core/ViewController.h"
#include "core/directory/UserListFile.h"
#include "core/support/FixedText.h"
#include "gui/main/MainWindow.h"
#include "gui/tree/DvrTreeModel.h"
#include "gui/tree/OutlineViewCon.h"

namespace {

const char* const kUsage =
    "Usage: quillmarsh [--list FILE] [--connect all|NAME...] [--split N] [--page P]\n"
    "                  [--view NAME] [--tour SECONDS] [--fullscreen] [--screen N] [--help]\n"
    "                  [--version]\n"
    "  --list FILE        read and save this DVR list instead of ~/userinfo/info.uss\n"
    "  --connect all|NAME connect every DVR of the list, or those of these display names\n"
    "                     (the option may be repeated; more names may follow it)\n"
    "  --split N          show N panes: 4, 9, 16, 25, 36, 49, 64, 81, 100 or 256\n"
    "  --page P           show page P of that split, from 1 (wraps as the split button does)\n"
    "  --view NAME        recall the saved view of that name\n"
    "  --tour SECONDS     show the saved views one after another, each for SECONDS (2-3600)\n"
    "  --fullscreen       the video alone on the whole screen (F11 or Escape leaves)\n"
    "  --screen N         open on screen N, from 0\n"
    "  --help             show this text\n"
    "  --version          show the version\n";

// Longer than a connection attempt may take (lookup, connect, login).
constexpr auto kLongestAttempt = std::chrono::seconds(40);

std::optional<int> Number(const QString& text, int least, int most) {
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok || n < least || n > most) {
        return std::nullopt;
    }
    return n;
}

// A list that never had panes assigned holds the same code in every pane.
bool PanesAssigned(const ViewController& vc) {
    for (int p = 1; p < kPanes; ++p) {
        if (vc.SelfChannel(p) != vc.SelfChannel(0)) {
            return true;
        }
    }
    return false;
}

// Once the attempts are over, "Auto Display" as the operator would choose it: the connected DVRs'
// cameras fill the panes in order, unless the list already assigns them.
void FillPanesOnceConnected(MainWindow& window, ViewController& vc, const std::vector<int>& dvrs) {
    if (PanesAssigned(vc)) {
        return;
    }
    auto* poll = new QTimer(&window);
    poll->setInterval(100);
    const auto giveUp = std::chrono::steady_clock::now() + kLongestAttempt;
    QObject::connect(poll, &QTimer::timeout, &window, [poll, &vc, dvrs, giveUp] {
        const bool running =
            std::any_of(dvrs.begin(), dvrs.end(), [&](int d) { return vc.AttemptRunning(d); });
        if (running && std::chrono::steady_clock::now() < giveUp) {
            return;
        }
        poll->deleteLater();
        if (!PanesAssigned(vc)) {
            vc.AutoSetDisplay();
        }
    });
    poll->start();
}

}  // namespace

StartCommand ParseStartOptions(const QStringList& arguments) {
    StartCommand c;
    StartOptions& o = c.options;
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption list(QStringLiteral("list"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption connect(QStringLiteral("connect"), QString(), QStringLiteral("NAME"));
    const QCommandLineOption split(QStringLiteral("split"), QString(), QStringLiteral("N"));
    const QCommandLineOption page(QStringLiteral("page"), QString(), QStringLiteral("P"));
    const QCommandLineOption view(QStringLiteral("view"), QString(), QStringLiteral("NAME"));
    const QCommandLineOption tour(QStringLiteral("tour"), QString(), QStringLiteral("SECONDS"));
    const QCommandLineOption fullScreen(QStringLiteral("fullscreen"));
    const QCommandLineOption screen(QStringLiteral("screen"), QString(), QStringLiteral("N"));
    const QCommandLineOption help(QStringList{QStringLiteral("help"), QStringLiteral("h")});
    const QCommandLineOption version(QStringLiteral("version"));
    parser.addOptions({list, connect, split, page, view, tour, fullScreen, screen, help, version});
    parser.addPositionalArgument(QStringLiteral("NAME"), QString());

    const auto fail = [&c](const std::string& why) {
        c.error = "quillmarsh: " + why + "\n" + kUsage;
        c.exitCode = 2;
        return c;
    };
    if (!parser.parse(arguments)) {
        return fail(parser.errorText().toStdString());
    }
    if (parser.isSet(help)) {
        c.out = kUsage;
        c.exitCode = 0;
        return c;
    }
    if (parser.isSet(version)) {
        c.out = "quillmarsh " QUILLMARSH_VERSION "\n";
        c.exitCode = 0;
        return c;
    }
    if (parser.isSet(list)) {
        o.listFile = parser.value(list).toStdString();
        if (o.listFile.empty()) {
            return fail("--list needs a file name");
        }
    }
    QStringList names = parser.values(connect);
    if (!parser.positionalArguments().isEmpty()) {
        if (names.isEmpty()) {
            return fail("unexpected argument \"" +
                        parser.positionalArguments().constFirst().toStdString() + "\"");
        }
        names += parser.positionalArguments();  // more names after --connect
    }
    for (const QString& name : names) {
        if (name == QLatin1String("all")) {
            o.connectAll = true;
        } else if (name.isEmpty()) {
            return fail("--connect needs a DVR's display name or all");
        } else {
            o.connectNames.push_back(name.toStdString());
        }
    }
    if (parser.isSet(split)) {
        const std::optional<int> n = Number(parser.value(split), 1, 256);
        if (!n || std::find(std::begin(MainWindow::kSplits), std::end(MainWindow::kSplits), *n) ==
                      std::end(MainWindow::kSplits)) {
            return fail("--split takes 4, 9, 16, 25, 36, 49, 64, 81, 100 or 256, not \"" +
                        parser.value(split).toStdString() + "\"");
        }
        o.split = *n;
    }
    if (parser.isSet(page)) {
        const std::optional<int> p = Number(parser.value(page), 1, 256);
        if (!p) {
            return fail("--page takes a page from 1 to 256, not \"" +
                        parser.value(page).toStdString() + "\"");
        }
        if (!parser.isSet(split)) {
            return fail("--page needs --split: a page belongs to a split");
        }
        o.page = *p;
    }
    if (parser.isSet(view)) {
        o.view = parser.value(view).toStdString();
        if (o.view.empty()) {
            return fail("--view needs a view's name");
        }
    }
    if (parser.isSet(tour)) {
        const std::optional<int> n = Number(parser.value(tour), 2, 3600);
        if (!n) {
            return fail("--tour takes the seconds per view, from 2 to 3600, not \"" +
                        parser.value(tour).toStdString() + "\"");
        }
        o.tourSeconds = *n;
    }
    o.fullScreen = parser.isSet(fullScreen);
    if (parser.isSet(screen)) {
        const std::optional<int> n = Number(parser.value(screen), 0, 63);
        if (!n) {
            return fail("--screen takes a screen number from 0, not \"" +
                        parser.value(screen).toStdString() + "\"");
        }
        o.screen = *n;
    }
    return c;
}

std::optional<std::vector<int>> DvrsToConnect(const StartOptions& options,
                                              const std::vector<std::string>& names,
                                              std::string& error) {
    std::vector<bool> chosen(names.size(), options.connectAll);
    for (const std::string& wanted : options.connectNames) {
        const auto at = std::find(names.begin(), names.end(), wanted);
        if (at == names.end()) {
            error = "quillmarsh: no DVR named \"" + wanted + "\" in the list\n";
            return std::nullopt;
        }
        // A name shared by several entries connects them all.
        for (std::size_t i = 0; i < names.size(); ++i) {
            chosen[i] = chosen[i] || names[i] == wanted;
        }
    }
    std::vector<int> dvrs;
    for (std::size_t i = 0; i < chosen.size(); ++i) {
        if (chosen[i]) {
            dvrs.push_back(static_cast<int>(i));
        }
    }
    return dvrs;
}

std::vector<std::string> SavedDvrNames(const std::string& path) {
    auto image = std::make_unique<UserListImage>();
    std::vector<std::string> names;
    if (ReadUserList(path, *image) < 0) {
        return names;
    }
    const int used = NormaliseUserList(*image);
    for (int i = 0; i < used; ++i) {
        names.emplace_back(TextOf(image->entries[i].showName));
    }
    return names;
}

std::string MissingFor(const StartOptions& options, const QStringList& viewNames) {
    if (!options.view.empty() && !viewNames.contains(QString::fromStdString(options.view))) {
        return "quillmarsh: no view named \"" + options.view + "\"\n";
    }
    if (options.tourSeconds > 0 && viewNames.isEmpty()) {
        return "quillmarsh: --tour shows the saved views, and none is saved\n";
    }
    return {};
}

void ApplyStartOptions(MainWindow& window, ViewController& vc, const StartOptions& options,
                       const std::vector<int>& dvrs) {
    if (dvrs.size() == 1) {
        OutlineViewCon* tree = window.outlineView();
        tree->setCurrentIndex(window.treeModel()->index(dvrs[0], 0));
        tree->connectDVR();
    }
    // The view is set up before several DVRs connect, not through each one's own view: a DVR
    // that logs in streams its entry's channels, and is asked once more only by the panes'
    // filling below, when that changes them.
    vc.HoldAdjustments();
    if (dvrs.size() > 1) {
        vc.ui().ClearSelection();  // the all-DVR view
    }
    if (!options.view.empty()) {
        window.RecallView(QString::fromStdString(options.view));
    }
    if (options.split != 0) {
        vc.ShowSplitPage(options.split, options.page - 1);
    }
    vc.ReleaseAdjustments();
    if (dvrs.size() > 1) {
        for (int dvr : dvrs) {
            vc.ConnectDVR(dvr);
        }
        FillPanesOnceConnected(window, vc, dvrs);
    }
    if (options.tourSeconds > 0) {
        window.StartTour(options.tourSeconds);
    }
    if (options.fullScreen) {
        window.setWallMode(true);
    }
}
