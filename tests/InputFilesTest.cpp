// Opening input files: what a task inherits from them, checked against ffprobe, and how bad files are
// refused.
#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "MediaFixtures.h"
#include "TestSupport.h"
#include "component/DIdezuDOR.h"
#include "media/LibraryBindings.h"
#include "media/LibraryHelpers.h"

using namespace kvtest;

namespace {

class InputFilesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        LoadSystemLibraries();
        component.OnLog = [this](int, kv::TLogLevel, const std::string& AMsg) { logs.push_back(AMsg); };
    }
    // Queues File with the input option lines; the task, or nullptr with the reason in LastError.
    kv::TFFmpeg* Open(const std::string& File, const std::string& Lines = "")
    {
        kv::TInputOptions options;
        options.ExtOptions = Lines;
        const int index = component.AddTask(File, &options);
        return index < 0 ? nullptr : &component.Tasks(index);
    }
    bool Logged(const std::string& Start) const
    {
        for (const std::string& line : logs)
            if (line.rfind(Start, 0) == 0)
                return true;
        return false;
    }

    kv::TDIdezuDOR component;
    std::vector<std::string> logs;
};

double Rate(const std::string& Text)
{
    const size_t slash = Text.find('/');
    return std::stod(Text.substr(0, slash)) / std::stod(Text.substr(slash + 1));
}

TEST_F(InputFilesTest, TheTaskInheritsTheLastVideoAndAudioStream)
{
    for (const char* name : {"video_audio.avi", "audio_only.mp3", "two_audio.mkv", "subtitles.mkv", "h264.mp4"}) {
        const std::string file = Fixture(name);
        const std::map<std::string, std::string> probe = Probe(file);
        kv::TFFmpeg* task = Open(file);
        ASSERT_NE(task, nullptr) << name << ": " << component.LastError();
        const kv::TTaskOptions& o = task->Options();
        int streams = 0, slots = 0;
        std::string lastVideo, lastAudio;
        for (; probe.count("streams.stream." + std::to_string(streams) + ".codec_type"); ++streams) {
            const std::string prefix = "streams.stream." + std::to_string(streams) + ".";
            const std::string type = probe.at(prefix + "codec_type");
            slots += type != "data";
            if (type == "video")
                lastVideo = prefix;
            else if (type == "audio")
                lastAudio = prefix;
        }
        EXPECT_EQ(task->Files().NbInputFiles, 1);
        EXPECT_EQ(task->Files().NbInputCodecs, slots) << name;
        EXPECT_EQ(static_cast<int>(task->Files().InputDecoders[0].size()), streams) << name;
        if (!lastVideo.empty()) {
            EXPECT_EQ(o.FrameWidth, std::stoi(probe.at(lastVideo + "width"))) << name;
            EXPECT_EQ(o.FrameHeight, std::stoi(probe.at(lastVideo + "height"))) << name;
            EXPECT_DOUBLE_EQ(kv::Q2D(o.FrameRate), Rate(probe.at(lastVideo + "r_frame_rate"))) << name;
            EXPECT_STREQ(kv::lav::av_get_pix_fmt_name(static_cast<AVPixelFormat>(o.FramePixFmt)),
                         probe.at(lastVideo + "pix_fmt").c_str());
            EXPECT_FLOAT_EQ(o.FrameAspectRatio, 4.0f / 3.0f) << name;
        } else {
            EXPECT_EQ(o.FrameWidth, 0) << name;
        }
        if (!lastAudio.empty()) {
            EXPECT_EQ(o.AudioSampleRate, std::stoi(probe.at(lastAudio + "sample_rate"))) << name;
            EXPECT_EQ(o.AudioChannels, std::stoi(probe.at(lastAudio + "channels"))) << name;
        }
        EXPECT_EQ(task->TotalDurationMS(), static_cast<int>(std::stod(probe.at("format.duration")) * 1000)) << name;
        EXPECT_TRUE(o.VideoCodecName.empty() && o.FileIFormat == nullptr);
        component.ClearTasks();
    }
}

TEST_F(InputFilesTest, PixelAspectWidensThePicture)
{
    kv::TFFmpeg* task = Open(Fixture("wide_pixels.mkv"));
    ASSERT_NE(task, nullptr) << component.LastError();
    EXPECT_FLOAT_EQ(task->Options().FrameAspectRatio, 160.0f * 2 / 120);
}

