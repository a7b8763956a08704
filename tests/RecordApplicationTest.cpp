// How the engine component applies the output record, its option lines and the target preset, and
// which wins.
#include <gtest/gtest.h>

#include <ctime>

#include "ControlledTask.h"
#include "TestSupport.h"
#include "media/LibraryBindings.h"

using namespace kvtest;

namespace {

class RecordApplicationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        LoadSystemLibraries();
        component.Prepare = [](ControlledTask& task) { task.RealOptions = true; };
        kv::TInputOptions input;
        input.ExtOptions = "r=25";  // what an opened input would have given
        ASSERT_EQ(component.AddTask("in.avi", &input), 0) << component.LastError();
    }
    ControlledTask& Task() { return component.Task(0); }
    int64_t VideoBitRate() { return Task().OptionStore().CodecOptions[AVMEDIA_TYPE_VIDEO]->bit_rate; }

    ControlledComponent component;
};

TEST_F(RecordApplicationTest, FieldsBeatLinesAndLinesBeatThePreset)
{
    kv::TOutputOptions output;
    output.Target = 1;  // vcd, PAL from the 25 frames/s input
    output.ExtOptions = "s=640x480\nb=500000\nac=1";
    output.FrameSize = "320x240";
    output.VideoBitrate = 700000;
    ASSERT_TRUE(component.SetOutputFile(0, "out.mpg", &output)) << component.LastError();
    const kv::TTaskOptions& o = Task().Options();
    EXPECT_EQ(o.FrameWidth, 320);
    EXPECT_EQ(o.FrameHeight, 240);
    EXPECT_EQ(VideoBitRate(), 700000);
    EXPECT_EQ(o.AudioChannels, 1) << "the lines come after the preset";
    EXPECT_EQ(o.VideoCodecName, "mpeg1video");

    // Without the field, the line wins over the preset.
    ASSERT_EQ(component.AddTask("in2.avi"), 1);
    kv::TOutputOptions linesOnly;
    linesOnly.Target = 1;
    linesOnly.TargetNorm = 1;
    linesOnly.ExtOptions = "s=640x480\nb=500000";
    ASSERT_TRUE(component.SetOutputFile(1, "out2.mpg", &linesOnly)) << component.LastError();
    EXPECT_EQ(component.Task(1).Options().FrameWidth, 640);
    EXPECT_EQ(component.Task(1).OptionStore().CodecOptions[AVMEDIA_TYPE_VIDEO]->bit_rate, 500000);
}

TEST_F(RecordApplicationTest, UnsetFieldsLeaveValuesAloneAndAlwaysFieldsOverride)
{
    kv::TOutputOptions output;
    output.ExtOptions = "an\nvol=100\nasync=3\nvsync=2\nalang=eng\nar=22050";
    ASSERT_TRUE(component.SetOutputFile(0, "out.mp4", &output)) << component.LastError();
    const kv::TTaskOptions& o = Task().Options();
    EXPECT_FALSE(o.AudioDisable) << "DisableAudio is always applied";
    EXPECT_EQ(o.AudioSyncMethod, 0);
    EXPECT_EQ(o.VideoSyncMethod, -1);
    EXPECT_EQ(o.AudioLanguage, "");
    EXPECT_EQ(o.AudioVolume, 100) << "-1 leaves the volume alone";
    EXPECT_EQ(o.AudioSampleRate, 22050);
    EXPECT_EQ(o.FrameTopBand, 0);
    EXPECT_EQ(o.PaddingColor, (std::array<int, 3>{0, 128, 128})) << "black is applied, not the default 16";
}

