// Batches that convert several files at once, run by the real engine from the file list: the outputs are
// those of a batch that converts them one after another, Pause holds every running task, Stop ends them
// all with playable files, and each task's progress and time left reach its own row. And the "同时转换"
// setting: its choices, where config.ini keeps it and the count it comes to.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <map>
#include <memory>

#include "EventPump.h"
#include "MediaFixtures.h"
#include "TestSupport.h"
#include "WindowLogicSupport.h"
#include "app/logic/BatchDriver.h"
#include "app/logic/FileList.h"
#include "app/logic/PreviewPane.h"
#include "app/logic/TasksAtOnce.h"
#include "app/logic/WindowLogic.h"
#include "component/DIdezuDOR.h"
#include "presets/IniFile.h"

namespace {

using namespace kv::app;

// A window's worth of logic around the real engine, with the MP4 preset 320x240 chosen (MPEG-4 video,
// AAC audio), an output folder of its own and the driver running TasksAtOnce tasks at once.
struct TParallelWindow {
    kvtest::TDesktopRecorder Desktop;
    kvtest::TProgramFolder Program;
    QTemporaryDir Work;
    kv::TDIdezuDOR Engine;
    std::unique_ptr<TWindowLogic> Logic;
    TFileList List{MakeFactsReader(QStringLiteral(KELVANE_CLI))};
    TPreviewPane Pane;
    std::unique_ptr<TBatchDriver> Driver;
    int AtOnce = 1;
    int AddsFinished = 0;

    TParallelWindow()
    {
        kvtest::LoadSystemLibraries();
        Logic = std::make_unique<TWindowLogic>(Desktop.Ports(), Program.Paths());
        Logic->Create(Engine);
        Logic->Show();
        Logic->FileTypeChanged(1, true);  // MP4
        Logic->PresetChanged(0, true);    // 320x240, 18 fps
        QDir().mkpath(Output());
        Logic->OutputFolderEdited(Output());
        List.OnAddFinished = [this] { ++AddsFinished; };
        Driver = std::make_unique<TBatchDriver>(Engine, List, Desktop.Ports());
        Driver->BuildRecords = [this](const TListRow& Row, kv::TInputOptions& Input, kv::TOutputOptions& Output) {
            const TRecordSource source = RecordSourceFor(Row, List, Pane);
            Output = Logic->BuildOutputOptions(source);
            Input = Logic->BuildInputOptions(source);
            return true;
        };
        Driver->TasksAtOnce = [this] { return AtOnce; };
        Engine.SetProgressInterval(100);
    }
    ~TParallelWindow()
    {
        if (Driver->Running()) {
            Driver->Stop();
            kvtest::PumpUntil([&] { return !Driver->Running(); }, 30000);
        }
        Engine.ClearTasks();
    }

    QString Output() const { return Work.path() + QStringLiteral("/out"); }

    // Copies File under Name into the input folder.
    QString Place(const QString& File, const QString& Name) const
    {
        QDir().mkpath(Work.path() + QStringLiteral("/in"));
        const QString path = Work.path() + QStringLiteral("/in/") + Name;
        EXPECT_TRUE(QFile::copy(File, path)) << File.toStdString();
        return path;
    }

    void Add(const QStringList& Paths)
    {
        const int before = AddsFinished;
        List.Add(Paths, TWindowLogic::VideoFileFilter());
        ASSERT_TRUE(kvtest::PumpUntil([&] { return AddsFinished > before; }, 30000)) << "the rows never came";
    }

    // How many of the batch's tasks run now.
    int RunningNow() const
    {
        int running = 0;
        for (int task = 0; task < Engine.TaskCount(); ++task)
            if (const kv::TFFmpegPin pin = Engine.TaskPin(task); pin && pin->Running())
                ++running;
        return running;
    }

    // Starts, and runs the window's thread until the batch ends; the most tasks seen running at once.
    int RunBatch(const std::function<void()>& Meanwhile = nullptr)
    {
        int most = 0;
        Driver->Start();
        EXPECT_TRUE(kvtest::PumpUntil(
            [&] {
                most = std::max(most, RunningNow());
                if (Meanwhile)
                    Meanwhile();
                return !Driver->Running();
            },
            180000))
            << "the batch did not end";
        return most;
    }

