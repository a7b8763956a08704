// Batches run by the real engine from the file list: every row converted once into its own file, named as
// the output rule says; pause and stop; a clip of the marked range; a failing file announced while the
// batch goes on; the end of the batch announced once with what became of its files; power-off only when
// asked for, after its countdown and never after Stop, with a refused power-off reported; a Start that can
// queue nothing.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cmath>
#include <functional>

#include "EventPump.h"
#include "MediaFixtures.h"
#include "TestSupport.h"
#include "WindowLogicSupport.h"
#include "app/logic/BatchDriver.h"
#include "app/logic/FileList.h"
#include "app/logic/PreviewPane.h"
#include "app/logic/WindowLogic.h"
#include "component/DIdezuDOR.h"

namespace {

using namespace kv::app;

using kvtest::PumpFor;
using kvtest::PumpUntil;

// The desktop, keeping the order in which the user saw things and the computer was turned off.
class TBatchDesktop : public kvtest::TDesktopRecorder {
public:
    QStringList Sequence;
    void Information(const QString& Text) override
    {
        kvtest::TDesktopRecorder::Information(Text);
        Sequence << QStringLiteral("information");
    }
    void Warning(const QString& Text) override
    {
        kvtest::TDesktopRecorder::Warning(Text);
        Sequence << QStringLiteral("warning");
    }
    bool PowerOffCountdown(int Seconds) override
    {
        Sequence << QStringLiteral("countdown");
        return kvtest::TDesktopRecorder::PowerOffCountdown(Seconds);
    }
    QString PowerOffRefusal;  // what the system answers a power-off, '' when it accepts
    bool PowerOff(QString& Reason) override
    {
        Sequence << QStringLiteral("power-off");
        Reason = PowerOffRefusal;
        return PowerOffRefusal.isEmpty();
    }
    void Error(const QString& Text) override
    {
        kvtest::TDesktopRecorder::Error(Text);
        Sequence << QStringLiteral("error");
    }
};

// A window's worth of logic around the real engine: the settings with the MP4 preset 320x240 chosen
// (MPEG-4 video, AAC audio), an output folder of its own, the file list, the preview pane and the driver.
struct TBatchWindow {
    TBatchDesktop Desktop;
    kvtest::TProgramFolder Program;
    QTemporaryDir Work;
    kv::TDIdezuDOR Engine;
    std::unique_ptr<TWindowLogic> Logic;
    TFileList List{MakeFactsReader(QStringLiteral(KELVANE_CLI))};
    TPreviewPane Pane;
    std::unique_ptr<TBatchDriver> Driver;
    bool PowerOffBox = false;
    int AddsFinished = 0;

    TBatchWindow()
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
        Driver->PowerOffChecked = [this] { return PowerOffBox; };
    }
    ~TBatchWindow()
    {
        // The tasks end before the window's parts go.
        if (Driver->Running()) {
            Driver->Stop();
            PumpUntil([&] { return !Driver->Running(); }, 30000);
        }
        Engine.ClearTasks();
    }

    QString Output() const { return Work.path() + QStringLiteral("/输出"); }
    QString Input(const QString& Name) const { return Work.path() + QStringLiteral("/in/") + Name; }

    // Copies a fixture under a name of its own into the input folder.
    QString Place(const std::string& Fixture, const QString& Name) const
    {
        QDir().mkpath(Work.path() + QStringLiteral("/in"));
        const QString path = Input(Name);
        EXPECT_TRUE(QFile::copy(QString::fromStdString(kvtest::Fixture(Fixture)), path)) << Fixture;
        return path;
    }

    void Add(const QStringList& Paths)
    {
        const int before = AddsFinished;
        List.Add(Paths, TWindowLogic::VideoFileFilter());
        ASSERT_TRUE(PumpUntil([&] { return AddsFinished > before; }, 30000)) << "the rows never came";
    }

    // Starts and waits for the end of the batch (its message or its countdown).
    void RunBatch(int TimeoutMs = 120000)
    {
        Driver->Start();
        ASSERT_TRUE(PumpUntil([&] { return !Driver->Running(); }, TimeoutMs)) << "the batch did not end";
    }

    QStringList OutputFiles() const { return QDir(Output()).entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name); }
};

