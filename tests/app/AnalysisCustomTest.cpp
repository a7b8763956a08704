// The tabs "按已有视频" (a video's facts kept as the analysed profile, which the output then follows)
// and "自己定义" (typed settings, their key filter, lengths and checks).
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>

#include "EventPump.h"
#include "WindowLogicSupport.h"
#include "component/DIdezuDOR.h"
#include "presets/IniFile.h"

namespace {

using kv::app::TCustomField;
using kv::app::TWindowLogic;
using kvtest::TDesktopRecorder;
using kvtest::TProgramFolder;

struct TStartedLogic {
    explicit TStartedLogic(const TProgramFolder& Folder) : Logic(Desktop.Ports(), Folder.Paths())
    {
        Logic.Create(Engine);
        Logic.Show();
    }
    TDesktopRecorder Desktop;
    kv::TDIdezuDOR Engine;
    TWindowLogic Logic;
};

// Clicks "分析视频文件" and lets the window's thread run until the facts are in.
void Analyse(TWindowLogic& Logic)
{
    Logic.AnalyseClicked();
    EXPECT_TRUE(kvtest::PumpUntil([&] { return !Logic.Analysing(); }, 20000)) << "the analysis never ended";
}

// Makes a small media file with the ffmpeg tool; the test fails when it cannot.
QString MakeMedia(const TProgramFolder& Folder, const QString& Name, const QStringList& Arguments)
{
    const QString path = Folder.Root() + Name;
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 QStringList{QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y")} + Arguments +
                     QStringList{path});
    EXPECT_TRUE(ffmpeg.waitForFinished(60000));
    EXPECT_EQ(ffmpeg.exitCode(), 0) << ffmpeg.readAllStandardError().toStdString();
    EXPECT_TRUE(QFileInfo(path).size() > 0) << path.toStdString();
    return path;
}

// 176x144 MPEG-4 video at 29.97 pictures a second with AAC sound.
QString VideoAt2997(const TProgramFolder& Folder)
{
    return MakeMedia(Folder, QStringLiteral("clip.mp4"),
                     {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                      QStringLiteral("testsrc=size=176x144:rate=30000/1001:duration=1"), QStringLiteral("-f"),
                      QStringLiteral("lavfi"), QStringLiteral("-i"),
                      QStringLiteral("sine=frequency=440:sample_rate=22050:duration=1"), QStringLiteral("-c:v"),
                      QStringLiteral("mpeg4"), QStringLiteral("-b:v"), QStringLiteral("200k"), QStringLiteral("-c:a"),
                      QStringLiteral("aac"), QStringLiteral("-shortest")});
}

kv::app::TRecordSource SourceFor(const QString& File, const QString& Resolution)
{
    kv::app::TRecordSource source;
    source.ProbeFileName = File;
    source.FileRows = {{QFileInfo(File).completeBaseName(), Resolution}};
    return source;
}

TEST(AnalysisTabTest, AnalysisWritesTheProfileAndTheOutputFollowsIt)
{
    TProgramFolder folder;
    const QString video = VideoAt2997(folder);
    // Keys the analysis does not write are kept; the ones it writes are replaced.
    folder.WriteFile(QStringLiteral("extfile.ini"), "[video]\nWidth=999\nAspectRatio=1.5\n[audio]\nVolume=7\n");
    TStartedLogic started(folder);
    TWindowLogic& logic = started.Logic;
    TDesktopRecorder& desktop = started.Desktop;

    logic.TabChanged(2);
    desktop.FilesAnswer = {video};
    Analyse(logic);
    EXPECT_EQ(desktop.MultiSelects, QList<bool>{false});
    EXPECT_EQ(desktop.FileFilters, QStringList{TWindowLogic::VideoFileFilter()});
    EXPECT_EQ(desktop.Informations, QStringList{QStringLiteral("您选择的视频格式为 .mp4")});
    EXPECT_TRUE(desktop.Errors.isEmpty()) << desktop.Errors.join('\n').toStdString();

    const kv::presets::TIniFile ext(logic.ExtFile().toStdString());
    EXPECT_EQ(logic.ExtFile(), folder.Program() + QStringLiteral("extfile.ini"));
    const auto value = [&](const char* Section, const char* Key) {
        return QString::fromStdString(ext.ReadString(Section, Key, "<none>"));
    };
    EXPECT_EQ(value("mediatype", "Type"), QStringLiteral("mp4"));
    EXPECT_EQ(value("video", "VideoCodec"), QStringLiteral("MPEG-4 Visual"));
    EXPECT_EQ(value("video", "Width"), QStringLiteral("176"));
    EXPECT_EQ(value("video", "Height"), QStringLiteral("144"));
    EXPECT_EQ(value("video", "FPS"), QStringLiteral("29.97"));
    EXPECT_GT(value("video", "VideoBitrate").toDouble(), 0);
    EXPECT_EQ(value("audio", "AudioCodec"), QStringLiteral("AAC"));
    EXPECT_EQ(value("video", "AspectRatio"), QStringLiteral("1.5"));
    EXPECT_EQ(value("audio", "Volume"), QStringLiteral("7"));

    EXPECT_EQ(logic.Labels().FrameSize, QStringLiteral("视频像素：176X144"));
    EXPECT_EQ(logic.Labels().VideoCodec, QStringLiteral("视频编码：MPEG-4 Visual"));
    EXPECT_EQ(logic.Labels().FrameRate, QStringLiteral("帧速率：29.97"));
    EXPECT_EQ(logic.Labels().AudioCodec, QStringLiteral("音频编码：AAC"));

    // The analysis tab then builds its records from the profile: the rate the video was made with, the
    // analysed size and codecs.
    EXPECT_EQ(logic.Labels().AudioCodec, QStringLiteral("音频编码：AAC"));
    const kv::TOutputOptions output = logic.BuildOutputOptions(SourceFor(video, QStringLiteral("176 X 144")));
    EXPECT_TRUE(desktop.Errors.isEmpty()) << desktop.Errors.join('\n').toStdString();
    EXPECT_EQ(output.FrameRate, "30000/1001");
    EXPECT_EQ(output.FrameSize, "176X144");
    EXPECT_EQ(output.VideoCodec, "mpeg4");
    EXPECT_EQ(output.AudioCodec, "libfaac");
    EXPECT_EQ(QString::fromStdString(output.FileName), logic.OutputFolderText() + QStringLiteral("/CLIP_(new).mp4"));
}

// The analysis copies what it analysed: the rate as a fraction where the video was made at an NTSC rate,
// and the codecs where there is an encoder for them; MPEG-4 video for the others.
TEST(AnalysisTabTest, TheOutputCopiesTheAnalysedRateAndCodecs)
{
    TProgramFolder folder;
    const struct {
        const char* Name;
        const char* Rate;
        const char* Encoder;
        const char* Analysed;    // the codec the media information library names
        const char* VideoCodec;  // of the record
        const char* FrameRate;
    } cases[] = {
        {"phone.mp4", "30000/1001", "libx264", "AVC", "avc", "30000/1001"},
        {"camera.mp4", "25", "mpeg4", "MPEG-4 Visual", "mpeg4", "25"},
        {"film.mkv", "24000/1001", "libx264", "AVC", "libx264", "24000/1001"},  // Matroska's own H.264 encoder
        {"webcam.avi", "25", "mjpeg", "JPEG", "mpeg4", "25"},
    };
    TStartedLogic started(folder);
    TWindowLogic& logic = started.Logic;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const QString video =
            MakeMedia(folder, QString::fromLatin1(c.Name),
                      {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                       QStringLiteral("testsrc=size=128x72:duration=0.5:rate=") + QString::fromLatin1(c.Rate),
                       QStringLiteral("-c:v"), QString::fromLatin1(c.Encoder)});
        logic.TabChanged(2);
        started.Desktop.FilesAnswer = {video};
        Analyse(logic);
        EXPECT_EQ(logic.Labels().VideoCodec, QStringLiteral("视频编码：") + QString::fromLatin1(c.Analysed));
        const kv::TOutputOptions output = logic.BuildOutputOptions(SourceFor(video, QStringLiteral("128 X 72")));
        EXPECT_EQ(output.VideoCodec, c.VideoCodec);
        EXPECT_EQ(output.FrameRate, c.FrameRate);
        EXPECT_EQ(output.FrameSize, "128X72");
        logic.TabChanged(0);
    }
}