    // The outputs, oldest first (each batch names its files anew).
    QStringList OutputFiles() const
    {
        QStringList files;
        for (const QFileInfo& file : QDir(Output()).entryInfoList(QDir::Files, QDir::Name))
            files << file.absoluteFilePath();
        return files;
    }
};

// A busy 640x360 H.264 + AAC video of Seconds, made once per length for the test program.
QString LongVideo(int Seconds)
{
    static std::map<int, QString> made;
    static QTemporaryDir folder;
    if (const auto found = made.find(Seconds); found != made.end())
        return found->second;
    const QString path = folder.path() + QStringLiteral("/long_%1.mkv").arg(Seconds);
    std::string output;
    const int status = kvtest::RunCommand(
        "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=640x360:rate=25:duration=" + std::to_string(Seconds) +
            " -f lavfi -i sine=frequency=440:duration=" + std::to_string(Seconds) +
            " -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -shortest '" + path.toStdString() + "'",
        output);
    EXPECT_EQ(status, 0) << output;
    made[Seconds] = path;
    return path;
}

std::string StreamFact(const std::string& File, const std::string& Kind, const std::string& Key)
{
    const auto facts = kvtest::Probe(File);
    for (int stream = 0; stream < 4; ++stream) {
        const std::string prefix = "streams.stream." + std::to_string(stream) + ".";
        const auto type = facts.find(prefix + "codec_type");
        if (type != facts.end() && type->second == Kind) {
            const auto value = facts.find(prefix + Key);
            return value == facts.end() ? std::string() : value->second;
        }
    }
    return {};
}

double Duration(const std::string& File)
{
    const auto facts = kvtest::Probe(File);
    const auto found = facts.find("format.duration");
    return found == facts.end() ? -1 : std::atof(found->second.c_str());
}

// What decoding the whole file says on its error output: '' when it decodes cleanly.
std::string DecodeErrors(const std::string& File)
{
    std::string output;
    const int status = kvtest::RunCommand("ffmpeg -nostdin -v error -i '" + File + "' -f null - 2>&1", output);
    return status == 0 ? output : "exit " + std::to_string(status) + ": " + output;
}

// A file a person can play: it has both streams, lasts a while and decodes without an error.
void ExpectPlayable(const QString& File)
{
    const std::string file = File.toStdString();
    SCOPED_TRACE(file);
    EXPECT_EQ(StreamFact(file, "video", "codec_name"), "mpeg4");
    EXPECT_EQ(StreamFact(file, "audio", "codec_name"), "aac");
    EXPECT_GT(Duration(file), 0.2);
    EXPECT_EQ(DecodeErrors(file), "");
}

TEST(ParallelBatchTest, SeveralAtOnceGiveTheOutputsOfOneAfterAnother)
{
    TParallelWindow w;
    // Three files of different kinds and lengths.
    w.Add({w.Place(QString::fromStdString(kvtest::Fixture("av_source.mkv")), QStringLiteral("a.mkv")),
           w.Place(QString::fromStdString(kvtest::Fixture("video_audio.avi")), QStringLiteral("b.avi")),
           w.Place(LongVideo(6), QStringLiteral("c.mkv"))});
    ASSERT_EQ(w.List.Count(), 3);
    EXPECT_EQ(w.RunBatch(), 1);
    const QStringList single = w.OutputFiles();
    ASSERT_EQ(single.size(), 3);

    QStringList seen = single;
    for (const int atOnce : {2, 3}) {
        SCOPED_TRACE(atOnce);
        w.AtOnce = atOnce;
        EXPECT_EQ(w.RunBatch(), atOnce) << "the tasks did not run side by side";
        EXPECT_EQ(w.Desktop.Informations.back(), BatchDoneMessage);
        EXPECT_TRUE(w.Desktop.Warnings.isEmpty()) << w.Desktop.Warnings.join('\n').toStdString();
        for (int row = 0; row < 3; ++row)
            EXPECT_EQ(w.List.Row(row).Progress, QStringLiteral("100%")) << row;
        QStringList outputs;
        for (const QString& file : w.OutputFiles())
            if (!seen.contains(file))
                outputs << file;
        seen += outputs;
        ASSERT_EQ(outputs.size(), 3);
        // Names sort the same way in both batches: a.., b.., c.. with the batch's own suffix.
        for (int file = 0; file < 3; ++file) {
            const std::string one = single[file].toStdString();
            const std::string many = outputs[file].toStdString();
            SCOPED_TRACE(many);
            for (const char* kind : {"video", "audio"})
                EXPECT_EQ(StreamFact(many, kind, "codec_name"), StreamFact(one, kind, "codec_name")) << kind;
            EXPECT_EQ(StreamFact(many, "video", "width"), StreamFact(one, "video", "width"));
            EXPECT_EQ(StreamFact(many, "video", "height"), StreamFact(one, "video", "height"));
            EXPECT_NEAR(Duration(many), Duration(one), 0.1);
            EXPECT_EQ(DecodeErrors(many), "");
        }
    }
}

TEST(ParallelBatchTest, PauseHoldsEveryRunningTaskAndStopEndsThemAllWithPlayableFiles)
{
    TParallelWindow w;
    QStringList inputs;
    for (const char* name : {"a.mkv", "b.mkv", "c.mkv"})
        inputs << w.Place(LongVideo(40), QString::fromLatin1(name));
    w.Add(inputs);
    w.AtOnce = 3;
    w.Driver->Start();
    // Every task has written something.
    const auto sizes = [&] {
        QList<qint64> all;
        for (const QString& file : w.OutputFiles())
            all << kvtest::WrittenSize(file);
        return all;
    };
    ASSERT_TRUE(kvtest::PumpUntil(
        [&] {
            const QList<qint64> now = sizes();
            return w.RunningNow() == 3 && now.size() == 3 && *std::min_element(now.begin(), now.end()) > 0;
        },
        60000));

    w.Driver->Pause();
    kvtest::PumpFor(300);  // what was under way when Pause came
    const QList<qint64> paused = sizes();
    kvtest::PumpFor(1000);
    EXPECT_EQ(sizes(), paused) << "a paused task went on writing";
    EXPECT_EQ(w.RunningNow(), 3);

    // Each goes on after Resume.
    w.Driver->Resume();
    ASSERT_TRUE(kvtest::PumpUntil(
        [&] {
            const QList<qint64> now = sizes();
            for (int file = 0; file < 3; ++file)
                if (now.value(file) <= paused.value(file))
                    return false;
            return true;
        },
        60000))
        << "a task stayed paused";

    w.Driver->Stop();
    ASSERT_TRUE(kvtest::PumpUntil([&] { return !w.Driver->Running(); }, 60000)) << "the batch did not end";
    EXPECT_EQ(w.Engine.TaskCount(), 0);
    const QStringList outputs = w.OutputFiles();
    ASSERT_EQ(outputs.size(), 3);
    for (const QString& file : outputs) {
        ExpectPlayable(file);
        EXPECT_LT(Duration(file.toStdString()), 39) << "a task ran to its end instead of stopping";
    }
}

TEST(ParallelBatchTest, EachTasksProgressAndTimeLeftReachItsOwnRow)
{
    TParallelWindow w;
    // Lengths that differ, so that one row's figures would not fit another's.
    const QList<int> lengths{8, 16, 24};
    QStringList inputs;
    for (int row = 0; row < 3; ++row)
        inputs << w.Place(LongVideo(lengths[row]), QStringLiteral("r%1.mkv").arg(row));
    w.Add(inputs);
    w.AtOnce = 3;
    std::map<int, QStringList> shown;  // per row, the progress texts in the order shown
    std::map<int, bool> timeLeft;
    int mostInBetween = 0;  // rows showing a figure between 0 and 100 at one time
    w.List.OnRowChanged = [&](int Row) {
        const QString text = w.List.Row(Row).Progress;
        if (shown[Row].isEmpty() || shown[Row].back() != text)
            shown[Row] << text;
    };
    w.RunBatch([&] {
        int between = 0;
        for (int row = 0; row < 3; ++row) {
            const QString text = w.List.Row(row).Progress;
            if (!text.isEmpty() && text != QStringLiteral("0%") && text != QStringLiteral("100%"))
                ++between;
            if (w.Driver->RowTimeLeftMs(row))
                timeLeft[row] = true;
        }
        mostInBetween = std::max(mostInBetween, between);
    });

    EXPECT_EQ(mostInBetween, 3) << "the rows did not move together";
    for (int row = 0; row < 3; ++row) {
        SCOPED_TRACE(row);
        const QStringList& texts = shown[row];
        ASSERT_GE(texts.size(), 3) << texts.join(' ').toStdString();
        EXPECT_EQ(texts.back(), QStringLiteral("100%"));
        // Its own task's figures only: they never go back.
        for (int i = 1; i < texts.size(); ++i)
            EXPECT_LE(texts[i - 1].chopped(1).toInt(), texts[i].chopped(1).toInt()) << texts.join(' ').toStdString();
        EXPECT_TRUE(timeLeft[row]) << "no time left was shown";
    }
}

TEST(ParallelBatchTest, TheSettingsChoicesAndItsPlaceInTheConfigFile)
{
    EXPECT_EQ(TasksAtOnceChoices(4), (QStringList{"1", "2", "3", "4", QStringLiteral("自动")}));
    EXPECT_EQ(TasksAtOnceChoices(1), (QStringList{"1", QStringLiteral("自动")}));
    // The box's entries and the settings go both ways; automatic means every core.
    const struct {
        int Index, Setting, Count;
    } entries[] = {{0, 1, 1}, {1, 2, 2}, {3, 4, 4}, {4, AutomaticTasks, 4}};
    for (const auto& e : entries) {
        EXPECT_EQ(TasksAtOnceSettingAt(e.Index, 4), e.Setting) << e.Index;
        EXPECT_EQ(TasksAtOnceIndexOf(e.Setting, 4), e.Index) << e.Index;
        EXPECT_EQ(TasksAtOnceFor(e.Setting, 4), e.Count) << e.Index;
    }
    // A setting made on a machine with more cores shows and runs as this machine's most.
    EXPECT_EQ(TasksAtOnceIndexOf(8, 4), 3);
    EXPECT_EQ(TasksAtOnceFor(8, 4), 4);

    QTemporaryDir folder;
    const QString config = folder.path() + QStringLiteral("/config.ini");
    EXPECT_EQ(ReadTasksAtOnce(config), 1) << "without a file: one at a time";
    // What the file says, as a person may have written it.
    const struct {
        const char* Written;
        int Read;
    } values[] = {
        {"auto", AutomaticTasks}, {"AUTO", AutomaticTasks}, {" 3 ", 3}, {"0", 1}, {"-2", 1}, {"many", 1}, {"", 1}};
    for (const auto& v : values) {
        kv::presets::TIniFile(config.toStdString()).WriteString("concurrency", "tasks", v.Written);
        EXPECT_EQ(ReadTasksAtOnce(config), v.Read) << v.Written;
    }
    // Written in a section of its own, beside the program's own settings, which stay as they were.
    kv::presets::TIniFile(config.toStdString()).WriteString("savepath", "newfilepath", "/videos");
    for (const int setting : {AutomaticTasks, 2, 1}) {
        ASSERT_TRUE(WriteTasksAtOnce(config, setting));
        EXPECT_EQ(ReadTasksAtOnce(config), setting);
    }
    const kv::presets::TIniFile ini(config.toStdString());
    EXPECT_EQ(ini.ReadString("concurrency", "tasks", ""), "1");
    EXPECT_EQ(ini.ReadString("savepath", "newfilepath", ""), "/videos");
}

}  // namespace
