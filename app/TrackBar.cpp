#include "app/TrackBar.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QStylePainter>

namespace kv::app {

TTrackBar::TTrackBar(QWidget* Parent) : QSlider(Qt::Horizontal, Parent) {}

void TTrackBar::SetMarkedRange(int Start, int End)
{
    if (Start == m_start && End == m_end)
        return;
    m_start = Start;
    m_end = End;
    update();
}

QRect TTrackBar::MarkedRect() const
{
    if (m_start >= m_end || maximum() <= minimum())
        return {};
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect groove = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    // The handle's centre travels over the groove less the handle's width.
    const int span = groove.width() - handle.width();
    if (span <= 0)
        return {};
    auto x = [&](int Value) {
        return groove.left() + handle.width() / 2 +
               QStyle::sliderPositionFromValue(minimum(), maximum(), qBound(minimum(), Value, maximum()), span,
                                               option.upsideDown);
    };
    const int left = x(m_start), right = x(m_end);
    if (right <= left)
        return {};
    const int height = qMax(4, groove.height() / 2);
    return QRect(left, groove.center().y() - height / 2, right - left + 1, height);
}

void TTrackBar::paintEvent(QPaintEvent* Event)
{
    const QRect band = MarkedRect();
    if (band.isEmpty()) {
        QSlider::paintEvent(Event);
        return;
    }
    // The groove and ticks, the band over the groove, then the handle over the band.
    QStylePainter painter(this);
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QStyle::SubControls all = option.subControls;
    option.subControls = all & ~QStyle::SC_SliderHandle;
    painter.drawComplexControl(QStyle::CC_Slider, option);
    QColor fill = MarkColor;
    if (!isEnabled())
        fill.setAlpha(110);
    painter.fillRect(band, fill);
    painter.setPen(MarkColor.darker(140));
    painter.drawLine(band.topLeft(), band.bottomLeft());
    painter.drawLine(band.topRight(), band.bottomRight());
    option.subControls = QStyle::SC_SliderHandle;
    painter.drawComplexControl(QStyle::CC_Slider, option);
}

}  // namespace kv::app
