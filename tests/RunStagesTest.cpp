// Stages of the conversion run taken one by one: the frame-rate decision, the video output (crop, scale,
// pad and the frame handed to the encoder, seen through a raw-video encoder behind the null muxer), the
// progress line, the summary and the video statistics file.
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cmath>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "engine/FFmpegException.h"
#include "engine/run/FrameRateSync.h"
#include "engine/run/RunContext.h"
#include "media/LibraryBindings.h"

using namespace kvtest;
using namespace kv::run;
namespace lav = kv::lav;

namespace {

// ---------------------------------------------------------------- frame-rate decision

TEST(FrameRateSyncTest, DecisionTable)
{
    struct TCase {
        const char* Name;
        int Method;
        double SyncTime;  // s
        double TimeBase;  // s per tick
        int64_t Position;
        bool VariableFps;
        int Frames;
        int64_t NewPosition;
    };
    const double tb = 1.0 / 32;  // exact in binary, so halves stay halves
    const TCase cases[] = {
        {"passthrough stamps with the picture's own time", 0, 10 * tb, tb, 3, false, 1, 10},
        {"passthrough rounds half to even (down)", 0, 2.5 * tb, tb, 0, false, 1, 2},
        {"passthrough rounds half to even (up)", 0, 3.5 * tb, tb, 0, false, 1, 4},
        {"automatic with a fine time base passes through", -1, 0.0131, 0.001, 0, false, 1, 13},
        {"constant rate, on time", 1, 5 * tb, tb, 5, false, 1, 5},
        {"constant rate, slightly late", 1, 6.05 * tb, tb, 5, false, 1, 5},
        {"constant rate, two ticks late", 1, 7 * tb, tb, 5, false, 2, 5},
        {"constant rate, duplicates round half to even", 1, 7.5 * tb, tb, 5, false, 2, 5},
        {"constant rate, duplicates round half to even (up)", 1, 8.5 * tb, tb, 5, false, 4, 5},
        {"constant rate, one tick early is kept", 1, 4 * tb, tb, 5, false, 1, 5},
        {"constant rate, early beyond 1.1 drops", 1, 3.8 * tb, tb, 5, false, 0, 5},
        {"constant rate with a fine time base still converts", 1, 0.004, 0.001, 1, false, 3, 1},
        {"variable rate drops a picture 0.7 early", 2, 4.3 * tb, tb, 5, false, 0, 5},
        {"variable rate keeps a picture 0.5 early", 2, 4.5 * tb, tb, 5, false, 1, 5},
        {"variable rate re-bases a picture 0.8 late", 2, 5.8 * tb, tb, 5, false, 1, 6},
        {"variable rate never duplicates", 2, 9 * tb, tb, 5, false, 1, 9},
        {"automatic follows a variable-rate format", -1, 9 * tb, tb, 5, true, 1, 9},
        {"automatic is constant rate elsewhere", -1, 9 * tb, tb, 5, false, 4, 5},
        {"a wild timestamp cannot overflow the count", 1, 1e300, tb, 0, false, INT_MAX, 0},
    };
    for (const TCase& c : cases) {
        const TFrameSync sync = DecideFrameSync(c.Method, c.SyncTime, c.TimeBase, c.Position, c.VariableFps);
        EXPECT_EQ(sync.Frames, c.Frames) << c.Name;
        EXPECT_EQ(sync.Position, c.NewPosition) << c.Name;
    }
}

// 25 pictures a second into a 30 ticks a second output: once the lag settles, every fifth picture is
// written twice.
TEST(FrameRateSyncTest, TwentyFiveIntoThirtyDuplicatesEveryFifthPicture)
{
    int64_t position = 0;
    std::vector<int> doubled;
    for (int k = 0; k < 60; ++k) {
        const TFrameSync sync = DecideFrameSync(1, k / 25.0, 1.0 / 30, position, false);
        ASSERT_GE(sync.Frames, 1) << k;
        ASSERT_LE(sync.Frames, 2) << k;
        if (sync.Frames == 2)
            doubled.push_back(k);
        position = sync.Position + sync.Frames;
    }
    ASSERT_GE(doubled.size(), 9u);
    for (size_t i = 1; i < doubled.size(); ++i)
        EXPECT_EQ(doubled[i] - doubled[i - 1], 5);
    EXPECT_NEAR(static_cast<double>(position), 60 * 30 / 25.0, 2.0);
}

// ---------------------------------------------------------------- video output

// One video output: a raw-video encoder behind the null muxer. What the encoder is handed is seen
// through the preview seam, which keeps a reference of every frame.
class VideoOutTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        LoadSystemLibraries();
        run = std::make_unique<TRunContext>(options, files, stats);
        run->Verbose = 3;
        run->Callbacks.Log = [this](int Level, const std::string& Text) { logs.emplace_back(Level, Text); };
        run->Callbacks.Preview = [this](const AVFrame& Frame, const AVCodecContext&) {
            kv::FramePtr held(lav::av_frame_alloc());
            ASSERT_GE(lav::av_frame_ref(held.get(), &Frame), 0);
            seen.push_back(std::move(held));
        };
        options.VideoSyncMethod = 1;
    }

    // The decoder says Width × Height in Format; the encoder gets the output's size and format. The
    // output is prepared before the encoder opens, as the set-up does it.
    void Open(int DecWidth, int DecHeight, AVPixelFormat DecFormat, int EncWidth, int EncHeight,
              AVPixelFormat EncFormat)
    {
        decoder.reset(lav::avcodec_alloc_context3(nullptr));
        decoder->codec_type = AVMEDIA_TYPE_VIDEO;
        decoder->width = DecWidth;
        decoder->height = DecHeight;
        decoder->pix_fmt = DecFormat;
        input.Decoder = decoder.get();

        const AVCodec* codec = lav::avcodec_find_encoder_by_name("rawvideo");
        ASSERT_NE(codec, nullptr);
        encoder.reset(lav::avcodec_alloc_context3(codec));
        encoder->width = EncWidth;
        encoder->height = EncHeight;
        encoder->pix_fmt = EncFormat;
        encoder->time_base = AVRational{1, 25};
        encoder->sample_aspect_ratio = AVRational{4, 3};

        muxer.reset(lav::avformat_alloc_context());
        muxer->oformat = lav::av_guess_format("null", nullptr, nullptr);
        ASSERT_NE(muxer->oformat, nullptr);
        AVStream* stream = lav::avformat_new_stream(muxer.get(), nullptr);
        ASSERT_NE(stream, nullptr);
        stream->time_base = encoder->time_base;

        output.File = muxer.get();
        output.Stream = stream;
        output.Encoder = encoder.get();
        output.EncodingNeeded = true;
        output.SyncInput = &input;
        PrepareVideoOutput(*run, output, input);

        ASSERT_EQ(lav::avcodec_open2(encoder.get(), codec, nullptr), 0);
        ASSERT_GE(lav::avcodec_parameters_from_context(stream->codecpar, encoder.get()), 0);
        ASSERT_GE(lav::avformat_write_header(muxer.get(), nullptr), 0);
    }
    void Open(int Width, int Height, AVPixelFormat Format) { Open(Width, Height, Format, Width, Height, Format); }

    // A decoded picture with every byte zero.
    static kv::FramePtr Picture(int Width, int Height, AVPixelFormat Format)
    {
        kv::FramePtr picture(lav::av_frame_alloc());
        picture->width = Width;
        picture->height = Height;
        picture->format = Format;
        EXPECT_GE(lav::av_frame_get_buffer(picture.get(), 0), 0);
        for (AVBufferRef* buffer : picture->buf)
            if (buffer)
                std::memset(buffer->data, 0, buffer->size);
        return picture;
    }
    // A 4:2:0 picture whose every sample tells where it is: Y = 10·y + x, U = 100 + that, V = 150 + that.
    static kv::FramePtr Patterned(int Width, int Height)
    {
        kv::FramePtr picture = Picture(Width, Height, AV_PIX_FMT_YUV420P);
        for (int y = 0; y < Height; ++y)
            for (int x = 0; x < Width; ++x)
                picture->data[0][y * picture->linesize[0] + x] = static_cast<uint8_t>(10 * y + x);
        for (int y = 0; y < Height / 2; ++y)
            for (int x = 0; x < Width / 2; ++x) {
                picture->data[1][y * picture->linesize[1] + x] = static_cast<uint8_t>(100 + 10 * y + x);
                picture->data[2][y * picture->linesize[2] + x] = static_cast<uint8_t>(150 + 10 * y + x);
            }
        return picture;
    }
    static kv::FramePtr Flat(int Width, int Height, uint8_t Y, uint8_t U, uint8_t V)
    {
        kv::FramePtr picture = Picture(Width, Height, AV_PIX_FMT_YUV420P);
        const uint8_t values[3] = {Y, U, V};
        for (int p = 0; p < 3; ++p)
            for (int y = 0; y < (p ? Height / 2 : Height); ++y)
                std::memset(picture->data[p] + y * picture->linesize[p], values[p],
                            static_cast<size_t>(p ? Width / 2 : Width));
        return picture;
    }
    static int At(const AVFrame& Frame, int Plane, int X, int Y)
    {
        return Frame.data[Plane][Y * Frame.linesize[Plane] + X];
    }

    // The picture at Seconds of the sync input.
    int Out(const AVFrame& Picture, double Seconds)
    {
        input.Pts = std::llround(Seconds * 1000000);
        return VideoOut(*run, output, input, Picture);
    }
    bool Logged(int Level, const std::string& Text) const
    {
        for (const auto& [level, text] : logs)
            if (level == Level && text == Text)
                return true;
        return false;
    }

    kv::TTaskOptions options;
    kv::TPreparedFiles files;
    kv::TRunStatistics stats;
    std::unique_ptr<TRunContext> run;
    kv::CodecContextPtr decoder, encoder;
    kv::FormatContextPtr muxer;
    TInputStream input;
    TOutputStream output;
    std::vector<kv::FramePtr> seen;
    std::vector<std::pair<int, std::string>> logs;
};

