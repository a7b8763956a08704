// The probe's accurate picture read: on a file with a key frame only every 5 s, the picture at a position is
// the one the ffmpeg tool extracts when it seeks to that time before opening the input.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "MediaFixtures.h"
#include "TestSupport.h"
#include "media/AVProbe.h"
#include "media/Exception.h"
#include "media/LibOwners.h"
#include "media/LibraryBindings.h"

using namespace kvtest;

namespace {

const int Width = 320;
const int Height = 240;

// 12 s at 25 pictures a second, H.264 with B-frames, key frames at 0, 5 and 10 s only.
std::string SparseKeyFrames()
{
    const std::string folder = KELVANE_FIXTURE_DIR;
    const std::string path = folder + "/sparse_keys.mp4";
    if (::access(path.c_str(), R_OK) == 0)
        return path;
    // Made under a name of this process and renamed: parallel tests never read half a file.
    const std::string partial = folder + "/partial-sparse-" + std::to_string(::getpid()) + ".mp4";
    std::string output;
    const int status = RunCommand(
        "mkdir -p '" + folder + "' && ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=" + std::to_string(Width) +
            "x" + std::to_string(Height) +
            ":rate=25:duration=12 -c:v libx264 -preset veryfast -bf 3 -g 125 "
            "-keyint_min 125 -sc_threshold 0 -pix_fmt yuv420p '" +
            partial + "'",
        output);
    EXPECT_EQ(status, 0) << output;
    std::rename(partial.c_str(), path.c_str());
    return path;
}

// The key frame times of the file as ffprobe lists them, in seconds.
std::vector<double> KeyFrameTimes(const std::string& File)
{
    std::string output;
    EXPECT_EQ(RunCommand("ffprobe -v error -select_streams v:0 -skip_frame nokey -show_entries frame=pts_time "
                         "-of csv=p=0 '" +
                             File + "'",
                         output),
              0)
        << output;
    std::vector<double> times;
    for (size_t start = 0; start < output.size();) {
        const size_t end = output.find('\n', start);
        // Lines of side data come between the frames' lines: a frame's line starts with a digit.
        const std::string line = output.substr(start, end - start);
        if (!line.empty() && std::isdigit(static_cast<unsigned char>(line[0])))
            times.push_back(std::atof(line.c_str()));
        start = end == std::string::npos ? output.size() : end + 1;
    }
    return times;
}

// The picture the ffmpeg tool gives when it seeks to Seconds before opening File, as bgr24 rows.
std::vector<uint8_t> ToolPicture(const std::string& File, const std::string& Seconds)
{
    TempFolder folder("accurate");
    const std::string raw = folder.Path + "/picture.bgr";
    std::string output;
    EXPECT_EQ(RunCommand("ffmpeg -nostdin -v error -y -ss " + Seconds + " -i '" + File +
                             "' -frames:v 1 -f rawvideo -pix_fmt bgr24 '" + raw + "'",
                         output),
              0)
        << output;
    std::ifstream in(raw, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// The largest difference of one channel between the bitmap and tightly packed bgr24 rows; 256 when the
// sizes differ.
int LargestDifference(const kv::TBitmap& Picture, const std::vector<uint8_t>& Rows)
{
    const size_t rowBytes = static_cast<size_t>(Picture.Width) * 3;
    if (Picture.Width != Width || Picture.Height != Height || Rows.size() != rowBytes * static_cast<size_t>(Height))
        return 256;
    int largest = 0;
    for (int y = 0; y < Height; ++y)
        for (size_t x = 0; x < rowBytes; ++x)
            largest = std::max(largest, std::abs(Picture.ScanLine(y)[x] - Rows[static_cast<size_t>(y) * rowBytes + x]));
    return largest;
}

struct TPosition {
    const char* What;
    int64_t Position;      // us
    const char* ToolTime;  // the time the ffmpeg tool extracts at, which shows the same picture
    int64_t PictureTime;   // us, the time of the picture expected
};

const TPosition Positions[] = {
    {"first picture", 0, "0", 0},
    {"mid-way through the first group", 2'520'000, "2.52", 2'520'000},
    {"last picture before the key frame at 5 s", 4'960'000, "4.96", 4'960'000},
    {"between that picture and the key frame", 4'970'000, "4.97", 5'000'000},
    {"the key frame at 5 s", 5'000'000, "5", 5'000'000},
    {"just after that key frame", 5'040'000, "5.04", 5'040'000},
    {"late in the second group", 9'920'000, "9.92", 9'920'000},
    {"last picture of the file", 11'960'000, "11.96", 11'960'000},
    {"after the last picture, before the end", 11'990'000, "11.96", 11'960'000},
};

class AccurateReadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        LoadSystemLibraries();
        file = SparseKeyFrames();
        ASSERT_TRUE(probe.OpenFile(file)) << probe.LastError();
    }

    void ExpectPicture(const TPosition& Case, const std::vector<uint8_t>& Expected, const std::string& Pass)
    {
        const kv::TBitmap& picture = probe.ReadFrameAccurate(-1, Case.Position);
        ASSERT_TRUE(probe.FrameValid()) << Case.What << " (" << Pass << "): " << probe.LastError();
        EXPECT_LE(LargestDifference(picture, Expected), 1) << Case.What << " (" << Pass << ")";
        EXPECT_EQ(probe.FramePTS(), Case.PictureTime) << Case.What << " (" << Pass << ")";
    }

    std::string file;
    kv::TAVProbe probe;
};

TEST_F(AccurateReadTest, TheFixtureHasSparseKeyFrames)
{
    const std::vector<double> keys = KeyFrameTimes(file);
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_NEAR(keys[1], 5.0, 1e-6);
    EXPECT_NEAR(keys[2], 10.0, 1e-6);
}

// Forward through the file, backward through it with a fast read between each, and each position on a
// fresh probe: the picture never depends on what was read before.
TEST_F(AccurateReadTest, GivesThePictureTheToolExtractsAtTheSameTime)
{
    std::vector<std::vector<uint8_t>> expected;
    for (const TPosition& position : Positions)
        expected.push_back(ToolPicture(file, position.ToolTime));
    const size_t count = std::size(Positions);
    for (size_t i = 0; i < count; ++i)
        ExpectPicture(Positions[i], expected[i], "forward");
    for (size_t i = count; i-- > 0;) {
        probe.ReadFrame(-1, 7'000'000);
        ExpectPicture(Positions[i], expected[i], "backward");
    }
    for (size_t i = 0; i < count; ++i) {
        ASSERT_TRUE(probe.OpenFile(file));
        ExpectPicture(Positions[i], expected[i], "fresh");
    }
}

// Stepping forward a picture at a time decodes on from the last read; every step is still the picture at
// its time, including the steps across a key frame, and a fast read between two steps (which moves the
// file on) does not leave the next step decoding on from the wrong place.
TEST_F(AccurateReadTest, SmallStepsForwardStayExact)
{
    for (const bool fastReadBetween : {false, true}) {
        for (int64_t position = 4'800'000; position <= 5'200'000; position += 40'000) {
            if (fastReadBetween)
                probe.ReadFrame(-1, 10'480'000);
            probe.ReadFrameAccurate(-1, position);
            ASSERT_TRUE(probe.FrameValid()) << position;
            EXPECT_EQ(probe.FramePTS(), position) << (fastReadBetween ? "with fast reads" : "");
            const kv::TBitmap stepped = probe.LastFrame();
            kv::TAVProbe fresh;
            ASSERT_TRUE(fresh.OpenFile(file));
            const kv::TBitmap& direct = fresh.ReadFrameAccurate(-1, position);
            EXPECT_TRUE(stepped.Pixels == direct.Pixels) << "step to " << position;
        }
    }
}

TEST_F(AccurateReadTest, TheSameReadTwiceGivesTheSamePicture)
{
    const kv::TBitmap first = probe.ReadFrameAccurate(-1, 7'360'000);
    const kv::TBitmap& again = probe.ReadFrameAccurate(-1, 7'360'000);
    EXPECT_TRUE(probe.FrameValid());
    EXPECT_EQ(probe.FramePTS(), 7'360'000);
    EXPECT_TRUE(first.Pixels == again.Pixels);
}

TEST_F(AccurateReadTest, FailuresAreReportedAsTheFastReadReportsThem)
{
    // At the end of the file: black, at the stream's size, and the same again without reading.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const kv::TBitmap& end = probe.ReadFrameAccurate(-1, 12'500'000);
        EXPECT_FALSE(probe.FrameValid());
        EXPECT_EQ(probe.LastError(), "stream eof reached.");
        ASSERT_EQ(end.Width, Width);
        EXPECT_EQ(end.Height, Height);
        EXPECT_EQ(*std::max_element(end.Pixels.begin(), end.Pixels.end()), 0);
    }
    // After the end, a position inside the file reads again.
    probe.ReadFrameAccurate(-1, 3'000'000);
    EXPECT_TRUE(probe.FrameValid());
    EXPECT_EQ(probe.FramePTS(), 3'000'000);

