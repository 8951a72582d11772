#include "gui/playback/EventStrip.h"

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

#include <algorithm>

#include "gui/playback/HourScale.h"
#include "gui/playback/NetPlayBack.h"
#include "gui/support/QtNamed.h"

namespace {

struct Kind {
    uint8_t bit;
    const char* text;
    const char* name;
};
// The legend's order: the strongest first.
constexpr std::array<Kind, 4> kKinds = {{{kKindSensor, "Sensor", "FilterSensor"},
                                         {kKindMotion, "Motion", "FilterMotion"},
                                         {kKindLoss, "Video loss", "FilterLoss"},
                                         {kKindRecorded, "All recordings", "FilterRecorded"}}};

}  // namespace

EventStrip::EventStrip(NetPlayBack& window, QWidget* parent) : QWidget(parent), window_(window) {
    setObjectName(QStringLiteral("EventStrip"));

    auto* legend = new QHBoxLayout;
    legend->setContentsMargins(0, 0, 0, 0);
    for (std::size_t i = 0; i < kKinds.size(); ++i) {
        auto* box = Named(new QCheckBox(QString::fromLatin1(kKinds[i].text), this),
                          QString::fromLatin1(kKinds[i].name));
        QPixmap swatch(12, 12);
        swatch.fill(KindColour(kKinds[i].bit));
        box->setIcon(swatch);
        box->setChecked(true);
        box->setAccessibleName(QStringLiteral("Show %1").arg(box->text().toLower()));
        connect(box, &QCheckBox::toggled, this, [this] { window_.RedrawPicture(); });
        boxes_[i] = box;
        legend->addWidget(box);
    }
    legend->addStretch();

    previous_ = Named(new QPushButton(QStringLiteral("Previous event"), this),
                      QStringLiteral("ButtonPreviousEvent"));
    next_ = Named(new QPushButton(QStringLiteral("Next event"), this),
                  QStringLiteral("ButtonNextEvent"));
    previous_->setToolTip(QStringLiteral("Previous event (Shift+N)"));
    next_->setToolTip(QStringLiteral("Next event (N)"));
    connect(previous_, &QPushButton::clicked, this, &EventStrip::PreviousEvent);
    connect(next_, &QPushButton::clicked, this, &EventStrip::NextEvent);
    // Window shortcuts: they work wherever the focus is in the playback window.
    auto* nextKey = new QShortcut(QKeySequence(Qt::Key_N), &window_);
    auto* previousKey = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_N), &window_);
    connect(nextKey, &QShortcut::activated, this, &EventStrip::NextEvent);
    connect(previousKey, &QShortcut::activated, this, &EventStrip::PreviousEvent);
    auto* jumps = new QHBoxLayout;
    jumps->setContentsMargins(0, 0, 0, 0);
    jumps->addWidget(previous_);
    jumps->addWidget(next_);
    jumps->addStretch();

    note_ = Named(new QLabel(this), QStringLiteral("EventNote"));
    note_->hide();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(new HourScale(NetPlayBack::kPictureWidth, this));
    layout->addLayout(legend);
    layout->addLayout(jumps);

    // One element per band over the map, for assistive tools: mouse and paint go to the map.
    for (int k = 0; k < kPlaybackBands; ++k) {
        auto* band = new QWidget(window_.ImageView);
        band->setObjectName(QStringLiteral("EventSpans%1").arg(k + 1));
        band->setAttribute(Qt::WA_TransparentForMouseEvents);
        band->setGeometry(0, k * NetPlayBack::kBandRows, NetPlayBack::kPictureWidth,
                          NetPlayBack::kBandRows);
        band->setAccessibleName(QStringLiteral("Events of pane %1").arg(k + 1));
        spans_[static_cast<std::size_t>(k)] = band;
    }
}

QColor EventStrip::KindColour(uint8_t kind) {
    switch (kind) {
        case kKindSensor: return QColor(220, 30, 30);
        case kKindMotion: return QColor(245, 150, 0);
        case kKindLoss: return QColor(40, 90, 220);
        default: return QColor(0, 0, 0);
    }
}

QCheckBox* EventStrip::filterBox(uint8_t kind) const {
    for (std::size_t i = 0; i < kKinds.size(); ++i) {
        if (kKinds[i].bit == kind) {
            return boxes_[i];
        }
    }
    return nullptr;
}

uint8_t EventStrip::filter() const {
    uint8_t bits = 0;
    for (std::size_t i = 0; i < kKinds.size(); ++i) {
        if (boxes_[i]->isChecked()) {
            bits |= kKinds[i].bit;
        }
    }
    return bits;
}

void EventStrip::ShowEvents(const DayEvents& events) {
    pending_ = events;
}

void EventStrip::AdoptEvents() {
    current_ = std::move(pending_);
    pending_ = DayEvents{};
}

void EventStrip::Paint(std::vector<uint8_t>& bitmap, const TimeMap& map) const {
    constexpr int kLine = NetPlayBack::kBytesPerLine;
    bitmap.assign(static_cast<std::size_t>(NetPlayBack::kPictureHeight) * kLine, uint8_t{255});
    const uint8_t shown = filter();
    for (std::size_t k = 0; k < kPlaybackBands; ++k) {
        for (std::size_t s = 0; s < kDaySlots; ++s) {
            if (map[k][s] != 1) {
                continue;
            }
            // A map without events (none were given for it) shows plain recordings.
            const uint8_t kind = ShownKind(current_.slots[k][s] | kKindRecorded, shown);
            if (kind == 0) {
                continue;
            }
            const QColor c = KindColour(kind);
            const uint8_t rgb[3] = {static_cast<uint8_t>(c.red()), static_cast<uint8_t>(c.green()),
                                    static_cast<uint8_t>(c.blue())};
            const int top = static_cast<int>(k) * NetPlayBack::kBandRows + NetPlayBack::kBandGap;
            for (int y = top; y < static_cast<int>(k + 1) * NetPlayBack::kBandRows; ++y) {
                uint8_t* at = bitmap.data() + static_cast<std::size_t>(y) * kLine + s * 6;
                std::copy_n(rgb, 3, at);
                std::copy_n(rgb, 3, at + 3);
            }
        }
        spans_[k]->setAccessibleDescription(
            QString::fromStdString(FlaggedSpans(current_.slots[k], shown)));
    }
}

void EventStrip::NextEvent() {
    Jump(true);
}

void EventStrip::PreviousEvent() {
    Jump(false);
}

void EventStrip::Jump(bool forward) {
    const QTime t = window_.DateTime->time();
    const int32_t from = t.hour() * 3600 + t.minute() * 60 + t.second();
    const auto at =
        NextEventStart(current_.files, from, PlayMask(window_.Selection()), filter(), forward);
    if (!at) {
        note_->setText(forward ? QStringLiteral("No later event on this day")
                               : QStringLiteral("No earlier event on this day"));
        note_->show();
        return;
    }
    note_->hide();
    window_.JumpToSecond(*at);
}