TEST_F(VideoOutTest, PreparationFollowsTheCropPadAndSizeSettings)
{
    struct TCase {
        const char* Name;
        int Top, Bottom, Left, Right;  // crop bands
        int PadTop, PadBottom, PadLeft, PadRight;
        int EncWidth, EncHeight;
        AVPixelFormat EncFormat;
        bool Crop, Pad, Resample, Picture, Scaler;
        int ResampleHeight;
    };
    const TCase cases[] = {
        {"unchanged", 0, 0, 0, 0, 0, 0, 0, 0, 16, 16, AV_PIX_FMT_YUV420P, false, false, false, false, false, 0},
        {"cropped to size", 2, 2, 4, 0, 0, 0, 0, 0, 12, 12, AV_PIX_FMT_YUV420P, true, false, false, false, false, 0},
        {"padded to size", 0, 0, 0, 0, 2, 2, 4, 4, 24, 20, AV_PIX_FMT_YUV420P, false, true, false, true, false, 0},
        {"scaled", 0, 0, 0, 0, 0, 0, 0, 0, 8, 8, AV_PIX_FMT_YUV420P, false, false, true, true, true, 16},
        {"cropped and scaled", 2, 2, 0, 0, 0, 0, 0, 0, 8, 8, AV_PIX_FMT_YUV420P, true, false, true, true, true, 12},
        {"another format", 0, 0, 0, 0, 0, 0, 0, 0, 16, 16, AV_PIX_FMT_RGB24, false, false, true, true, true, 16},
        {"cropped, padded back", 2, 2, 2, 2, 2, 2, 2, 2, 16, 16, AV_PIX_FMT_YUV420P, true, true, false, true, false, 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        options.FrameTopBand = c.Top, options.FrameBottomBand = c.Bottom;
        options.FrameLeftBand = c.Left, options.FrameRightBand = c.Right;
        options.FramePadTop = c.PadTop, options.FramePadBottom = c.PadBottom;
        options.FramePadLeft = c.PadLeft, options.FramePadRight = c.PadRight;
        output = TOutputStream{};
        Open(16, 16, AV_PIX_FMT_YUV420P, c.EncWidth, c.EncHeight, c.EncFormat);
        EXPECT_EQ(output.Crop, c.Crop);
        EXPECT_EQ(output.Pad, c.Pad);
        EXPECT_EQ(output.Resample, c.Resample);
        EXPECT_EQ(output.CropTop, c.Crop ? c.Top : 0);
        EXPECT_EQ(output.CropLeft, c.Crop ? c.Left : 0);
        EXPECT_EQ(output.PadRight, c.Pad ? c.PadRight : 0);
        ASSERT_EQ(output.Picture != nullptr, c.Picture);
        if (c.Picture) {
            EXPECT_EQ(output.Picture->width, c.EncWidth);
            EXPECT_EQ(output.Picture->height, c.EncHeight);
            EXPECT_EQ(output.Picture->format, c.EncFormat);
        }
        EXPECT_EQ(output.Scaler != nullptr, c.Scaler);
        EXPECT_EQ(output.ResampleHeight, c.ResampleHeight);
    }
}

TEST_F(VideoOutTest, AnUnchangedPictureIsHandedOverWithoutACopy)
{
    Open(8, 8, AV_PIX_FMT_YUV420P);
    kv::FramePtr picture = Patterned(8, 8);
    EXPECT_GT(Out(*picture, 0.0), 0);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0]->data[0], picture->data[0]);
    EXPECT_EQ(seen[0]->width, 8);
    EXPECT_EQ(output.FrameNumber, 1);
    EXPECT_EQ(output.SyncPosition, 1);
}

