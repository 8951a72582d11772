// The text painted on the video surface reads as Qt draws it: the pane marks on the
// screen (read back from the X server, past the surface's own buffers) against the same text
// drawn by Qt's raster engine into an image.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QScreen>
#include <QTextLayout>
#include <QWindow>

#include "gui/main/VideoView.h"
#include "gui/main/video/PaneCaptions.h"
#include "gui/main/video/PaneText.h"
#include "tests/gui/UiFixture.h"

namespace {

constexpr int kGrey = 122;  // the surface's background, 0.48

int Luma(QRgb p) {
    return (qRed(p) * 3 + qGreen(p) * 6 + qBlue(p)) / 10;
}

// Whether `image` has a pixel near `luma` at (x, y) or next to it: two engines may place a glyph
// half a pixel apart.
bool NearBy(const QImage& image, int x, int y, int luma) {
    for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
            if (image.valid(x + dx, y + dy) &&
                std::abs(Luma(image.pixel(x + dx, y + dy)) - luma) < 100) {
                return true;
            }
        }
    }
    return false;
}

// Of the pixels in `r` that are text (bright) in either image, the share that the other image
// has nowhere near: a few for the same text drawn by two engines, many for sheared glyphs.
double TextMismatch(const QImage& a, const QImage& b, const QRect& r, int* textPixels) {
    int text = 0;
    int differ = 0;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            const int la = Luma(a.pixel(x, y));
            const int lb = Luma(b.pixel(x, y));
            if (la < 180 && lb < 180) {
                continue;
            }
            ++text;
            differ += !NearBy(b, x, y, la) || !NearBy(a, x, y, lb);
        }
    }
    *textPixels = text;
    return text ? static_cast<double>(differ) / text : 1.0;
}

// The surface window as the X server shows it.
QImage OnScreen(VideoView& view) {
    QWindow* w = view.surfaceWindow();
    return w->screen()->grabWindow(w->winId()).toImage().convertToFormat(QImage::Format_RGB32);
}

struct TextCase {
    const char* what;
    PaneMark mark;
};

TEST(SurfaceText, PaneMarksOnTheScreenReadAsQtDrawsThemAndLeaveNoTextWhenTakenBack) {
    LoneSurface lone;
    VideoView view(lone.context);
    view.resize(640, 480);
    view.show();
    ASSERT_TRUE(WaitUntil([&] { return view.surfaceContext() != nullptr; }));
    const QRect paneOnScreen(0, 0, 320, 240);  // pane 0: the top left quarter
    const PaneRect pane{0, 240, 320, 240};     // the same, from the bottom left

    const std::vector<TextCase> cases = {
        {"reconnecting", {PaneMark::Kind::Offline, "Dock 3", "Reconnecting in 4 s"}},
        {"offline", {PaneMark::Kind::Offline, "Gate", "Offline"}},
        {"a line without a title", {PaneMark::Kind::Offline, {}, "No video since 12:34:56"}},
    };
    for (const TextCase& c : cases) {
        SCOPED_TRACE(c.what);
        view.MarkPane(0, pane, PaneMark{});
        view.MarkPane(0, pane, c.mark);
        // What the surface must show: its grey, the text painted by Qt's raster engine.
        QImage expected(view.surfaceWindow()->size(), QImage::Format_RGB32);
        expected.fill(QColor(kGrey, kGrey, kGrey));
        {
            QPainter painter(&expected);
            PaintMarkText(painter, QRectF(paneOnScreen), c.mark);
        }
        int textPixels = 0;
        double mismatch = 1;
        // The screen gets the text with the next frame; give it a few.
        WaitUntil(
            [&] {
                mismatch = TextMismatch(OnScreen(view), expected, paneOnScreen, &textPixels);
                return mismatch < 0.05;
            },
            3s);
        EXPECT_GT(textPixels, 200) << "no text on the pane";
        EXPECT_LT(mismatch, 0.05) << "the text on the screen is not the text Qt draws";
        if (HasFailure()) {
            OnScreen(view).save(QString::fromUtf8(::testing::TempDir()) + u"/surface-text.png"_s);
            expected.save(QString::fromUtf8(::testing::TempDir()) +
                          u"/surface-text-expected.png"_s);
        }
    }
    // The mark taken back, with no picture to cover it (a DVR back whose camera sends nothing),
    // leaves the plain background: no text that is no longer true.
    view.MarkPane(0, pane, PaneMark{});
    QImage grey(view.surfaceWindow()->size(), QImage::Format_RGB32);
    grey.fill(QColor(kGrey, kGrey, kGrey));
    int textPixels = -1;
    EXPECT_TRUE(WaitUntil(
        [&] {
            TextMismatch(OnScreen(view), grey, paneOnScreen, &textPixels);
            return textPixels == 0;
        },
        3s))
        << "the offline text stayed";
}

