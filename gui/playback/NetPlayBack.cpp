#include "gui/playback/NetPlayBack.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QTime>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

#include "core/ViewController.h"
#include "core/support/Log.h"
#include "gui/playback/EventStrip.h"
#include "gui/playback/ExportDialog.h"
#include "gui/playback/SliderClick.h"
#include "gui/playback/ViewConntroller2.h"
#include "gui/support/CoreContext.h"
#include "gui/support/QtNamed.h"
#include "gui/support/WindowPlaces.h"

namespace {

QPointer<NetPlayBack>& Shared() {
    static QPointer<NetPlayBack> shared;
    return shared;
}

int32_t SecondOfDay(const QTime& t) {
    return t.hour() * 3600 + t.minute() * 60 + t.second();
}

}  // namespace

NetPlayBack* NetPlayBack::sharedEffectStackController(QWidget* parent, CoreContext& context) {
    if (!Shared()) {
        QLog("AddUser allocWithZone start");
        Shared() = new NetPlayBack(parent, context);
        RestorePlace(*Shared(), QStringLiteral("NetBack"));
        Shared()->windowDidLoad();
        QLog("AddUser allocWithZone end");
    }
    return Shared();
}

NetPlayBack* NetPlayBack::Existing() {
    return Shared();
}

NetPlayBack::NetPlayBack(QWidget* parent, CoreContext& context)
    : QWidget(parent, Qt::Window),
      bitmapData(kPictureHeight * kBytesPerLine, 100),
      context_(context) {
    QLog("init  NetBack");
    setObjectName(QStringLiteral("NetBack"));
    setAccessibleDescription(objectName());
    setWindowTitle(QStringLiteral("Playback"));

    background = new ViewConntroller2(this);

    IPText = Named(new QLabel(background), QStringLiteral("IPText"));
    IPText->setTextFormat(Qt::PlainText);  // a server text is not markup
    ValidTimeText = Named(new QLabel(background), QStringLiteral("ValidTimeText"));
    ValidTimeText->setTextFormat(Qt::PlainText);
    LostText = Named(new QLabel(QStringLiteral("Connection lost"), background),
                     QStringLiteral("LostText"));
    LostText->setStyleSheet(QStringLiteral("color: #a00000; font-weight: bold;"));
    LostText->hide();
    RefusedText = Named(new QLabel(background), QStringLiteral("RefusedText"));
    RefusedText->setTextFormat(Qt::PlainText);
    RefusedText->setStyleSheet(QStringLiteral("color: #a00000; font-weight: bold;"));
    RefusedText->hide();

    ImageView = Named(new QLabel(background), QStringLiteral("ImageView"));
    ImageView->setFixedSize(kPictureWidth, kPictureHeight);
    ImageView->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ImageView->setAccessibleName(QStringLiteral("Recorded time of the day"));

    // A label per band, each as tall as its band of the picture.
    auto* labels = new QVBoxLayout;
    labels->setSpacing(0);
    labels->setContentsMargins(0, 0, 0, 0);
    for (int k = 0; k < kPlaybackBands; ++k) {
        auto* label = Named(new QLabel(background), QStringLiteral("ch%1").arg(k + 1));
        label->setTextFormat(Qt::PlainText);
        label->setFixedHeight(kBandRows);
        label->setMinimumWidth(60);
        label->setAlignment(Qt::AlignRight | Qt::AlignBottom);
        ch[static_cast<std::size_t>(k)] = label;
        labels->addWidget(label);
    }
    ch1 = ch[0];
    ch2 = ch[1];
    ch3 = ch[2];
    ch4 = ch[3];

    slider = Named(new QSlider(Qt::Horizontal, background), QStringLiteral("slider"));
    slider->setRange(0, kDaySlots - 1);
    slider->setFixedWidth(kPictureWidth);
    slider->setAccessibleName(QStringLiteral("Time of day"));

    auto* pictureGrid = new QGridLayout;
    pictureGrid->setSpacing(4);
    pictureGrid->addLayout(labels, 0, 0);
    pictureGrid->addWidget(ImageView, 0, 1);
    pictureGrid->addWidget(slider, 1, 1);
    eventStrip = new EventStrip(*this, background);
    pictureGrid->addWidget(eventStrip, 2, 1);

    auto* popUps = new QHBoxLayout;
    for (int k = 0; k < kPlaybackBands; ++k) {
        auto* box = Named(new QComboBox(background), QStringLiteral("ButtonCh%1").arg(k + 1));
        box->setAccessibleName(QStringLiteral("Channel of pane %1").arg(k + 1));
        ButtonCh[static_cast<std::size_t>(k)] = box;
        popUps->addWidget(box);
    }
    ButtonCh1 = ButtonCh[0];
    ButtonCh2 = ButtonCh[1];
    ButtonCh3 = ButtonCh[2];
    ButtonCh4 = ButtonCh[3];

    DateTime = Named(new QDateTimeEdit(background), QStringLiteral("DateTime"));
    DateTime->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    DateTime->setCalendarPopup(true);
    DateTime->setAccessibleName(QStringLiteral("Date and time"));

    ButtonPlay =
        Named(new QPushButton(QStringLiteral("Play"), background), QStringLiteral("ButtonPlay"));
    ButtonFastForward = Named(new QPushButton(QStringLiteral("Fast"), background),
                              QStringLiteral("ButtonFastForward"));
    ButtonFastForward->setCheckable(true);
    ButtonFastForward->setAccessibleName(QStringLiteral("Fast forward"));
    ButtonFastForward->setToolTip(
        QStringLiteral("Fast forward: while it is pressed in, Play plays at the DVR's fast "
                       "speed; pressed during a play, the play goes on from the time shown"));
    // Its state must show whatever the style: a pressed-in look alone is too faint to see.
    ButtonFastForward->setStyleSheet(
        QStringLiteral("QPushButton:checked { background-color: #2f6fb5; color: white; "
                       "font-weight: bold; border: 1px solid #1d4f86; padding: 3px 10px; }"));
    ButtonSound =
        Named(new QPushButton(QStringLiteral("Sound"), background), QStringLiteral("ButtonSound"));
    ButtonSound->setCheckable(true);
    ButtonStop =
        Named(new QPushButton(QStringLiteral("Stop"), background), QStringLiteral("ButtonStop"));
    auto* controls = new QHBoxLayout;
    controls->addWidget(DateTime, 1);
    controls->addWidget(ButtonPlay);
    controls->addWidget(ButtonFastForward);
    controls->addWidget(ButtonSound);
    controls->addWidget(ButtonStop);
    auto* buttonExport = Named(new QPushButton(QStringLiteral("Export..."), background),
                               QStringLiteral("ButtonExport"));
    controls->addWidget(buttonExport);

    auto* panel = new QVBoxLayout(background);
    panel->addWidget(IPText);
    // What went wrong stands beside the recorded range, so that nothing below moves.
    auto* status = new QHBoxLayout;
    status->addWidget(ValidTimeText);
    status->addStretch();
    status->addWidget(LostText);
    status->addWidget(RefusedText);
    status->addWidget(eventStrip->note());
    panel->addLayout(status);
    panel->addLayout(pictureGrid);
    panel->addLayout(popUps);
    panel->addLayout(controls);
    panel->addStretch();
    auto* whole = new QVBoxLayout(this);
    whole->setContentsMargins(0, 0, 0, 0);
    whole->addWidget(background);

    // Operator input only: the window's own updates are made with signals blocked, and the
    // pop-ups report a choice (activated), not every change of their index.
    connect(ButtonPlay, &QPushButton::clicked, this, &NetPlayBack::ActionPlay);
    connect(ButtonFastForward, &QPushButton::clicked, this, &NetPlayBack::ActionFastForward);
    connect(ButtonSound, &QPushButton::clicked, this, &NetPlayBack::ActionSound);
    connect(ButtonStop, &QPushButton::clicked, this, &NetPlayBack::ActionStop);
    connect(buttonExport, &QPushButton::clicked, this, &NetPlayBack::ActionExport);
    connect(ButtonCh1, &QComboBox::activated, this, &NetPlayBack::ActionCh1);
    connect(ButtonCh2, &QComboBox::activated, this, &NetPlayBack::ActionCh2);
    connect(ButtonCh3, &QComboBox::activated, this, &NetPlayBack::ActionCh3);
    connect(ButtonCh4, &QComboBox::activated, this, &NetPlayBack::ActionCh4);
    connect(slider, &QSlider::valueChanged, this, &NetPlayBack::scrub);
    // A click on the groove or the map jumps there, as the platform's slider does.
    slider->installEventFilter(this);
    ImageView->installEventFilter(this);
    connect(DateTime, &QDateTimeEdit::dateTimeChanged, this, &NetPlayBack::scrubTime);

    timer_ = new QTimer(this);
    timer_->setInterval(kTimerMs);
    connect(timer_, &QTimer::timeout, this, &NetPlayBack::animationTimer);
}