std::string StreamFact(const std::map<std::string, std::string>& Facts, const std::string& Kind, const std::string& Key)
{
    for (int stream = 0; stream < 4; ++stream) {
        const std::string prefix = "streams.stream." + std::to_string(stream) + ".";
        const auto type = Facts.find(prefix + "codec_type");
        if (type != Facts.end() && type->second == Kind) {
            const auto value = Facts.find(prefix + Key);
            return value == Facts.end() ? std::string() : value->second;
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

using kvtest::WrittenSize;

TEST(BatchRunTest, EveryRowIsConvertedOnceIntoItsOwnFile)
{
    TBatchWindow w;
    const QStringList inputs{w.Place("av_source.mkv", QStringLiteral("first.mkv")),
                             w.Place("video_audio.avi", QStringLiteral("片 段 two.avi")),
                             w.Place("av_source.mkv", QStringLiteral("Third Clip.MKV"))};
    w.Add(inputs);
    ASSERT_EQ(w.List.Count(), 3);
    // A task queued before Start (as selecting a row once did) leaves neither a task nor its empty output.
    {
        TRecordSource source = RecordSourceFor(w.List.Row(0), w.List, w.Pane);
        kv::TOutputOptions output = w.Logic->BuildOutputOptions(source);
        kv::TInputOptions input = w.Logic->BuildInputOptions(source);
        ASSERT_EQ(w.Driver->QueueTask(input, output), 0) << w.Driver->QueueError().toStdString();
    }
    EXPECT_EQ(w.Driver->Buttons(), TBatchButtons{});
    w.RunBatch();

    EXPECT_EQ(w.Desktop.Informations, QStringList{QStringLiteral("视频成功转换！")});
    EXPECT_TRUE(w.Desktop.Warnings.isEmpty()) << w.Desktop.Warnings.join('\n').toStdString();
    EXPECT_TRUE(w.Desktop.Errors.isEmpty()) << w.Desktop.Errors.join('\n').toStdString();
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(w.List.Row(row).Progress, QStringLiteral("100%")) << row;
    EXPECT_EQ(w.Driver->Buttons(), TBatchButtons{}) << "the buttons are back to idle";
    EXPECT_EQ(w.Engine.TaskCount(), 0) << "the batch's tasks were let go";

    // Exactly the three files of the output rule: the base name's ASCII letters upper-cased.
    const QStringList expected{QStringLiteral("FIRST_(new).mp4"), QStringLiteral("THIRD CLIP_(new).mp4"),
                               QStringLiteral("片 段 TWO_(new).mp4")};
    ASSERT_EQ(w.OutputFiles(), expected);
    for (const QString& name : expected) {
        const auto facts = kvtest::Probe((w.Output() + QLatin1Char('/') + name).toStdString());
        EXPECT_EQ(StreamFact(facts, "video", "codec_name"), "mpeg4") << name.toStdString();
        EXPECT_EQ(StreamFact(facts, "audio", "codec_name"), "aac") << name.toStdString();
        EXPECT_EQ(StreamFact(facts, "video", "width"), "320") << name.toStdString();
    }
    // Each output comes from its own row's file: the AVI fixture's length differs from the others'.
    EXPECT_NEAR(Duration((w.Output() + QStringLiteral("/片 段 TWO_(new).mp4")).toStdString()),
                Duration(inputs[1].toStdString()), 0.2);

    // A second Start converts the rows again, into new names, and announces its end once more.
    w.RunBatch();
    EXPECT_EQ(w.Desktop.Informations.size(), 2);
    EXPECT_EQ(w.OutputFiles().size(), 6);
    EXPECT_TRUE(w.OutputFiles().contains(QStringLiteral("FIRST_(new_1).mp4")));
}

TEST(BatchRunTest, StartWithoutRowsOrWithNothingToQueue)
{
    TBatchWindow w;
    w.Driver->Start();
    EXPECT_EQ(w.Desktop.Errors, QStringList{QStringLiteral("请选择视频！")});
    EXPECT_EQ(w.Driver->Buttons(), TBatchButtons{});
    EXPECT_EQ(w.Engine.TaskCount(), 0);

    // The settings' own check stops Start with the state unchanged.
    const QString path = w.Place("av_source.mkv", QStringLiteral("a.mkv"));
    w.Add({path});
    bool checked = false;
    w.Driver->CheckSettings = [&] {
        checked = true;
        return false;
    };
    w.Driver->Start();
    EXPECT_TRUE(checked);
    EXPECT_EQ(w.Driver->Buttons(), TBatchButtons{});
    EXPECT_FALSE(w.Driver->Running());
    w.Driver->CheckSettings = nullptr;

    // The listed file is gone: no task can be queued, so the window returns to idle with a message
    // instead of waiting for an end that never comes.
    ASSERT_TRUE(QFile::remove(path));
    w.Desktop.Errors.clear();
    w.Driver->Start();
    EXPECT_EQ(w.Desktop.Warnings.size(), 1);
    EXPECT_TRUE(w.Desktop.Warnings.value(0).startsWith(path));
    EXPECT_EQ(w.Desktop.Errors, QStringList{NothingQueuedMessage});
    EXPECT_EQ(w.Driver->Buttons(), TBatchButtons{});
    EXPECT_FALSE(w.Driver->Running());
    EXPECT_TRUE(w.Desktop.Informations.isEmpty());
    EXPECT_TRUE(w.OutputFiles().isEmpty());
}

TEST(BatchRunTest, AFailingFileIsAnnouncedAndTheBatchGoesOn)
{
    TBatchWindow w;
    const QStringList inputs{w.Place("av_source.mkv", QStringLiteral("a.mkv")),
                             w.Place("av_source.mkv", QStringLiteral("b.mkv")),
                             w.Place("av_source.mkv", QStringLiteral("c.mkv"))};
    w.Add(inputs);
    // The second row's task gets an encoder that refuses its picture size when the run opens it.
    auto build = w.Driver->BuildRecords;
    w.Driver->BuildRecords = [&](const TListRow& Row, kv::TInputOptions& Input, kv::TOutputOptions& Output) {
        build(Row, Input, Output);
        if (Row.Path == inputs[1]) {
            Output.VideoCodec = "libx264";
            Output.FrameSize = "321x241";
            Output.PadTop = Output.PadBottom = Output.PadLeft = Output.PadRight = -1;
        }
        return true;
    };
    w.RunBatch();
    ASSERT_EQ(w.Desktop.Warnings.size(), 2) << w.Desktop.Warnings.join('\n').toStdString();
    EXPECT_FALSE(w.Desktop.Warnings[0].isEmpty());
    // The end names the failed file instead of announcing success.
    EXPECT_EQ(w.Desktop.Warnings[1], BatchEndMessage(2, {inputs[1]}, 0));
    EXPECT_TRUE(w.Desktop.Informations.isEmpty());
    EXPECT_EQ(w.Desktop.Sequence, (QStringList{QStringLiteral("warning"), QStringLiteral("warning")}));
    EXPECT_EQ(w.List.Row(0).Progress, QStringLiteral("100%"));
    EXPECT_NE(w.List.Row(1).Progress, QStringLiteral("100%"));
    EXPECT_EQ(w.List.Row(2).Progress, QStringLiteral("100%")) << "the batch stopped at the failed file";
    EXPECT_TRUE(QFile::exists(w.Output() + QStringLiteral("/C_(new).mp4")));
}

TEST(BatchRunTest, PowerOffOnlyAfterItsCountdownAndOnlyWhenAskedFor)
{
    const QString refusal = QStringLiteral("Access denied");
    const struct {
        bool Checked;
        bool CountdownRuns;  // false: the user cancels it
        QString Refusal;
        QStringList Sequence;
    } cases[] = {
        // The countdown takes the end message's place.
        {true, true, {}, {QStringLiteral("countdown"), QStringLiteral("power-off")}},
        {false, true, {}, {QStringLiteral("information")}},
        {true, false, {}, {QStringLiteral("countdown")}},
        // A refused power-off is said.
        {true, true, refusal, {QStringLiteral("countdown"), QStringLiteral("power-off"), QStringLiteral("error")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Checked << c.CountdownRuns << c.Refusal.toStdString());
        TBatchWindow w;
        w.PowerOffBox = c.Checked;
        w.Desktop.CountdownAnswer = c.CountdownRuns;
        w.Desktop.PowerOffRefusal = c.Refusal;
        w.Driver->PowerOffSeconds = 7;
        w.Add({w.Place("av_source.mkv", QStringLiteral("a.mkv"))});
        w.RunBatch();
        EXPECT_EQ(w.Desktop.Sequence, c.Sequence);
        EXPECT_EQ(w.Desktop.Countdowns, c.Checked ? QList<int>{7} : QList<int>{});
        EXPECT_EQ(w.Desktop.Errors,
                  c.Refusal.isEmpty() ? QStringList{} : QStringList{PowerOffFailedMessage(c.Refusal)});
    }
}

// 20 s of 640x480 with sound: long enough to be caught running.
QString LongInput(TBatchWindow& w, const QString& Name)
{
    QDir().mkpath(w.Work.path() + QStringLiteral("/in"));
    const QString path = w.Input(Name);
    std::string output;
    const int status = kvtest::RunCommand(
        "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=640x480:rate=25:duration=20 -f lavfi -i "
        "sine=frequency=440:duration=20 -c:v libx264 -preset ultrafast -c:a aac -shortest '" +
            path.toStdString() + "'",
        output);
    EXPECT_EQ(status, 0) << output;
    return path;
}

TEST(BatchRunTest, PauseHoldsTheOutputsAndStopLeavesThemShorterAndPlayable)
{
    TBatchWindow w;
    // Larger output frames make the run slow enough to watch.
    w.Logic->PresetChanged(12, true);  // 1280x720
    const QString first = LongInput(w, QStringLiteral("long one.mp4"));
    const QString second = LongInput(w, QStringLiteral("long two.mp4"));
    w.Add({first, second});
    ASSERT_EQ(w.List.Count(), 2);
    w.Driver->Start();
    EXPECT_EQ(w.Driver->Buttons(), (TBatchButtons{false, true, false, true, false}));
    ASSERT_TRUE(PumpUntil([&] { return !w.List.Row(0).Progress.isEmpty() && w.List.Row(0).Progress != "0%"; }))
        << "no progress";
    const QString output = w.Output() + QStringLiteral("/LONG ONE_(new).mp4");

    w.Driver->Pause();
    EXPECT_EQ(w.Driver->Buttons(), (TBatchButtons{false, false, true, true, false}));
    PumpFor(500);  // the task reaches its next packet and waits there
    const qint64 paused = WrittenSize(output);
    const QString pausedProgress = w.List.Row(0).Progress;
    PumpFor(1000);
    EXPECT_EQ(WrittenSize(output), paused) << "the output grew while paused";
    EXPECT_EQ(w.List.Row(0).Progress, pausedProgress);

    w.Driver->Resume();
    EXPECT_EQ(w.Driver->Buttons(), (TBatchButtons{false, true, false, true, false}));
    ASSERT_TRUE(PumpUntil([&] { return WrittenSize(output) > paused; }, 10000)) << "resume did not go on";

    w.Driver->Stop();
    EXPECT_EQ(w.Driver->Buttons(), (TBatchButtons{false, true, false, false, false}));
    ASSERT_TRUE(PumpUntil([&] { return !w.Desktop.Informations.isEmpty(); })) << "no end after Stop";
    EXPECT_EQ(w.Desktop.Informations, QStringList{BatchEndMessage(0, {}, 2)}) << "both files count as stopped";
    EXPECT_EQ(w.Driver->Buttons(), TBatchButtons{});
    EXPECT_NE(w.List.Row(0).Progress, QStringLiteral("100%"));
    EXPECT_FALSE(w.List.Row(0).Progress.isEmpty()) << "the stopped row keeps its last percentage";
    EXPECT_TRUE(w.List.Row(1).Progress.isEmpty()) << "the second file never ran";
    // The stopped output is shorter than its source and reads to its end.
    const double length = Duration(output.toStdString());
    EXPECT_GT(length, 0.0);
    EXPECT_LT(length, 19.0);
    std::string decode;
    EXPECT_EQ(kvtest::RunCommand("ffmpeg -nostdin -v error -i '" + output.toStdString() + "' -f null -", decode), 0);
    EXPECT_TRUE(decode.empty()) << decode;
    // The second file's output was never written: it is not left behind empty.
    EXPECT_EQ(w.OutputFiles(), QStringList{QStringLiteral("LONG ONE_(new).mp4")});
}

// Peak signal-to-noise ratio of the luma of two pictures of the same size. (Colour edges of a compressed
// picture lose more in RGB than the eye sees; luma is what video quality is measured on.)
double LumaPsnr(const QImage& A, const QImage& B)
{
    const QImage a = A.convertToFormat(QImage::Format_RGB888);
    const QImage b = B.convertToFormat(QImage::Format_RGB888);
    if (a.size() != b.size() || a.isNull())
        return 0;
    auto luma = [](const uchar* p) { return 0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2]; };
    double sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        const uchar* pa = a.constScanLine(y);
        const uchar* pb = b.constScanLine(y);
        for (int x = 0; x < a.width(); ++x) {
            const double d = luma(pa + 3 * x) - luma(pb + 3 * x);
            sum += d * d;
        }
    }
    const double mse = sum / (a.width() * a.height());
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

TEST(BatchRunTest, AMarkedClipConvertsThatRangeFromThePictureShownAtItsStart)
{
    TBatchWindow w;
    // 12 s of 320x240 with a key frame only every 5 s.
    QDir().mkpath(w.Work.path() + QStringLiteral("/in"));
    const QString input = w.Input(QStringLiteral("sparse keys.mkv"));
    std::string log;
    ASSERT_EQ(kvtest::RunCommand("ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=320x240:rate=25:duration=12 "
                                 "-f lavfi -i sine=duration=12 -c:v libx264 -g 125 -keyint_min 125 "
                                 "-sc_threshold 0 -c:a aac -shortest '" +
                                     input.toStdString() + "'",
                                 log),
              0)
        << log;
    w.Add({input});
    ASSERT_EQ(w.List.Count(), 1);
    const TListRow row = w.List.Row(0);
    w.Pane.Load(row.Path, row.Facts.DurationUs, row.Facts.FormatName, row.Facts.VideoStreams > 0);
    // 3.2 s to 7.2 s: both between key frames.
    const qint64 scale = w.Pane.TrackBar().TimeScale;
    w.Pane.PositionChanged(static_cast<int>(3200000 / scale), true);
    w.Pane.MarkStart();
    ASSERT_TRUE(PumpUntil([&] { return !w.Pane.Reading() && w.Pane.FrameAccurate(); }, 10000));
    const QImage shown = w.Pane.Frame();
    ASSERT_FALSE(shown.isNull());
    w.Pane.PositionChanged(static_cast<int>(7200000 / scale), true);
    w.Pane.MarkEnd();
    w.Pane.SetClipChecked(true);
    ASSERT_TRUE(w.Pane.ClipEnabled());
    EXPECT_EQ(w.Pane.ClipStartMs(), 3200);
    EXPECT_EQ(w.Pane.ClipLengthMs(), 4000);
    PumpUntil([&] { return !w.Pane.Reading(); }, 10000);

    w.RunBatch();
    ASSERT_TRUE(w.Desktop.Warnings.isEmpty()) << w.Desktop.Warnings.join('\n').toStdString();
    const QString output = w.Output() + QStringLiteral("/SPARSE KEYS_(new).mp4");
    const auto facts = kvtest::Probe(output.toStdString());
    EXPECT_NEAR(std::atof(StreamFact(facts, "video", "duration").c_str()), 4.0, 0.1);

    // The output's first picture against the one the pane showed at the start mark.
    const QString first = w.Work.path() + QStringLiteral("/first.rgb");
    ASSERT_EQ(kvtest::RunCommand("ffmpeg -nostdin -v error -y -i '" + output.toStdString() +
                                     "' -frames:v 1 -f rawvideo -pix_fmt rgb24 '" + first.toStdString() + "'",
                                 log),
              0)
        << log;
    QFile raw(first);
    ASSERT_TRUE(raw.open(QIODevice::ReadOnly));
    const QByteArray bytes = raw.readAll();
    ASSERT_EQ(bytes.size(), 320 * 240 * 3);
    const QImage converted(reinterpret_cast<const uchar*>(bytes.constData()), 320, 240, 320 * 3, QImage::Format_RGB888);
    EXPECT_GE(LumaPsnr(converted, shown), 35.0);
}

}  // namespace