// The bright pixels of `text` painted as a pane's caption in a pane of `size`; those below `line`
// (pixels from the top) are counted apart.
int CaptionPixels(const QString& text, QSize size, int* below, int line = 24) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(kGrey, kGrey, kGrey));
    {
        QPainter painter(&image);
        PaintCaption(painter, QRectF(QPointF(0, 0), QSizeF(size)), text);
    }
    int bright = 0;
    *below = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (Luma(image.pixel(x, y)) > 200) {
                ++bright;
                *below += y > line;
            }
        }
    }
    return bright;
}

TEST(SurfaceText, AFiguresCaptionInANarrowPaneWrapsBetweenFiguresAndLosesNoneOfThem) {
    LoneSurface lone;  // the application and its fonts
    const QString text =
        u"Demo DVR  CAM07\n"_s + PaneCaptions::FiguresLine(true, 25, 1480, u"704x576"_s, 0, 37);
    int wideBelow = 0;
    int narrowBelow = 0;
    const int wide = CaptionPixels(text, QSize(1200, 180), &wideBelow);
    const int narrow = CaptionPixels(text, QSize(240, 180), &narrowBelow);
    ASSERT_GT(wide, 300);
    // The same glyphs, on more lines: a cut line would lose its last figures' pixels. The first
    // line of the caption's 15-pixel font ends above 24.
    EXPECT_NEAR(narrow, wide, wide / 50);
    EXPECT_GT(narrowBelow, wideBelow);

    // A pane of a 256-pane wall: wrapped, the caption would hide all of the picture; it keeps
    // its two lines of the smallest font (9 pixels), cut.
    int tinyBelow = 0;
    EXPECT_GT(CaptionPixels(text, QSize(60, 40), &tinyBelow, 26), 20);
    EXPECT_EQ(tinyBelow, 0);
}

TEST(SurfaceText, TheFiguresLineBreaksOnlyBetweenFiguresAtAnyPaneWidth) {
    LoneSurface lone;  // the application and its fonts
    const QString line = PaneCaptions::FiguresLine(true, 25, 1480, u"704x576"_s, 12, 3456);
    QFont font;
    font.setPixelSize(15);  // a caption's largest
    int breaks = 0;
    for (int width = 60; width <= 640; width += 3) {
        SCOPED_TRACE(width);
        QTextLayout layout(line, font);
        QTextOption option;
        option.setWrapMode(QTextOption::WordWrap);  // as the painter's Qt::TextWordWrap
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine l = layout.createLine(); l.isValid(); l = layout.createLine()) {
            l.setLineWidth(width);
            const int at = l.textStart();
            if (at == 0) {
                continue;
            }
            ++breaks;
            // Only after the plain spaces between figures: never inside "kbit/s", never between
            // a figure's number and its name.
            const QString before = line.left(at).trimmed();
            EXPECT_EQ(line.at(at - 1), QLatin1Char(' ')) << line.mid(at).toStdString();
            EXPECT_FALSE(before.endsWith(u"dropped"_s) || before.endsWith(u"grew"_s) ||
                         line.mid(at).startsWith(u"fps"_s) || line.mid(at).startsWith(u"kbit"_s))
                << line.mid(at).toStdString();
        }
        layout.endLayout();
    }
    EXPECT_GT(breaks, 40);  // the narrow widths did break the line

    // What holds the words together paints nothing of its own: no box where "kbit/s" is.
    const auto painted = [](const QString& text) {
        QImage image(640, 40, QImage::Format_RGB32);
        image.fill(Qt::black);
        QPainter painter(&image);
        PaintCaption(painter, QRectF(0, 0, 640, 40), text);
        return image;
    };
    QString plain = line;
    plain.remove(QChar(0x2060));
    plain.replace(QChar(0x00A0), QLatin1Char(' '));
    EXPECT_EQ(painted(line), painted(plain));
}

}  // namespace
