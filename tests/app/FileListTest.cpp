// The file list: one row per file in the order asked for, each with its full path; duplicates and files
// the probe cannot open left out; facts read away from the window's thread, so a file on which the
// media-information library hangs is listed with the probe's facts while the window keeps answering.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "EventPump.h"
#include "MediaFixtures.h"
#include "TestSupport.h"
#include "app/logic/AddNotices.h"
#include "app/logic/FileList.h"
#include "app/logic/WindowLogic.h"

namespace {

using namespace kv::app;

// Runs the window's event loop until Condition holds or Ms pass.
using kvtest::PumpUntil;

// Files in a temporary folder; the fake reader says a file is readable unless its name holds "bad", and
// gives it a video of 640 X 480 of 3 723 s unless its name holds "audio".
class TFolder {
public:
    QString Make(const QString& Name)
    {
        const QString path = m_dir.path() + QLatin1Char('/') + Name;
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        return path;
    }
    QString Path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};

TFileFacts FakeFacts(const QString& Path)
{
    TFileFacts facts;
    facts.Readable = !Path.contains(QLatin1String("bad"));
    if (!Path.contains(QLatin1String("audio"))) {
        facts.VideoStreams = 1;
        facts.Width = 640;
        facts.Height = 480;
    }
    facts.PlayTimeMs = 3723000;
    facts.DurationUs = 3723000000;
    return facts;
}

TEST(FileListTest, RowsKeepTheirFullPathsInTheOrderAskedFor)
{
    TFolder folder;
    const QString a = folder.Make(QStringLiteral("clip.one.avi"));
    const QString bad = folder.Make(QStringLiteral("bad.mp4"));
    const QString b = folder.Make(QStringLiteral("片 段.Mkv"));
    const QString audio = folder.Make(QStringLiteral("audio.mp4"));
    // The first file is read slowest: its row still comes first.
    TFileList list([&](const QString& Path) {
        if (Path == a)
            QThread::msleep(200);
        return FakeFacts(Path);
    });
    int finished = 0;
    list.OnAddFinished = [&] { ++finished; };
    QStringList added;
    list.OnRowAdded = [&](int Index) { added << list.Row(Index).Path; };

    EXPECT_EQ(list.Add({a, bad, b, audio}), 4);
    ASSERT_TRUE(PumpUntil([&] { return finished == 1; }));
    EXPECT_FALSE(list.Reading());
    ASSERT_EQ(list.Count(), 3) << "the file the probe cannot open is left out";
    EXPECT_EQ(added, (QStringList{a, b, audio}));
    EXPECT_EQ(list.Paths(), (QStringList{a, b, audio}));

    const struct {
        int Row;
        const char *Caption, *Type, *Resolution;
    } rows[] = {
        {0, "clip.one", ".AVI", "640 X 480"},
        {1, "片 段", ".MKV", "640 X 480"},
        {2, "audio", ".MP4", "0 X 0"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(list.Row(r.Row).Caption, QString::fromUtf8(r.Caption));
        EXPECT_EQ(list.Row(r.Row).Type, QString::fromUtf8(r.Type));
        EXPECT_EQ(list.Row(r.Row).Resolution, QString::fromUtf8(r.Resolution));
        EXPECT_EQ(list.Row(r.Row).Duration, QStringLiteral(" 01:02:03"));
        EXPECT_TRUE(list.Row(r.Row).Progress.isEmpty());
    }

    // Deleting the middle row keeps each remaining row with its own path.
    EXPECT_TRUE(list.Delete(1));
    EXPECT_FALSE(list.Delete(2));
    EXPECT_FALSE(list.Delete(-1));
    EXPECT_EQ(list.Paths(), (QStringList{a, audio}));
    list.SetProgress(1, QStringLiteral("37%"));
    EXPECT_EQ(list.Row(1).Progress, QStringLiteral("37%"));
    list.SetProgress(5, QStringLiteral("37%"));  // no such row: nothing happens
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
}

TEST(FileListTest, AFileIsListedOnce)
{
    TFolder folder;
    const QString a = folder.Make(QStringLiteral("a.avi"));
    const QString upper = folder.Make(QStringLiteral("A.avi"));
    QDir(folder.Path()).mkdir(QStringLiteral("sub"));
    QFile::link(a, folder.Path() + QStringLiteral("/sub/link.avi"));
    const QString viaDots = folder.Path() + QStringLiteral("/sub/../a.avi");
    const QString viaLink = folder.Path() + QStringLiteral("/sub/link.avi");

    const struct {
        const char* Name;
        QList<QStringList> Adds;  // one Add call each
        QStringList Rows;
    } cases[] = {
        {"the same path twice in one choice", {{a, a}}, {a}},
        {"the same path in a later choice", {{a}, {a}}, {a}},
        {"another spelling of the same path", {{a}, {viaDots}}, {a}},
        {"a link to a listed file", {{a}, {viaLink}}, {a}},
        // Linux names differ by letter case: these are two files.
        {"names differing in letter case", {{a, upper}}, {a, upper}},
    };
    for (const auto& c : cases) {
        TFileList list(FakeFacts);
        int finished = 0;
        list.OnAddFinished = [&] { ++finished; };
        for (const QStringList& add : c.Adds) {
            const int before = finished;
            list.Add(add);
            ASSERT_TRUE(PumpUntil([&] { return finished > before; })) << c.Name;
        }
        EXPECT_EQ(list.Paths(), c.Rows) << c.Name;
    }

    // While the first read of a file is on its way, a second choice of it is passed over too; once its row
    // is deleted the file can come back.
    std::mutex lock;
    std::condition_variable changed;
    bool release = false;
    TFileList list([&](const QString& Path) {
        std::unique_lock<std::mutex> guard(lock);
        changed.wait(guard, [&] { return release; });
        return FakeFacts(Path);
    });
    int finished = 0;
    list.OnAddFinished = [&] { ++finished; };
    EXPECT_EQ(list.Add({a}), 1);
    EXPECT_TRUE(list.Reading());
    EXPECT_EQ(list.Add({a}), 0);
    {
        std::lock_guard<std::mutex> guard(lock);
        release = true;
    }
    changed.notify_all();
    ASSERT_TRUE(PumpUntil([&] { return finished == 2; }));
    EXPECT_EQ(list.Count(), 1);
    list.Delete(0);
    EXPECT_EQ(list.Add({a}), 1);
    ASSERT_TRUE(PumpUntil([&] { return finished == 3; }));
    EXPECT_EQ(list.Paths(), QStringList{a});
}

TEST(FileListTest, TheDialogsFilterAppliesToDroppedFiles)
{
    TFolder folder;
    const QStringList paths{folder.Make(QStringLiteral("a.MOV")), folder.Make(QStringLiteral("b.txt")),
                            folder.Make(QStringLiteral("c.m2ts")), folder.Make(QStringLiteral("d.mp3"))};
    TFileList list(FakeFacts);
    int finished = 0;
    list.OnAddFinished = [&] { ++finished; };
    EXPECT_EQ(list.Add(paths, TWindowLogic::VideoFileFilter()), 2);
    ASSERT_TRUE(PumpUntil([&] { return finished == 1; }));
    EXPECT_EQ(list.Paths(), (QStringList{paths[0], paths[2]}));
}

// What an add passes over is told once, after its reads, by reason; files listed already are not news.
TEST(FileListTest, FilesPassedOverAreToldByReason)
{
    TFolder folder;
    const QString listed = folder.Make(QStringLiteral("a.avi"));
    const QString bad = folder.Make(QStringLiteral("bad.mp4"));
    const QString notes = folder.Make(QStringLiteral("notes.txt"));
    const QString gone = folder.Path() + QStringLiteral("/gone.mkv");
    const QString good = folder.Make(QStringLiteral("b.mkv"));
    TFileList list(FakeFacts);
    int finished = 0;
    QList<TNotAdded> told;
    list.OnAddFinished = [&] { ++finished; };
    list.OnNotAdded = [&](const TNotAdded& NotAdded) { told << NotAdded; };
    const QString filter = TWindowLogic::VideoFileFilter();

    list.Add({listed}, filter);
    ASSERT_TRUE(PumpUntil([&] { return finished == 1; }));
    EXPECT_TRUE(told.isEmpty());

    EXPECT_EQ(list.Add({notes, listed, bad, gone, good}, filter), 2);
    ASSERT_TRUE(PumpUntil([&] { return finished == 2; }));
    ASSERT_EQ(told.size(), 1);
    EXPECT_EQ(told[0].NotAccepted, QStringList{notes});
    EXPECT_EQ(told[0].Missing, QStringList{gone});
    EXPECT_EQ(told[0].Unreadable, QStringList{bad});
    EXPECT_EQ(list.Paths(), (QStringList{listed, good}));

    // Nothing to read at all: told at once.
    EXPECT_EQ(list.Add({notes}, filter), 0);
    ASSERT_EQ(told.size(), 2);
    EXPECT_EQ(told[1].NotAccepted, QStringList{notes});
    EXPECT_EQ(finished, 3);

    // Reads a Clear dropped are not told.
    list.Clear();
    list.Add({bad}, filter);
    list.Clear();
    ASSERT_TRUE(PumpUntil([&] { return finished == 4; }));
    kvtest::PumpFor(100);
    EXPECT_EQ(told.size(), 2);
}

TEST(FileListTest, TheNotAddedMessageNamesTheAcceptedTypesAndCountsWhatItDoesNotName)
{
    TNotAdded notAdded;
    for (int i = 1; i <= MaxNamed + 2; ++i)
        notAdded.NotAccepted << QStringLiteral("/v/%1.txt").arg(i);
    const QString message = NotAddedMessage(notAdded, QStringLiteral("Video Files|*.AVI;*.MP4;*.M2TS"));
    QString expected = QStringLiteral("以下文件未能添加：\n\n不是可以转换的类型（可以添加 AVI、MP4、M2TS）：\n");
    for (int i = 1; i <= MaxNamed; ++i)
        expected += QStringLiteral("  /v/%1.txt\n").arg(i);
    expected += QStringLiteral("  ……另有 2 个文件");
    EXPECT_EQ(message, expected);
}

TEST(FileListTest, ClearingDropsTheReadsOnTheirWay)
{
    TFolder folder;
    const QString a = folder.Make(QStringLiteral("a.avi"));
    const QString b = folder.Make(QStringLiteral("b.avi"));
    TFileList list([](const QString& Path) {
        QThread::msleep(100);
        return FakeFacts(Path);
    });
    int finished = 0;
    list.OnAddFinished = [&] { ++finished; };
    list.Add({a, b});
    list.Clear();
    EXPECT_FALSE(list.Reading());
    ASSERT_TRUE(PumpUntil([&] { return finished == 1; }));
    EXPECT_EQ(list.Count(), 0) << "rows of reads begun before Clear came in after it";
    // And the files can be added again at once.
    list.Add({a});
    ASSERT_TRUE(PumpUntil([&] { return finished == 2; }));
    EXPECT_EQ(list.Paths(), QStringList{a});
}

TEST(FileListTest, RealFilesGiveTheirFactsAndAFileWithoutVideoShowsZeroSize)
{
    kvtest::LoadSystemLibraries();
    TFolder folder;
    const QString text = folder.Make(QStringLiteral("not video.avi"));
    {
        QFile file(text);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("this is not a video file at all\n");
    }
    TFileList list(MakeFactsReader(QStringLiteral(KELVANE_CLI), 5000));
    int finished = 0;
    list.OnAddFinished = [&] { ++finished; };
    const QString video = QString::fromStdString(kvtest::Fixture("long_av.mkv"));
    const QString audio = QString::fromStdString(kvtest::Fixture("audio_only.mp3"));
    list.Add({video, text, audio});
    ASSERT_TRUE(PumpUntil([&] { return finished == 1; }, 30000));
    ASSERT_EQ(list.Paths(), (QStringList{video, audio}));
    EXPECT_EQ(list.Row(0).Resolution, QStringLiteral("320 X 240"));
    EXPECT_EQ(list.Row(0).Duration, QStringLiteral(" 00:00:08"));
    EXPECT_EQ(list.Row(0).Facts.VideoStreams, 1);
    EXPECT_NEAR(static_cast<double>(list.Row(0).Facts.DurationUs), 8e6, 1e5);
    EXPECT_EQ(list.Row(1).Resolution, QStringLiteral("0 X 0"));
    EXPECT_EQ(list.Row(1).Facts.VideoStreams, 0);
}

TEST(FileListTest, AFileTheMediaInformationLibraryHangsOnIsListedWithTheProbesFacts)
{
    kvtest::LoadSystemLibraries();
    const QString hangs = QStringLiteral(KELVANE_SOURCE_FIXTURES "/mediainfo-hangs.mkv");
    ASSERT_TRUE(QFile::exists(hangs)) << hangs.toStdString();
    TFileList list(MakeFactsReader(QStringLiteral(KELVANE_CLI), 2000));
    int finished = 0;
    list.OnAddFinished = [&] { ++finished; };
    // The window's own timer keeps firing meanwhile.
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(50);
    QElapsedTimer timer;
    timer.start();
    list.Add({hangs});
    EXPECT_LT(timer.elapsed(), 500) << "adding waited for the file's facts";
    ASSERT_TRUE(PumpUntil([&] { return finished == 1; }, 10000)) << "the row never came";
    EXPECT_LT(timer.elapsed(), 6000);
    EXPECT_GE(ticks, static_cast<int>(timer.elapsed() / 50 / 3)) << "the window stopped answering";
    ASSERT_EQ(list.Count(), 1);

    // What ffprobe reads of it.
    const auto facts = kvtest::Probe(hangs.toStdString());
    // (A file whose streams are past reading shows 0 X 0, as a file without video does.)
    std::string width = "0", height = "0";
    for (int stream = 0; stream < 4 && width == "0"; ++stream) {
        const std::string prefix = "streams.stream." + std::to_string(stream) + ".";
        if (facts.count(prefix + "codec_type") && facts.at(prefix + "codec_type") == "video") {
            width = facts.at(prefix + "width");
            height = facts.at(prefix + "height");
        }
    }
    EXPECT_EQ(list.Row(0).Resolution, QString::fromStdString(width + " X " + height));
    const qint64 seconds = static_cast<qint64>(std::atof(facts.at("format.duration").c_str()));
    EXPECT_EQ(list.Row(0).Duration, FormatDuration(seconds * 1000));
}

}  // namespace
