// Frame hooks on real conversions: the hook chain with its ranges and the before-hook, the custom hook on
// a bitmap, and the refusal to copy video the hooks would never see. Outputs are lossless (FFV1), so a
// picture is compared with the decoded input byte for byte.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "MediaFixtures.h"
#include "PictureTestSupport.h"
#include "TestSupport.h"

using namespace kvtest;

namespace {

constexpr int Width = 160, Height = 120;  // the fixtures' picture size

// The invert hook module's count of Process calls.
int InvertCalls()
{
    void* module = ::dlopen(KELVANE_INVERT_HOOK, RTLD_NOW | RTLD_NOLOAD);
    if (!module)
        return 0;  // not loaded yet: not called yet
    const int calls =
        __atomic_load_n(static_cast<int*>(::dlsym(module, "kelvane_invert_hook_calls")), __ATOMIC_RELAXED);
    ::dlclose(module);
    return calls;
}

enum class TState { Untouched, Inverted, Other };

TState StateOf(const std::vector<uint8_t>& Output, const std::vector<uint8_t>& Input)
{
    if (Output == Input)
        return TState::Untouched;
    for (size_t i = 0; i < Output.size(); ++i)
        if (Output[i] != 255 - Input[i])
            return TState::Other;
    return TState::Inverted;
}

// Which output pictures are inverted copies of the input's; every picture must be one or the other.
std::vector<bool> InvertedPictures(const std::string& Output, const std::string& Input)
{
    const std::vector<std::vector<uint8_t>> out = LumaPlanes(Output, Width, Height);
    const std::vector<std::vector<uint8_t>> in = LumaPlanes(Input, Width, Height);
    EXPECT_EQ(out.size(), in.size()) << Output;
    std::vector<bool> inverted;
    for (size_t i = 0; i < out.size() && i < in.size(); ++i) {
        const TState state = StateOf(out[i], in[i]);
        EXPECT_NE(state, TState::Other) << Output << ": picture " << i << " is neither the input nor its inverse";
        inverted.push_back(state == TState::Inverted);
    }
    return inverted;
}

std::vector<bool> Expected(size_t Count, const std::function<bool(int)>& Inverted)
{
    std::vector<bool> expected;
    for (size_t i = 0; i < Count; ++i)
        expected.push_back(Inverted(static_cast<int>(i)));
    return expected;
}

const std::vector<std::string> LosslessVideo = {"vcodec=ffv1"};

std::vector<std::string> WithInvertHook() { return {"vcodec=ffv1", std::string("vhook=") + KELVANE_INVERT_HOOK}; }

// Two tasks at once, each inverting its pictures inside 1-2 s and 3-4 s of a 5 s file (25 pictures a
// second, the first at 0).
TEST(HookTest, TheChainInvertsThePicturesInsideTheRangesOnly)
{
    TempFolder folder("hook-ranges");
    const std::string input = Fixture("long.avi");
    TPictureRun run;
    const std::string outputs[] = {folder.Path + "/first.mkv", folder.Path + "/second.mkv"};
    for (const std::string& output : outputs)
        ASSERT_TRUE(run.Queue(input, output, WithInvertHook(),
                              [](kv::TOutputOptions& o) { o.HookRanges = "3000-4000, 1000-2000"; }));
    const int calls = InvertCalls();
    ASSERT_TRUE(run.Run());
    for (const auto& end : run.Ends())
        EXPECT_TRUE(end.Finished) << end.Message;
    // Both ends of a range belong to it: pictures 25..50 and 75..100.
    for (const std::string& output : outputs)
        EXPECT_EQ(InvertedPictures(output, input),
                  Expected(125, [](int i) { return (i >= 25 && i <= 50) || (i >= 75 && i <= 100); }))
            << output;
    EXPECT_EQ(InvertCalls() - calls, 2 * 52) << "the chain runs for the pictures inside the ranges only";
}

struct TBeforeHookCase {
    const char* Name;
    // What the handler does with the picture at Pts (µs); it may raise.
    std::function<void(int64_t Pts, kv::THookAction& Action)> Handler;
    std::function<bool(int)> Inverted;  // by picture number, 25 a second from 0
    int Calls;                          // times the handler is asked
    std::vector<std::string> Errors;    // lines logged that start with "Error occurs"
};

TEST(HookTest, TheBeforeHookDecidesPerPicture)
{
    const std::string input = Fixture("video_only.mp4");  // 2 s, 50 pictures
    const TBeforeHookCase cases[] = {
        {"ignore 0.4 s to 0.8 s",
         [](int64_t Pts, kv::THookAction& Action) {
             Action = Pts >= 400000 && Pts < 800000 ? kv::haIgnore : kv::haContinue;
         },
         [](int i) { return i < 10 || i >= 20; },
         50,
         {}},
        {"stop at 1.2 s",
         [](int64_t Pts, kv::THookAction& Action) {
             if (Pts >= 1200000)
                 Action = kv::haStop;
         },
         [](int i) { return i < 30; },
         31,
         {}},
        {"raise at 0.4 s",
         [](int64_t Pts, kv::THookAction&) {
             if (Pts >= 400000)
                 throw std::runtime_error("no decision");
         },
         [](int i) { return i < 10; },
         11,
         {"Error occurs OnBeforeHook: no decision"}},
    };
    for (const TBeforeHookCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TempFolder folder("before-hook");
        const std::string output = folder.Path + "/out.mkv";
        TPictureRun run;
        std::atomic<int> calls{0};
        std::vector<kv::THookAction> seen;  // the action each call finds (worker only until the end)
        run.Component().OnBeforeHook = [&](int, int64_t Pts, kv::THookAction& Action) {
            ++calls;
            seen.push_back(Action);
            c.Handler(Pts, Action);
        };
        ASSERT_TRUE(run.Queue(input, output, WithInvertHook(), [](kv::TOutputOptions& o) { o.BeforeHook = true; }));
        ASSERT_TRUE(run.Run());
        ASSERT_EQ(run.Ends().size(), 1u);
        EXPECT_TRUE(run.Ends()[0].Finished) << run.Ends()[0].Message;
        EXPECT_EQ(InvertedPictures(output, input), Expected(50, c.Inverted));
        EXPECT_EQ(calls, c.Calls);
        EXPECT_EQ(run.LogLines("Error occurs"), c.Errors);
        // The action is not reset between pictures: each call finds what the previous one left.
        if (seen.size() > 11) {
            EXPECT_EQ(seen[11], std::string(c.Name).rfind("ignore", 0) == 0 ? kv::haIgnore : kv::haContinue);
        }
    }
}

// The mean luma of a square of the picture.
double MeanLuma(const std::vector<uint8_t>& Plane, int Left, int Top, int Size)
{
    double sum = 0;
    for (int y = Top; y < Top + Size; ++y)
        for (int x = Left; x < Left + Size; ++x)
            sum += Plane[static_cast<size_t>(y * Width + x)];
    return sum / (Size * Size);
}

struct TCustomHookCase {
    const char* Name;
    bool Update;                     // what the handler leaves in AUpdate
    int StopAfter;                   // the call that sets AStopHook (0: none)
    bool Raise;                      // the handler raises after drawing
    std::function<bool(int)> Drawn;  // by picture number
    int Calls;
};

TEST(HookTest, TheCustomHookDrawsIntoTheBitmapOfEachPicture)
{
    const std::string input = Fixture("video_only.mp4");
    const TCustomHookCase cases[] = {
        {"update", true, 0, false, [](int) { return true; }, 50},
        {"no update", false, 0, false, [](int) { return false; }, 50},
        {"stop after 5", true, 5, false, [](int i) { return i < 5; }, 5},
        {"raise", true, 0, true, [](int) { return false; }, 50},
    };
    for (const TCustomHookCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TempFolder folder("custom-hook");
        const std::string output = folder.Path + "/out.mkv";
        TPictureRun run;
        int calls = 0;  // worker only until the end
        std::vector<int> frameNumbers;
        bool sizeRight = true;
        run.Component().OnCustomHook = [&](int, kv::TBitmap& Bitmap, int FrameNumber, int64_t, bool& Update,
                                           bool& StopHook) {
            ++calls;
            frameNumbers.push_back(FrameNumber);
            sizeRight = sizeRight && Bitmap.Width == Width && Bitmap.Height == Height;
            // A white square of 40 pixels at (20, 20).
            for (int y = 20; y < 60; ++y)
                std::fill_n(Bitmap.ScanLine(y) + 20 * 3, 40 * 3, uint8_t{255});
            Update = c.Update;
            if (calls == c.StopAfter)
                StopHook = true;
            if (c.Raise)
                throw std::runtime_error("cannot draw");
        };
        ASSERT_TRUE(run.Queue(input, output, LosslessVideo, [](kv::TOutputOptions& o) { o.CustomHook = true; }));
        ASSERT_TRUE(run.Run());
        ASSERT_EQ(run.Ends().size(), 1u);
        EXPECT_TRUE(run.Ends()[0].Finished) << run.Ends()[0].Message;
        EXPECT_EQ(calls, c.Calls);
        EXPECT_TRUE(sizeRight) << "the bitmap has the decoded picture's size";
        for (size_t i = 0; i < frameNumbers.size(); ++i)
            ASSERT_EQ(frameNumbers[i], static_cast<int>(i) + 1) << "frame numbers count the decoded pictures";
        EXPECT_EQ(run.LogLines("Error occurs").size(), c.Raise ? 50u : 0u);
        if (c.Raise) {
            EXPECT_EQ(run.LogLines("Error occurs")[0], "Error occurs OnCustomHook: cannot draw");
        }

        const std::vector<std::vector<uint8_t>> out = LumaPlanes(output, Width, Height);
        const std::vector<std::vector<uint8_t>> in = LumaPlanes(input, Width, Height);
        ASSERT_EQ(out.size(), 50u);
        ASSERT_EQ(in.size(), 50u);
        for (int i = 0; i < 50; ++i) {
            const std::vector<uint8_t>& o = out[static_cast<size_t>(i)];
            const std::vector<uint8_t>& n = in[static_cast<size_t>(i)];
            if (c.Drawn(i)) {
                EXPECT_GE(MeanLuma(o, 25, 25, 30), 230.0) << "picture " << i << ": the square is white";
                EXPECT_NEAR(MeanLuma(o, 100, 60, 40), MeanLuma(n, 100, 60, 40), 3.0)
                    << "picture " << i << ": away from the square the picture is the input's";
            } else {
                EXPECT_EQ(o, n) << "picture " << i << " is the input's, untouched";
            }
        }
    }
}

// Deinterlacing rebuilds the second field's lines from their neighbours: a picture whose lines alternate
// between two levels comes out flat. Formats it cannot work on pass as they are, with a message.
TEST(HookTest, DeinterlacingSmoothsTheSecondFieldIntoTheFirst)
{
    TempFolder folder("deinterlace");
    struct TCase {
        const char* PixelFormat;
        bool Smoothed;
    };
    for (const TCase& c : {TCase{"yuv420p", true}, TCase{"bgr0", false}}) {
        SCOPED_TRACE(c.PixelFormat);
        const std::string input = folder.Path + "/lines-" + c.PixelFormat + ".mkv";
        std::string output;
        ASSERT_EQ(RunCommand("ffmpeg -nostdin -v error -y -f lavfi -i nullsrc=s=64x48:r=25:d=0.2 -vf "
                             "\"geq=lum='if(mod(Y,2),200,50)':cb=128:cr=128\" -pix_fmt " +
                                 std::string(c.PixelFormat) + " -c:v ffv1 '" + input + "'",
                             output),
                  0)
            << output;
        const std::string converted = folder.Path + "/out-" + c.PixelFormat + ".mkv";
        TPictureRun run;
        ASSERT_TRUE(run.Queue(input, converted, {"vcodec=ffv1", "deinterlace"}));
        ASSERT_TRUE(run.Run());
        EXPECT_TRUE(run.Ends()[0].Finished) << run.Ends()[0].Message;
        const std::vector<std::vector<uint8_t>> pictures = LumaPlanes(converted, 64, 48);
        ASSERT_EQ(pictures.size(), 5u);
        for (const std::vector<uint8_t>& luma : pictures) {
            const int even = luma[10 * 64 + 20], odd = luma[11 * 64 + 20];
            if (c.Smoothed)
                EXPECT_NEAR(odd, even, 1);
            else
                EXPECT_GT(odd - even, 100);
        }
        EXPECT_EQ(run.LogLines("Deinterlacing failed.").size(), c.Smoothed ? 0u : 5u);
    }
}

// The preview flags and hooks need decoded pictures; copying video refuses them by name.
TEST(HookTest, CopiedVideoRefusesHooksAndPreviews)
{
    const std::string input = Fixture("video_only.mp4");
    struct TCase {
        const char* Name;
        std::function<void(TPictureRun&, kv::TOutputOptions&)> Configure;
        std::vector<std::string> Lines;
        std::string Message;
    };
    const TCase cases[] = {
        {"nothing", {}, {"vcodec=copy"}, ""},
        {"hook chain",
         {},
         {"vcodec=copy", std::string("vhook=") + KELVANE_INVERT_HOOK},
         "-vcodec copy and -vhook are incompatible (frames are not decoded)"},
        {"custom hook",
         [](TPictureRun& r, kv::TOutputOptions& o) {
             o.CustomHook = true;
             r.Component().OnCustomHook = [](int, kv::TBitmap&, int, int64_t, bool&, bool&) {};
         },
         {"vcodec=copy"},
         "-vcodec copy and CustomHook are incompatible (frames are not decoded)"},
        {"preview",
         [](TPictureRun& r, kv::TOutputOptions&) { r.Component().SetPreview(true); },
         {"vcodec=copy"},
         "-vcodec copy and PostHooks are incompatible (frames are not decoded)"},
        {"preview bitmap",
         [](TPictureRun& r, kv::TOutputOptions&) { r.Component().SetPreviewBitmap(true); },
         {"vcodec=copy"},
         "-vcodec copy and PostHooks are incompatible (frames are not decoded)"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TempFolder folder("copy-hooks");
        TPictureRun run;
        ASSERT_TRUE(run.Queue(input, folder.Path + "/out.mp4", c.Lines, [&](kv::TOutputOptions& o) {
            if (c.Configure)
                c.Configure(run, o);
        }));
        ASSERT_TRUE(run.Run());
        ASSERT_EQ(run.Ends().size(), 1u);
        EXPECT_EQ(run.Ends()[0].Failed, !c.Message.empty());
        EXPECT_EQ(run.Ends()[0].Message, c.Message);
    }
}

}  // namespace