ViewController* NetPlayBack::controller() const {
    return DVR >= 0 && DVR < kMaxDvrs ? context_.controller() : nullptr;
}

void NetPlayBack::windowDidLoad() {
    QLog("NetPlayBack windowDidLoad ");
    std::fill(bitmapData.begin(), bitmapData.end(), uint8_t{100});
    ShowPicture();
    for (QComboBox* box : ButtonCh) {
        box->clear();
    }
    ButtonSound->hide();
    timer_->start();
    daySecond.store(0);
    sliderMoving = 1;
    {
        const QSignalBlocker quiet(DateTime);
        DateTime->setDateTime(QDateTime::currentDateTime());
    }
    scrubTime();
}

void NetPlayBack::initData(int channelCount, int dvr) {
    DVR = dvr;
    LostText->hide();
    RefusedText->hide();
    const int n = std::clamp(channelCount, 0, kMaxChannels);
    for (QComboBox* box : ButtonCh) {
        const QSignalBlocker quiet(box);
        box->clear();
        box->addItem(QStringLiteral("NONE"));
        for (int i = 1; i <= n; ++i) {
            box->addItem(QString::asprintf("%dch", i));
        }
    }
    if (ButtonCh1->count() > 1) {
        const QSignalBlocker quiet(ButtonCh1);
        ButtonCh1->setCurrentIndex(1);
    }
}