// The facts helper gives up on a file the media-information library never finishes only at its timeout:
// meanwhile the window's thread goes on, and a second click does not start a second reading.
TEST(AnalysisTabTest, AFileTheLibraryHangsOnDoesNotHoldTheWindow)
{
    TProgramFolder folder;
    TStartedLogic started(folder);
    TWindowLogic& logic = started.Logic;
    int done = 0;
    logic.OnAnalysisDone = [&] { ++done; };
    const QString hangs = QStringLiteral(KELVANE_SOURCE_FIXTURES "/mediainfo-hangs.mkv");
    const QString labelBefore = logic.Labels().FrameSize;
    started.Desktop.FilesAnswer = {hangs};
    QElapsedTimer timer;
    timer.start();
    logic.AnalyseClicked();
    EXPECT_LT(timer.elapsed(), 1000) << "the click waited for the facts";
    EXPECT_TRUE(logic.Analysing());
    logic.AnalyseClicked();
    EXPECT_EQ(started.Desktop.MultiSelects.size(), 1) << "a second click while reading asked for another file";
    int ticks = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
    tick.start(100);
    EXPECT_TRUE(kvtest::PumpUntil([&] { return !logic.Analysing(); }, 20000));
    EXPECT_GE(ticks, 20) << "the window's thread did not run while the facts were read";
    EXPECT_EQ(done, 1);
    EXPECT_EQ(started.Desktop.Errors, QStringList{QStringLiteral("无法分析视频文件 ") + hangs + QStringLiteral(" ！")});
    EXPECT_EQ(logic.Labels().FrameSize, labelBefore);
}

