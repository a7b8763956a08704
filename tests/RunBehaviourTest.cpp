// What a conversion run does over time and with the options that steer it: progress events, stop and
// pause, limits, stream copy, sync, crop and pad, two passes, stream maps, subtitles, bitstream filters,
// failures in the middle of a run, and two runs at once.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <thread>

#include "ConversionSupport.h"
#include "MediaFixtures.h"
#include "TestSupport.h"

using namespace kvtest;

namespace {

// Frames in the first video stream, counted by decoding (or its packets, when Packets).
int CountFrames(const std::string& File, bool Packets = false)
{
    std::string output;
    RunCommand(std::string("ffprobe -v error ") + (Packets ? "-count_packets" : "-count_frames") +
                   " -select_streams v:0 -show_entries stream=" + (Packets ? "nb_read_packets" : "nb_read_frames") +
                   " -of csv=p=0 '" + File + "'",
               output);
    return std::atoi(output.c_str());
}

TEST(RunTest, ProgressFollowsTheWrittenPicturesAndEndsWithAFinalReport)
{
    TempFolder folder("progress");
    const std::string input = Fixture("av_source.mkv");
    const struct {
        const char* File;
        std::vector<std::string> Lines;
        bool Video;
    } cases[] = {{"out.avi", {"vcodec=mpeg4", "acodec=libmp3lame"}, true}, {"out.mp3", {"vn"}, false}};
    for (const auto& c : cases) {
        TConversion conversion(input, folder.Path + "/" + c.File, {}, c.Lines);
        conversion.Component().SetProgressInterval(100);
        ASSERT_TRUE(conversion.Start());
        ASSERT_TRUE(conversion.WaitForEnd());
        const TConversionResult result = conversion.Result();
        ASSERT_TRUE(result.Finished) << result.Message;
        ASSERT_FALSE(result.Progress.empty()) << c.File << ": the final report is always delivered";
        for (const TProgressEvent& e : result.Progress) {
            if (c.Video) {  // NOLINT
                EXPECT_GE(e.FrameNumber, 1) << "no report before the first picture is written";
            } else {
                EXPECT_EQ(e.FrameNumber, -1);
                EXPECT_EQ(e.FPS, -1);
                EXPECT_EQ(e.Quality, -1.0f);
            }
            EXPECT_EQ(e.TotalOutputDuration, 2023) << "the input's duration";
        }
        const TProgressEvent& last = result.Progress.back();
        EXPECT_NEAR(last.CurrentDuration, 2000, 100) << c.File;
        EXPECT_EQ(last.CurrentSize, SizeOf(folder.Path + "/" + c.File)) << c.File;
        if (c.Video) {
            EXPECT_EQ(last.FrameNumber, 50);
        }
    }
}

TEST(RunTest, AVideoOutputThatNeverWritesAPictureReportsNothing)
{
    TempFolder folder("noframes");
    const TConversionResult result = Convert(Fixture("av_source.mkv"), folder.Path + "/out.avi", {}, {"vframes=0"});
    ASSERT_TRUE(result.Finished) << result.Message;
    EXPECT_TRUE(result.Progress.empty());
}

// A run read at the input's own pace ("re"), so that it lasts long enough to be stopped or paused.
struct TSlowRun {
    TempFolder Folder{"slow"};
    std::string Output = Folder.Path + "/out.mkv";
    TConversion Conversion{Fixture("long_av.mkv"), Output, {"re"}, {"vcodec=mpeg4", "acodec=libmp3lame"}};
    TSlowRun()
    {
        Conversion.Component().SetProgressInterval(100);
        EXPECT_TRUE(Conversion.Start());
        EXPECT_TRUE(Conversion.WaitForProgress(3));
    }
};

TEST(RunTest, AStoppedRunLeavesAShorterPlayableFile)
{
    TSlowRun run;
    run.Conversion.Component().StopConvert();
    ASSERT_TRUE(run.Conversion.WaitForEnd());
    const TConversionResult result = run.Conversion.Result();
    EXPECT_FALSE(result.Finished);
    EXPECT_FALSE(result.Failed) << result.Message;
    const double duration = Fact(run.Output, "format.duration");
    EXPECT_GT(duration, 0.1);
    EXPECT_LT(duration, 6.0);
    EXPECT_EQ(DecodeErrors(run.Output), "");
}

TEST(RunTest, APausedRunWritesNothingAndReportsNothingUntilResumed)
{
    TSlowRun run;
    run.Conversion.Component().PauseConvert();
    // Whatever was on its way out when the pause came has been written after a moment.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const int64_t size = SizeOf(run.Output);
    const size_t events = run.Conversion.Result().Progress.size();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_EQ(SizeOf(run.Output), size) << "nothing is written while paused";
    EXPECT_EQ(run.Conversion.Result().Progress.size(), events) << "no event while paused";
    EXPECT_FALSE(run.Conversion.Result().Ended);
    run.Conversion.Component().ResumeConvert();
    ASSERT_TRUE(run.Conversion.WaitForEnd());
    const TConversionResult result = run.Conversion.Result();
    EXPECT_TRUE(result.Finished) << result.Message;
    EXPECT_NEAR(Fact(run.Output, "format.duration"), 8.0, 0.1);
}

TEST(RunTest, StopEndsAPausedRun)
{
    TSlowRun run;
    run.Conversion.Component().PauseConvert();
    run.Conversion.Component().StopConvert();
    ASSERT_TRUE(run.Conversion.WaitForEnd(std::chrono::seconds(10)));
    EXPECT_FALSE(run.Conversion.Result().Finished);
    EXPECT_EQ(DecodeErrors(run.Output), "");
}

TEST(RunTest, LimitsAndStartTime)
{
    TempFolder folder("limits");
    const struct {
        const char* Name;
        std::vector<std::string> Lines;
        double Duration;
        int Frames;
    } cases[] = {
        {"vframes", {"vframes=10", "an"}, 0.4, 10},
        {"t", {"t=1"}, 1.0, 25},
        {"ss", {"ss=1"}, 1.0, 25},
    };
    for (const auto& c : cases) {
        const std::string output = folder.Path + "/" + c.Name + ".mkv";
        std::vector<std::string> lines = c.Lines;
        lines.push_back("vcodec=mpeg4");
        const TConversionResult result = Convert(Fixture("av_source.mkv"), output, {}, lines);
        ASSERT_TRUE(result.Finished) << c.Name << ": " << result.Message;
        EXPECT_NEAR(Fact(output, "format.duration"), c.Duration, 0.1) << c.Name;
        EXPECT_EQ(CountFrames(output), c.Frames) << c.Name;
    }
}

TEST(RunTest, StreamCopyStartsAtAKeyFrame)
{
    TempFolder folder("copy");
    // Every 25th picture is a key frame; reading from 0.5 s on, the copy begins at the next one (1 s).
    const std::string input = folder.Path + "/keys.mkv";
    std::string log;
    ASSERT_EQ(RunCommand(
                  "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=160x120:rate=25:duration=3 -c:v mpeg4 -g 25 '" +
                      input + "'",
                  log),
              0)
        << log;
    const std::string output = folder.Path + "/out.mkv";
    const TConversionResult result = Convert(input, output, {}, {"ss=0.5", "vcodec=copy"});
    ASSERT_TRUE(result.Finished) << result.Message;
    EXPECT_EQ(DecodeErrors(output), "");
    EXPECT_EQ(CountFrames(output), 50) << "the pictures before the first key frame are not copied";
    const std::string withInitial = folder.Path + "/initial.mkv";
    ASSERT_TRUE(Convert(input, withInitial, {}, {"ss=0.5", "vcodec=copy", "copyinkf=1"}).Finished);
    EXPECT_GT(CountFrames(withInitial, true), 50) << "copyinkf keeps them";
}

TEST(RunTest, StreamCopyOfReorderedPicturesKeepsDecodeTimesInOrder)
{
    TempFolder folder("copy-bframes");
    // Matroska gives the first packets of a stream with B-frames no decode time.
    const std::string input = folder.Path + "/bframes.mkv";
    std::string log;
    ASSERT_EQ(RunCommand("ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=160x120:rate=25:duration=2 -c:v libx264 "
                         "-preset veryfast -bf 3 -pix_fmt yuv420p '" +
                             input + "'",
                         log),
              0)
        << log;
    const std::string output = folder.Path + "/out.mkv";
    const TConversionResult result = Convert(input, output, {}, {"vcodec=copy"});
    ASSERT_TRUE(result.Finished) << result.Message;
    EXPECT_EQ(DecodeErrors(output), "");
    EXPECT_EQ(CountFrames(output), 50);
}

// AVI counts FLAC's time in whole packets: the encoder's closing packet (the updated stream header)
// rounds onto the last packet's decode time, which the muxer refuses unless it is moved past it.
TEST(RunTest, PacketsThatRoundOntoOneDecodeTimeAreWrittenInOrder)
{
    TempFolder folder("flac-avi");
    const std::string input = Fixture("audio_only.mp3"), output = folder.Path + "/out.avi";
    const TConversionResult result = Convert(input, output, {}, {"acodec=flac"});
    ASSERT_TRUE(result.Finished) << result.Message;
    EXPECT_EQ(FactText(output, "streams.stream.0.codec_name"), "flac");
    EXPECT_NEAR(Fact(output, "streams.stream.0.duration"), Fact(input, "format.duration"), 0.2);
}

TEST(RunTest, AudioSyncOneFillsALateStartWithSilence)
{
    TempFolder folder("async");
    const std::string input = Fixture("late_audio.mkv");
    const std::string plain = folder.Path + "/plain.mkv";
    const std::string filled = folder.Path + "/filled.mkv";
    ASSERT_TRUE(Convert(input, plain, {}, {"vcodec=mpeg4", "acodec=flac"}).Finished);
    ASSERT_TRUE(Convert(input, filled, {}, {"vcodec=mpeg4", "acodec=flac", "async=1"}).Finished);
    EXPECT_NEAR(Fact(plain, "streams.stream.1.start_time"), 0.5, 0.05) << "without sync the audio starts late";
    EXPECT_NEAR(Fact(filled, "streams.stream.1.start_time"), 0.0, 0.05) << "silence is put in front";
}

TEST(RunTest, ConstantFrameRateDuplicatesEveryFifthPictureFrom25To30)
{
    TempFolder folder("vsync");
    const std::string output = folder.Path + "/out.mkv";
    const TConversionResult result =
        Convert(Fixture("av_source.mkv"), output, {}, {"vcodec=mpeg4", "r=30", "vsync=1", "an"});
    ASSERT_TRUE(result.Finished) << result.Message;
    EXPECT_NEAR(CountFrames(output), 60, 1);
    EXPECT_EQ(FactText(output, "streams.stream.0.r_frame_rate"), "30/1");
}

TEST(RunTest, CropAndPadSetTheOutputSize)
{
    TempFolder folder("croppad");
    const struct {
        const char* Name;
        std::vector<std::string> Lines;
        int Width, Height;
    } cases[] = {
        {"crop", {"croptop=10", "cropbottom=20", "cropleft=16", "cropright=32", "s=112x90"}, 112, 90},
        {"pad", {"padtop=10", "padbottom=20", "padleft=16", "padright=32"}, 208, 150},
        {"scale_pad", {"s=80x60", "padtop=20", "padbottom=20"}, 80, 100},
    };
    for (const auto& c : cases) {
        const std::string output = folder.Path + "/" + c.Name + ".avi";
        std::vector<std::string> lines = c.Lines;
        lines.push_back("vcodec=mpeg4");
        const TConversionResult result = Convert(Fixture("av_source.mkv"), output, {}, lines);
        ASSERT_TRUE(result.Finished) << c.Name << ": " << result.Message;
        EXPECT_EQ(Fact(output, "streams.stream.0.width"), c.Width) << c.Name;
        EXPECT_EQ(Fact(output, "streams.stream.0.height"), c.Height) << c.Name;
        EXPECT_EQ(DecodeErrors(output), "") << c.Name;
    }
}

TEST(RunTest, TwoPassEncodingWritesThenReadsItsLog)
{
    TempFolder folder("pass");
    const std::string log = folder.Path + "/stats";
    const std::string first = folder.Path + "/first.avi";
    const TConversionResult pass1 = Convert(Fixture("av_source.mkv"), first, {},
                                            {"vcodec=mpeg4", "b=200000", "pass=1", "passlogfile=" + log, "an"});
    ASSERT_TRUE(pass1.Finished) << pass1.Message;
    ASSERT_GT(SizeOf(log + "-0.log"), 0) << "pass 1 writes the statistics";
    const std::string second = folder.Path + "/second.avi";
    const TConversionResult pass2 = Convert(Fixture("av_source.mkv"), second, {},
                                            {"vcodec=mpeg4", "b=200000", "pass=2", "passlogfile=" + log, "an"});
    ASSERT_TRUE(pass2.Finished) << pass2.Message;
    EXPECT_EQ(DecodeErrors(second), "");
    const TConversionResult missing = Convert(Fixture("av_source.mkv"), folder.Path + "/third.avi", {},
                                              {"vcodec=mpeg4", "pass=2", "passlogfile=" + folder.Path + "/none", "an"});
    EXPECT_TRUE(missing.Failed);
    EXPECT_EQ(missing.Message, "Cannot read log file " + folder.Path + "/none-0.log for pass-2 encoding");
}

TEST(RunTest, AStreamMapChoosesTheSecondAudioStream)
{
    TempFolder folder("map");
    const std::string input = Fixture("two_audio.mkv");  // audio: vorbis, then flac
    const struct {
        const char* Map;
        const char* Codec;
    } cases[] = {{"0:1", "vorbis"}, {"0:2", "flac"}};
    for (const auto& c : cases) {
        const std::string output = folder.Path + "/out.mka";
        const TConversionResult result = Convert(input, output, {}, {"map=" + std::string(c.Map), "acodec=copy"});
        ASSERT_TRUE(result.Finished) << result.Message;
        EXPECT_EQ(FactText(output, "streams.stream.0.codec_name"), c.Codec) << c.Map;
        ::unlink(output.c_str());
    }
}

TEST(RunTest, SubtitlesAreCarriedIntoMatroska)
{
    TempFolder folder("subtitles");
    const std::string output = folder.Path + "/out.mkv";
    const TConversionResult result = Convert(Fixture("subtitles.mkv"), output, {}, {"vcodec=mpeg4"});
    ASSERT_TRUE(result.Finished) << result.Message;
    const auto facts = Probe(output);
    EXPECT_EQ(facts.count("streams.stream.1.codec_type") ? facts.at("streams.stream.1.codec_type") : "", "subtitle");
    std::string text;
    RunCommand("ffmpeg -nostdin -v error -i '" + output + "' -f srt -", text);
    EXPECT_NE(text.find("hello"), std::string::npos) << text;
    EXPECT_NE(text.find("world"), std::string::npos) << text;
}

TEST(RunTest, ABitstreamFilterChainRunsOnCopiedH264)
{
    TempFolder folder("bsf");
    const std::string output = folder.Path + "/out.h264";
    const TConversionResult result =
        Convert(Fixture("h264.mp4"), output, {}, {"vcodec=copy", "vbsf=h264_mp4toannexb", "vbsf=dump_extra"});
    ASSERT_TRUE(result.Finished) << result.Message;
    EXPECT_EQ(DecodeErrors(output), "");
    EXPECT_EQ(CountFrames(output), 50);
}

TEST(RunTest, AFailureInTheMiddleEndsTheTaskWithTheReason)
{
    TempFolder folder("full");
    const std::string mountPoint = folder.Path + "/small";
    ASSERT_EQ(::mkdir(mountPoint.c_str(), 0755), 0);
    ASSERT_EQ(::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=64k"), 0) << "the tests run as root";
    struct TUnmount {
        std::string Path;
        ~TUnmount() { ::umount2(Path.c_str(), MNT_DETACH); }
    } unmount{mountPoint};
    const std::string output = mountPoint + "/out.avi";
    const TConversionResult result = Convert(Fixture("long_av.mkv"), output, {}, {"vcodec=mpeg4", "b=2000000"});
    EXPECT_TRUE(result.Ended);
    EXPECT_FALSE(result.Finished);
    EXPECT_TRUE(result.Failed);
    EXPECT_NE(result.Message.find("av_interleaved_write_frame()"), std::string::npos) << result.Message;
    const int64_t size = SizeOf(output);
    EXPECT_TRUE(size != 0) << "no empty output is left behind";
}

TEST(RunTest, TwoRunsAtOnceAndStoppingOneLeavesTheOther)
{
    TempFolder folder("two");
    // Declared before the component, so they outlive its workers' last events (index -1 comes after both).
    std::mutex lock;
    std::condition_variable changed;
    std::map<int, bool> finished;
    kv::TDIdezuDOR component;
    LoadSystemLibraries();
    component.OnTerminate = [&](int Index, bool Finished, bool, const std::string&) {
        std::lock_guard<std::mutex> guard(lock);
        if (Index >= 0)
            finished[Index] = Finished;
        changed.notify_all();
    };
    kv::TInputOptions slow;
    kv::ResetInputOptions(slow);
    slow.ExtOptions = "re";
    kv::TOutputOptions output;
    kv::ResetOutputOptions(output);
    output.ExtOptions = "vcodec=mpeg4\nacodec=libmp3lame";
    ASSERT_EQ(component.AddTask(Fixture("long_av.mkv"), &slow), 0);
    ASSERT_TRUE(component.SetOutputFile(0, folder.Path + "/stopped.avi", &output));
    ASSERT_EQ(component.AddTask(Fixture("av_source.mkv")), 1);
    ASSERT_TRUE(component.SetOutputFile(1, folder.Path + "/kept.avi", &output));
    component.StartConvert(2);
    ASSERT_TRUE(WaitUntil([&] { return SizeOf(folder.Path + "/stopped.avi") > 0; }));
    component.Tasks(0).StopTask();
    std::unique_lock<std::mutex> guard(lock);
    ASSERT_TRUE(changed.wait_for(guard, std::chrono::seconds(60), [&] { return finished.size() == 2; }));
    EXPECT_FALSE(finished[0]);
    EXPECT_TRUE(finished[1]);
    EXPECT_NEAR(Fact(folder.Path + "/kept.avi", "format.duration"), 2.0, 0.1);
    EXPECT_EQ(DecodeErrors(folder.Path + "/stopped.avi"), "");
}

}  // namespace