TEST_F(VideoOutTest, ACropMovesThePlanePointersOfTheDecodedPicture)
{
    options.FrameTopBand = 2;
    options.FrameLeftBand = 4;
    options.FrameBottomBand = 2;
    Open(10, 8, AV_PIX_FMT_YUV420P, 6, 4, AV_PIX_FMT_YUV420P);
    kv::FramePtr picture = Patterned(10, 8);
    EXPECT_GT(Out(*picture, 0.0), 0);
    ASSERT_EQ(seen.size(), 1u);
    const AVFrame& frame = *seen[0];
    EXPECT_EQ(frame.width, 6);
    EXPECT_EQ(frame.height, 4);
    EXPECT_EQ(frame.data[0], picture->data[0] + 2 * picture->linesize[0] + 4);
    EXPECT_EQ(At(frame, 0, 0, 0), 10 * 2 + 4);
    EXPECT_EQ(At(frame, 0, 5, 3), 10 * 5 + 9);
    EXPECT_EQ(At(frame, 1, 0, 0), 100 + 10 * 1 + 2);
    EXPECT_EQ(At(frame, 2, 2, 1), 150 + 10 * 2 + 4);
}

TEST_F(VideoOutTest, PaddingSurroundsTheUnscaledPictureWithThePadColour)
{
    options.FramePadTop = 2;
    options.FramePadBottom = 2;
    options.FramePadLeft = 2;
    options.FramePadRight = 4;
    options.PaddingColor = {30, 60, 90};
    Open(4, 4, AV_PIX_FMT_YUV420P, 10, 8, AV_PIX_FMT_YUV420P);
    kv::FramePtr picture = Patterned(4, 4);
    EXPECT_GT(Out(*picture, 0.0), 0);
    ASSERT_EQ(seen.size(), 1u);
    const AVFrame& frame = *seen[0];
    ASSERT_EQ(frame.width, 10);
    ASSERT_EQ(frame.height, 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 10; ++x) {
            const bool inner = x >= 2 && x < 6 && y >= 2 && y < 6;
            EXPECT_EQ(At(frame, 0, x, y), inner ? 10 * (y - 2) + (x - 2) : 30) << x << "," << y;
        }
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) {
            const bool inner = x >= 1 && x < 3 && y >= 1 && y < 3;
            EXPECT_EQ(At(frame, 1, x, y), inner ? 100 + 10 * (y - 1) + (x - 1) : 60) << x << "," << y;
            EXPECT_EQ(At(frame, 2, x, y), inner ? 150 + 10 * (y - 1) + (x - 1) : 90) << x << "," << y;
        }
}