void NetPlayBack::closeEvent(QCloseEvent* event) {
    if (ViewController* vc = controller()) {
        vc->EndPlayback(DVR);
    }
    QWidget::closeEvent(event);
}

void NetPlayBack::PlayRefused(int dvr, int32_t startSecond, int32_t result) {
    if (dvr != DVR) {
        return;
    }
    const QString at = QTime(0, 0)
                           .addSecs(std::clamp(startSecond, 0, kDaySeconds - 1))
                           .toString(QStringLiteral("HH:mm"));
    RefusedText->setText(result == status::Code(status::Play::NoRecordingAtStart)
                             ? QStringLiteral("No recording at %1").arg(at)
                             : QStringLiteral("The DVR refused to play from %1").arg(at));
    RefusedText->show();
    if (ViewController* vc = controller()) {
        vc->ClearPlayedPanes(DVR);
    }
}

void NetPlayBack::hideEvent(QHideEvent* event) {
    KeepPlace(*this, QStringLiteral("NetBack"));
    QWidget::hideEvent(event);
}

void NetPlayBack::EndSession() {
    DVR = -1;
    close();
}

void NetPlayBack::ConnectionLost(int dvr) {
    if (dvr == DVR) {
        LostText->show();
    }
}

void NetPlayBack::SetIP(const QString& text) {
    IPText->setText(text);
}

void NetPlayBack::SetValidTime(const QString& text) {
    ValidTimeText->setText(text);
}

void NetPlayBack::SetChShow(const BandSelection& selection) {
    for (int k = 0; k < kPlaybackBands; ++k) {
        QComboBox* box = popUp(k);
        const int32_t item = selection[static_cast<std::size_t>(k)];
        const QSignalBlocker quiet(box);
        box->setCurrentIndex(item >= 0 && item < box->count() ? item : 0);
    }
}

void NetPlayBack::SetChShow(const QString& text, int band) {
    if (band >= 0 && band < kPlaybackBands) {
        bandLabel(band)->setText(text);
    }
}

void NetPlayBack::CreatePicture(const TimeMap& map) {
    m_rectValue = map;
    eventStrip->AdoptEvents();
    RedrawPicture();
}

void NetPlayBack::RedrawPicture() {
    eventStrip->Paint(bitmapData, m_rectValue);
    ShowPicture();
}

void NetPlayBack::ShowPicture() {
    const QImage picture(bitmapData.data(), kPictureWidth, kPictureHeight, kBytesPerLine,
                         QImage::Format_RGB888);
    ImageView->setPixmap(QPixmap::fromImage(picture));  // a copy: the buffer may change later
}

BandSelection NetPlayBack::Selection() const {
    BandSelection selection{};
    for (int k = 0; k < kPlaybackBands; ++k) {
        selection[static_cast<std::size_t>(k)] = std::max(popUp(k)->currentIndex(), 0);
    }
    return selection;
}

void NetPlayBack::NetPlay() {
    ViewController* vc = controller();
    if (!vc) {
        return;
    }
    const int32_t start = SecondOfDay(DateTime->dateTime().time());
    const uint32_t mask = PlayMask(Selection());
    RefusedText->hide();  // this play's answer replaces the last one's
    vc->RequestPlay(DVR, start, mask, ButtonSound->isChecked() ? 1 : 0,
                    ButtonFastForward->isChecked() ? 1 : 0);
}

void NetPlayBack::SetDiskTimeRect() {
    if (ViewController* vc = controller()) {
        const std::time_t date = static_cast<std::time_t>(DateTime->dateTime().toSecsSinceEpoch());
        vc->RequestTimeMap(DVR, date, Selection());
    }
}

