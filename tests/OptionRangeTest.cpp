// Values from option lines that the libraries cannot take, or that would overflow on their way there,
// are refused with a message naming the option; the largest values that fit arrive unchanged.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "MediaFixtures.h"
#include "TestSupport.h"
#include "component/DIdezuDOR.h"

using namespace kvtest;

namespace {

const AVCodecContext& VideoEncoder(const kv::TFFmpeg& Task) { return *Task.Files().OutputStreams[0][0].Encoder; }

TEST(OptionRangeTest, ValuesBeyondWhatTheLibrariesTakeAreRefusedByName)
{
    LoadSystemLibraries();
    TempFolder out("option_range");
    const struct {
        const char* InputLines;
        const char* OutputLines;
        const char* Refusal;  // part of the message; "" when the lines are taken
        std::function<void(const kv::TFFmpeg&)> Check;
    } cases[] = {
        // Picture sizes: the frame, and the frame with its pads.
        {"", "s=46342x46342", "Frame size 46342x46342 is too large (option s)", {}},
        {"", "s=16384x16384", "(option s)", {}},
        {"", "s=8192x8192", "", [](const kv::TFFmpeg& t) { EXPECT_EQ(VideoEncoder(t).width, 8192); }},
        {"", "padleft=2147483646", "(option padleft)", {}},
        {"", "s=2x2\npadtop=2147483646\npadbottom=2", "(option padtop)", {}},
        {"", "padright=1000\ns=160x120\npadbottom=2", "",
         [](const kv::TFFmpeg& t) {
             EXPECT_EQ(VideoEncoder(t).width, 1160);
             EXPECT_EQ(VideoEncoder(t).height, 122);
         }},
        {"padtop=2147483646\npadbottom=2", "", "(option padtop)", {}},
        // Muxing times, held by the muxer as int microseconds.
        {"", "muxpreload=1e30", "Invalid muxpreload", {}},
        {"", "muxdelay=1e39", "Invalid muxdelay", {}},
        {"", "muxpreload=nan", "'nan' is not a valid floating point value", {}},
        {"", "muxdelay=-1", "Invalid muxdelay", {}},
        {"", "muxpreload=0\nmuxdelay=2000", "",
         [](const kv::TFFmpeg& t) { EXPECT_EQ(t.Files().OutputFiles[0]->max_delay, 2000000000); }},
        // Values that reach the encoder settings through arithmetic.
        {"", "aq=1e30", "(option aq)", {}},
        {"", "dc=-2147483648", "(option dc", {}},
        {"", "aspect=nan", "Incorrect aspect ratio specification.", {}},
        {"", "aspect=1e39", "Incorrect aspect ratio specification.", {}},
        {"", "vcodec=mpeg4\nrc_override=0,10,-2147483648", "",
         [](const kv::TFFmpeg& t) {
             ASSERT_EQ(VideoEncoder(t).rc_override_count, 1);
             EXPECT_FLOAT_EQ(VideoEncoder(t).rc_override[0].quality_factor, 21474836.48f);
         }},
        {"", "vcodec=mpeg4\nbufsize=2147483647", "",
         [](const kv::TFFmpeg& t) { EXPECT_EQ(VideoEncoder(t).rc_initial_buffer_occupancy, 1610612735); }},
        // Input-side values.
        {"vdt=1000", "", "(option vdt)", {}},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.InputLines) + " | " + c.OutputLines);
        kv::TDIdezuDOR component;
        kv::TInputOptions input;
        input.ExtOptions = c.InputLines;
        kv::TOutputOptions output;
        output.ExtOptions = c.OutputLines;
        const int index = component.AddTask(Fixture("video_audio.avi"), &input);
        const bool taken =
            index >= 0 && component.SetOutputFile(index, out.Path + "/range" + std::to_string(n++) + ".avi", &output);
        if (*c.Refusal) {
            EXPECT_FALSE(taken);
            EXPECT_NE(component.LastError().find(c.Refusal), std::string::npos) << component.LastError();
        } else {
            ASSERT_TRUE(taken) << component.LastError();
            if (c.Check)
                c.Check(component.Tasks(index));
        }
    }
}

}  // namespace