// The pad colour is given as Y, U, V; each format gets it in its own layout.
TEST_F(VideoOutTest, ThePadColourIsWrittenInTheEncodersFormat)
{
    struct TCase {
        AVPixelFormat Format;
        std::array<int, 3> Colour;
        std::vector<uint8_t> Plane0, Plane1;  // the bytes at the top left corner
    };
    const TCase cases[] = {
        {AV_PIX_FMT_YUV420P, {30, 60, 90}, {30}, {60}},
        {AV_PIX_FMT_NV12, {30, 60, 90}, {30}, {60, 90}},
        {AV_PIX_FMT_YUV420P10LE, {30, 60, 90}, {120, 0}, {240, 0}},
        {AV_PIX_FMT_YUYV422, {30, 60, 90}, {30, 60, 30, 90}, {}},
        {AV_PIX_FMT_RGB24, {81, 90, 240}, {254, 0, 0}, {}},  // studio-range red
        {AV_PIX_FMT_BGR24, {81, 90, 240}, {0, 0, 254}, {}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(lav::av_get_pix_fmt_name(c.Format));
        options.FramePadTop = options.FramePadBottom = options.FramePadLeft = options.FramePadRight = 2;
        options.PaddingColor = c.Colour;
        output = TOutputStream{};
        seen.clear();
        Open(4, 4, c.Format, 8, 8, c.Format);
        kv::FramePtr picture = Picture(4, 4, c.Format);
        EXPECT_GT(Out(*picture, 0.0), 0);
        ASSERT_EQ(seen.size(), 1u);
        const AVFrame& frame = *seen[0];
        EXPECT_EQ(std::vector<uint8_t>(frame.data[0], frame.data[0] + c.Plane0.size()), c.Plane0);
        EXPECT_EQ(std::vector<uint8_t>(frame.data[1], frame.data[1] + c.Plane1.size()), c.Plane1);
        // The inner area holds the (zero) picture.
        const int unit = static_cast<int>(c.Plane0.size());
        const int inner = c.Format == AV_PIX_FMT_YUYV422 ? 1 : 2;  // units of plane 0 to the first inner pixel
        EXPECT_EQ(frame.data[0][2 * frame.linesize[0] + inner * unit], 0);
    }
}

TEST_F(VideoOutTest, ScalingFillsTheInnerAreaOfThePaddedPicture)
{
    options.FramePadTop = options.FramePadBottom = options.FramePadLeft = options.FramePadRight = 2;
    Open(16, 16, AV_PIX_FMT_YUV420P, 8, 8, AV_PIX_FMT_YUV420P);
    ASSERT_TRUE(output.Resample);
    kv::FramePtr picture = Flat(16, 16, 200, 100, 50);
    EXPECT_GT(Out(*picture, 0.0), 0);
    ASSERT_EQ(seen.size(), 1u);
    const AVFrame& frame = *seen[0];
    EXPECT_EQ(frame.width, 8);
    EXPECT_EQ(frame.height, 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const bool inner = x >= 2 && x < 6 && y >= 2 && y < 6;
            EXPECT_NEAR(At(frame, 0, x, y), inner ? 200 : 16, 1) << x << "," << y;
        }
    EXPECT_NEAR(At(frame, 1, 1, 1), 100, 1);
    EXPECT_EQ(At(frame, 1, 0, 0), 128);
}

TEST_F(VideoOutTest, APictureStillHeldByTheEncoderIsNotOverwritten)
{
    options.FramePadTop = options.FramePadBottom = options.FramePadLeft = options.FramePadRight = 2;
    Open(4, 4, AV_PIX_FMT_YUV420P, 8, 8, AV_PIX_FMT_YUV420P);
    kv::FramePtr first = Flat(4, 4, 50, 128, 128);
    kv::FramePtr second = Flat(4, 4, 150, 128, 128);
    EXPECT_GT(Out(*first, 0.0), 0);
    EXPECT_GT(Out(*second, 0.04), 0);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(At(*seen[0], 0, 3, 3), 50);
    EXPECT_EQ(At(*seen[1], 0, 3, 3), 150);
}

TEST_F(VideoOutTest, APictureOfAnotherSizeIsScaledToTheOutput)
{
    Open(8, 8, AV_PIX_FMT_YUV420P);
    ASSERT_FALSE(output.Resample);
    kv::FramePtr larger = Flat(16, 12, 80, 128, 128);
    EXPECT_GT(Out(*larger, 0.0), 0);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0]->width, 8);
    EXPECT_EQ(seen[0]->height, 8);
    EXPECT_NEAR(At(*seen[0], 0, 7, 7), 80, 1);
}

