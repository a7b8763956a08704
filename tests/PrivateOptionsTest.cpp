// Options of the codecs and containers themselves: a name no generic context knows reaches the encoder,
// muxer or demuxer whose own option table has it, a value such an option refuses fails where that
// context opens, and a name nothing took is said in the log. The output is read with ffprobe, the ffmpeg
// tool or the file's own bytes.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "ConversionSupport.h"
#include "MediaFixtures.h"
#include "TestSupport.h"
#include "engine/FFmpegTask.h"

using namespace kvtest;

namespace {

std::string Contents(const std::string& File)
{
    std::ifstream in(File, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The settings text libx264 writes into the stream it encodes ("x264 - core ... options: ...").
std::string X264Settings(const std::string& File)
{
    const std::string bytes = Contents(File);
    const size_t start = bytes.find("x264 - core");
    if (start == std::string::npos)
        return "";
    return bytes.substr(start, bytes.find('\0', start) - start);
}

bool Logged(const TConversionResult& Result, const std::string& Text)
{
    for (const std::string& line : Result.Log)
        if (line.find(Text) != std::string::npos)
            return true;
    return false;
}

std::string JoinedLog(const TConversionResult& Result)
{
    std::string text;
    for (const std::string& line : Result.Log)
        text += line + "\n";
    return text;
}

TEST(PrivateOptionsTest, EncoderSettingsReachLibx264)
{
    TempFolder folder("x264");
    const struct {
        const char* Name;
        std::vector<std::string> Lines;
        const char* Shown;     // in libx264's settings text
        const char* NotShown;  // what its defaults write there instead
    } cases[] = {
        {"crf", {"crf=35"}, "crf=35.0", "crf=23.0"},
        {"preset", {"preset=ultrafast"}, "subme=0", "subme=7"},
        {"tune", {"tune=grain"}, "deadzone=6,6", "deadzone=21,11"},
        {"params", {"x264-params=keyint=7"}, "keyint=7 ", "keyint=250"},
        // A name the generic codec options have too, with a value only libx264's own option takes.
        {"profile", {"profile=baseline"}, "cabac=0", "cabac=1"},
    };
    for (const auto& c : cases) {
        const std::string output = folder.Path + "/" + c.Name + ".mp4";
        std::vector<std::string> lines = {"vcodec=libx264", "an"};
        lines.insert(lines.end(), c.Lines.begin(), c.Lines.end());
        const TConversionResult result = Convert(Fixture("video_audio.avi"), output, {}, lines);
        ASSERT_TRUE(result.Finished) << c.Name << ": " << result.Message;
        const std::string settings = X264Settings(output);
        EXPECT_NE(settings.find(c.Shown), std::string::npos) << c.Name << ": " << settings;
        EXPECT_EQ(settings.find(c.NotShown), std::string::npos) << c.Name << ": " << settings;
        EXPECT_FALSE(Logged(result, "was not used")) << JoinedLog(result);
    }
}

TEST(PrivateOptionsTest, AHighCrfGivesAMuchSmallerFileThanALowOne)
{
    TempFolder folder("crf");
    const std::string fine = folder.Path + "/fine.mp4";
    const std::string coarse = folder.Path + "/coarse.mp4";
    ASSERT_TRUE(Convert(Fixture("long_av.mkv"), fine, {}, {"vcodec=libx264", "an", "crf=10"}).Finished);
    ASSERT_TRUE(Convert(Fixture("long_av.mkv"), coarse, {}, {"vcodec=libx264", "an", "crf=45"}).Finished);
    ASSERT_GT(SizeOf(coarse), 0);
    EXPECT_GT(SizeOf(fine), 4 * SizeOf(coarse)) << SizeOf(fine) << " against " << SizeOf(coarse);
}

TEST(PrivateOptionsTest, MuxerOptionsReachAFormatGuessedFromTheName)
{
    TempFolder folder("movflags");
    const struct {
        const char* Name;
        std::vector<std::string> Lines;
        bool IndexFirst;
    } cases[] = {
        {"plain", {}, false},
        {"faststart", {"movflags=+faststart"}, true},
        {"faststart_after_codec", {"vcodec=mpeg4", "movflags=+faststart"}, true},
    };
    for (const auto& c : cases) {
        const std::string output = folder.Path + "/" + c.Name + ".mp4";
        std::vector<std::string> lines = c.Lines;
        lines.push_back("acodec=aac");
        const TConversionResult result = Convert(Fixture("video_audio.avi"), output, {}, lines);
        ASSERT_TRUE(result.Finished) << c.Name << ": " << result.Message;
        const std::string bytes = Contents(output);
        const size_t moov = bytes.find("moov");
        const size_t mdat = bytes.find("mdat");
        ASSERT_NE(moov, std::string::npos) << c.Name;
        ASSERT_NE(mdat, std::string::npos) << c.Name;
        EXPECT_EQ(moov < mdat, c.IndexFirst) << c.Name << ": moov at " << moov << ", mdat at " << mdat;
        EXPECT_TRUE(DecodeErrors(output).empty()) << c.Name;
    }
}

// The record's MuxRate goes the way of the "muxrate" line: to the muxer of the guessed format, which pads
// the transport stream to that rate.
TEST(PrivateOptionsTest, TheRecordsMuxRateReachesAGuessedMuxer)
{
    TempFolder folder("muxrate");
    LoadSystemLibraries();
    auto convert = [&](const std::string& Output, int MuxRate) {
        kv::TDIdezuDOR component;
        std::mutex lock;
        std::condition_variable ended;
        bool done = false, finished = false;
        component.OnTerminate = [&](int Index, bool Finished, bool, const std::string&) {
            if (Index < 0)
                return;
            std::lock_guard<std::mutex> guard(lock);
            done = true;
            finished = Finished;
            ended.notify_all();
        };
        kv::TOutputOptions record;
        kv::ResetOutputOptions(record);
        record.MuxRate = MuxRate;
        record.ExtOptions = "vcodec=mpeg2video\nacodec=mp2";
        if (component.AddTask(Fixture("video_audio.avi")) != 0 || !component.SetOutputFile(0, Output, &record))
            return false;
        component.StartConvert(1);
        std::unique_lock<std::mutex> guard(lock);
        ended.wait_for(guard, std::chrono::seconds(60), [&] { return done; });
        return finished;
    };
    const std::string plain = folder.Path + "/plain.ts";
    const std::string padded = folder.Path + "/padded.ts";
    ASSERT_TRUE(convert(plain, -1));
    ASSERT_TRUE(convert(padded, 8000000));
    const double seconds = Fact(padded, "format.duration");
    ASSERT_GT(seconds, 1.5);
    // 8 Mbit/s over the file's length; the plain stream has a fraction of that.
    EXPECT_GT(static_cast<double>(SizeOf(padded)), 0.8 * 8000000 / 8 * seconds);
    EXPECT_LT(SizeOf(plain) * 3, SizeOf(padded));
}

TEST(PrivateOptionsTest, ADemuxerOptionGivenAsAnInputLineTakesEffect)
{
    TempFolder folder("concat");
    // The concat demuxer refuses a list of absolute names unless its own option "safe" is 0.
    const std::string list = folder.Path + "/list.txt";
    std::ofstream(list) << "file '" << Fixture("video_audio.avi") << "'\n";
    const std::string output = folder.Path + "/out.avi";
    const TConversionResult refused = Convert(list, output, {"f=concat"}, {"vcodec=mpeg4"});
    EXPECT_FALSE(refused.Queued);
    const TConversionResult taken = Convert(list, output, {"f=concat", "safe=0"}, {"vcodec=mpeg4"});
    ASSERT_TRUE(taken.Finished) << taken.SetupError << taken.Message;
    EXPECT_NEAR(Fact(output, "format.duration"), Fact(Fixture("video_audio.avi"), "format.duration"), 0.2);
    EXPECT_FALSE(Logged(taken, "was not used")) << JoinedLog(taken);
}

TEST(PrivateOptionsTest, ANameNothingTookIsLoggedAndTheRunGoesOn)
{
    TempFolder folder("unused");
    const struct {
        const char* Name;
        std::vector<std::string> InputLines, OutputLines;
        const char* Line;
    } cases[] = {
        {"unknown", {}, {"bogusoption=12"}, "Option bogusoption=12 was not used by any stream"},
        {"other_encoder", {}, {"vcodec=mpeg4", "crf=20"}, "Option crf=20 was not used by any stream"},
        // The generic option refused the value and mpeg4 has no own option of that name: never offered.
        {"generic_refused", {}, {"vcodec=mpeg4", "profile=high"}, "Option profile=high was not used by any stream"},
        // An input line goes to the input's demuxer and decoders, never to an encoder.
        {"input_side", {"crf=20"}, {"vcodec=libx264"}, "Option crf=20 was not used by any stream"},
    };
    for (const auto& c : cases) {
        const std::string output = folder.Path + "/" + c.Name + ".mp4";
        const TConversionResult result = Convert(Fixture("video_audio.avi"), output, c.InputLines, c.OutputLines);
        ASSERT_TRUE(result.Finished) << c.Name << ": " << result.SetupError << result.Message;
        size_t count = 0;
        for (const std::string& line : result.Log)
            count += line == c.Line;
        EXPECT_EQ(count, 1u) << c.Name << ":\n" << JoinedLog(result);
    }
    // A private option an encoder took is not reported.
    const TConversionResult taken =
        Convert(Fixture("video_audio.avi"), folder.Path + "/taken.mp4", {}, {"vcodec=libx264", "crf=20"});
    ASSERT_TRUE(taken.Finished) << taken.Message;
    EXPECT_FALSE(Logged(taken, "was not used")) << JoinedLog(taken);
}

TEST(PrivateOptionsTest, AValueAPrivateOptionRefusesFailsWhereItsContextOpens)
{
    TempFolder folder("refused");
    const struct {
        const char* Name;
        std::vector<std::string> InputLines, OutputLines;
        const char* Message;
    } cases[] = {
        {"encoder",
         {},
         {"vcodec=libx264", "crf=banana"},
         "Invalid value \"banana\" for option \"crf\" of the encoder libx264 of output stream #0.0"},
        {"muxer", {}, {"movflags=+nonsense"}, "Invalid value \"+nonsense\" for option \"movflags\" of the muxer mp4"},
    };
    for (const auto& c : cases) {
        const std::string output = folder.Path + "/" + c.Name + ".mp4";
        const TConversionResult result = Convert(Fixture("video_audio.avi"), output, c.InputLines, c.OutputLines);
        ASSERT_TRUE(result.Queued) << c.Name << ": set-up accepts every name, " << result.SetupError;
        EXPECT_TRUE(result.Failed) << c.Name;
        EXPECT_NE(result.Message.find(c.Message), std::string::npos) << c.Name << ": " << result.Message;
        EXPECT_TRUE(Logged(result, "Invalid value \"")) << c.Name << ":\n" << JoinedLog(result);
    }
    // The demuxer opens with the input: the input is refused, with the option named.
    const std::string list = folder.Path + "/list.txt";
    std::ofstream(list) << "file '" << Fixture("video_audio.avi") << "'\n";
    const TConversionResult demuxer = Convert(list, folder.Path + "/demuxer.avi", {"f=concat", "safe=banana"}, {});
    EXPECT_FALSE(demuxer.Queued);
    EXPECT_NE(demuxer.SetupError.find("Invalid value \"banana\" for option \"safe\" of the demuxer concat"),
              std::string::npos)
        << demuxer.SetupError;
}

// The generic path keeps its names: only what no generic context knows is kept for the codecs and
// containers, on the side of the file set up next.
TEST(PrivateOptionsTest, OnlyNamesNoGenericContextKnowsAreKept)
{
    LoadSystemLibraries();
    kv::TFFmpeg task;
    task.ResetTask();
    task.ApplyOptionLines("g=30\nab=64000\nsws_flags=bilinear\ncrf=20\nmovflags=+faststart", false);
    const std::vector<kv::TPrivateOption>& kept = task.OptionStore().PrivateOptions;
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0].Name, "crf");
    EXPECT_EQ(kept[0].Value, "20");
    EXPECT_EQ(kept[1].Name, "movflags");
    EXPECT_EQ(kept[0].Side, kv::TOptionSide::Pending);
    EXPECT_EQ(task.OptionStore().CodecOptions[AVMEDIA_TYPE_VIDEO]->gop_size, 30);
    ASSERT_TRUE(task.OpenInputFile(Fixture("video_audio.avi")));
    EXPECT_EQ(kept[0].Side, kv::TOptionSide::Input) << "given before the input was opened";
    task.ApplyOptionLines("preset=fast", false);
    TempFolder folder("kept");
    ASSERT_GE(task.OpenOutputFile(folder.Path + "/out.mp4"), 0);
    EXPECT_EQ(kept[0].Side, kv::TOptionSide::Input);
    EXPECT_EQ(kept[2].Side, kv::TOptionSide::Output);
    EXPECT_EQ(kept[2].FirstFile, 0);
}

}  // namespace
