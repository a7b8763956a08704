// The window on message buses of the test's own (two dbus-daemon processes, one standing for the session
// bus, one for the system bus), served by fake notification and login services that record what they are
// asked: the notification at the end of a batch, the sleep hold while a batch converts, and a batch that
// runs as before when neither service is there.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QDBusVirtualObject>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeWidget>
#include <QLineEdit>
#include <QComboBox>
#include <memory>
#include <cstdio>
#include <cstdlib>
#include <csignal>
#include <poll.h>
#include <unistd.h>
#include <vector>

#include "EventPump.h"
#include "MediaFixtures.h"
#include "TestSupport.h"
#include "app/BatchController.h"
#include "app/DBusSleepInhibitor.h"
#include "app/MainWindow.h"
#include "app/logic/BatchDriver.h"
#include "WindowLogicSupport.h"

namespace {

using namespace kv::app;
using kvtest::PumpFor;
using kvtest::PumpUntil;

QString GSessionAddress;
QString GSystemAddress;

// A service of the test's own on a connection of its own, so that the window's calls go through the bus
// daemon as they would to another program.
class TFakeService : public QDBusVirtualObject {
public:
    TFakeService(const QString& Address, const QString& Service, const QString& Path)
        : m_name(QStringLiteral("fake-") + Service),
          m_service(Service),
          m_bus(QDBusConnection::connectToBus(Address, m_name))
    {
        EXPECT_TRUE(m_bus.isConnected()) << Address.toStdString();
        EXPECT_TRUE(m_bus.registerVirtualObject(Path, this));
        EXPECT_TRUE(m_bus.registerService(Service)) << Service.toStdString();
    }
    ~TFakeService() override
    {
        m_bus.unregisterService(m_service);
        QDBusConnection::disconnectFromBus(m_name);
    }
    QString introspect(const QString&) const override { return QString(); }

private:
    QString m_name;
    QString m_service;
    QDBusConnection m_bus;
};

// org.freedesktop.Notifications: each Notify's summary and body.
class TFakeNotifications final : public TFakeService {
public:
    TFakeNotifications()
        : TFakeService(GSessionAddress, QStringLiteral("org.freedesktop.Notifications"),
                       QStringLiteral("/org/freedesktop/Notifications"))
    {}
    QStringList Summaries, Bodies;
    bool handleMessage(const QDBusMessage& Message, const QDBusConnection& Connection) override
    {
        if (Message.member() != QStringLiteral("Notify") || Message.arguments().size() != 8)
            return false;
        Summaries << Message.arguments()[3].toString();
        Bodies << Message.arguments()[4].toString();
        Connection.send(Message.createReply(QVariant::fromValue(uint(Bodies.size()))));
        return true;
    }
};

// org.freedesktop.login1.Manager.Inhibit: answers with the writing end of a pipe and keeps the reading
// end, which sees the end of the file once the holder has closed the hold.
class TFakeLogin final : public TFakeService {
public:
    TFakeLogin()
        : TFakeService(GSystemAddress, QStringLiteral("org.freedesktop.login1"),
                       QStringLiteral("/org/freedesktop/login1"))
    {}
    ~TFakeLogin() override
    {
        for (const int fd : m_readEnds)
            ::close(fd);
    }
    std::vector<QStringList> Calls;  // what, who, why, mode
    bool handleMessage(const QDBusMessage& Message, const QDBusConnection& Connection) override
    {
        if (Message.member() != QStringLiteral("Inhibit"))
            return false;
        QStringList call;
        for (const QVariant& argument : Message.arguments())
            call << argument.toString();
        Calls.push_back(call);
        int ends[2];
        EXPECT_EQ(::pipe(ends), 0);
        m_readEnds.push_back(ends[0]);
        {
            const QDBusUnixFileDescriptor hold(ends[1]);  // a copy of it goes out
            ::close(ends[1]);
            Connection.send(Message.createReply(QVariant::fromValue(hold)));
        }
        return true;
    }
    // Whether the hold of call Index is still open on the holder's side.
    bool Open(std::size_t Index) const
    {
        if (Index >= m_readEnds.size())
            return false;
        pollfd poll{m_readEnds[Index], POLLIN, 0};
        return ::poll(&poll, 1, 0) == 0;
    }
    int OpenHolds() const
    {
        int open = 0;
        for (std::size_t i = 0; i < m_readEnds.size(); ++i)
            open += Open(i);
        return open;
    }

private:
    std::vector<int> m_readEnds;
};

// A shown main window converting to MP4 into a folder of its own, with the window's own notifier and
// sleep hold.
struct TBusWindow {
    kvtest::TDesktopRecorder Recorder;
    kvtest::TProgramFolder Program;
    QTemporaryDir Work;
    std::unique_ptr<TMainWindow> Window;

