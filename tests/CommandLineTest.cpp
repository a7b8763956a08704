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

}  // namespace
