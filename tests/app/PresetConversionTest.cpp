// No choice fails: every preset of every file type, every device model, the analysis tab and the custom
// tab give records the engine takes, and a short clip converts with each into a file of the promised
// codecs, size and frame rate.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>

#include "MediaFixtures.h"
#include "ShippedProfiles.h"
#include "TestSupport.h"
#include "app/logic/ProfileLabels.h"
#include "presets/IniFile.h"
#include "presets/OutputResolution.h"
#include "presets/OutputTables.h"
#include "presets/ProfileFiles.h"
#include "component/DIdezuDOR.h"

namespace {

using namespace kv::app;
using namespace kv::presets;

struct TCase {
    std::string Name;
    TOutputChoice Choice;
    // What ffprobe must read.
    std::string Video, Audio;
    int Width = 0, Height = 0;
    double Fps = 0;
    // For the quality-based presets and the analysis: the container's name and the file's suffix, the exact
    // frame rate, the H.264 profile and whether the index comes before the pictures.
    std::string Format, Suffix, RateText, Profile;
    bool IndexFirst = false;
    // Filled by the run.
    kv::TOutputOptions Output;
    size_t Run = 0;
};

struct TRun {
    kv::TInputOptions Input;
    kv::TOutputOptions Output;
    std::string Error;  // empty when the task was queued and finished
    std::map<std::string, std::string> Facts;
};

// Queues one task with the records and runs it to its end.
void Convert(TRun& Run)
{
    kv::TDIdezuDOR component;
    std::mutex lock;
    std::condition_variable changed;
    bool ended = false, allEnded = false;
    std::string failure;
    component.OnTerminate = [&](int Index, bool Finished, bool Failed, const std::string& Message) {
        std::lock_guard<std::mutex> guard(lock);
        if (Index < 0) {
            allEnded = true;
        } else {
            ended = true;
            if (!Finished || Failed)
                failure = "the conversion failed: " + Message;
        }
        changed.notify_all();
    };
    const int index = component.AddTask(Run.Input.FileName, &Run.Input);
    if (index < 0) {
        Run.Error = "AddTask: " + component.LastError();
        return;
    }
    if (!component.SetOutputFile(index, Run.Output.FileName, &Run.Output)) {
        Run.Error = "SetOutputFile: " + component.LastError();
        return;
    }
    component.StartConvert(1);
    std::unique_lock<std::mutex> guard(lock);
    if (!changed.wait_for(guard, std::chrono::seconds(120), [&] { return ended && allEnded; })) {
        Run.Error = "the conversion did not end";
        guard.unlock();
        component.StopConvert();
        guard.lock();
        changed.wait_for(guard, std::chrono::seconds(30), [&] { return allEnded; });
        return;
    }
    Run.Error = failure;
    guard.unlock();
    Run.Facts = kvtest::Probe(Run.Output.FileName);
}

// The facts of the first stream of a kind ("video", "audio"), keyed without their stream prefix.
std::map<std::string, std::string> StreamOf(const std::map<std::string, std::string>& Facts, const std::string& Kind)
{
    for (int stream = 0; stream < 4; ++stream) {
        const std::string prefix = "streams.stream." + std::to_string(stream) + ".";
        const auto type = Facts.find(prefix + "codec_type");
        if (type == Facts.end() || type->second != Kind)
            continue;
        std::map<std::string, std::string> result;
        for (const auto& [key, value] : Facts)
            if (key.rfind(prefix, 0) == 0)
                result[key.substr(prefix.size())] = value;
        return result;
    }
    return {};
}

double Rate(const std::string& Text)
{
    const size_t slash = Text.find('/');
    if (slash == std::string::npos)
        return std::atof(Text.c_str());
    const double den = std::atof(Text.c_str() + slash + 1);
    return den > 0 ? std::atof(Text.substr(0, slash).c_str()) / den : 0;
}

TCase TableCase(const std::string& Name, int Tab, int Index1, int Index2, const TOutputEntry& Entry,
                const std::string& ProfilePath)
{
    TCase c;
    c.Name = Name;
    c.Choice.Tab = Tab;
    c.Choice.Index1 = Index1;
    c.Choice.Index2 = Index2;
    // The window shows the chosen profile, whose audio codec chooses the audio encoder.
    const TProfile profile = ReadProfile(ProfilePath);
    const TProfileLabels labels = ProfileLabels(profile, Tab == otDevice);
    c.Choice.AudioCodec = profile.AudioCodec;
    c.Video = kvtest::VideoFamily(Entry);
    c.Audio = kvtest::AudioFamily(labels.AudioCodec.mid(QStringLiteral("音频编码：").size()), Entry.Ext);
    const QStringList size = QString(Entry.Size).split('x');
    c.Width = size[0].toInt();
    c.Height = size[1].toInt();
    c.Fps = Entry.Fps;
    if (Entry.FollowSource) {
        // Never larger than the 160x90 source, at its 25 frames a second.
        c.Width = std::min(c.Width, 160);
        c.Height = std::min(c.Height, 90);
        c.Fps = 25;
        c.RateText = "25/1";
        const bool webm = std::string(Entry.Ext) == ".webm", mp4 = std::string(Entry.Ext) == ".mp4";
        c.Format = mp4 ? "mov,mp4,m4a,3gp,3g2,mj2" : "matroska,webm";
        c.Suffix = mp4 ? ".mp4" : webm ? ".webm" : ".mkv";
        if (mp4) {
            c.Profile = "High";
            c.IndexFirst = true;
        }
    }
    return c;
}

// Whether the file's index ("moov") comes before its pictures ("mdat"): the top-level boxes in order.
bool IndexBeforePictures(const std::string& FileName)
{
    QFile file(QString::fromStdString(FileName));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    for (qsizetype at = 0; at + 8 <= bytes.size();) {
        const quint32 size = (quint8(bytes[at]) << 24) | (quint8(bytes[at + 1]) << 16) | (quint8(bytes[at + 2]) << 8) |
                             quint8(bytes[at + 3]);
        const QByteArray type = bytes.mid(at + 4, 4);
        if (type == "moov")
            return true;
        if (type == "mdat" || size < 8)
            return false;
        at += size;
    }
    return false;
}

std::vector<TCase> AllCases(const std::string& Folder)
{
    std::vector<TCase> cases;
    for (int type = 0; type < static_cast<int>(PresetTable().size()); ++type) {
        std::vector<std::string> files;
        GetFileList(files, kvtest::ShippedProfiles() + "/videoconvert/" + FileTypeFolder(type), ".ini");
        const auto& entries = PresetTable()[static_cast<size_t>(type)];
        EXPECT_EQ(files.size(), entries.size());
        for (size_t n = 0; n < entries.size() && n < files.size(); ++n)
            cases.push_back(TableCase(FileTypeFolder(type) + " preset " + std::to_string(n), otPreset, type,
                                      static_cast<int>(n), entries[n], files[n]));
    }
    std::vector<std::string> brands;
    GetFileList2(brands, kvtest::ShippedProfiles() + "/devices");
    for (size_t brand = 0; brand < DeviceTable().size() && brand < brands.size(); ++brand) {
        std::vector<std::string> files;
        GetFileList(files, kvtest::ShippedProfiles() + "/devices/" + brands[brand], ".ini");
        const auto& entries = DeviceTable()[brand];
        for (size_t n = 0; n < entries.size() && n < files.size(); ++n)
            cases.push_back(TableCase(QFileInfo(QString::fromStdString(files[n])).completeBaseName().toStdString(),
                                      otDevice, static_cast<int>(brand), static_cast<int>(n), entries[n], files[n]));
    }

    // The analyses of a 29.97 frames-per-second H.264 phone clip, of a 25 frames-per-second MPEG-4 clip and of
    // a clip whose codec has no encoder here (MPEG-4 video then): each copied where it can be.
    const struct {
        const char* Name;
        const char* Type;
        const char* Codec;
        const char* Fps;
        const char* Video;
        double Rate;
        const char* RateText;
    } analyses[] = {
        {"analysis of H.264 at 29.97", "mp4", "AVC", "29.97", "h264", 30000.0 / 1001, "30000/1001"},
        {"analysis of MPEG-4 at 25", "mp4", "MPEG-4 Visual", "25", "mpeg4", 25, "25/1"},
        {"analysis of Motion JPEG", "avi", "JPEG", "25", "mpeg4", 25, "25/1"},
    };
    for (size_t n = 0; n < std::size(analyses); ++n) {
        const auto& a = analyses[n];
        const std::string extfile = Folder + "/extfile" + std::to_string(n) + ".ini";
        TIniFile ini(extfile);
        ini.WriteString("mediatype", "Type", a.Type);
        ini.WriteString("video", "VideoCodec", a.Codec);
        ini.WriteString("video", "VideoBitrate", "512000");
        ini.WriteInteger("video", "Width", 320);
        ini.WriteInteger("video", "Height", 240);
        ini.WriteString("video", "FPS", a.Fps);
        ini.WriteString("audio", "AudioCodec", "AAC");
        TCase analysis;
        analysis.Name = a.Name;
        analysis.Choice.Tab = otAnalysis;
        analysis.Choice.ExtFilePath = extfile;
        analysis.Choice.AudioCodec = "AAC";
        analysis.Video = a.Video;
        analysis.Audio = "aac";
        analysis.Width = 320;
        analysis.Height = 240;
        analysis.Fps = a.Rate;
        analysis.RateText = a.RateText;
        cases.push_back(analysis);
    }

    // Every custom type with the edits as the window first shows them, after a choice whose audio label
    // selects nothing, and after an analysis whose label selects FLAC.
    const char* videos[] = {"mpeg4", "h264", "mpeg4", "mpeg4", "wmv2", "rv20", "mpeg4", "h264", "flv1"};
    const struct {
        const char* Label;
        const char* Audio[9];
    } labels[] = {
        {"WMA", {"aac", "mp3", "mp3", "mp3", "wmav2", "ac3", "mp3", "mp3", "mp3"}},
        {"FLAC", {"aac", "aac", "mp3", "mp3", "wmav2", "ac3", "aac", "flac", "mp3"}},
    };
    for (const auto& label : labels)
        for (int type = 0; type < ClassicFileTypes; ++type) {
            TCase custom;
            custom.Name = "custom " + FileTypeFolder(type) + " after the label " + label.Label;
            custom.Choice.Tab = otCustom;
            custom.Choice.Index1 = type;
            custom.Choice.CustomPanelShown = true;
            custom.Choice.CustomWidth = "220";
            custom.Choice.CustomHeight = "176";
            custom.Choice.CustomBitrate = "38400";
            custom.Choice.CustomFps = "15";
            custom.Choice.AudioCodec = label.Label;
            custom.Video = videos[type];
            custom.Audio = label.Audio[type];
            custom.Width = 220;
            custom.Height = 176;
            custom.Fps = 15;
            cases.push_back(custom);
        }
    return cases;
}

// A record's identity apart from its file name: equal records convert alike.
std::string RecordKey(const kv::TOutputOptions& O)
{
    std::string key;
    for (const std::string& part : {O.FileExt, O.ForceFormat, O.VideoCodec, O.AudioCodec, O.FrameSize, O.FrameRate,
                                    std::to_string(O.PadTop), std::to_string(O.PadLeft), std::to_string(O.VideoBitrate),
                                    std::to_string(O.AudioSampleRate), std::to_string(O.AudioChannels),
                                    std::to_string(O.AudioBitrate), std::to_string(O.DisableVideo), O.ExtOptions})
        key += part + "|";
    return key;
}

// The conversions are spread over shards that ctest runs side by side; every shard resolves every choice
// in the same order, so that each record is the one the window's single resolver gives.
constexpr size_t ConversionShards = 8;

class PresetConversionShard : public ::testing::TestWithParam<size_t> {};

TEST_P(PresetConversionShard, EveryChoiceConvertsIntoWhatItPromises)
{
    const size_t shard = GetParam();
    kvtest::LoadSystemLibraries();
    kvtest::TempFolder folder("presets");
    // A 2-second 16:9 clip, so that every target shape gets its bands.
    const std::string source = folder.Path + "/clip.avi";
    std::string output;
    ASSERT_EQ(kvtest::RunCommand("ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=160x90:rate=25:duration=2 "
                                 "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=2 -ac 2 "
                                 "-c:v mpeg4 -c:a pcm_s16le '" +
                                     source + "'",
                                 output),
              0)
        << output;

    std::vector<TCase> cases = AllCases(folder.Path);
    ASSERT_EQ(cases.size(), 65u + PresetTable()[5].size() + 8u + 130u + 3u + 18u);

    // One resolver for all, as in the window: what one choice leaves behind must not break the next.
    TOutputResolver resolver([](const std::string& Text) { ADD_FAILURE() << Text; });
    std::vector<TRun> runs;
    std::map<std::string, size_t> byKey;
    for (size_t i = 0; i < cases.size(); ++i) {
        TCase& c = cases[i];
        // Each choice writes into a folder of its own.
        const std::string output = folder.Path + "/" + std::to_string(i);
        ASSERT_TRUE(QDir().mkpath(QString::fromStdString(output)));
        c.Choice.ProbeFileName = source;
        c.Choice.OutputFolder = output;
        c.Choice.Rows = {{"CLIP", "160 X 90"}};
        c.Output = resolver.BuildOutputOptions(c.Choice);
        const auto [at, added] = byKey.emplace(RecordKey(c.Output), runs.size());
        if (added) {
            TRun run;
            run.Input = resolver.BuildInputOptions(c.Choice);
            run.Output = c.Output;
            runs.push_back(run);
        }
        c.Run = at->second;
    }

    for (size_t i = shard; i < runs.size(); i += ConversionShards)
        Convert(runs[i]);

    for (const TCase& c : cases) {
        if (c.Run % ConversionShards != shard)
            continue;
        SCOPED_TRACE(c.Name + " -> " + c.Output.FileName);
        const TRun& run = runs[c.Run];
        ASSERT_EQ(run.Error, "");
        const auto video = StreamOf(run.Facts, "video");
        const auto audio = StreamOf(run.Facts, "audio");
        ASSERT_FALSE(video.empty()) << "no video stream";
        ASSERT_FALSE(audio.empty()) << "no audio stream";
        EXPECT_EQ(video.at("codec_name"), c.Video);
        EXPECT_EQ(audio.at("codec_name"), c.Audio);
        EXPECT_EQ(video.at("width"), std::to_string(c.Width));
        EXPECT_EQ(video.at("height"), std::to_string(c.Height));
        // The frames the file holds, over the clip's two seconds.
        const double frames =
            video.count("nb_frames") && video.at("nb_frames") != "N/A" ? std::atof(video.at("nb_frames").c_str()) : 0;
        const double rate = frames > 0 ? frames / 2.0 : Rate(video.at("avg_frame_rate"));
        EXPECT_NEAR(rate, c.Fps, 1.0) << "r_frame_rate " << video.at("r_frame_rate");
        if (!c.RateText.empty()) {
            EXPECT_EQ(video.at("r_frame_rate"), c.RateText);
        }
        if (!c.Format.empty()) {
            EXPECT_EQ(run.Facts.at("format.format_name"), c.Format);
            EXPECT_TRUE(c.Output.FileName.ends_with("_(new)" + c.Suffix)) << c.Output.FileName;
        }
        if (!c.Profile.empty()) {
            EXPECT_EQ(video.at("profile"), c.Profile);
        }
        if (c.IndexFirst) {
            EXPECT_TRUE(IndexBeforePictures(run.Output.FileName)) << "the index follows the pictures";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(PresetConversionTest, PresetConversionShard, ::testing::Range(size_t{0}, ConversionShards));

// The quality-based presets keep the rate of the file itself, read from it, up to 60 frames a second.
TEST(PresetConversionTest, QualityPresetsKeepTheSourcesRateUpToSixty)
{
    kvtest::LoadSystemLibraries();
    kvtest::TempFolder folder("rates");
    const struct {
        const char* Rate;      // of the source
        const char* Expected;  // of the record
    } cases[] = {{"30000/1001", "30000/1001"}, {"50", "50"}, {"120", "60"}, {"100", "50"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Rate);
        const std::string source = folder.Path + "/clip.mp4";  // a container that keeps NTSC rates exact
        std::string output;
        ASSERT_EQ(kvtest::RunCommand("ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=64x36:duration=0.5:rate=" +
                                         std::string(c.Rate) + " -c:v mpeg4 '" + source + "'",
                                     output),
                  0)
            << output;
        TOutputChoice choice;
        choice.Tab = otPreset;
        choice.Index1 = 9;  // MP4-H264
        choice.ProbeFileName = source;
        choice.OutputFolder = folder.Path;
        choice.Rows = {{"CLIP", "64 X 36"}};
        TOutputResolver resolver;
        EXPECT_EQ(resolver.BuildOutputOptions(choice).FrameRate, c.Expected);
    }
    // A file that cannot be opened leaves the rate to the engine (which then says why it cannot convert).
    TOutputChoice missing;
    missing.Tab = otPreset;
    missing.Index1 = 10;
    missing.ProbeFileName = folder.Path + "/gone.mkv";
    TOutputResolver resolver;
    EXPECT_EQ(resolver.BuildOutputOptions(missing).FrameRate, "");
}

}  // namespace