TEST(AnalysisTabTest, AVideoWithoutPicturesACancelledChoiceOrAFileThatCannotBeRead)
{
    TProgramFolder folder;
    const QString sound = MakeMedia(folder, QStringLiteral("tone.mp3"),
                                    {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                     QStringLiteral("sine=frequency=440:sample_rate=22050:duration=1"),
                                     QStringLiteral("-c:a"), QStringLiteral("libmp3lame")});
    TStartedLogic started(folder);
    TWindowLogic& logic = started.Logic;
    logic.TabChanged(2);

    // Cancelled: nothing is shown or written.
    Analyse(logic);
    EXPECT_TRUE(started.Desktop.Informations.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(logic.ExtFile()));

    // No video stream: empty codec, zeros, written as they are.
    started.Desktop.FilesAnswer = {sound};
    Analyse(logic);
    EXPECT_EQ(started.Desktop.Informations, QStringList{QStringLiteral("您选择的视频格式为 .mp3")});
    const kv::presets::TIniFile ext(logic.ExtFile().toStdString());
    EXPECT_EQ(ext.ReadString("video", "VideoCodec", "<none>"), "");
    EXPECT_EQ(ext.ReadString("video", "Width", ""), "0");
    EXPECT_EQ(ext.ReadString("video", "FPS", ""), "0");
    EXPECT_EQ(ext.ReadString("audio", "AudioCodec", ""), "MP3");
    EXPECT_EQ(logic.Labels().FrameSize, QStringLiteral("视频像素：0X0"));

    // A file that cannot be read at all: said so, and the previous analysis stays.
    const QString missing = folder.Root() + QStringLiteral("gone.mp4");
    started.Desktop.FilesAnswer = {missing};
    Analyse(logic);
    EXPECT_EQ(started.Desktop.Errors,
              QStringList{QStringLiteral("无法分析视频文件 ") + missing + QStringLiteral(" ！")});
    EXPECT_EQ(started.Desktop.Informations.size(), 1);
    EXPECT_EQ(kv::presets::TIniFile(logic.ExtFile().toStdString()).ReadString("mediatype", "Type", ""), "mp3");
    EXPECT_EQ(logic.Labels().FrameSize, QStringLiteral("视频像素：0X0"));
}

