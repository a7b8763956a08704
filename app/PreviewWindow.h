// The window a task's previewer shows its pictures in: a small tool window that stays on top, shows
// the picture at its natural size and its time in the caption, and is dragged by its picture.
#pragma once

#include <QImage>
#include <QPoint>
#include <QWidget>
#include <functional>
#include <optional>

#include "component/Previewer.h"

namespace kv::app {

class TPreviewWindow : public QWidget, public kv::IPreviewWindow {
public:
    // Closed runs when the user closes the window; the window is only hidden then.
    explicit TPreviewWindow(std::function<void()> Closed);

    void Open(int Width, int Height) override;
    void Paint(const kv::TBitmap& Picture, const std::string& Caption) override;
    // The picture last given (a copy of its own).
    const QImage& Picture() const { return m_picture; }

protected:
    void paintEvent(QPaintEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseMoveEvent(QMouseEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;

private:
    std::function<void()> m_closed;
    QImage m_picture;
    std::optional<QPoint> m_grip;  // where the picture was taken hold of, from the window's corner
};

// The engine component's source of preview windows in the application.
kv::TPreviewWindowFactory QtPreviewWindows();

}  // namespace kv::app
