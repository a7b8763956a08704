// The media probe: stream facts against ffprobe, file facts, and pictures against the frames the ffmpeg
// tool extracts.
#include <gtest/gtest.h>

#include <fstream>
#include <mutex>
#include <random>

#include "MediaFixtures.h"
#include "TestSupport.h"
#include "media/AVProbe.h"
#include "component/DIdezuDOR.h"
#include "media/Exception.h"

using namespace kvtest;

namespace {

class AVProbeTest : public ::testing::Test {
protected:
    void SetUp() override { LoadSystemLibraries(); }
    kv::TAVProbe probe;
};

TEST_F(AVProbeTest, StreamCountsFollowTheFile)
{
    for (const char* name :
         {"video_audio.avi", "audio_first.mkv", "two_audio.mkv", "subtitles.mkv", "audio_only.mp3"}) {
        const std::string file = Fixture(name);
        ASSERT_TRUE(probe.OpenFile(file)) << probe.LastError();
        const std::map<std::string, std::string> facts = Probe(file);
        int streams = 0;
        std::map<std::string, int> count, first;
        for (; facts.count("streams.stream." + std::to_string(streams) + ".codec_type"); ++streams) {
            const std::string type = facts.at("streams.stream." + std::to_string(streams) + ".codec_type");
            if (!count[type]++)
                first[type] = streams;
        }
        auto firstOf = [&](const char* type) { return count[type] ? first[type] : -1; };
        EXPECT_EQ(probe.StreamCount, streams) << name;
        EXPECT_EQ(probe.VideoStreamCount, count["video"]) << name;
        EXPECT_EQ(probe.AudioStreamCount, count["audio"]) << name;
        EXPECT_EQ(probe.SubtitleStreamCount, count["subtitle"]) << name;
        EXPECT_EQ(probe.FirstVideoStream, firstOf("video")) << name;
        EXPECT_EQ(probe.FirstAudioStream, firstOf("audio")) << name;
        EXPECT_EQ(probe.FirstSubtitleStream, firstOf("subtitle")) << name;
        EXPECT_EQ(probe.GetFileName(), file);
    }
    // Audio first, then video.
    ASSERT_TRUE(probe.OpenFile(Fixture("audio_first.mkv")));
    EXPECT_EQ(probe.FirstAudioStream, 0);
    EXPECT_EQ(probe.FirstVideoStream, 1);
    probe.CloseFile();
    EXPECT_EQ(probe.StreamCount, -1);
    EXPECT_EQ(probe.VideoStreamCount, -1);
}

TEST_F(AVProbeTest, FileFactsComeFromTheContainer)
{
    const std::string file = Fixture("tagged.mkv");
    ASSERT_TRUE(probe.OpenFile(file, "matroska")) << probe.LastError();
    EXPECT_EQ(probe.ForcedFormat(), "matroska");
    EXPECT_EQ(probe.GetFormatName(), "matroska,webm");
    kv::TFileStreamInfo info;
    probe.GetFileStreamInfo(info);
    const std::map<std::string, std::string> facts = Probe(file);
    EXPECT_EQ(info.StartTime, 0);
    EXPECT_NEAR(static_cast<double>(info.Duration), std::stod(facts.at("format.duration")) * 1e6, 1.0);
    EXPECT_EQ(info.BitRate, std::stoi(facts.at("format.bit_rate")));
    EXPECT_EQ(info.Year, 2021) << "the year from the leading digits of the date";
    EXPECT_EQ(info.Track, 3);
    EXPECT_EQ(info.Title, "Title");
    EXPECT_EQ(info.Author, "Artist") << "the author is the artist of newer files";
    EXPECT_EQ(info.Copyright, "Copyright");
    EXPECT_EQ(info.Comment, "Comment");
    EXPECT_EQ(info.Album, "Album");
    EXPECT_EQ(info.Genre, "Genre");
}

TEST_F(AVProbeTest, WithoutAFileEverythingIsUnknown)
{
    kv::TFileStreamInfo info;
    info.Title = "stale";
    probe.GetFileStreamInfo(info);
    for (int64_t value : {info.StartTime, info.Duration, int64_t{info.BitRate}, info.Timestamp, int64_t{info.Year},
                          int64_t{info.Track}})
        EXPECT_EQ(value, -1);
    EXPECT_EQ(info.Title, "");
    EXPECT_EQ(probe.LastError(), "file not loaded.");
    EXPECT_EQ(probe.GetFormatName(), "");
    EXPECT_EQ(probe.ReadFrame(-1, 0).Width, 0);
    EXPECT_FALSE(probe.Seek(-1, true, 0));
}

TEST_F(AVProbeTest, OpenFailures)
{
    const TempFolder temp("probe");
    const struct {
        std::string File;
        std::string Format;
        std::string Error;
    } cases[] = {
        {Fixture("video_audio.avi"), "nosuch", "Unknown input format: nosuch"},
        {temp.Path + "/missing.avi", "", temp.Path + "/missing.avi: no such file or directory"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(probe.OpenFile(Fixture("video_only.mp4")));
        EXPECT_FALSE(probe.OpenFile(c.File, c.Format));
        EXPECT_EQ(probe.LastError(), c.Error);
        EXPECT_FALSE(probe.FileLoaded()) << "the previous file was released";
        EXPECT_EQ(probe.StreamCount, -1);
    }
}

TEST_F(AVProbeTest, FramesMatchWhatTheFfmpegToolExtracts)
{
    const std::string file = Fixture("intra.mp4");
    ASSERT_TRUE(probe.OpenFile(file));
    const TempFolder temp("frames");
    for (const int64_t position : {0, 400000, 410000, 1960000, 1000000}) {
        const kv::TBitmap& picture = probe.ReadFrame(-1, position);
        ASSERT_TRUE(probe.FrameValid()) << probe.LastError();
        ASSERT_EQ(picture.Width, 162);
        ASSERT_EQ(picture.Height, 120);
        EXPECT_EQ(picture.Stride(), 488) << "rows padded to four bytes";
        const std::string raw = temp.Path + "/frame.raw";
        std::string output;
        ASSERT_EQ(RunCommand("ffmpeg -nostdin -v error -y -ss " + std::to_string(position / 1e6) + " -i '" + file +
                                 "' -frames:v 1 -f rawvideo -pix_fmt bgr24 '" + raw + "'",
                             output),
                  0)
            << output;
        std::ifstream in(raw, std::ios::binary);
        const std::string expected((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_EQ(expected.size(), 162u * 120u * 3u);
        int worst = 0;
        for (int y = 0; y < 120; ++y)
            for (int x = 0; x < 162 * 3; ++x)
                worst = std::max(worst, std::abs(picture.ScanLine(y)[x] -
                                                 static_cast<uint8_t>(expected[static_cast<size_t>(y * 162 * 3 + x)])));
        EXPECT_LE(worst, 1) << "at " << position << " us";
        EXPECT_GE(probe.FramePTS(), position - 40000);
        EXPECT_LT(probe.FramePTS(), position + 40000);
    }
}

TEST_F(AVProbeTest, RepeatedReadsEndOfStreamAndForwardSteps)
{
    ASSERT_TRUE(probe.OpenFile(Fixture("h264.mp4")));
    // The file's only key frame is its first: the read seeks back and decodes up to the position.
    const kv::TBitmap first = probe.ReadFrame(-1, 800000);
    ASSERT_TRUE(probe.FrameValid());
    EXPECT_EQ(probe.FramePTS(), 800000);
    EXPECT_EQ(probe.ReadFrame(-1, 800000).Pixels, first.Pixels);
    EXPECT_TRUE(probe.FrameValid());
    EXPECT_EQ(probe.LastFrame().Pixels, first.Pixels);
    // A later position goes on decoding from there.
    probe.ReadFrame(-1, 1200000);
    ASSERT_TRUE(probe.FrameValid());
    EXPECT_EQ(probe.FramePTS(), 1200000);

    // Reading on from where the last read stopped gives later pictures.
    int64_t previous = probe.FramePTS();
    for (int i = 0; i < 5; ++i) {
        probe.ReadFrame(-1, -1);
        ASSERT_TRUE(probe.FrameValid()) << probe.LastError();
        EXPECT_GT(probe.FramePTS(), previous);
        previous = probe.FramePTS();
    }

    for (int again = 0; again < 2; ++again) {
        const kv::TBitmap& end = probe.ReadFrame(-1, 60000000);
        EXPECT_FALSE(probe.FrameValid());
        EXPECT_EQ(probe.LastError(), "stream eof reached.");
        EXPECT_EQ(end.Width, 160) << "a black picture of the stream's size";
        EXPECT_EQ(std::count(end.Pixels.begin(), end.Pixels.end(), 0), static_cast<long>(end.Pixels.size()));
    }
    EXPECT_TRUE(probe.ReadFrame(-1, 0).Width == 160 && probe.FrameValid()) << "a seek back works after the end";
}

TEST_F(AVProbeTest, RefusedReads)
{
    ASSERT_TRUE(probe.OpenFile(Fixture("audio_only.mp3")));
    EXPECT_EQ(probe.ReadFrame(-1, 0).Width, 0);
    EXPECT_EQ(probe.LastError(), "no video stream.");
    EXPECT_EQ(probe.ReadFrame(0, 0).Width, 0);
    EXPECT_EQ(probe.LastError(), "stream #0 is not video stream.");
    EXPECT_EQ(probe.ReadFrame(5, 0).Width, 0);
    EXPECT_EQ(probe.LastError(), "stream index #5 is invalid.");
    EXPECT_FALSE(probe.Seek(5, true, 0));
    EXPECT_EQ(probe.LastError(), "stream index #5 is invalid.");
}

TEST_F(AVProbeTest, AStillImageSequenceShowsItsFirstPicture)
{
    ASSERT_TRUE(probe.OpenFile(Fixture("frames_%03d.png")));
    EXPECT_EQ(probe.GetFormatName(), "image2");
    const kv::TBitmap first = probe.ReadFrame(-1, 0);
    ASSERT_TRUE(probe.FrameValid()) << probe.LastError();
    EXPECT_EQ(first.Width, 64);
    EXPECT_EQ(probe.ReadFrame(-1, 400000).Pixels, first.Pixels);
    EXPECT_TRUE(probe.Seek(-1, true, 400000)) << "image sequences are not moved";
}

TEST_F(AVProbeTest, ATasksProbeIsReadOnly)
{
    kv::TDIdezuDOR component;
    ASSERT_EQ(component.AddTask(Fixture("video_audio.avi")), 0) << component.LastError();
    kv::TAVProbe& attached = component.Tasks(0).Probe;
    EXPECT_FALSE(attached.OwnsContext());
    EXPECT_EQ(attached.StreamCount, 2);
    EXPECT_EQ(attached.GetFormatName(), "avi");
    try {
        attached.ReadFrame(-1, 0);
        ADD_FAILURE() << "read from an attached input";
    } catch (const kv::Exception& e) {
        EXPECT_STREQ(e.what(), "frame cannot be read, handle is readonly.");
    }
    component.ClearTasks();
}

TEST_F(AVProbeTest, DamagedFilesAreRefusedOrReadPastTheDamageWithItReported)
{
    kv::TDIdezuDOR component;  // receives the libraries' log
    ASSERT_TRUE(component.LoadLibraries("")) << component.LastError();
    std::mutex lock;
    size_t errorLines = 0;
    component.OnLog = [&](int, kv::TLogLevel ALevel, const std::string&) {
        std::lock_guard<std::mutex> guard(lock);
        errorLines += ALevel == kv::llError;
    };
    const TempFolder temp("damaged");
    std::ifstream source(Fixture("h264.mp4"), std::ios::binary);
    std::string damaged((std::istreambuf_iterator<char>(source)), std::istreambuf_iterator<char>());
    std::mt19937 random(11);
    // Noise over the middle of the pictures, the container's index left whole.
    for (size_t i = damaged.size() / 4; i < damaged.size() / 2; ++i)
        damaged[i] = static_cast<char>(random());
    std::string noise(30000, '\0');
    for (char& c : noise)
        c = static_cast<char>(random());

    // Files whose container cannot be read are refused with the reason.
    const std::pair<std::string, std::string> refused[] = {{"noise.avi", noise},
                                                           {"truncated.mp4", damaged.substr(0, 2000)}};
    for (const auto& [name, content] : refused) {
        const std::string path = temp.Path + "/" + name;
        std::ofstream(path, std::ios::binary) << content;
        EXPECT_FALSE(probe.OpenFile(path)) << name << " was taken for a video";
        EXPECT_EQ(probe.LastError().rfind(path + ": ", 0), 0u) << probe.LastError();
        EXPECT_FALSE(probe.FileLoaded());
    }

    // With its index whole the file opens; each read gives a whole picture at or after the position
    // asked for, never one from before it, or fails with a reason; the damage is logged.
    const std::string path = temp.Path + "/damaged.mp4";
    std::ofstream(path, std::ios::binary) << damaged;
    ASSERT_TRUE(probe.OpenFile(path)) << probe.LastError();
    for (int64_t position : {0, 500000, 1000000, 1500000}) {
        const kv::TBitmap& picture = probe.ReadFrame(-1, position);
        if (probe.FrameValid()) {
            EXPECT_EQ(picture.Width, 160) << position;
            EXPECT_EQ(picture.Height, 120) << position;
            EXPECT_EQ(picture.Pixels.size(), static_cast<size_t>(picture.Stride()) * picture.Height) << position;
            EXPECT_GE(probe.FramePTS(), position);
        } else {
            EXPECT_EQ(picture.Width, 0) << position;
            EXPECT_FALSE(probe.LastError().empty()) << position;
        }
    }
    std::lock_guard<std::mutex> guard(lock);
    EXPECT_GT(errorLines, 0u) << "the damaged pictures were read without a word";
}

}  // namespace
