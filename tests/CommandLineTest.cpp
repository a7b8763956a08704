// kelvane-cli as scripts use it.
#include <gtest/gtest.h>

#include "MediaFixtures.h"
#include "TestSupport.h"

using namespace kvtest;

namespace {

std::string LastLine(const std::string& Text)
{
    std::string text = Text;
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    const size_t newline = text.rfind('\n');
    return newline == std::string::npos ? text : text.substr(newline + 1);
}

TEST(CommandLineTest, FailuresEndWithTheReasonAndStatusOne)
{
    const TempFolder temp("cli");
    const struct {
        std::string Arguments;
        std::string LastLine;
    } cases[] = {
        {"convert '" + temp.Path + "/missing.avi' '" + temp.Path + "/out.mp4'",
         "error: " + temp.Path + "/missing.avi: no such file or directory"},
        {"convert -o vcodec=mp2 '" + Fixture("video_audio.avi") + "' '" + temp.Path + "/out.mp4'",
         "error: new_video_stream fail: Invalid encoder type 'mp2'"},
        {"convert -i threads=2 '" + Fixture("video_audio.avi") + "' '" + temp.Path + "/out.mp4'",
         "error: TODO: option - threads"},
        {"convert onlyone.avi", "error: convert needs an input and an output file (see kelvane-cli --help)"},
        {"convert -o", "error: option -o needs a line"},
        {"transcode a b", "error: unknown command 'transcode' (see kelvane-cli --help)"},
    };
    for (const auto& c : cases) {
        std::string output;
        EXPECT_EQ(RunCommand(std::string(KELVANE_CLI) + " " + c.Arguments, output), 1) << c.Arguments;
        EXPECT_EQ(LastLine(output), c.LastLine) << output;
    }
}

TEST(CommandLineTest, ConvertQueuesTheTaskAndLogsWhatItOpened)
{
    const TempFolder temp("cli");
    std::string output;
    const int status = RunCommand(std::string(KELVANE_CLI) + " convert -o vcodec=mpeg4 -o b=300000 '" +
                                      Fixture("video_audio.avi") + "' '" + temp.Path + "/out.mp4'",
                                  output);
    EXPECT_EQ(status, 2) << output;
    EXPECT_NE(output.find("[info] Input #0, avi, from '"), std::string::npos) << output;
    EXPECT_NE(output.find("queued: "), std::string::npos) << output;

    EXPECT_EQ(RunCommand(std::string(KELVANE_CLI) + " --help", output), 0);
    EXPECT_NE(output.find("kelvane-cli convert [-i LINE]... [-o LINE]... INPUT OUTPUT"), std::string::npos);
}

TEST(CommandLineTest, ProbePrintsTheFactsOfAFile)
{
    const std::string file = Fixture("two_audio.mkv");
    std::string output;
    ASSERT_EQ(RunCommand(std::string(KELVANE_CLI) + " probe '" + file + "' 2>/dev/null", output), 0) << output;
    std::map<std::string, std::string> facts;
    for (size_t start = 0; start < output.size();) {
        size_t end = output.find('\n', start);
        const std::string line = output.substr(start, end - start);
        start = end == std::string::npos ? output.size() : end + 1;
        if (const size_t equals = line.find('='); equals != std::string::npos)
            facts[line.substr(0, equals)] = line.substr(equals + 1);
    }
    const std::map<std::string, std::string> probe = Probe(file);
    EXPECT_EQ(facts["StreamCount"], "3");
    EXPECT_EQ(facts["AudioStreamCount"], "2");
    EXPECT_EQ(facts["FirstVideoStream"], "0");
    EXPECT_EQ(facts["FirstSubtitleStream"], "-1");
    EXPECT_EQ(facts["FormatName"], "matroska,webm");
    EXPECT_EQ(facts["Width"], probe.at("streams.stream.0.width"));
    EXPECT_EQ(facts["Height"], probe.at("streams.stream.0.height"));
    EXPECT_EQ(facts["FileExtension"], "mkv");
    EXPECT_EQ(facts["AudioCodec.0"], "Vorbis");
    EXPECT_EQ(facts["AudioCodec.1"], "FLAC");
    for (const char* key : {"ProgramCount", "StartTime", "Duration", "BitRate", "Timestamp", "Year", "Track", "Title",
                            "Author", "Copyright", "Comment", "Album", "Genre", "FrameRate", "VideoBitRate",
                            "PlayTime", "VideoCodec", "FirstAudioStream", "VideoStreamCount", "SubtitleStreamCount"})
        EXPECT_EQ(facts.count(key), 1u) << key;

    EXPECT_EQ(RunCommand(std::string(KELVANE_CLI) + " probe /nowhere/x.avi", output), 1);
    EXPECT_EQ(LastLine(output), "error: /nowhere/x.avi: no such file or directory");
}

TEST(CommandLineTest, FrameWritesThePictureAsPNG)
{
    const TempFolder temp("cli");
    const std::string png = temp.Path + "/frame.png";
    std::string output;
    ASSERT_EQ(RunCommand(std::string(KELVANE_CLI) + " frame '" + Fixture("h264.mp4") + "' 1000000 '" + png + "'", output), 0)
        << output;
    const std::map<std::string, std::string> picture = Probe(png);
    EXPECT_EQ(picture.at("streams.stream.0.codec_name"), "png");
    EXPECT_EQ(picture.at("streams.stream.0.width"), "160");
    EXPECT_EQ(picture.at("streams.stream.0.height"), "120");

    EXPECT_EQ(RunCommand(std::string(KELVANE_CLI) + " frame '" + Fixture("audio_only.mp3") + "' 0 '" + png + "'", output), 1);
    EXPECT_EQ(LastLine(output), "error: no video stream.");
    EXPECT_EQ(RunCommand(std::string(KELVANE_CLI) + " frame '" + Fixture("h264.mp4") + "' soon '" + png + "'", output), 1);
    EXPECT_EQ(LastLine(output), "error: 'soon' is not a position in microseconds");
}

}  // namespace
