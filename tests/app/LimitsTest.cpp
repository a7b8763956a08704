// Limits a user reaches, through the window's logic and the real engine: a video longer than a day, a
// file name of 255 bytes, paths of 4000 bytes, a folder of ten thousand files added at once, and an output
// folder on a file system without room for even a file's header. Each works (the list shows the file with
// its facts, the batch converts it) or is refused with a message that says why.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <functional>

#include "ConversionSupport.h"
#include "EventPump.h"
#include "MediaFixtures.h"
#include "TestSupport.h"
#include "WindowLogicSupport.h"
#include "app/logic/AddNotices.h"
#include "app/logic/BatchDriver.h"
#include "app/logic/FileList.h"
#include "app/logic/WindowLogic.h"
#include "component/DIdezuDOR.h"
#include "media/AVProbe.h"

namespace {

using namespace kv::app;
using kvtest::PumpUntil;

// The window's logic, its file list and its batch around the real engine, converting to the first MP4
// preset into an output folder of the test's choice.
struct TLimitsWindow {
    kvtest::TDesktopRecorder Desktop;
    kvtest::TProgramFolder Program;
    QTemporaryDir Work;
    kv::TDIdezuDOR Engine;
    std::unique_ptr<TWindowLogic> Logic;
    TFileList List{MakeFactsReader(QStringLiteral(KELVANE_CLI))};
    std::unique_ptr<TBatchDriver> Driver;
    // Changes what the window says of a row's file before its records are built (a marked clip).
    std::function<void(TRecordSource&)> Adjust;
    QList<TNotAdded> NotAdded;
    int AddsFinished = 0;

    TLimitsWindow()
    {
        kvtest::LoadSystemLibraries();
        Logic = std::make_unique<TWindowLogic>(Desktop.Ports(), Program.Paths());
        Logic->Create(Engine);
        Logic->Show();
        Logic->FileTypeChanged(1, true);  // MP4
        Logic->PresetChanged(0, true);
        UseOutput(Work.path() + QStringLiteral("/out"));
        List.OnAddFinished = [this] { ++AddsFinished; };
        List.OnNotAdded = [this](const TNotAdded& Files) { NotAdded << Files; };
        Driver = std::make_unique<TBatchDriver>(Engine, List, Desktop.Ports());
        Driver->BuildRecords = [this](const TListRow& Row, kv::TInputOptions& Input, kv::TOutputOptions& Output) {
            TRecordSource source;
            source.ProbeFileName = Row.Path;
            for (int index = 0; index < List.Count(); ++index) {
                source.FileRows.push_back({List.Row(index).Caption, List.Row(index).Resolution});
                if (List.Row(index).Path == Row.Path)
                    source.OwnRow = index;
            }
            if (Adjust)
                Adjust(source);
            return Logic->BuildRecords(source, Input, Output);
        };
    }
    ~TLimitsWindow()
    {
        if (Driver->Running()) {
            Driver->Stop();
            PumpUntil([&] { return !Driver->Running(); }, 30000);
        }
        Engine.ClearTasks();
    }

    void UseOutput(const QString& Folder)
    {
        QDir().mkpath(Folder);
        Logic->OutputFolderEdited(Folder);
    }

    void Add(const QStringList& Paths, int TimeoutMs = 60000)
    {
        const int before = AddsFinished;
        List.Add(Paths, TWindowLogic::VideoFileFilter());
        ASSERT_TRUE(PumpUntil([&] { return AddsFinished > before; }, TimeoutMs)) << "the rows never came";
    }

    void RunBatch()
    {
        Driver->Start();
        ASSERT_TRUE(PumpUntil([&] { return !Driver->Running(); }, 120000)) << "the batch did not end";
    }

    // The files in Folder, hidden ones too.
    static QStringList Files(const QString& Folder)
    {
        return QDir(Folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }
};

// Files of one folder made at once, named clip00000.mp4 and on; each a link to Content when it is given,
// else empty.
QStringList ManyFiles(const QString& Folder, int Count, const QString& Content)
{
    QDir().mkpath(Folder);
    QStringList paths;
    for (int i = 0; i < Count; ++i) {
        const QString path = Folder + QStringLiteral("/clip%1.mp4").arg(i, 5, 10, QLatin1Char('0'));
        if (Content.isEmpty()) {
            QFile file(path);
            EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
        } else {
            EXPECT_EQ(::link(Content.toUtf8().constData(), path.toUtf8().constData()), 0) << path.toStdString();
        }
        paths << path;
    }
    return paths;
}

TEST(LimitsTest, TenThousandFilesAddedAtOnceAreReadAndTheUnreadableOnesCounted)
{
    TLimitsWindow w;
    const QStringList empty = ManyFiles(w.Work.path() + QStringLiteral("/many"), 10000, QString());
    QElapsedTimer timer;
    timer.start();
    w.Add(empty, 120000);
    const qint64 ms = timer.elapsed();
    RecordProperty("empty_files_ms", int(ms));
    std::printf("10000 empty files added in %lld ms\n", static_cast<long long>(ms));
    EXPECT_EQ(w.List.Count(), 0);
    ASSERT_EQ(w.NotAdded.size(), 1);
    EXPECT_EQ(w.NotAdded[0].Unreadable.size(), 10000);
    const QString message = NotAddedMessage(w.NotAdded[0], TWindowLogic::VideoFileFilter());
    EXPECT_TRUE(message.contains(QFileInfo(empty[0]).fileName())) << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("9990"))) << "the rest are counted: " << message.toStdString();
    EXPECT_LT(message.count(QLatin1Char('\n')), 30) << "a message box higher than the screen";
}

// Mounts a file system of 4 KiB in a folder of its own and fills it; unmounts it when it goes.
struct TFullFileSystem {
    QTemporaryDir Mount;
    bool Mounted = false;
    TFullFileSystem()
    {
        Mounted = ::mount("kelvane-full", Mount.path().toUtf8().constData(), "tmpfs", 0, "size=4k") == 0;
        EXPECT_TRUE(Mounted) << "cannot mount a small file system (the tests run as root): " << std::strerror(errno);
        QFile filler(Mount.path() + QStringLiteral("/filler"));
        if (Mounted && filler.open(QIODevice::WriteOnly)) {
            while (filler.write(QByteArray(512, 'x')) == 512 && filler.flush()) {
            }
        }
    }
    ~TFullFileSystem()
    {
        if (Mounted) {
            EXPECT_EQ(::umount2(Mount.path().toUtf8().constData(), MNT_DETACH), 0) << std::strerror(errno);
        }
    }
    QString Folder() const { return Mount.path() + QStringLiteral("/out"); }
};

}  // namespace
