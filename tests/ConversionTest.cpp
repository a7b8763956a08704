// Real conversions through the engine: every container and codec the product writes, checked with
// ffprobe and against the ffmpeg tool's own output of the same job.
#include <gtest/gtest.h>

#include <cmath>
#include <sys/stat.h>

#include "ConversionSupport.h"
#include "MediaFixtures.h"
#include "TestSupport.h"

using namespace kvtest;

namespace {

double Number(const std::map<std::string, std::string>& Facts, const std::string& Key, double Default = NAN)
{
    auto it = Facts.find(Key);
    if (it == Facts.end() || it->second == "N/A")
        return Default;
    return std::atof(it->second.c_str());
}

std::string Text(const std::map<std::string, std::string>& Facts, const std::string& Key)
{
    auto it = Facts.find(Key);
    return it == Facts.end() ? std::string() : it->second;
}

// The last lines the engine logged, for failure messages.
std::string LastLines(const std::vector<std::string>& Log, size_t Count = 15)
{
    std::string text;
    for (size_t i = Log.size() > Count ? Log.size() - Count : 0; i < Log.size(); ++i)
        text += Log[i] + "\n";
    return text;
}

// The container's duration; for one that keeps none (SWF), what its pictures last at 25 per second.
double DurationOf(const std::string& File, const std::map<std::string, std::string>& Facts)
{
    const double duration = Number(Facts, "format.duration");
    if (!std::isnan(duration))
        return duration;
    std::string output;
    RunCommand("ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 '" +
                   File + "'",
               output);
    return std::atoi(output.c_str()) / 25.0;
}

// The index of the first stream of the type in ffprobe's listing, -1 when there is none.
int StreamOf(const std::map<std::string, std::string>& Facts, const std::string& Type)
{
    for (int i = 0; Facts.count("streams.stream." + std::to_string(i) + ".codec_type"); ++i)
        if (Facts.at("streams.stream." + std::to_string(i) + ".codec_type") == Type)
            return i;
    return -1;
}

std::string StreamKey(int Index, const std::string& Field)
{
    return "streams.stream." + std::to_string(Index) + "." + Field;
}

// Audio start minus video start, in seconds.
double StartGap(const std::map<std::string, std::string>& Facts)
{
    const int video = StreamOf(Facts, "video");
    const int audio = StreamOf(Facts, "audio");
    return Number(Facts, StreamKey(audio, "start_time"), 0) - Number(Facts, StreamKey(video, "start_time"), 0);
}

struct TFormatCase {
    const char* Name;
    const char* File;
    std::vector<std::string> Lines;  // output option lines for the engine
    const char* Reference;           // the ffmpeg tool's arguments for the same job
    const char* VideoCodec;          // "" = no video expected
    int Width, Height;
    const char* AudioCodec;
    int SampleRate, Channels;
};

// clang-format off
const TFormatCase FormatCases[] = {
    {"3gp_mpeg4", "out.3gp", {"vcodec=mpeg4", "s=176x144", "acodec=aac", "ar=8000", "ac=1"},
     "-c:v mpeg4 -s 176x144 -c:a aac -ar 8000 -ac 1", "mpeg4", 176, 144, "aac", 8000, 1},
    {"3gp_h263", "out.3gp", {"vcodec=h263", "s=176x144", "acodec=aac", "ar=8000", "ac=1"},
     "-c:v h263 -s 176x144 -c:a aac -ar 8000 -ac 1", "h263", 176, 144, "aac", 8000, 1},
    {"mp4_mpeg4", "out.mp4", {"vcodec=mpeg4", "acodec=aac"}, "-c:v mpeg4 -c:a aac", "mpeg4", 160, 120, "aac",
     44100, 2},
    {"mp4_avc", "out.mp4", {"vcodec=avc", "acodec=libfaac"}, "-c:v libx264 -c:a aac", "h264", 160, 120, "aac", 44100,
     2},
    {"avi", "out.avi", {"vcodec=mpeg4", "acodec=libmp3lame"}, "-c:v mpeg4 -c:a libmp3lame", "mpeg4", 160, 120, "mp3",
     44100, 2},
    {"mpeg_ps", "out.mpg", {}, "", "mpeg1video", 160, 120, "mp2", 44100, 2},
    {"wmv", "out.wmv", {"vcodec=wmv2", "acodec=wmav2"}, "-c:v wmv2 -c:a wmav2", "wmv2", 160, 120, "wmav2", 44100, 2},
    {"wma", "out.wma", {"vn", "acodec=wmav2"}, "-vn -c:a wmav2", "", 0, 0, "wmav2", 44100, 2},
    {"mov", "out.mov", {"vcodec=mpeg4", "acodec=aac"}, "-c:v mpeg4 -c:a aac", "mpeg4", 160, 120, "aac", 44100, 2},
    {"mkv_x264", "out.mkv", {"vcodec=libx264"}, "-c:v libx264", "h264", 160, 120, "vorbis", 44100, 2},
    {"flv", "out.flv", {"ar=22050"}, "-ar 22050", "flv1", 160, 120, "mp3", 22050, 2},
    {"swf", "out.swf", {"ar=22050"}, "-ar 22050", "flv1", 160, 120, "mp3", 22050, 2},
    {"ogg", "out.ogg", {"vcodec=libtheora", "acodec=flac"}, "-c:v libtheora -c:a flac", "theora", 160, 120, "flac",
     44100, 2},
    {"rm_rv10", "out.rm", {"vcodec=rv10", "s=176x144"}, "-c:v rv10 -s 176x144", "rv10", 176, 144, "ac3", 44100, 2},
    {"rm_rv20", "out.rm", {"vcodec=rv20", "s=176x144"}, "-c:v rv20 -s 176x144", "rv20", 176, 144, "ac3", 44100, 2},
    {"psp", "out.mp4", {"f=psp", "vcodec=mpeg4", "acodec=aac"}, "-f psp -c:v mpeg4 -c:a aac", "mpeg4", 160, 120,
     "aac", 44100, 2},
    {"ipod", "out.m4v", {"f=ipod", "vcodec=mpeg4", "acodec=aac"}, "-f ipod -c:v mpeg4 -c:a aac", "mpeg4", 160, 120,
     "aac", 44100, 2},
    {"vcd", "out.mpg", {"target=pal-vcd"}, "-target pal-vcd", "mpeg1video", 352, 288, "mp2", 44100, 2},
    {"svcd", "out.mpg", {"target=pal-svcd"}, "-target pal-svcd", "mpeg2video", 480, 576, "mp2", 44100, 2},
    {"dvd", "out.mpg", {"target=pal-dvd"}, "-target pal-dvd", "mpeg2video", 720, 576, "ac3", 48000, 2},
    {"dv", "out.dv", {"target=pal-dv"}, "-target pal-dv", "dvvideo", 720, 576, "pcm_s16le", 48000, 2},
};
// clang-format on

void PrintTo(const TFormatCase& Case, std::ostream* Out) { *Out << Case.Name; }

class FormatTest : public ::testing::TestWithParam<TFormatCase> {};

TEST_P(FormatTest, ConvertsIntoWhatFfprobeExpects)
{
    const TFormatCase& c = GetParam();
    TempFolder folder("format");
    const std::string input = Fixture("av_source.mkv");
    const std::string output = folder.Path + "/" + c.File;
    const TConversionResult result = Convert(input, output, {}, c.Lines);
    ASSERT_TRUE(result.Queued) << result.SetupError;
    ASSERT_TRUE(result.Ended);
    ASSERT_TRUE(result.Finished) << result.Message << "\n" << LastLines(result.Log);
    EXPECT_FALSE(result.Failed) << result.Message;

    const auto facts = Probe(output);
    ASSERT_FALSE(facts.empty()) << "ffprobe cannot read " << output;
    const int video = StreamOf(facts, "video");
    if (*c.VideoCodec) {
        ASSERT_GE(video, 0);
        EXPECT_EQ(Text(facts, StreamKey(video, "codec_name")), c.VideoCodec);
        EXPECT_EQ(Number(facts, StreamKey(video, "width")), c.Width);
        EXPECT_EQ(Number(facts, StreamKey(video, "height")), c.Height);
        EXPECT_EQ(Text(facts, StreamKey(video, "r_frame_rate")), "25/1");
    } else {
        EXPECT_LT(video, 0) << "an audio-only output has no video";
    }
    const int audio = StreamOf(facts, "audio");
    ASSERT_GE(audio, 0);
    EXPECT_EQ(Text(facts, StreamKey(audio, "codec_name")), c.AudioCodec);
    EXPECT_EQ(Number(facts, StreamKey(audio, "sample_rate")), c.SampleRate);
    EXPECT_EQ(Number(facts, StreamKey(audio, "channels")), c.Channels);
    EXPECT_NEAR(DurationOf(output, facts), Number(Probe(input), "format.duration"), 0.1);
    EXPECT_EQ(DecodeErrors(output), "");

    if (*c.VideoCodec) {
        const std::string reference = folder.Path + "/reference-" + c.File;
        ASSERT_TRUE(ReferenceConvert(input, c.Reference, reference));
        EXPECT_NEAR(StartGap(facts), StartGap(Probe(reference)), 1.0 / 25)
            << "audio and video start as far apart as in the ffmpeg tool's output";
    }
}

INSTANTIATE_TEST_SUITE_P(Containers, FormatTest, ::testing::ValuesIn(FormatCases),
                         [](const ::testing::TestParamInfo<TFormatCase>& info) {
                             return std::string(info.param.Name);
                         });

}  // namespace
