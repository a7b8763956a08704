// The application window and the main-thread bridge on Qt's event loop.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QThread>
#include <QTranslator>
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "app/MainWindow.h"
#include "app/QtMainThreadBridge.h"
#include "app/QtTranslations.h"
#include "engine/TaskThreads.h"

using kv::app::TMainWindow;
using kv::app::TQtMainThreadBridge;

namespace {

TEST(AppTest, TheWindowStartsWithItsCaptionAndTheLibrariesLoaded)
{
    TMainWindow window;
    window.show();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Kelvane V1.3"));
    EXPECT_TRUE(window.Engine().LibrariesLoaded()) << window.Engine().LastError();
}

// Qt's standard buttons read in the window's language once Qt's translations are installed.
TEST(AppTest, QtsOwnButtonsReadInChinese)
{
    QTranslator qtTexts;
    ASSERT_TRUE(kv::app::LoadQtTranslations(qtTexts)) << "scripts/install-deps.sh installs qt6-translations-l10n";
    ASSERT_TRUE(QApplication::installTranslator(&qtTexts));
    const struct {
        QMessageBox::StandardButton Button;
        const char* Text;
    } cases[] = {
        {QMessageBox::Ok, "确定"}, {QMessageBox::Yes, "是"}, {QMessageBox::No, "否"}, {QMessageBox::Cancel, "取消"}};
    for (const auto& c : cases) {
        QMessageBox box(QMessageBox::Information, QStringLiteral("KelvaneV1.3"), QStringLiteral("…"), c.Button);
        ASSERT_NE(box.button(c.Button), nullptr);
        // The keyboard mnemonic stays Latin: "是(&Y)".
        const QString text = box.button(c.Button)->text().remove(QRegularExpression(QStringLiteral("\\(&.\\)")));
        EXPECT_EQ(text.toStdString(), c.Text);
    }
    QApplication::removeTranslator(&qtTexts);
}

TEST(AppTest, BridgeCallsFromAWorkerRunOnTheMainThreadAndWait)
{
    QObject target;
    TQtMainThreadBridge bridge(&target);
    const int mainThread = kv::CurrentThreadId();
    // Run by the engine's pump (the main thread waiting for a worker) and by the plain event loop.
    const std::pair<const char*, std::function<void()>> pumps[] = {
        {"Pump", [&] { bridge.Pump(); }},
        {"event loop", [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 10); }},
    };
    for (const auto& [name, pump] : pumps) {
        constexpr int Workers = 3;
        constexpr int Calls = 20;
        // Plain memory written by the calls and read by the workers: the thread checker sees whether the
        // bridge orders the two.
        int ranOn[Workers][Calls] = {};
        std::atomic<int> finished{0};
        std::vector<std::thread> workers;
        for (int w = 0; w < Workers; ++w)
            workers.emplace_back([&, w] {
                for (int c = 0; c < Calls; ++c) {
                    bridge.Invoke([&] { ranOn[w][c] = kv::CurrentThreadId(); });
                    EXPECT_EQ(ranOn[w][c], mainThread) << name << ": Invoke returns after the call ran";
                }
                ++finished;
            });
        QElapsedTimer timer;
        timer.start();
        while (finished < Workers && timer.elapsed() < 10000)
            pump();
        EXPECT_EQ(finished, Workers) << name << ": calls left waiting";
        while (finished < Workers)
            bridge.Pump();
        for (std::thread& worker : workers)
            worker.join();
    }
    // On the main thread itself the call runs at once.
    int ranOn = 0;
    bridge.Invoke([&] { ranOn = kv::CurrentThreadId(); });
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
