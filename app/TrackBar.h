// The preview's track bar: a horizontal slider that also shows the clip marked on it, the positions
// between the start and end marks as a band along the groove.
#pragma once

#include <QColor>
#include <QRect>
#include <QSlider>

namespace kv::app {

class TTrackBar : public QSlider {
public:
    explicit TTrackBar(QWidget* Parent = nullptr);

    // The marked positions; nothing is drawn unless Start lies before End.
    void SetMarkedRange(int Start, int End);
    int MarkedStart() const { return m_start; }
    int MarkedEnd() const { return m_end; }
    // Where the band is drawn; empty when none is.
    QRect MarkedRect() const;

    inline static const QColor MarkColor{0, 120, 215};

protected:
    void paintEvent(QPaintEvent* Event) override;

private:
    int m_start = 0;
    int m_end = 0;
};

}  // namespace kv::app