    const struct {
        const char* File;
        int Stream;
        const char* Error;
    } failures[] = {
        {"audio_only.mp3", -1, "no video stream."},
        {"video_audio.avi", 1, "stream #1 is not video stream."},
        {"video_audio.avi", 5, "stream index #5 is invalid."},
    };
    for (const auto& failure : failures) {
        ASSERT_TRUE(probe.OpenFile(Fixture(failure.File)));
        const kv::TBitmap& picture = probe.ReadFrameAccurate(failure.Stream, 1'000'000);
        EXPECT_FALSE(probe.FrameValid()) << failure.Error;
        EXPECT_EQ(probe.LastError(), failure.Error);
        EXPECT_EQ(picture.Width, 0) << failure.Error;
    }
    probe.CloseFile();
    probe.ReadFrameAccurate(-1, 0);
    EXPECT_EQ(probe.LastError(), "file not loaded.");
}

TEST_F(AccurateReadTest, AnAttachedFileIsNotRead)
{
    AVFormatContext* context = nullptr;
    ASSERT_GE(kv::lav::avformat_open_input(&context, file.c_str(), nullptr, nullptr), 0);
    const kv::InputFormatPtr opened(context);
    kv::TAVProbe attached;
    attached.AttachContext(context);
    EXPECT_THROW(attached.ReadFrameAccurate(-1, 0), kv::Exception);
    attached.CloseFile();
}

}  // namespace
