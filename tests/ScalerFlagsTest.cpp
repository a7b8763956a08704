// The scaler's flags: an "sws_flags" option line decides how the run scales pictures, both in its own
// scaler and in the filter graph's; without one the run scales bicubically. The ffmpeg tool scaling the
// same input with the same flags is the oracle.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ConversionSupport.h"
#include "MediaFixtures.h"
#include "TestSupport.h"

using namespace kvtest;

namespace {

struct TScalerCase {
    const char* Name;
    std::vector<std::string> Lines;  // besides the codec and the size
    const char* Expected;            // the ffmpeg tool's -sws_flags the pictures must match
    const char* Other;               // flags whose pictures they must not match
};

TEST(ScalerFlagsTest, TheScalerOptionDecidesHowPicturesAreScaled)
{
    TempFolder folder("scaler");
    const std::string input = Fixture("video_only.mp4");
    // clang-format off
    const TScalerCase cases[] = {
        {"sws_flags reaches the run's own scaler", {"sws_flags=neighbor"}, "neighbor", "bicubic"},
        {"sws_flags reaches the filter graph's scaler", {"vfilters=null", "sws_flags=neighbor"}, "neighbor", "bicubic"},
        {"without the line the run scales bicubically", {}, "bicubic", "neighbor"},
        {"and so does the filter graph", {"vfilters=null"}, "bicubic", "neighbor"},
    };
    // clang-format on
    for (const char* flags : {"neighbor", "bicubic"})
        ASSERT_TRUE(ReferenceConvert(input, std::string("-s 320x240 -c:v ffv1 -sws_flags ") + flags,
                                     folder.Path + "/" + flags + ".mkv"));
    int n = 0;
    for (const TScalerCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string output = folder.Path + "/out" + std::to_string(n++) + ".mkv";
        std::vector<std::string> lines = {"vcodec=ffv1", "s=320x240"};
        lines.insert(lines.end(), c.Lines.begin(), c.Lines.end());
        const TConversionResult result = Convert(input, output, {}, lines);
        ASSERT_TRUE(result.Queued) << result.SetupError;
        ASSERT_TRUE(result.Finished) << result.Message;
        EXPECT_EQ(Fact(output, "streams.stream.0.width"), 320);
        EXPECT_GE(Psnr(output, folder.Path + "/" + c.Expected + ".mkv"), 40.0);
        const double other = Psnr(output, folder.Path + "/" + c.Other + ".mkv");
        EXPECT_GT(other, 0.0);
        EXPECT_LT(other, 40.0);
    }
}

}  // namespace
