// Two-pass encoding with an encoder that keeps its own statistics file (libx264): the file is the one the
// pass log options name, pass 1 writes it, pass 2 needs and reads it, and the second pass meets the bit
// rate asked for.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "ConversionSupport.h"
#include "MediaFixtures.h"
#include "TestSupport.h"

using namespace kvtest;

namespace {

constexpr int TargetBitRate = 150000;

std::string FirstLine(const std::string& File)
{
    std::ifstream in(File);
    std::string line;
    std::getline(in, line);
    return line;
}

std::vector<std::string> Lines(const std::string& Pass, const std::string& Log)
{
    std::vector<std::string> lines = {"vcodec=libx264", "b=" + std::to_string(TargetBitRate)};
    if (!Pass.empty())
        lines.insert(lines.end(), {"pass=" + Pass, "passlogfile=" + Log});
    return lines;
}

TEST(TwoPassTest, Libx264KeepsItsStatisticsInThePassLogAndMeetsTheBitRate)
{
    TempFolder folder("twopass");
    const std::string input = Fixture("detail_12s.mkv");
    ASSERT_GE(Fact(input, "format.duration"), 10.0);
    const std::string log = folder.Path + "/stats";
    // What the encoder would write without being told where, in the folder the run is started in.
    std::remove("x264_2pass.log");

    const TConversionResult first = Convert(input, folder.Path + "/pass1.mp4", {}, Lines("1", log));
    ASSERT_TRUE(first.Finished) << first.Message;
    EXPECT_EQ(FirstLine(log + "-0.log").rfind("#options:", 0), 0u) << "the encoder's own statistics";
    EXPECT_GT(SizeOf(log + "-0.log.mbtree"), 0);
    EXPECT_EQ(::access("x264_2pass.log", F_OK), -1);

    const std::string second = folder.Path + "/pass2.mp4";
    const TConversionResult pass2 = Convert(input, second, {}, Lines("2", log));
    ASSERT_TRUE(pass2.Finished) << pass2.Message;
    const double twoPass = Fact(second, "streams.stream.0.bit_rate");
    EXPECT_NEAR(twoPass, TargetBitRate, TargetBitRate * 0.05);

    const std::string single = folder.Path + "/single.mp4";
    const TConversionResult onePass = Convert(input, single, {}, Lines("", log));
    ASSERT_TRUE(onePass.Finished) << onePass.Message;
    const double singleRate = Fact(single, "streams.stream.0.bit_rate");
    std::cout << "bit rate asked " << TargetBitRate << ", one pass " << singleRate << ", two passes " << twoPass
              << "\n";
    // Two passes aim better than one: the second pass really used what the first measured.
    EXPECT_LT(std::abs(twoPass - TargetBitRate), std::abs(singleRate - TargetBitRate));
}

TEST(TwoPassTest, Libx264PassTwoWithoutTheStatisticsFails)
{
    TempFolder folder("twopass");
    const std::string log = folder.Path + "/none";
    const TConversionResult result = Convert(Fixture("video_only.mp4"), folder.Path + "/out.mp4", {},
                                             {"vcodec=libx264", "b=150000", "pass=2", "passlogfile=" + log});
    ASSERT_TRUE(result.Queued) << result.SetupError;
    EXPECT_FALSE(result.Finished);
    EXPECT_EQ(result.Message, "Cannot read log file " + log + "-0.log for pass-2 encoding");
}

}  // namespace
