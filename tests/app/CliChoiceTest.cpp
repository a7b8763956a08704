// The command line's presets, devices and --like give the records the window builds for the same input: the
// same codecs, size, bands, frame rate and file name; converted both ways, the files agree.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>

#include <nlohmann/json.hpp>

#include "EventPump.h"
#include "MediaFixtures.h"
#include "ShippedProfiles.h"
#include "TestSupport.h"
#include "WindowLogicSupport.h"
#include "component/DIdezuDOR.h"

namespace {

using namespace kv::app;
using json = nlohmann::json;

std::string Quoted(const std::string& Name)
{
    std::string quoted = "'";
    for (char c : Name)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// A window over the shipped profiles, in a program folder of its own (its settings go there).
struct TShippedWindow {
    kvtest::TDesktopRecorder Desktop;
    QTemporaryDir Program;
    kv::TDIdezuDOR Engine;
    std::unique_ptr<TWindowLogic> Logic;

    TShippedWindow()
    {
        const QString profiles = QString::fromStdString(kvtest::ShippedProfiles());
        EXPECT_TRUE(QFile::link(QFileInfo(profiles).absoluteFilePath(), Program.path() + "/profiles"));
        const TWindowPaths paths{Program.path() + '/', Program.path() + "/config", Program.path() + "/videos",
                                 QStringLiteral(KELVANE_CLI)};
        Logic = std::make_unique<TWindowLogic>(Desktop.Ports(), paths);
        Logic->Create(Engine);
        Logic->Show();
    }

    // The records the window builds for Input, its row read as the file list reads it.
    bool Records(const std::string& Input, const std::string& Folder, kv::TInputOptions& In, kv::TOutputOptions& Out)
    {
        Logic->OutputFolderEdited(QString::fromStdString(Folder));
        // As at Start: the folder is made.
        EXPECT_TRUE(Logic->PrepareOutputFolder());
        std::map<std::string, std::string> facts = kvtest::Probe(Input);
        TRecordSource source;
        source.ProbeFileName = QString::fromStdString(Input);
        source.FileRows = {
            {QFileInfo(source.ProbeFileName).completeBaseName(),
             QString::fromStdString(facts["streams.stream.0.width"] + " X " + facts["streams.stream.0.height"])}};
        source.OwnRow = 0;
        return Logic->BuildRecords(source, In, Out);
    }
};

int IndexStarting(const QStringList& Items, const QString& Start)
{
    for (int i = 0; i < Items.size(); ++i)
        if (Items[i].startsWith(Start))
            return i;
    return -1;
}

// Chooses "TYPE/N" or "BRAND/MODEL" in the window's combos as a user does.
void Choose(TWindowLogic& Logic, bool Device, const std::string& Name)
{
    const QString type = QString::fromStdString(Name.substr(0, Name.find('/')));
    const QString item = QString::fromStdString(Name.substr(Name.find('/') + 1));
    if (!Device) {
        Logic.TabChanged(otPreset);
        const int fileType = IndexStarting(TWindowLogic::FileTypeItems(), type + ' ');
        ASSERT_GE(fileType, 0) << Name;
        Logic.FileTypeChanged(fileType, true);
        const int preset =
            IndexStarting(Logic.PresetItems(), QStringLiteral("%1 ").arg(item.toInt(), 2, 10, QChar('0')));
        ASSERT_GE(preset, 0) << Name;
        Logic.PresetChanged(preset, true);
    } else {
        Logic.TabChanged(otDevice);
        const int brand = int(Logic.BrandItems().indexOf(type));
        ASSERT_GE(brand, 0) << Name;
        Logic.BrandChanged(brand, true);
        const int model = int(Logic.ModelItems().indexOf(item));
        ASSERT_GE(model, 0) << Name;
        Logic.ModelChanged(model, true);
    }
}

// The records kelvane-cli builds for the same input (--dry-run prints them).
json CliRecords(const std::string& Choice, const std::string& Input, const std::string& Folder,
                const std::string& Environment = "")
{
    std::string printed;
    const int status = kvtest::RunCommand(Environment + std::string(KELVANE_CLI) + " convert --dry-run " + Choice +
                                              " -d " + Quoted(Folder) + " " + Quoted(Input) + " 2>/dev/null",
                                          printed);
    EXPECT_EQ(status, 0) << printed;
    return json::parse(printed, nullptr, false);
}

// What the window's records and the command line's must share.
void ExpectSameRecords(const kv::TInputOptions& In, const kv::TOutputOptions& Out, const json& Cli,
                       const std::string& Name)
{
    SCOPED_TRACE(Name);
    ASSERT_TRUE(Cli.is_object());
    const json& o = Cli["output"];
    EXPECT_EQ(o["FileName"], Out.FileName);
    EXPECT_EQ(o["FileExt"], Out.FileExt);
    EXPECT_EQ(o["ForceFormat"], Out.ForceFormat);
    EXPECT_EQ(o["VideoCodec"], Out.VideoCodec);
    EXPECT_EQ(o["AudioCodec"], Out.AudioCodec);
    EXPECT_EQ(o["FrameSize"], Out.FrameSize);
    EXPECT_EQ(o["FrameRate"], Out.FrameRate);
    EXPECT_EQ(o["VideoBitrate"], Out.VideoBitrate);
    EXPECT_EQ(o["AudioBitrate"], Out.AudioBitrate);
    EXPECT_EQ(o["AudioSampleRate"], Out.AudioSampleRate);
    EXPECT_EQ(o["AudioChannels"], Out.AudioChannels);
    EXPECT_EQ(o["PadTop"], Out.PadTop);
    EXPECT_EQ(o["PadBottom"], Out.PadBottom);
    EXPECT_EQ(o["PadLeft"], Out.PadLeft);
    EXPECT_EQ(o["PadRight"], Out.PadRight);
    EXPECT_EQ(o["DisableVideo"], Out.DisableVideo);
    EXPECT_EQ(o["DisableSubtitle"], Out.DisableSubtitle);
    EXPECT_EQ(o["RecordingTime"], Out.RecordingTime);
    // The command line adds its two-pass log after the preset's own lines.
    EXPECT_EQ(o["ExtOptions"].get<std::string>().rfind(Out.ExtOptions, 0), 0u) << o["ExtOptions"];
    EXPECT_EQ(Cli["input"]["FileName"], In.FileName);
    EXPECT_EQ(Cli["input"]["ForceFormat"], In.ForceFormat);
    EXPECT_EQ(Cli["input"]["StartTime"], In.StartTime);
}

// A 16:9 source, for the devices that fit it into 4:3 with bands.
std::string WideFixture(const std::string& Folder)
{
    const std::string file = Folder + "/wide clip.mp4";
    std::string printed;
    EXPECT_EQ(kvtest::RunCommand("ffmpeg -v error -y -f lavfi -i testsrc=size=320x180:rate=25:duration=1 -f lavfi "
                                 "-i sine=duration=1 -c:v mpeg4 -c:a aac -shortest " +
                                     Quoted(file) + " 2>&1",
                                 printed),
              0)
        << printed;
    return file;
}

struct TChoiceCase {
    bool Device;
    const char* Name;
    bool Wide;               // the 16:9 source, else the 4:3 one
    const char* Bands = "";  // "top", "sides" or "" when the case is there for its bands
};

const TChoiceCase ChoiceCases[] = {
    {false, "3GP/1", false},
    {false, "MP4/13", true},
    {false, "AVI/8", false, "sides"},
    {false, "MPEG/3", false},
    {false, "WMV/3", true},
    {false, "RM/4", false},
    {false, "MOV/1", true},
    {false, "MKV/3", false},
    {false, "FLV/1", true},
    {false, "MP4-H264/2", true},
    {false, "MKV-WEBM/1", false},
    {true, "Aurion/Aurion AP110", false, "sides"},
    {true, "Corvina/Corvina CV110", true, "top"},
    {true, "Fenmar/Fenmar FM110", false},
    {true, "Quorra/Quorra Q110", true},
    {true, "Xarion/Xarion XR110", false},
};

TEST(CliChoiceTest, PresetsAndDevicesGiveTheWindowsRecords)
{
    const kvtest::TempFolder temp("cli-choice");
    const std::string wide = WideFixture(temp.Path);
    const std::string narrow = kvtest::Fixture("video_audio.avi");
    TShippedWindow window;
    for (const TChoiceCase& c : ChoiceCases) {
        Choose(*window.Logic, c.Device, c.Name);
        const std::string input = c.Wide ? wide : narrow;
        kv::TInputOptions in;
        kv::TOutputOptions out;
        ASSERT_TRUE(window.Records(input, temp.Path + "/out", in, out)) << c.Name;
        const std::string choice = std::string(c.Device ? "--device " : "--preset ") + Quoted(c.Name);
        ExpectSameRecords(in, out, CliRecords(choice, input, temp.Path + "/out"), c.Name);
        if (std::string(c.Bands) == "top") {
            EXPECT_GT(out.PadTop, 0) << c.Name;
        } else if (std::string(c.Bands) == "sides") {
            EXPECT_GT(out.PadLeft, 0) << c.Name;
        }
    }
    EXPECT_TRUE(window.Desktop.Errors.isEmpty()) << window.Desktop.Errors.join('\n').toStdString();
}

TEST(CliChoiceTest, LikeGivesTheAnalysisTabsRecordsAndLeavesItsProfileAlone)
{
    const kvtest::TempFolder temp("cli-like");
    const std::string followed = kvtest::Fixture("h264.mp4");
    const std::string input = kvtest::Fixture("video_audio.avi");
    TShippedWindow window;
    window.Desktop.FilesAnswer = {QString::fromStdString(followed)};
    window.Logic->AnalyseClicked();
    ASSERT_TRUE(kvtest::PumpUntil([&] { return !window.Logic->Analysing(); }, 20000));
    window.Logic->TabChanged(otAnalysis);
    kv::TInputOptions in;
    kv::TOutputOptions out;
    ASSERT_TRUE(window.Records(input, temp.Path, in, out));
    const QString extFile = window.Logic->ExtFile();
    QFile::remove(extFile);
    // The command line's analysis is its own: the program's profile is neither written nor read.
    const std::string ownTemp = temp.Path + "/tmp";
    std::filesystem::create_directory(ownTemp);
    ExpectSameRecords(in, out,
                      CliRecords("--like " + Quoted(followed), input, temp.Path, "TMPDIR=" + Quoted(ownTemp) + " "),
                      "--like");
    EXPECT_TRUE(std::filesystem::is_empty(ownTemp)) << "the analysed profile of the run is left behind";
    EXPECT_EQ(out.VideoCodec, "avc");  // the analysed H.264, as the resolver names its encoder
    EXPECT_FALSE(QFileInfo::exists(extFile));
    EXPECT_FALSE(
        std::filesystem::exists(QFileInfo(QStringLiteral(KELVANE_CLI)).absolutePath().toStdString() + "/extfile.ini"));
}

// Converts with the window's records through the engine component.
std::string ConvertWithRecords(kv::TInputOptions& In, kv::TOutputOptions& Out)
{
    kv::TDIdezuDOR component;
    std::mutex lock;
    std::condition_variable changed;
    bool allEnded = false;
    std::string failure;
    component.OnTerminate = [&](int Index, bool Finished, bool Failed, const std::string& Message) {
        std::lock_guard<std::mutex> guard(lock);
        if (Index < 0)
            allEnded = true;
        else if (!Finished || Failed)
            failure = "the conversion failed: " + Message;
        changed.notify_all();
    };
    const int index = component.AddTask(In.FileName, &In);
    if (index < 0)
        return "AddTask: " + component.LastError();
    if (!component.SetOutputFile(index, Out.FileName, &Out))
        return "SetOutputFile: " + component.LastError();
    component.StartConvert(1);
    std::unique_lock<std::mutex> guard(lock);
    if (!changed.wait_for(guard, std::chrono::seconds(120), [&] { return allEnded; }))
        return "the conversion did not end";
    return failure;
}

TEST(CliChoiceTest, ConvertedBothWaysTheFilesAgree)
{
    const kvtest::TempFolder temp("cli-both");
    const std::string wide = WideFixture(temp.Path);
    TShippedWindow window;
    const std::string keys[] = {"codec_name", "width", "height", "r_frame_rate", "sample_aspect_ratio"};
    for (const TChoiceCase& c : {TChoiceCase{true, "Corvina/Corvina CV110", true}, TChoiceCase{false, "FLV/1", true},
                                 TChoiceCase{false, "MP4-H264/2", true}}) {
        SCOPED_TRACE(c.Name);
        Choose(*window.Logic, c.Device, c.Name);
        kv::TInputOptions in;
        kv::TOutputOptions out;
        ASSERT_TRUE(window.Records(wide, temp.Path + "/window", in, out));
        ASSERT_EQ(ConvertWithRecords(in, out), "");
        std::string printed;
        ASSERT_EQ(kvtest::RunCommand(std::string(KELVANE_CLI) + " convert " + (c.Device ? "--device " : "--preset ") +
                                         Quoted(c.Name) + " -d " + Quoted(temp.Path + "/cli") + " " + Quoted(wide) +
                                         " 2>&1",
                                     printed),
                  0)
            << printed;
        const std::string cliFile =
            temp.Path + "/cli/" + QFileInfo(QString::fromStdString(out.FileName)).fileName().toStdString();
        std::map<std::string, std::string> fromWindow = kvtest::Probe(out.FileName), fromCli = kvtest::Probe(cliFile);
        ASSERT_FALSE(fromCli.empty()) << cliFile;
        for (int stream = 0; stream < 2; ++stream)
            for (const std::string& key : keys) {
                const std::string name = "streams.stream." + std::to_string(stream) + "." + key;
                EXPECT_EQ(fromCli[name], fromWindow[name]) << name;
            }
        EXPECT_EQ(fromCli["format.format_name"], fromWindow["format.format_name"]);
    }
}

}  // namespace
