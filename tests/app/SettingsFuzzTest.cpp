// Damaged settings, profiles and analysis results at start-up: the window's logic always starts, a value
// that does not read gives its default, and start-up leaves the files as they were (config.ini gains at
// most the output folder it lacked; it is never set aside or written anew). The tasks built from damaged
// profiles are taken by the engine or refused with a reason.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <random>

#include "IniDamage.h"
#include "MediaFixtures.h"
#include "TestSupport.h"
#include "WindowLogicSupport.h"
#include "component/DIdezuDOR.h"

namespace {

using kv::app::TWindowLogic;
using kvtest::TDesktopRecorder;
using kvtest::TProgramFolder;

std::vector<std::string> LinesOf(const QByteArray& Bytes) { return kvtest::Lines(Bytes.toStdString()); }

QByteArray Read(const QString& Path)
{
    QFile file(Path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A started window logic, as the window starts it.
struct TStarted {
    explicit TStarted(const TProgramFolder& Folder) : Logic(Desktop.Ports(), Folder.Paths())
    {
        Logic.Create(Engine);
        Logic.Show();
    }
    TDesktopRecorder Desktop;
    kv::TDIdezuDOR Engine;
    TWindowLogic Logic;
};

const QByteArray GoodConfig = "[savepath]\nnewfilepath=%OUT%\n[skin]\nname=WLM\n[select]\ncombobox1=0\n"
                              "combobox2=1\ncombobox3=1\ncombobox4=0\ntabindex=1\n";

TEST(SettingsFuzzTest, DamagedValuesGiveTheirDefaults)
{
    struct TCase {
        const char* Name;
        QByteArray Config;  // replaces the line of its key in GoodConfig, or is added at the end
        int FileType, Preset, Brand;
        const char* Skin;
    };
    // The good file chooses file type 0, preset 1 (b), brand 1 (Beta) and the skin WLM.
    const TCase cases[] = {
        {"good", "", 0, 1, 1, "WLM"},
        {"letters", "combobox2=abc", 0, 0, 1, "WLM"},
        {"number and letters", "combobox2=1x", 0, 0, 1, "WLM"},
        {"beyond int", "combobox3=99999999999", 0, 1, 0, "WLM"},
        {"negative", "combobox3=-1", 0, 1, 0, "WLM"},
        {"beyond the items", "combobox1=11", 0, 1, 1, "WLM"},
        {"control bytes", QByteArray("combobox2=\x01\x00\x02", 13), 0, 0, 1, "WLM"},
        {"full-width digit", "combobox3=\xEF\xBC\x91", 0, 1, 0, "WLM"},
        {"section without its bracket", "[select\ncombobox2=1", 0, 0, 0, "WLM"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TProgramFolder folder;
        const QString out = folder.Root() + QStringLiteral("out");
        QByteArray config = GoodConfig;
        config.replace("%OUT%", out.toUtf8());
        if (!c.Config.isEmpty()) {
            const QByteArray key = c.Config.left(c.Config.indexOf('=') + 1);
            const qsizetype at = key.startsWith('[') ? -1 : config.indexOf("\n" + key);
            if (key.startsWith('['))
                config.replace("[select]\n", "");
            if (at >= 0)
                config.remove(at + 1, config.indexOf('\n', at + 1) - at);
            config += c.Config + '\n';
        }
        folder.WriteFile(QStringLiteral("config.ini"), config);
        TStarted started(folder);
        EXPECT_EQ(started.Logic.FileTypeIndex(), c.FileType);
        EXPECT_EQ(started.Logic.PresetIndex(), c.Preset);
        EXPECT_EQ(started.Logic.BrandIndex(), c.Brand);
        EXPECT_EQ(started.Logic.ModelIndex(), 0);
        EXPECT_EQ(started.Logic.ActiveTab(), kv::app::otPreset);
        EXPECT_EQ(started.Logic.Skin().Name, QString::fromUtf8(c.Skin));
        EXPECT_EQ(started.Logic.OutputFolder(), out);
        EXPECT_TRUE(started.Desktop.Errors.isEmpty()) << started.Desktop.Errors.join('\n').toStdString();
        EXPECT_EQ(Read(folder.Config()), config) << "start-up wrote the settings";
    }
}

TEST(SettingsFuzzTest, DamagedProfileAndAnalysisValuesGiveTheirDefaults)
{
    TProgramFolder folder;
    // A preset whose figures are damaged, and an analysis whose size is.
    folder.WriteFile(QStringLiteral("profiles/videoconvert/3GP/a.ini"),
                     "[mediatype]\nType=test\n[video]\nVideoCodec=MPEG4\nVideoBitrate=3.8e5x\nWidth=17\x01"
                     "6\nHeight=-\nFPS=1e400\n[audio]\nAudioCodec=AAC\n");
    folder.WriteFile(QStringLiteral("extfile.ini"),
                     "[mediatype]\nType=avi\n[video]\nVideoCodec=MPEG-4 Visual\nVideoBitrate=abc\nWidth=\x01\nHeight=2"
                     "40\xff\nFPS=nan\n[audio]\nAudioCodec=AAC\n");
    TStarted started(folder);
    const kv::app::TInfoLabels preset = started.Logic.Labels();
    EXPECT_EQ(preset.FrameSize, QStringLiteral("视频像素：0X0"));
    EXPECT_EQ(preset.VideoBitrate, QStringLiteral("视频码率：0"));
    EXPECT_EQ(preset.FrameRate, QStringLiteral("帧速率：0"));
    EXPECT_EQ(preset.AudioCodec, QStringLiteral("音频编码：AAC"));

    started.Logic.TabChanged(kv::app::otAnalysis);
    EXPECT_EQ(started.Logic.Labels().FrameSize, QStringLiteral("视频像素：0X0"));
    // The analysed output takes the default rate and bitrate for what does not read, and the engine takes it.
    kv::app::TRecordSource source;
    source.ProbeFileName = QString::fromStdString(kvtest::Fixture("video_audio.avi"));
    source.FileRows = {{QStringLiteral("video_audio"), QStringLiteral("160 X 120")}};
    kv::TInputOptions input;
    kv::TOutputOptions output;
    ASSERT_TRUE(started.Logic.BuildRecords(source, input, output));
    EXPECT_EQ(output.FrameRate, "24");
    EXPECT_EQ(output.VideoBitrate, 512000);
    EXPECT_TRUE(started.Desktop.Errors.isEmpty()) << started.Desktop.Errors.join('\n').toStdString();
    const kvtest::TempFolder out("damaged_analysis");
    const int index = started.Engine.AddTask(source.ProbeFileName.toStdString(), &input);
    ASSERT_GE(index, 0) << started.Engine.LastError();
    EXPECT_TRUE(started.Engine.SetOutputFile(index, out.Path + "/task" + output.FileExt, &output))
        << started.Engine.LastError();
    started.Engine.ClearTasks();
}

TEST(SettingsFuzzTest, SettingsThatAreNoFileReadAsMissing)
{
    struct TCase {
        const char* Name;
        std::function<void(const QString& Path)> Make;
    };
    const TCase cases[] = {
        {"a folder", [](const QString& Path) { QDir().mkpath(Path); }},
        {"a named pipe", [](const QString& Path) { ::mkfifo(Path.toUtf8().constData(), 0600); }},
        {"a link to nothing", [](const QString& Path) { QFile::link(Path + QStringLiteral(".gone"), Path); }},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TProgramFolder folder;
        c.Make(folder.Config());
        c.Make(folder.Program() + QStringLiteral("extfile.ini"));
        QFile::remove(folder.Program() + QStringLiteral("profiles/devices/Alpha/m1.ini"));
        c.Make(folder.Program() + QStringLiteral("profiles/devices/Alpha/m1.ini"));
        TStarted started(folder);
        EXPECT_EQ(started.Logic.FileTypeIndex(), 0);
        EXPECT_EQ(started.Logic.BrandItems(), (QStringList{QStringLiteral("Alpha"), QStringLiteral("Beta")}));
        EXPECT_FALSE(started.Logic.OutputFolder().isEmpty());
        started.Logic.TabChanged(kv::app::otDevice);
        started.Logic.Labels();
    }
}

TEST(SettingsFuzzTest, DamagedFilesNeverStopTheStartUpNorAreWrittenAnew)
{
    kvtest::LoadSystemLibraries();
    const std::string video = kvtest::Fixture("video_audio.avi");
    std::mt19937 random(1789);
    const QStringList profiles = {QStringLiteral("profiles/videoconvert/3GP/a.ini"),
                                  QStringLiteral("profiles/videoconvert/3GP/b.ini"),
                                  QStringLiteral("profiles/devices/Alpha/m1.ini"),
                                  QStringLiteral("profiles/devices/Beta/n1.ini"), QStringLiteral("extfile.ini")};
    int rounds = 0, queued = 0, refused = 0;
    for (; rounds < 150; ++rounds) {
        SCOPED_TRACE("round " + std::to_string(rounds));
        TProgramFolder folder;
        QByteArray config = GoodConfig;
        config.replace("%OUT%", (folder.Root() + QStringLiteral("out")).toUtf8());
        config = QByteArray::fromStdString(kvtest::Damaged(config.toStdString(), random));
        folder.WriteFile(QStringLiteral("config.ini"), config);
        folder.WriteFile(QStringLiteral("extfile.ini"),
                         "[mediatype]\nType=mp4\n[video]\nVideoCodec=AVC\nVideoBitrate=400000\nWidth=320\n"
                         "Height=240\nFPS=25\n[audio]\nAudioCodec=AAC\n");
        std::map<QString, QByteArray> before;
        for (const QString& profile : profiles) {
            QByteArray bytes = Read(folder.Program() + profile);
            if (random() % 2)
                bytes = QByteArray::fromStdString(kvtest::Damaged(bytes.toStdString(), random));
            folder.WriteFile(profile, bytes);
            before[profile] = bytes;
        }

        TStarted started(folder);
        TWindowLogic& logic = started.Logic;
        EXPECT_TRUE(QFile::exists(folder.Config()));
        EXPECT_TRUE(kvtest::KeepsEveryOtherLine(LinesOf(config), LinesOf(Read(folder.Config()))))
            << "config.ini was written anew";
        for (const auto& [profile, bytes] : before)
            EXPECT_EQ(Read(folder.Program() + profile), bytes) << profile.toStdString() << " was written";
        EXPECT_GE(logic.FileTypeIndex(), 0);
        EXPECT_LT(logic.FileTypeIndex(), TWindowLogic::FileTypeItems().size());
        EXPECT_GE(logic.PresetIndex(), logic.PresetItems().isEmpty() ? -1 : 0);
        EXPECT_LT(logic.PresetIndex(), logic.PresetItems().size());
        EXPECT_GE(logic.BrandIndex(), 0);
        EXPECT_LT(logic.BrandIndex(), logic.BrandItems().size());
        EXPECT_GE(logic.ModelIndex(), logic.ModelItems().isEmpty() ? -1 : 0);
        EXPECT_LT(logic.ModelIndex(), logic.ModelItems().size());
        EXPECT_FALSE(logic.OutputFolder().isEmpty());
        logic.Skin();

        // Each tab's task for a video: the engine takes it, or refuses it with a reason.
        kv::app::TRecordSource source;
        source.ProbeFileName = QString::fromStdString(video);
        source.FileRows = {{QStringLiteral("video_audio"), QStringLiteral("160 X 120")}};
        for (const int tab : {kv::app::otPreset, kv::app::otDevice, kv::app::otAnalysis}) {
            logic.TabChanged(tab);
            logic.Labels();
            kv::TInputOptions input;
            kv::TOutputOptions output;
            if (!logic.BuildRecords(source, input, output))
                continue;
            output.FileName = folder.Root().toStdString() + "out/task" + output.FileExt;
            kv::TDIdezuDOR engine;
            ASSERT_TRUE(engine.LoadLibraries("")) << engine.LastError();
            const int index = engine.AddTask(video, &input);
            if (index >= 0 && engine.SetOutputFile(index, output.FileName, &output)) {
                ++queued;
            } else {
                ++refused;
                EXPECT_FALSE(engine.LastError().empty()) << "refused without a reason";
            }
            engine.ClearTasks();
        }
    }
    RecordProperty("damaged_starts", rounds);
    RecordProperty("tasks_queued", queued);
    RecordProperty("tasks_refused", refused);
}

}  // namespace
