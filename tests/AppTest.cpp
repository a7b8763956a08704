// The application window and the main-thread bridge on Qt's event loop.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <atomic>
#include <thread>

#include "app/MainWindow.h"
#include "app/QtMainThreadBridge.h"
#include "engine/TaskThreads.h"

namespace {

TEST(AppTest, TheWindowStartsWithItsCaptionAndTheLibrariesLoaded)
{
    MainWindow window;
    window.show();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Kelvane V1.3"));
    EXPECT_TRUE(window.Engine().LibrariesLoaded()) << window.Engine().LastError();
}

TEST(AppTest, BridgeCallsFromAWorkerRunOnTheMainThreadAndWait)
{
    QObject target;
    QtMainThreadBridge bridge(&target);
    const int mainThread = kv::CurrentThreadId();
    std::atomic<int> ranOn{0};
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        bridge.Invoke([&] { ranOn = kv::CurrentThreadId(); });
        EXPECT_NE(ranOn, 0) << "Invoke returns only after the call ran";
        returned = true;
    });
    QElapsedTimer timer;
    timer.start();
    while (!returned && timer.elapsed() < 10000)
        bridge.Pump();
    worker.join();
    EXPECT_EQ(ranOn, mainThread);
}

}  // namespace

int main(int argc, char** argv)
{
    // No display is needed, also when the build lists the tests.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
