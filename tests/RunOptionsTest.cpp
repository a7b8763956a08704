// Options that steer a run from its edges: the output size limit, input timestamp offsets and scales, the
// audio volume and metadata maps. Each case is one conversion whose result ffprobe (or the ffmpeg tool's own
// measurements) must find as the option says.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <functional>
#include <regex>

#include "ConversionSupport.h"
#include "MediaFixtures.h"
#include "TestSupport.h"

using namespace kvtest;

namespace {

// The loudest sample of File's audio in dB, as the ffmpeg tool's volume detector measures it.
double MaxVolume(const std::string& File)
{
    std::string output;
    RunCommand("ffmpeg -nostdin -hide_banner -i '" + File + "' -af volumedetect -f null -", output);
    std::smatch match;
    const std::regex pattern("max_volume: (-?[0-9.]+) dB");
    return std::regex_search(output, match, pattern) ? std::atof(match[1].str().c_str()) : NAN;
}

struct TOptionCase {
    const char* Name;
    const char* Input;
    std::vector<std::string> InputLines;
    const char* Output;
    std::vector<std::string> OutputLines;
    std::function<void(const std::string& Output)> Check;
};

TEST(RunOptionsTest, EachOptionShowsInTheOutput)
{
    TempFolder folder("options");
    const double fullVolume = MaxVolume(Fixture("audio_only.mp3"));
    ASSERT_FALSE(std::isnan(fullVolume));
    // clang-format off
    const TOptionCase cases[] = {
        {"fs stops once the output is larger than the limit", "long_av.mkv", {}, "limited.avi",
         {"vcodec=mpeg4", "acodec=libmp3lame", "fs=100000"},
         [](const std::string& out) {
             EXPECT_GT(SizeOf(out), 100000);
             EXPECT_LT(SizeOf(out), 130000) << "one more packet and the trailer at most";
             EXPECT_LT(Fact(out, "format.duration"), 6.0) << "the 8 s input was cut";
         }},
        {"itsoffset delays every timestamp of the input", "video_only.mp4", {"itsoffset=1"}, "offset.mkv",
         {"vcodec=mpeg4"},
         [](const std::string& out) { EXPECT_NEAR(Fact(out, "streams.stream.0.start_time"), 1.0, 0.05); }},
        {"itsscale stretches the stream's timestamps", "video_only.mp4", {"itsscale=0:2"}, "scaled.mkv",
         {"vcodec=mpeg4"},
         [](const std::string& out) { EXPECT_NEAR(Fact(out, "format.duration"), 4.0, 0.15); }},
        {"vol 512 doubles the samples", "audio_only.mp3", {}, "louder.wav", {"acodec=pcm_s16le", "vol=512"},
         [fullVolume](const std::string& out) { EXPECT_NEAR(MaxVolume(out) - fullVolume, 6.0, 0.3); }},
        {"vol 128 halves them", "audio_only.mp3", {}, "quieter.wav", {"acodec=pcm_s16le", "vol=128"},
         [fullVolume](const std::string& out) { EXPECT_NEAR(MaxVolume(out) - fullVolume, -6.0, 0.3); }},
        {"map_meta_data copies the input's tags", "tagged.mkv", {}, "tagged.mkv", {"vcodec=mpeg4", "map_meta_data=0:0"},
         [](const std::string& out) {
             EXPECT_EQ(FactText(out, "format.tags.title"), "Title");
             EXPECT_EQ(FactText(out, "format.tags.ARTIST"), "Artist");
         }},
    };
    // clang-format on
    for (const TOptionCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string output = folder.Path + "/" + c.Output;
        const TConversionResult result = Convert(Fixture(c.Input), output, c.InputLines, c.OutputLines);
        ASSERT_TRUE(result.Queued) << result.SetupError;
        ASSERT_TRUE(result.Finished) << result.Message;
        c.Check(output);
        EXPECT_EQ(DecodeErrors(output), "");
    }
}

TEST(RunOptionsTest, AMetadataMapBeyondTheFilesFailsTheRunWithItsIndices)
{
    TempFolder folder("metadata-map");
    const struct {
        const char* Line;
        const char* Message;
    } cases[] = {
        {"map_meta_data=1:0", "Invalid output file index 1 map_meta_data(1,0)"},
        {"map_meta_data=0:3", "Invalid input file index 3 map_meta_data(0,3)"},
    };
    for (const auto& c : cases) {
        const std::string output = folder.Path + "/out.mkv";
        const TConversionResult result = Convert(Fixture("tagged.mkv"), output, {}, {"vcodec=mpeg4", c.Line});
        ASSERT_TRUE(result.Queued) << result.SetupError;
        EXPECT_TRUE(result.Failed) << c.Line;
        EXPECT_EQ(result.Message, c.Message);
        EXPECT_LE(SizeOf(output), 0) << "no empty output is left behind";
    }
}

}  // namespace