TEST_F(VideoOutTest, TheEncoderFrameCarriesTheOutputsTimeAndSettings)
{
    options.TopFieldFirst = 0;
    output.FixedQuality = 295.5f;
    Open(8, 8, AV_PIX_FMT_YUV420P);
    kv::FramePtr picture = Patterned(8, 8);
    picture->pict_type = AV_PICTURE_TYPE_I;
    picture->interlaced_frame = 1;
    picture->top_field_first = 1;
    picture->quality = 7;
    picture->sample_aspect_ratio = AVRational{1, 1};
    output.SyncPosition = 6;
    Out(*picture, 0.24);  // on time at tick 6
    ASSERT_EQ(seen.size(), 1u);
    const AVFrame& frame = *seen[0];
    EXPECT_EQ(frame.pts, 6);
    EXPECT_EQ(frame.pict_type, AV_PICTURE_TYPE_NONE);
    EXPECT_EQ(frame.interlaced_frame, 1);
    EXPECT_EQ(frame.top_field_first, 0);
    EXPECT_EQ(frame.quality, 296);  // rounded half to even
    EXPECT_EQ(frame.sample_aspect_ratio.num, 4);
    EXPECT_EQ(frame.sample_aspect_ratio.den, 3);

    options.SameQuality = true;
    options.TopFieldFirst = -1;
    input.Quality = 3.4f;
    Out(*picture, 0.28);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1]->pts, 7);
    EXPECT_EQ(seen[1]->quality, 3);
    EXPECT_EQ(seen[1]->top_field_first, 1);
}

