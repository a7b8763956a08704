#include "app/PreviewWindow.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

namespace kv::app {

TPreviewWindow::TPreviewWindow(std::function<void()> Closed)
    : QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint),
      m_closed(std::move(Closed))
{
    setAttribute(Qt::WA_DeleteOnClose, false);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TPreviewWindow::Open(int Width, int Height)
{
    setFixedSize(Width, Height);
    show();
    // Centred with its frame, which is known once it is shown.
    if (QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void TPreviewWindow::Paint(const kv::TBitmap& Picture, const std::string& Caption)
{
    if (Picture.Width > 0 && Picture.Height > 0 && !Picture.Pixels.empty())
        m_picture =
            QImage(Picture.Pixels.data(), Picture.Width, Picture.Height, Picture.Stride(), QImage::Format_BGR888)
                .copy();
    setWindowTitle(QString::fromStdString(Caption));
    update();
}

void TPreviewWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    painter.drawImage(QPoint(0, 0), m_picture);
}

void TPreviewWindow::closeEvent(QCloseEvent* Event)
{
    if (m_closed)
        m_closed();
    Event->accept();
}

void TPreviewWindow::mousePressEvent(QMouseEvent* Event)
{
    if (Event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(Event);
        return;
    }
    Event->accept();
    // The window system moves the window where it can; otherwise the window follows the mouse.
    if (windowHandle() && windowHandle()->startSystemMove())
        return;
    m_grip = Event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void TPreviewWindow::mouseMoveEvent(QMouseEvent* Event)
{
    if (m_grip && (Event->buttons() & Qt::LeftButton)) {
        move(Event->globalPosition().toPoint() - *m_grip);
        Event->accept();
        return;
    }
    QWidget::mouseMoveEvent(Event);
}

void TPreviewWindow::mouseReleaseEvent(QMouseEvent* Event)
{
    if (Event->button() == Qt::LeftButton)
        m_grip.reset();
    QWidget::mouseReleaseEvent(Event);
}

kv::TPreviewWindowFactory QtPreviewWindows()
{
    return [](std::function<void()> Closed) -> std::unique_ptr<kv::IPreviewWindow> {
        return std::make_unique<TPreviewWindow>(std::move(Closed));
    };
}

}  // namespace kv::app