TEST(CustomTabTest, KeysOtherThanDigitsAndBackspaceBeepAndAreDropped)
{
    TProgramFolder folder;
    TStartedLogic started(folder);
    struct TCase {
        QString Key;
        bool Accepted;
    };
    const TCase cases[] = {
        {QStringLiteral("0"), true},   {QStringLiteral("9"), true},
        {QStringLiteral("\b"), true},  {QString(), true},  // arrows, Delete: they type nothing
        {QStringLiteral("\t"), true},                      // focus moves on
        {QStringLiteral("a"), false},  {QStringLiteral("."), false},
        {QStringLiteral("-"), false},  {QStringLiteral(" "), false},
        {QStringLiteral("٣"), false},  // a digit of another script
        {QStringLiteral("\r"), false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Key.toStdString());
        const int beeps = started.Desktop.Beeps;
        EXPECT_EQ(started.Logic.CustomKeyPressed(c.Key), c.Accepted);
        EXPECT_EQ(started.Desktop.Beeps, beeps + (c.Accepted ? 0 : 1));
    }
}

TEST(CustomTabTest, EditsKeepDigitsUpToTheirLength)
{
    TProgramFolder folder;
    TStartedLogic started(folder);
    TWindowLogic& logic = started.Logic;
    const kv::app::TCustomPanelState initial = logic.CustomPanel();
    EXPECT_FALSE(initial.Visible);
    EXPECT_EQ(initial.TypeIndex, 0);
    EXPECT_EQ(initial.Width, QStringLiteral("220"));
    EXPECT_EQ(initial.Height, QStringLiteral("176"));
    EXPECT_EQ(initial.Bitrate, QStringLiteral("38400"));
    EXPECT_EQ(initial.FrameRate, QStringLiteral("15"));

    struct TCase {
        TCustomField Field;
        int MaxLength;
        QString Typed;
        QString Kept;
    };
    const TCase cases[] = {
        {TCustomField::FrameRate, 2, QStringLiteral("99"), QStringLiteral("99")},
        {TCustomField::FrameRate, 2, QStringLiteral("120"), QStringLiteral("12")},
        {TCustomField::Width, 4, QStringLiteral("12a3"), QStringLiteral("123")},  // pasted
        {TCustomField::Height, 4, QStringLiteral("72000"), QStringLiteral("7200")},
        {TCustomField::Bitrate, 7, QStringLiteral("12345678"), QStringLiteral("1234567")},
        {TCustomField::Bitrate, 7, QStringLiteral("5.5"), QStringLiteral("55")},
        {TCustomField::Width, 4, QString(), QString()},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Typed.toStdString());
        EXPECT_EQ(TWindowLogic::CustomMaxLength(c.Field), c.MaxLength);
        EXPECT_EQ(logic.CustomEdited(c.Field, c.Typed), c.Kept);
    }
    EXPECT_EQ(logic.CustomPanel().Width, QString());
    EXPECT_EQ(logic.CustomPanel().FrameRate, QStringLiteral("12"));

    // Showing the window again puts everything back.
    logic.CustomButtonClicked();
    logic.CustomTypeChanged(4);
    logic.Show();
    const kv::app::TCustomPanelState reset = logic.CustomPanel();
    EXPECT_FALSE(reset.Visible);
    EXPECT_EQ(reset.TypeIndex, 0);
    EXPECT_EQ(reset.Width, QStringLiteral("220"));
    EXPECT_EQ(reset.FrameRate, QStringLiteral("15"));
}

