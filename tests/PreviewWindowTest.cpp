// The preview window of the application, alone and behind the previewer.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <atomic>
#include <thread>

#include "app/PreviewWindow.h"
#include "app/QtMainThreadBridge.h"
#include "media/ThreadId.h"

using kv::app::QtPreviewWindows;
using kv::app::TPreviewWindow;
using kv::app::TQtMainThreadBridge;

namespace {

kv::TBitmap Filled(int Width, int Height, uint8_t Blue, uint8_t Green, uint8_t Red)
{
    kv::TBitmap bitmap;
    bitmap.Resize(Width, Height);
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x) {
            uint8_t* pixel = bitmap.ScanLine(y) + x * 3;
            pixel[0] = Blue, pixel[1] = Green, pixel[2] = Red;
        }
    return bitmap;
}

void SendMouse(QWidget& Window, QEvent::Type Type, QPoint Local, Qt::MouseButton Button, Qt::MouseButtons Buttons)
{
    const QPointF global = Window.mapToGlobal(QPointF(Local));
    QMouseEvent event(Type, QPointF(Local), global, Button, Buttons, Qt::NoModifier);
    QApplication::sendEvent(&Window, &event);
}

TEST(PreviewWindowTest, AToolWindowOnTopShowingThePictureAndItsTime)
{
    int closed = 0;
    TPreviewWindow window([&] { ++closed; });
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::Tool));
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(window.parentWidget(), nullptr);

    window.Open(64, 48);
    window.Paint(Filled(64, 48, 200, 100, 50), "00:00:01.500");
    QApplication::processEvents();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.size(), QSize(64, 48));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("00:00:01.500"));
    const QImage shown = window.grab().toImage();
    EXPECT_EQ(shown.pixelColor(10, 10), QColor(50, 100, 200)) << "BGR bytes shown as the colour they name";
    if (QScreen* screen = window.screen()) {
        EXPECT_LE((window.frameGeometry().center() - screen->availableGeometry().center()).manhattanLength(), 2)
            << "opened in the middle of the screen";
    }

    // A later picture of another size is drawn at the corner; the window keeps its size.
    window.Paint(Filled(32, 16, 0, 0, 255), "00:00:01.600");
    QApplication::processEvents();
    EXPECT_EQ(window.size(), QSize(64, 48));
    const QImage second = window.grab().toImage();
    EXPECT_EQ(second.pixelColor(5, 5), QColor(255, 0, 0));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("00:00:01.600"));

    // Dragged by its picture.
    const QPoint before = window.pos();
    SendMouse(window, QEvent::MouseButtonPress, QPoint(10, 10), Qt::LeftButton, Qt::LeftButton);
    SendMouse(window, QEvent::MouseMove, QPoint(40, 30), Qt::NoButton, Qt::LeftButton);
    SendMouse(window, QEvent::MouseButtonRelease, QPoint(40, 30), Qt::LeftButton, Qt::NoButton);
    QApplication::processEvents();
    EXPECT_EQ(window.pos() - before, QPoint(30, 20));

    EXPECT_TRUE(window.close());
    EXPECT_EQ(closed, 1);
    EXPECT_FALSE(window.isVisible());
}

// From a worker, through the previewer: the window is made and drawn on the main thread, closing it
// makes the previewer answer false, and the window goes with the previewer.
TEST(PreviewWindowTest, ThePreviewerMakesItsWindowOnTheMainThread)
{
    QObject target;
    auto bridge = std::make_shared<TQtMainThreadBridge>(&target);
    auto previewer = std::make_unique<kv::TPreviewer>(QtPreviewWindows(), bridge, kv::CurrentThreadId());
    std::atomic<int> step{0};
    std::atomic<bool> answer{false};
    std::thread worker([&] {
        answer = previewer->Show(Filled(40, 30, 0, 255, 0), 7, 3723004000);
        step = 1;
        while (step != 2)
            std::this_thread::yield();
        answer = previewer->Show(Filled(40, 30, 0, 255, 0), 8, 3723104000);
        previewer.reset();
        step = 3;
    });
    QElapsedTimer timer;
    timer.start();
    while (step != 1 && timer.elapsed() < 10000)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_EQ(step, 1);
    EXPECT_TRUE(answer);
    TPreviewWindow* window = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* preview = dynamic_cast<TPreviewWindow*>(widget); preview && preview->isVisible())
            window = preview;
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("01:02:03.004"));
    EXPECT_EQ(window->size(), QSize(40, 30));
    window->close();  // the user closes it

    step = 2;
    while (step != 3 && timer.elapsed() < 10000)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_EQ(step, 3);
    worker.join();
    EXPECT_FALSE(answer) << "closed: the task stops previewing";
    for (QWidget* widget : QApplication::topLevelWidgets())
        EXPECT_EQ(dynamic_cast<TPreviewWindow*>(widget), nullptr) << "the window went with the previewer";
}

}  // namespace