void NetPlayBack::ActionPlay() {
    QLog("ActionPlay");
    NetPlay();
}

void NetPlayBack::ActionFastForward() {
    ViewController* vc = controller();
    if (vc && vc->IsNet_NET_DATA_SEND(vc->GetNetCtrlStruct(DVR))) {
        NetPlay();
    }
    QLog("ActionFastForward");
}

void NetPlayBack::ActionSound() {
    QLog("ActionSound");
    ViewController* vc = controller();
    if (vc && vc->IsNet_NET_DATA_SEND(vc->GetNetCtrlStruct(DVR))) {
        NetPlay();
    }
}

void NetPlayBack::ActionStop() {
    QLog("ActionStop");
    if (ViewController* vc = controller()) {
        vc->RequestStopPlay(DVR);
    }
}

void NetPlayBack::ActionExport() {
    if (controller()) {
        const QDateTime at = DateTime->dateTime();
        // Clips are named after the DVR as the operator knows it.
        const SAVE_INFO_STRUCT entry = context_.query()->EntryCopy(DVR);
        auto* dialog = new ExportDialog(this, context_, DVR, at.date(), SecondOfDay(at.time()),
                                        PlayMask(Selection()),
                                        QString::fromStdString(std::string(ShownName(entry))));
        dialog->open();
    }
}

void NetPlayBack::Band(int band) {
    QLog("ActionCh%d", band + 1);
    SetDiskTimeRect();
}

void NetPlayBack::ActionCh1() {
    Band(0);
}

void NetPlayBack::ActionCh2() {
    Band(1);
}

void NetPlayBack::ActionCh3() {
    Band(2);
}

void NetPlayBack::ActionCh4() {
    Band(3);
}

void NetPlayBack::SetPickerSecond(int32_t second) {
    const QTime time(second / 3600, (second / 60) % 60, second % 60);
    const QSignalBlocker quiet(DateTime);
    DateTime->setDateTime(QDateTime(DateTime->date(), time, Qt::LocalTime));
}

void NetPlayBack::scrub() {
    SetPickerSecond(slider->value() * kSlotSeconds);
    sliderMoving = 1;
}

void NetPlayBack::scrubTime() {
    QLog("scrubTime  scrub");
    const QDate date = DateTime->date();
    if (date.year() * 10000 + date.month() * 100 + date.day() != 0) {
        SetDiskTimeRect();
    }
    const QSignalBlocker quiet(slider);
    slider->setValue(SecondOfDay(DateTime->time()) / kSlotSeconds);
}

void NetPlayBack::JumpToSlot(int slot) {
    SetPickerSecond(std::clamp(slot, 0, kDaySlots - 1) * kSlotSeconds);
    sliderMoving = 1;
    scrubTime();
    // A jump while a play runs plays from there, as the operator means by it.
    ViewController* vc = controller();
    if (vc && vc->IsNet_NET_DATA_SEND(vc->GetNetCtrlStruct(DVR))) {
        NetPlay();
    }
}

void NetPlayBack::JumpToSecond(int32_t second) {
    const int32_t at = std::clamp(second, 0, kDaySeconds - 1);
    SetPickerSecond(at);
    sliderMoving = 1;
    {
        const QSignalBlocker quiet(slider);
        slider->setValue(at / kSlotSeconds);
    }
    ViewController* vc = controller();
    if (vc && vc->IsNet_NET_DATA_SEND(vc->GetNetCtrlStruct(DVR))) {
        NetPlay();
    }
}

bool NetPlayBack::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::MouseButtonPress ||
        static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton) {
        return QWidget::eventFilter(watched, event);
    }
    const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
    if (watched == ImageView) {
        JumpToSlot(at.x() / 2);  // two columns per slot
        return true;
    }
    if (watched == slider) {
        const std::optional<int> value = SliderValueAt(*slider, at);
        if (!value) {
            return false;  // a drag of the handle stays the slider's own
        }
        JumpToSlot(*value);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void NetPlayBack::animationTimer() {
    ViewController* vc = controller();
    if (!vc || !vc->IsNet_NET_DATA_SEND(vc->GetNetCtrlStruct(DVR))) {
        return;
    }
    QLog("NetBack  animationTimer");
    SetPlayTime();
}

void NetPlayBack::SetPlayTime() {
    if (sliderMoving == 0) {
        return;
    }
    const int32_t second = std::clamp(daySecond.load(), 0, kDaySeconds - 1);
    SetPickerSecond(second);
    const QSignalBlocker quiet(slider);
    slider->setValue(second / kSlotSeconds);
}
