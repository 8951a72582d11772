#include "gui/playback/SliderClick.h"

#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>

std::optional<int> SliderValueAt(const QSlider& slider, QPoint at) {
    QStyleOptionSlider option;
    option.initFrom(&slider);
    option.orientation = slider.orientation();
    option.minimum = slider.minimum();
    option.maximum = slider.maximum();
    option.sliderPosition = slider.sliderPosition();
    option.sliderValue = slider.value();
    const QRect handle = slider.style()->subControlRect(QStyle::CC_Slider, &option,
                                                        QStyle::SC_SliderHandle, &slider);
    if (handle.contains(at)) {
        return std::nullopt;
    }
    const QRect groove = slider.style()->subControlRect(QStyle::CC_Slider, &option,
                                                        QStyle::SC_SliderGroove, &slider);
    const int span = groove.width() - handle.width();
    const int x = at.x() - groove.x() - handle.width() / 2;
    return QStyle::sliderValueFromPosition(slider.minimum(), slider.maximum(), x, span);
}