TEST(CustomTabTest, RecordsOfTheCustomTabCheckTheSettingsFirst)
{
    TProgramFolder folder;
    const QString video = folder.Root() + QStringLiteral("clip.avi");
    const kv::app::TRecordSource source = SourceFor(video, QStringLiteral("320 X 240"));
    struct TCase {
        const char* Name;
        bool ShowPanel;
        TCustomField Emptied;  // the edit emptied when Empty
        bool Empty;
        QString Message;  // '' when the record follows the edits
    };
    const TCase cases[] = {
        {"panel not shown", false, TCustomField::Width, false, QStringLiteral("请设定对应视频参数！")},
        {"no width", true, TCustomField::Width, true, QStringLiteral("请设定输入视频尺寸！")},
        {"no height", true, TCustomField::Height, true, QStringLiteral("请设定输入视频尺寸！")},
        {"no bitrate", true, TCustomField::Bitrate, true, QStringLiteral("请输入视频比特率！")},
        {"no frame rate", true, TCustomField::FrameRate, true, QStringLiteral("请输入帧速率！")},
        {"all filled", true, TCustomField::Width, false, QString()},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TStartedLogic started(folder);
        TWindowLogic& logic = started.Logic;
        logic.TabChanged(3);
        if (c.ShowPanel)
            logic.CustomButtonClicked();
        logic.CustomTypeChanged(2);  // AVI
        logic.CustomEdited(TCustomField::Width, QStringLiteral("320"));
        logic.CustomEdited(TCustomField::Height, QStringLiteral("240"));
        logic.CustomEdited(TCustomField::FrameRate, QStringLiteral("12"));
        if (c.Empty)
            logic.CustomEdited(c.Emptied, QString());
        kv::TInputOptions input;
        kv::TOutputOptions output;
        // Records left from other settings are never to be queued.
        EXPECT_EQ(logic.BuildRecords(source, input, output), c.Message.isEmpty());
        if (c.Message.isEmpty()) {
            EXPECT_TRUE(started.Desktop.Errors.isEmpty()) << started.Desktop.Errors.join('\n').toStdString();
            EXPECT_EQ(output.FrameRate, "12");
            EXPECT_EQ(output.FrameSize, "320X240");
            EXPECT_EQ(output.VideoBitrate, 38400);
            EXPECT_EQ(QString::fromStdString(output.FileName),
                      logic.OutputFolderText() + QStringLiteral("/CLIP_(new).avi"));
        } else {
            EXPECT_EQ(started.Desktop.Errors, QStringList{c.Message});
        }
    }
}

TEST(CustomTabTest, LeavingTheTabHidesThePanelAndTheTypeLeavesThePresetsAlone)
{
    TProgramFolder folder;
    TStartedLogic started(folder);
    TWindowLogic& logic = started.Logic;
    logic.PresetChanged(1, true);
    logic.TabChanged(3);
    logic.CustomButtonClicked();
    EXPECT_TRUE(logic.CustomPanel().Visible);
    logic.CustomTypeChanged(5);
    EXPECT_EQ(logic.CustomPanel().TypeIndex, 5);
    EXPECT_EQ(logic.PresetIndex(), 1);
    logic.TabChanged(0);
    logic.TabChanged(3);
    EXPECT_FALSE(logic.CustomPanel().Visible);
}

TEST(CustomTabTest, RecordsGoToTheTypedFolder)
{
    TProgramFolder folder;
    TStartedLogic started(folder);
    TWindowLogic& logic = started.Logic;
    const QString typed = folder.Root() + QStringLiteral("typed");
    logic.OutputFolderEdited(typed);
    logic.TabChanged(3);
    logic.CustomButtonClicked();
    const kv::TOutputOptions output =
        logic.BuildOutputOptions(SourceFor(folder.Root() + QStringLiteral("my clip.avi"), QStringLiteral("220 X 176")));
    EXPECT_EQ(QString::fromStdString(output.FileName), typed + QStringLiteral("/MY CLIP_(new).3gp"));
    EXPECT_NE(logic.OutputFolder(), typed);
}