TEST_F(RecordApplicationTest, ValuesOfEveryGroup)
{
    kv::TOutputOptions output;
    output.ForceFormat = "mp4";
    output.MuxDelay = 0.2f;
    output.AudioCodec = "copy";
    output.AudioBitrate = 128000;
    output.AudioTag = "mp4a";
    output.VideoCodec = "mpeg4";
    output.FrameRate = "30000/1001";
    output.FrameSize = "640x480";
    output.FrameAspectRatio = "16:9";
    output.CropTop = 8;
    output.CropLeft = 16;
    output.PadBottom = 4;
    output.PadColor = 0xFFFFFF;
    output.GOPSize = 250;
    output.VideoMaxRate = 2000000;
    output.VideoTag = "XVID";
    output.VideoFilters = "hflip";
    output.StartTime = 1500;
    output.RecordingTime = 3000;
    output.Info.Year = 2026;
    output.Info.Title = "标题";
    output.Info.Genre = "Drama";
    ASSERT_TRUE(component.SetOutputFile(0, "out.mp4", &output)) << component.LastError();
    const kv::TTaskOptions& o = Task().Options();
    EXPECT_STREQ(o.FileOFormat->name, "mp4");
    EXPECT_FLOAT_EQ(o.MuxMaxDelay, 0.2f);
    EXPECT_TRUE(o.AudioStreamCopy);
    EXPECT_EQ(Task().OptionStore().CodecOptions[AVMEDIA_TYPE_AUDIO]->bit_rate, 128000);
    EXPECT_EQ(o.AudioCodecTag, static_cast<uint32_t>('m' | 'p' << 8 | '4' << 16 | 'a' << 24));
    EXPECT_EQ(o.VideoCodecName, "mpeg4");
    EXPECT_EQ(o.FrameRate.num, 30000);
    EXPECT_EQ(o.FrameHeight, 472) << "crop bands refer to the given frame size";
    EXPECT_EQ(o.FrameWidth, 624);
    EXPECT_FLOAT_EQ(o.FrameAspectRatio, 16.0f / 9.0f);
    EXPECT_EQ(o.FramePadBottom, 4);
    EXPECT_EQ(o.PaddingColor, (std::array<int, 3>{255, 128, 128}));
    EXPECT_EQ(Task().OptionStore().CodecOptions[AVMEDIA_TYPE_VIDEO]->gop_size, 250);
    EXPECT_EQ(Task().OptionStore().CodecOptions[AVMEDIA_TYPE_VIDEO]->rc_max_rate, 2000000);
    EXPECT_EQ(o.VFilters, "hflip");
    EXPECT_EQ(o.StartTime, 1500000);
    EXPECT_EQ(o.RecordingTime, 3000000);
    EXPECT_EQ(Task().TotalDurationMS(), 3000);
    EXPECT_EQ(o.MetaData, (std::vector<std::pair<std::string, std::string>>{
                              {"year", "2026"}, {"title", "标题"}, {"genre", "Drama"}}));

    ASSERT_EQ(component.AddTask("in2.avi"), 1);
    kv::TOutputOptions micro;
    micro.RecordingTime = 3000;
    micro.RecordingTimeUS = 2500000;
    micro.StartTimeUS = 7;
    ASSERT_TRUE(component.SetOutputFile(1, "out2.mp4", &micro));
    EXPECT_EQ(component.Task(1).Options().RecordingTime, 2500000);
    EXPECT_EQ(component.Task(1).TotalDurationMS(), 2500);
    EXPECT_EQ(component.Task(1).Options().StartTime, 7);
}

TEST_F(RecordApplicationTest, TheTimestampIsLocalTimeTurnedIntoUTCSeconds)
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    kv::TOutputOptions epoch;
    epoch.Info.Timestamp = 25569.5;  // 1970-01-01 12:00 local time
    ASSERT_TRUE(component.SetOutputFile(0, "a.mp4", &epoch));
    EXPECT_EQ(Task().Options().RecTimestamp, 43200 - local.tm_gmtoff);

    ASSERT_EQ(component.AddTask("in2.avi"), 1);
    kv::TOutputOptions current;
    current.Info.Timestamp = 0.0;
    ASSERT_TRUE(component.SetOutputFile(1, "b.mp4", &current));
    EXPECT_NEAR(static_cast<double>(component.Task(1).Options().RecTimestamp), static_cast<double>(now), 5.0);
}

TEST_F(RecordApplicationTest, RefusedFieldsFailTheOutputWithTheReason)
{
    const struct {
        void (*Fill)(kv::TOutputOptions&);
        const char* Error;
    } cases[] = {
        {[](kv::TOutputOptions& o) { o.CropTop = 0; },
         "Vertical crop dimensions are outside the range of the original image.\n"
         "Remember to crop first and scale second."},
        {[](kv::TOutputOptions& o) { o.PadLeft = 3; }, "Left pad size must be a multiple of 2"},
        {[](kv::TOutputOptions& o) { o.ForceFormat = "nosuch"; }, "Unknown output format: nosuch"},
        {[](kv::TOutputOptions& o) { o.FrameSize = "351x288"; }, "Frame size must be a multiple of 2"},
        {[](kv::TOutputOptions& o) { o.ExtOptions = "threads=2"; }, "TODO: option - threads"},
        {[](kv::TOutputOptions& o) { o.Target = 2; }, "frame_rate is invalid."},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(component.AddTask("in.avi"), 1);
        if (std::string(c.Error) == "frame_rate is invalid.")
            component.Task(1).Options().FrameRate = AVRational{0, 0};
        kv::TOutputOptions output;
        c.Fill(output);
        EXPECT_FALSE(component.SetOutputFile(1, "out.mp4", &output));
        EXPECT_EQ(component.LastError(), c.Error);
        EXPECT_EQ(component.TaskCount(), 2) << "the task stays queued";
        component.RemoveTask(1);
    }
    kv::TOutputOptions badTag;
    badTag.VideoTag = "XVID5";
    EXPECT_FALSE(component.SetOutputFile(0, "out.mp4", &badTag));
    EXPECT_EQ(component.LastError().rfind("video tag parameter must be 4 chars", 0), 0u);
}

}  // namespace