TEST_F(VideoOutTest, DuplicatesDropsAndTheFrameLimit)
{
    Open(8, 8, AV_PIX_FMT_YUV420P);
    kv::FramePtr picture = Patterned(8, 8);
    EXPECT_GT(Out(*picture, 0.0), 0);
    EXPECT_GT(Out(*picture, 0.12), 0);  // three ticks in, two behind: written twice
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0]->pts, 0);
    EXPECT_EQ(seen[1]->pts, 1);
    EXPECT_EQ(seen[2]->pts, 2);
    EXPECT_EQ(stats.NbFramesDup, 1);
    EXPECT_TRUE(Logged(1, "*** 1 dup!"));

    EXPECT_EQ(Out(*picture, 0.0), 0);  // three ticks early: dropped
    EXPECT_EQ(seen.size(), 3u);
    EXPECT_EQ(stats.NbFramesDrop, 1);
    EXPECT_TRUE(Logged(1, "*** drop!"));

    options.MaxFrames[0] = 5;
    EXPECT_GT(Out(*picture, 0.4), 0);  // seven behind, but only two more may be written
    EXPECT_EQ(seen.size(), 5u);
    EXPECT_EQ(output.FrameNumber, 5);
    EXPECT_EQ(Out(*picture, 0.44), 0);
    EXPECT_EQ(seen.size(), 5u);
}

TEST_F(VideoOutTest, AStopEndsTheDuplicatesAndQuietRunsLogNothing)
{
    run->Verbose = 2;
    int checks = 0;
    run->Callbacks.CheckPause = [&checks] { return ++checks < 2; };
    Open(8, 8, AV_PIX_FMT_YUV420P);
    kv::FramePtr picture = Patterned(8, 8);
    Out(*picture, 0.0);
    Out(*picture, 0.2);  // five ticks in: four frames asked, the stop comes after the second
    EXPECT_EQ(seen.size(), 3u);
    EXPECT_EQ(stats.NbFramesDup, 3);
    EXPECT_TRUE(logs.empty());
}

TEST_F(VideoOutTest, AnOddCropOfSubsampledChromaIsRefused)
{
    for (const bool exitOnError : {false, true}) {
        SCOPED_TRACE(exitOnError);
        options.ExitOnError = exitOnError;
        options.FrameLeftBand = 1;
        options.FrameRightBand = 1;
        output = TOutputStream{};
        logs.clear();
        Open(8, 8, AV_PIX_FMT_YUV420P, 6, 8, AV_PIX_FMT_YUV420P);
        kv::FramePtr picture = Patterned(8, 8);
        if (exitOnError) {
            try {
                Out(*picture, 0.0);
                ADD_FAILURE() << "no exception";
            } catch (const kv::FFmpegException& e) {
                EXPECT_STREQ(e.what(), "error cropping picture");
            }
        } else {
            EXPECT_EQ(Out(*picture, 0.0), 0);
            EXPECT_TRUE(Logged(0, "error cropping picture"));
        }
        EXPECT_TRUE(seen.empty());
        EXPECT_EQ(output.FrameNumber, 0);
    }
}

// ---------------------------------------------------------------- report, summary, statistics file

class ReportTextTest : public ::testing::Test {
protected:
    ReportTextTest() : run(options, files, stats) {}