// Each tab's labels show its own settings, and the audio label the active tab shows names the encoder.
TEST(InfoLabelsTest, EachCustomTypesLabelsNameTheCodecsItsRecordsGet)
{
    TProgramFolder folder;
    TStartedLogic started(folder);
    TWindowLogic& logic = started.Logic;
    logic.BrandChanged(1, true);  // a model whose audio label is AAC
    logic.TabChanged(1);
    logic.TabChanged(3);
    logic.CustomButtonClicked();
    const struct {
        int Type;
        const char* VideoLabel;
        const char* AudioLabel;
        const char* Video;  // the records' encoders
        const char* Audio;
    } cases[] = {
        {0, "MPEG4", "AAC", "mpeg4", "libfaac"},    {1, "H264", "MP3", "avc", "libmp3lame"},
        {2, "MPEG4", "MP3", "mpeg4", "libmp3lame"}, {3, "MPEG4", "MP3", "mpeg4", "libmp3lame"},
        {4, "WMV2", "WMA", "wmv2", "wmav2"},        {5, "RV20", "AC3", "rv20", "ac3"},
        {6, "MPEG4", "MP3", "mpeg4", "libmp3lame"}, {7, "H264", "MP3", "libx264", "libmp3lame"},
        {8, "FLV", "MP3", "flv", "libmp3lame"},
    };
    const kv::app::TRecordSource source =
        SourceFor(folder.Root() + QStringLiteral("clip.avi"), QStringLiteral("320 X 240"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Type);
        logic.CustomTypeChanged(c.Type);
        const kv::app::TInfoLabels labels = logic.Labels();
        EXPECT_EQ(labels.FrameSize, QStringLiteral("视频像素：220X176"));
        EXPECT_EQ(labels.VideoCodec, QStringLiteral("视频编码：") + QString::fromUtf8(c.VideoLabel));
        EXPECT_EQ(labels.VideoBitrate, QStringLiteral("视频码率：38400"));
        EXPECT_EQ(labels.FrameRate, QStringLiteral("帧速率：15"));
        EXPECT_EQ(labels.AudioCodec, QStringLiteral("音频编码：") + QString::fromUtf8(c.AudioLabel));
        const kv::TOutputOptions output = logic.BuildOutputOptions(source);
        EXPECT_EQ(output.VideoCodec, c.Video);
        EXPECT_EQ(output.AudioCodec, c.Audio);
    }
    EXPECT_TRUE(started.Desktop.Errors.isEmpty()) << started.Desktop.Errors.join('\n').toStdString();

    // The edits show as they are typed.
    logic.CustomEdited(TCustomField::Width, QStringLiteral("640"));
    logic.CustomEdited(TCustomField::FrameRate, QStringLiteral("25"));
    EXPECT_EQ(logic.Labels().FrameSize, QStringLiteral("视频像素：640X176"));
    EXPECT_EQ(logic.Labels().FrameRate, QStringLiteral("帧速率：25"));
}

TEST(InfoLabelsTest, TheAnalysisTabShowsItsAnalysisAfterOtherTabsAndAfterARestart)
{
    TProgramFolder folder;
    // What an analysis of an earlier run left.
    {
        kv::presets::TIniFile ini((folder.Program() + QStringLiteral("extfile.ini")).toStdString());
        ini.WriteString("mediatype", "Type", "mp4");
        ini.WriteString("video", "VideoCodec", "AVC");
        ini.WriteString("video", "VideoBitrate", "900000");
        ini.WriteInteger("video", "Width", 640);
        ini.WriteInteger("video", "Height", 360);
        ini.WriteFloat("video", "FPS", 25);
        ini.WriteString("audio", "AudioCodec", "MP3");
    }
    TStartedLogic started(folder);
    TWindowLogic& logic = started.Logic;
    logic.BrandChanged(1, true);  // AAC
    logic.TabChanged(1);
    const kv::app::TRecordSource source =
        SourceFor(folder.Root() + QStringLiteral("clip.avi"), QStringLiteral("640 X 360"));
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        logic.TabChanged(2);
        const kv::app::TInfoLabels labels = logic.Labels();
        EXPECT_EQ(labels.FrameSize, QStringLiteral("视频像素：640X360"));
        EXPECT_EQ(labels.VideoCodec, QStringLiteral("视频编码：AVC"));
        EXPECT_EQ(labels.VideoBitrate, QStringLiteral("视频码率：900000"));
        EXPECT_EQ(labels.FrameRate, QStringLiteral("帧速率：25"));
        EXPECT_EQ(labels.AudioCodec, QStringLiteral("音频编码：MP3"));
        EXPECT_EQ(logic.BuildOutputOptions(source).AudioCodec, "libmp3lame");
        logic.TabChanged(1);
        EXPECT_EQ(logic.Labels().AudioCodec, QStringLiteral("音频编码：AAC"));
    }
}

}  // namespace
