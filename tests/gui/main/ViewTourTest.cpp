// The tour of the saved views on its own: the order of its steps, its pace, the pause for input
// and its end when no view is left. The window's tests time a real tour.
#include "gui/main/ViewStore.h"
#include "gui/main/ViewTour.h"
#include "tests/gui/UiFixture.h"

class Tour : public UiTest {
  protected:
    Tour() {
        for (const char* name : {"a", "b", "c"}) {
            SavedView v;
            v.name = QString::fromLatin1(name);
            views.Put(v);
        }
    }
    ViewStore views;
    QStringList shown;
    ViewTour tour{views, [this](const QString& name) {
                      shown << name;
                      return true;
                  }};
};

TEST_F(Tour, StepsThroughTheViewsInTheirOrderAgainAndAgainAtItsPaceAfterAPause) {
    int changes = 0;
    QObject::connect(&tour, &ViewTour::changed, [&] { ++changes; });
    tour.Start(1);  // too fast: 2 s is the shortest
    EXPECT_TRUE(tour.touring());
    EXPECT_EQ(tour.stepInterval(), 2000);
    for (int i = 0; i < 4; ++i) {
        tour.ShowNext();
    }
    EXPECT_EQ(shown, (QStringList{u"a"_s, u"b"_s, u"c"_s, u"a"_s, u"b"_s}));

    tour.PauseForInput();
    EXPECT_EQ(tour.stepInterval(), ViewTour::kPauseMs);
    tour.ShowNext();
    EXPECT_EQ(tour.stepInterval(), 2000);  // its own pace after the pause

    // The pace set is the next run's and the next start's.
    tour.SetSeconds(7);
    EXPECT_EQ(ViewTour(views, [](const QString&) { return true; }).seconds(), 7);
    tour.StartOrStop();
    EXPECT_FALSE(tour.touring());
    tour.StartOrStop();
    EXPECT_EQ(tour.stepInterval(), 7000);
    EXPECT_EQ(shown.last(), u"a"_s);  // a new tour begins with the first view
    EXPECT_EQ(changes, 3);

    // The views go while it runs: the tour ends instead of showing nothing.
    for (const QString& name : views.names()) {
        views.Remove(name);
    }
    const qsizetype before = shown.size();
    tour.ShowNext();
    EXPECT_FALSE(tour.touring());
    EXPECT_EQ(shown.size(), before);
    tour.Start(5000);
    EXPECT_FALSE(tour.touring());  // nothing to show
    tour.PauseForInput();
    EXPECT_FALSE(tour.touring());  // input does not start a stopped tour
}