    // A video output stream over Encoder; EncodingNeeded false: copied.
    TOutputStream& AddVideo(AVCodecContext& Encoder, bool Encoded, int Quality)
    {
        Encoder.codec_type = AVMEDIA_TYPE_VIDEO;
        TOutputStream& ost = run.OutputStreams.emplace_back();
        ost.Encoder = &Encoder;
        ost.EncodingNeeded = Encoded;
        ost.CodedQuality = Quality;
        return ost;
    }

    kv::TTaskOptions options;
    kv::TPreparedFiles files;
    kv::TRunStatistics stats;
    TRunContext run;
    AVCodecContext first{}, second{}, audio{};
};

TEST_F(ReportTextTest, LineTable)
{
    audio.codec_type = AVMEDIA_TYPE_AUDIO;
    run.OutputStreams.emplace_back().Encoder = &audio;
    AddVideo(first, true, 3 * FF_QP2LAMBDA);
    AddVideo(second, false, 0);
    stats.NbFramesDup = 4;
    stats.NbFramesDrop = 2;
    TProgressFigures figures;
    figures.FrameNumber = 120;
    figures.FPS = 24;
    figures.Quality = 3.0f;
    figures.CurrentSize = 2048 * 1024;
    figures.BitRate = 3355.4f;

    struct TCase {
        const char* Name;
        bool Final, WithFigures;
        int Verbose;
        const char* Line;
    };
    const TCase cases[] = {
        {"in the run", false, true, 1,
         "frame=  120 fps= 24 q=3.0 q=-1.0 size=    2048kB time=5.00 bitrate=3355.4kbits/s"},
        {"final", true, true, 1, "frame=  120 fps= 24 q=3.0 Lq=-1.0 size=    2048kB time=5.00 bitrate=3355.4kbits/s"},
        {"verbose", false, true, 2,
         "frame=  120 fps= 24 q=3.0 q=-1.0 size=    2048kB time=5.00 bitrate=3355.4kbits/s dup=4 drop=2"},
        {"without figures", false, false, 2, "frame=  120 fps= 24 q=3.0 q=-1.0 "},
    };
    for (const TCase& c : cases) {
        run.Verbose = c.Verbose;
        EXPECT_EQ(ReportLine(run, figures, 5.0, c.Final, c.WithFigures), c.Line) << c.Name;
    }
}

TEST_F(ReportTextTest, NoVideoLeavesOnlyTheFigures)
{
    audio.codec_type = AVMEDIA_TYPE_AUDIO;
    run.OutputStreams.emplace_back().Encoder = &audio;
    run.Verbose = 2;
    TProgressFigures figures;
    figures.CurrentSize = 512;
    figures.BitRate = 0.4f;
    EXPECT_EQ(ReportLine(run, figures, 10.0, false, true),
              "size=       0kB time=10.00 bitrate=   0.4kbits/s dup=0 drop=0");
}

TEST_F(ReportTextTest, QuantiserHistogramCountsEachReport)
{
    options.QpHist = true;
    TOutputStream& ost = AddVideo(first, true, 3 * FF_QP2LAMBDA);
    TProgressFigures figures;
    figures.FrameNumber = 1;
    figures.FPS = 0;
    figures.Quality = 3.0f;
    ReportLine(run, figures, 1.0, false, false);
    ost.CodedQuality = 31 * FF_QP2LAMBDA;
    ReportLine(run, figures, 1.0, false, false);
    ReportLine(run, figures, 1.0, false, false);
    ReportLine(run, figures, 1.0, false, false);
    ost.CodedQuality = 60 * FF_QP2LAMBDA;  // beyond the histogram: not counted
    const std::string line = ReportLine(run, figures, 1.0, false, false);
    // Counter 3 holds 1 (log2 2 = 1), counter 31 holds 3 (log2 4 = 2).
    EXPECT_EQ(line, "frame=    1 fps=  0 q=3.0 00010000000000000000000000000002");
    EXPECT_EQ(run.QuantiserHistogram[3], 1);
    EXPECT_EQ(run.QuantiserHistogram[31], 3);
}