    TBusWindow()
    {
        kvtest::LoadSystemLibraries();
        Window = std::make_unique<TMainWindow>(Program.Paths(), Recorder.PortsWithDesktopBus());
        Window->show();
        QApplication::processEvents();
        Window->Batch().ConfirmClose = [](const QString&) { return true; };
        const TMainWindowControls& c = Window->Controls();
        emit c.FileType->activated(1);  // MP4
        emit c.Preset->activated(0);
        QDir().mkpath(Output());
        c.OutputFolder->setText(Output());
        emit c.OutputFolder->textEdited(Output());
    }
    QString Output() const { return Work.path() + QStringLiteral("/out"); }
    TBatchDriver& Driver() { return Window->Batch().Driver(); }

    // Files of Seconds of 640x480 with sound, added as the add button would.
    void AddLong(int Files, int Seconds)
    {
        QStringList paths;
        for (int file = 0; file < Files; ++file) {
            const QString path = Work.path() + QStringLiteral("/in%1.mp4").arg(file);
            const std::string length = std::to_string(Seconds);
            std::string output;
            ASSERT_EQ(kvtest::RunCommand(
                          "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=640x480:rate=25:duration=" + length +
                              " -f lavfi -i sine=duration=" + length +
                              " -c:v libx264 -preset ultrafast -c:a aac -shortest '" + path.toStdString() + "'",
                          output),
                      0)
                << output;
            paths << path;
        }
        Recorder.FilesAnswer = paths;
        Window->Controls().AddPanel->click();
        ASSERT_TRUE(PumpUntil([&] { return !Window->Batch().List().Reading(); }, 30000));
        ASSERT_EQ(Window->Batch().List().Count(), Files);
    }
    bool Ended() const { return !Recorder.Informations.isEmpty() || !Recorder.Warnings.isEmpty(); }
};

TEST(DesktopBusTest, TheEndOfABatchIsNotifiedOnceWhenTheWindowIsNotTheActiveOne)
{
    for (const bool active : {false, true}) {
        SCOPED_TRACE(active ? "active" : "in another window");
        TFakeNotifications notifications;
        TBusWindow w;
        w.AddLong(2, 2);
        // The user works in another window of the desktop, or in this one.
        QWidget other;
        if (!active)
            other.show();
        PumpFor(200);
        QApplication::setActiveWindow(active ? static_cast<QWidget*>(w.Window.get()) : &other);
        ASSERT_TRUE(PumpUntil([&] { return w.Window->isActiveWindow() == active; }, 5000));
        w.Window->Controls().Start->click();
        ASSERT_TRUE(PumpUntil([&] { return w.Ended(); }, 60000)) << "the batch did not end";
        ASSERT_EQ(w.Recorder.Informations, QStringList{BatchDoneMessage});
        ASSERT_EQ(w.Window->isActiveWindow(), active) << "the user changed windows during the batch";
        if (active) {
            PumpFor(500);
            EXPECT_TRUE(notifications.Bodies.isEmpty());
            continue;
        }
        ASSERT_TRUE(PumpUntil([&] { return !notifications.Bodies.isEmpty(); }, 5000)) << "no notification";
        PumpFor(300);
        EXPECT_EQ(notifications.Bodies, QStringList{BatchDoneMessage}) << "once, with the end message";
        EXPECT_EQ(notifications.Summaries, QStringList{MessageCaption});
    }
}

TEST(DesktopBusTest, TheSleepHoldIsTakenAtStartLetGoOnPauseAndAtTheEnd)
{
    TFakeLogin login;
    TBusWindow w;
    w.AddLong(1, 30);
    w.Window->Controls().Start->click();
    ASSERT_TRUE(PumpUntil([&] { return login.OpenHolds() == 1; }, 5000)) << "no hold at Start";
    ASSERT_EQ(login.Calls.size(), 1u);
    EXPECT_EQ(login.Calls[0], (QStringList{QStringLiteral("sleep:idle"), QStringLiteral("Kelvane"),
                                           QStringLiteral("正在转换视频"), QStringLiteral("block")}));
    ASSERT_TRUE(w.Driver().Running()) << "the batch ended before the hold was seen";

    w.Window->Controls().Pause->click();
    ASSERT_TRUE(PumpUntil([&] { return !login.Open(0); }, 5000)) << "still held while paused";
    w.Window->Controls().Resume->click();
    ASSERT_TRUE(PumpUntil([&] { return login.Calls.size() == 2 && login.Open(1); }, 5000)) << "not held again";

    ASSERT_TRUE(PumpUntil([&] { return w.Ended(); }, 60000)) << "the batch did not end";
    EXPECT_TRUE(PumpUntil([&] { return login.OpenHolds() == 0; }, 5000)) << "still held after the end";
    EXPECT_EQ(login.Calls.size(), 2u);
}

TEST(DesktopBusTest, TheSleepHoldIsLetGoOnStopAndWhenTheWindowGoes)
{
    for (const bool stop : {true, false}) {
        SCOPED_TRACE(stop ? "Stop" : "the window closed");
        TFakeLogin login;
        TBusWindow w;
        w.AddLong(1, 60);
        w.Window->Controls().Start->click();
        ASSERT_TRUE(PumpUntil([&] { return login.OpenHolds() == 1; }, 5000)) << "no hold at Start";
        if (stop) {
            w.Window->Controls().Stop->click();
            // Let go at once (the hold's answer may still be on its way: it is closed when it comes).
            ASSERT_TRUE(w.Driver().Running());
            EXPECT_TRUE(PumpUntil([&] { return !login.Open(0); }, 2000)) << "still held after Stop";
            ASSERT_TRUE(PumpUntil([&] { return w.Ended(); }, 30000)) << "no end after Stop";
        } else {
            w.Window->close();
            w.Window.reset();
            EXPECT_TRUE(PumpUntil([&] { return !login.Open(0); }, 2000)) << "still held after the window went";
        }
        EXPECT_EQ(login.Calls.size(), 1u);
    }
}

TEST(DesktopBusTest, WithoutTheServicesTheBatchRunsAndEndsAsBefore)
{
    TBusWindow w;
    w.AddLong(1, 2);
    QWidget other;
    other.show();
    QApplication::setActiveWindow(&other);
    w.Window->Controls().Start->click();
    w.Window->Controls().Pause->click();
    w.Window->Controls().Resume->click();
    ASSERT_TRUE(PumpUntil([&] { return w.Ended(); }, 60000)) << "the batch did not end";
    EXPECT_EQ(w.Recorder.Informations, QStringList{BatchDoneMessage});
    EXPECT_TRUE(w.Recorder.Warnings.isEmpty() && w.Recorder.Errors.isEmpty());
    EXPECT_EQ(QDir(w.Output()).entryList(QDir::Files).size(), 1);
}

// The reply to a hold that comes after it was let go is closed, not kept.
TEST(DesktopBusTest, AHoldAnsweredAfterItsReleaseIsNotKept)
{
    TFakeLogin login;
    TDBusSleepInhibitor inhibitor;
    inhibitor.Hold();
    inhibitor.Release();
    ASSERT_TRUE(PumpUntil([&] { return login.Calls.size() == 1; }, 5000));
    EXPECT_TRUE(PumpUntil([&] { return !login.Open(0); }, 2000)) << "a hold nobody wants is kept";
    EXPECT_FALSE(inhibitor.Held());
    // Held again, then let go when the holder goes.
    {
        TDBusSleepInhibitor again;
        again.Hold();
        ASSERT_TRUE(PumpUntil([&] { return again.Held(); }, 5000));
        EXPECT_TRUE(login.Open(1));
    }
    EXPECT_FALSE(login.Open(1));
}

// A bus daemon of the test's own, ended with the test program. It is started before Qt is, by the C
// library rather than QProcess: the thread sanitizer loses track of the main thread's locks after
// QProcess's start-up.
struct TBusDaemon {
    pid_t Pid = 0;
    QString Address;
    bool Start()
    {
        FILE* daemon = popen("dbus-daemon --session --fork --print-address=1 --print-pid=1", "r");
        if (!daemon)
            return false;
        char address[512] = {}, pid[32] = {};
        const bool read = fgets(address, sizeof address, daemon) && fgets(pid, sizeof pid, daemon);
        pclose(daemon);
        if (!read)
            return false;
        Address = QString::fromLocal8Bit(address).trimmed();
        Pid = static_cast<pid_t>(std::atol(pid));
        return !Address.isEmpty() && Pid > 0;
    }
    ~TBusDaemon()
    {
        if (Pid > 0)
            kill(Pid, SIGTERM);
    }
};

}  // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    // The buses are set before anything of Qt's reaches for one.
    TBusDaemon session, system;
    if (!session.Start() || !system.Start()) {
        fprintf(stderr, "dbus-daemon could not be started (scripts/install-deps.sh installs it)\n");
        return 1;
    }
    GSessionAddress = session.Address;
    GSystemAddress = system.Address;
    qputenv("DBUS_SESSION_BUS_ADDRESS", session.Address.toLocal8Bit());
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", system.Address.toLocal8Bit());
    int result = 0;
    {
        QApplication application(argc, argv);
        result = RUN_ALL_TESTS();
    }
    return result;
}