TEST_F(InputFilesTest, TheStartPositionAddsTheContainerStart)
{
    const std::string file = Fixture("late_start.ts");
    const int64_t containerStart =
        static_cast<int64_t>(std::llround(std::stod(Probe(file).at("format.start_time")) * 1000000));
    ASSERT_GT(containerStart, 0);
    kv::TInputOptions options;
    options.StartTime = 1000;
    ASSERT_EQ(component.AddTask(file, &options), 0) << component.LastError();
    const kv::TTaskOptions& o = component.Tasks(0).Options();
    EXPECT_NEAR(static_cast<double>(o.InputFilesTsOffset[0]), -(1000000.0 + containerStart), 2.0);
    EXPECT_EQ(o.StartTime, 0) << "the input consumed the start time";

    options.ExtOptions = "copyts\nitsoffset=3";
    ASSERT_EQ(component.AddTask(file, &options), 1) << component.LastError();
    EXPECT_EQ(component.Tasks(1).Options().InputFilesTsOffset[0], 3000000) << "copied timestamps keep the offset";
}

TEST_F(InputFilesTest, DisabledTypesAreDiscardedAndStillDescribeTheTask)
{
    kv::TFFmpeg* task = Open(Fixture("video_audio.avi"), "vn=1\nan");
    ASSERT_NE(task, nullptr) << component.LastError();
    const AVFormatContext* input = task->Files().InputFiles[0].get();
    for (unsigned i = 0; i < input->nb_streams; ++i)
        EXPECT_EQ(input->streams[i]->discard, AVDISCARD_ALL) << i;
    EXPECT_EQ(task->Options().FrameWidth, 160);
}

TEST_F(InputFilesTest, ASecondInputKeepsTheLongerDuration)
{
    for (const auto& order : {std::pair{"video_only.mp4", "long.avi"}, std::pair{"long.avi", "video_only.mp4"}}) {
        kv::TFFmpeg task;
        task.ResetTask();
        ASSERT_TRUE(task.OpenInputFile(Fixture(order.first))) << task.ErrorText();
        ASSERT_TRUE(task.OpenInputFile(Fixture(order.second))) << task.ErrorText();
        EXPECT_EQ(task.Files().NbInputFiles, 2);
        EXPECT_EQ(task.TotalDurationMS(), 5000);
    }
}

TEST_F(InputFilesTest, DifferentRatesOfCodecAndContainerAreReported)
{
    kv::TFFmpeg* task = Open(Fixture("variable_rate.mp4"));
    ASSERT_NE(task, nullptr) << component.LastError();
    EXPECT_TRUE(
        Logged("Seems stream 0 codec frame rate differs from container frame rate: 14.50 (29/2) -> 25.00 (25/1)"));
    EXPECT_EQ(task->Options().FrameRate.num, 25);
    EXPECT_TRUE(Logged("Input #0, mov,mp4,m4a,3gp,3g2,mj2, from '")) << "the container is described in the log";
}

TEST_F(InputFilesTest, RefusalsNameTheFileAndTheReason)
{
    const std::string avi = Fixture("video_audio.avi");
    const TempFolder temp("inputs");
    const struct {
        std::string File;
        std::string Lines;
        std::string Error;
    } cases[] = {
        {temp.Path + "/missing.avi", "", temp.Path + "/missing.avi: no such file or directory"},
        {avi, "vcodec=nosuch", "Unknown decoder 'nosuch'"},
        {avi, "acodec=mpeg4", "Invalid decoder type 'mpeg4'"},
        {avi, "f=nosuchformat", "Unknown input or output format: nosuchformat"},
        {temp.Path, "", temp.Path + ": Error while opening file"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Open(c.File, c.Lines), nullptr) << c.File;
        EXPECT_EQ(component.LastError(), c.Error);
        EXPECT_EQ(component.TaskCount(), 0);
    }
    EXPECT_NE(Open(avi, "f=avi"), nullptr) << component.LastError();
}

TEST_F(InputFilesTest, DamagedFilesAreRefusedWithoutHarm)
{
    const TempFolder temp("damaged");
    std::ifstream source(Fixture("h264.mp4"), std::ios::binary);
    const std::string whole((std::istreambuf_iterator<char>(source)), std::istreambuf_iterator<char>());
    std::mt19937 random(7);
    std::string noise(20000, '\0');
    for (char& c : noise)
        c = static_cast<char>(random());
    const std::pair<std::string, std::string> files[] = {
        {"empty.avi", ""},
        {"text.avi", "this is not a video\n"},
        {"noise.mp4", noise},
        {"truncated.mp4", whole.substr(0, whole.size() / 3)},
        {"headless.mp4", whole.substr(whole.size() / 2)},
    };
    for (const auto& [name, content] : files) {
        const std::string path = temp.Path + "/" + name;
        std::ofstream(path, std::ios::binary) << content;
        EXPECT_EQ(Open(path), nullptr) << name << " was taken for a video";
        EXPECT_EQ(component.LastError().rfind(path + ": ", 0), 0u) << component.LastError();
        component.ClearTasks();
    }
}

}  // namespace