TEST_F(ReportTextTest, PsnrOfTheLastFrameAndOfTheWholeStream)
{
    first.flags = AV_CODEC_FLAG_PSNR;
    first.width = 4;
    first.height = 4;
    TOutputStream& ost = AddVideo(first, true, FF_QP2LAMBDA);
    const double picture = 16 * 255.0 * 255.0;
    ost.CodedError[0] = std::llround(picture * 0.01);       // 20 dB
    ost.CodedError[1] = std::llround(picture / 4 * 0.001);  // 30 dB
    ost.CodedError[2] = std::llround(picture / 4 * 0.001);
    ost.FrameNumber = 10;
    first.error[0] = std::llround(picture * 10 * 0.0001);  // 40 dB over ten frames
    first.error[1] = std::llround(picture / 4 * 10 * 0.00001);
    first.error[2] = std::llround(picture / 4 * 10 * 0.00001);
    TProgressFigures figures;
    figures.FrameNumber = 10;
    figures.FPS = 0;
    figures.Quality = 1.0f;
    EXPECT_EQ(ReportLine(run, figures, 1.0, false, false),
              "frame=   10 fps=  0 q=1.0 PSNR=Y:20.00 U:30.00 V:30.00 *:21.55 ");
    EXPECT_EQ(ReportLine(run, figures, 1.0, true, false),
              "frame=   10 fps=  0 q=1.0 LPSNR=Y:40.00 U:50.00 V:50.00 *:41.55 ");
}

TEST_F(ReportTextTest, TheLineNeverExceedsItsLimit)
{
    std::vector<AVCodecContext> encoders(400);
    for (AVCodecContext& encoder : encoders)
        AddVideo(encoder, false, 0);
    TProgressFigures figures;
    figures.FrameNumber = 1;
    const std::string line = ReportLine(run, figures, 1.0, true, true);
    EXPECT_EQ(line.size(), 1023u);
    EXPECT_EQ(line.rfind("frame=", 0), 0u);
}

TEST_F(ReportTextTest, SummaryTable)
{
    struct TCase {
        int64_t Video, Audio, Extra, Current;
        const char* Line;
    };
    const TCase cases[] = {
        {102400, 51200, 6400, 161600, "video:100kB audio:50kB global headers:6kB muxing overhead 1.000000%\r\n"},
        {1000, 0, 0, 900, "video:1kB audio:0kB global headers:0kB muxing overhead -10.000000%\r\n"},
        {0, 0, 0, 4096, "video:0kB audio:0kB global headers:0kB muxing overhead unknown\r\n"},
    };
    for (const TCase& c : cases) {
        stats.VideoSize = c.Video;
        stats.AudioSize = c.Audio;
        stats.ExtraSize = c.Extra;
        EXPECT_EQ(SummaryLine(run, c.Current), c.Line);
    }
}

TEST_F(ReportTextTest, VideoStatisticsFile)
{
    LoadSystemLibraries();
    TempFolder folder("vstats");
    options.VStatsFilename = folder.Path + "/vstats.log";
    first.time_base = AVRational{1, 25};
    TOutputStream& ost = AddVideo(first, true, 2 * FF_QP2LAMBDA);
    ost.FrameNumber = 3;
    ost.SyncPosition = 50;
    ost.CodedPictureType = AV_PICTURE_TYPE_P;
    stats.VideoSize = 51200;
    WriteVideoStats(run, ost, 1000);
    ost.SyncPosition = 0;  // the time is never taken below 10 ms
    ost.CodedPictureType = AV_PICTURE_TYPE_I;
    WriteVideoStats(run, ost, 0);
    run.VStatsFile.reset();
    std::ifstream file(options.VStatsFilename);
    std::stringstream text;
    text << file.rdbuf();
    EXPECT_EQ(text.str(), "frame=     3 q= 2.0 f_size=   1000 s_size=       50kB time= 2.000 br=   200.0kbits/s "
                          "avg_br=   204.8kbits/s type= P\n"
                          "frame=     3 q= 2.0 f_size=      0 s_size=       50kB time= 0.010 br=     0.0kbits/s "
                          "avg_br= 40960.0kbits/s type= I\n");

    run.VStatsFile.reset();
    options.VStatsFilename = folder.Path + "/missing/vstats.log";
    try {
        WriteVideoStats(run, ost, 1000);
        ADD_FAILURE() << "no exception";
    } catch (const kv::FFmpegException& e) {
        EXPECT_EQ(std::string(e.what()), "fopen fail: " + options.VStatsFilename);
    }
}

}  // namespace
