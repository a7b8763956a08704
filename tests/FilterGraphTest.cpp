// The video filter graph: how it is set up against the crop, pad and size settings, what its pictures
// look like, and real conversions with filters compared with the ffmpeg tool's output of the same -vf.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "ConversionSupport.h"
#include "MediaFixtures.h"
#include "TestSupport.h"
#include "engine/run/FilterGraph.h"
#include "engine/run/RunContext.h"
#include "media/LibraryBindings.h"

using namespace kvtest;
using namespace kv::run;
namespace lav = kv::lav;

namespace {

const char* const CropText = "Cannot enable crop options and filters at the same time.";
const char* const PadText =
    "Cannot enable pad options and the filters which resize frame at the same time. (crop, rotate, scale, "
    "transpose, etc.)";

// A Width × Height 4:2:0 picture whose luma tells where each sample is: Y = 16·y + x.
kv::FramePtr Patterned(int Width, int Height)
{
    kv::FramePtr picture(lav::av_frame_alloc());
    picture->width = Width;
    picture->height = Height;
    picture->format = AV_PIX_FMT_YUV420P;
    EXPECT_GE(lav::av_frame_get_buffer(picture.get(), 0), 0);
    for (int p = 0; p < 3; ++p)
        for (int y = 0; y < (p ? Height / 2 : Height); ++y)
            for (int x = 0; x < (p ? Width / 2 : Width); ++x)
                picture->data[p][y * picture->linesize[p] + x] = static_cast<uint8_t>(p ? 128 : 16 * y + x);
    return picture;
}

// A graph for 8x4 YUV 4:2:0 pictures (Patterned(8, 4)), running Filters.
TFilterGraphSettings SmallPictures(const std::string& Filters)
{
    TFilterGraphSettings settings;
    settings.Width = 8;
    settings.Height = 4;
    settings.PixelFormat = AV_PIX_FMT_YUV420P;
    settings.Filters = Filters;
    return settings;
}

int Luma(const AVFrame& Frame, int X, int Y) { return Frame.data[0][Y * Frame.linesize[0] + X]; }

// ---------------------------------------------------------------- set-up against the task's settings

class ConfigureFiltersTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        LoadSystemLibraries();
        run = std::make_unique<TRunContext>(options, files, stats);
    }

    // The input decodes Width × Height; the encoder was prepared for the frame size plus the pads, as
    // output preparation leaves it.
    int Configure(int Width, int Height, std::string& Error)
    {
        decoder.reset(lav::avcodec_alloc_context3(nullptr));
        decoder->codec_type = AVMEDIA_TYPE_VIDEO;
        decoder->width = Width;
        decoder->height = Height;
        decoder->pix_fmt = AV_PIX_FMT_YUV420P;
        encoder.reset(lav::avcodec_alloc_context3(nullptr));
        encoder->codec_type = AVMEDIA_TYPE_VIDEO;
        encoder->width = options.FrameWidth + options.FramePadLeft + options.FramePadRight;
        encoder->height = options.FrameHeight + options.FramePadTop + options.FramePadBottom;
        encoder->pix_fmt = AV_PIX_FMT_YUV420P;
        input = TInputStream{};
        input.Decoder = decoder.get();
        output = TOutputStream{};
        output.Encoder = encoder.get();
        output.SyncInput = &input;
        return ConfigureFilters(*run, output, input, Error);
    }

    kv::TTaskOptions options;
    kv::TPreparedFiles files;
    kv::TRunStatistics stats;
    std::unique_ptr<TRunContext> run;
    kv::CodecContextPtr decoder, encoder;
    TInputStream input;
    TOutputStream output;
};

TEST_F(ConfigureFiltersTest, TheEncoderTakesWhatTheFiltersDeliver)
{
    struct TCase {
        const char* Name;
        const char* Filters;
        int FrameWidth, FrameHeight;  // the output size asked for (the input's when none is)
        int CropTop, PadTop, PadBottom;
        int Result;
        const char* Error;
        int EncWidth, EncHeight;
    };
    const TCase cases[] = {
        {"a size-keeping filter", "hflip", 32, 24, 0, 0, 0, 0, "", 32, 24},
        {"a turned picture", "transpose=1", 32, 24, 0, 0, 0, 0, "", 24, 32},
        {"a scale in the text", "scale=16:12", 32, 24, 0, 0, 0, 0, "", 16, 12},
        {"a size asked for is reached ahead of the filters", "hflip", 16, 12, 0, 0, 0, 0, "", 16, 12},
        {"a size asked for, then turned", "transpose=2", 16, 12, 0, 0, 0, 0, "", 12, 16},
        {"pads around a size-keeping filter", "hflip", 32, 24, 0, 4, 4, 0, "", 32, 32},
        {"pads around a size asked for", "vflip", 16, 12, 0, 2, 2, 0, "", 16, 16},
        {"crop bands with filters", "hflip", 32, 20, 4, 0, 0, -1, CropText, 32, 20},
        {"pads with a filter that resizes", " scale=16:12", 32, 24, 0, 4, 4, -1, PadText, 32, 32},
        {"pads with a filter that adds borders", "pad=40:24", 32, 24, 0, 2, 0, -1, PadText, 32, 26},
        {"an unknown filter", "nosuchfilter", 32, 24, 0, 0, 0, -1, "", 32, 24},
        {"arguments the filter refuses", "scale=w=abc:h=12", 32, 24, 0, 0, 0, -1, "", 32, 24},
        {"an output left unconnected", "split", 32, 24, 0, 0, 0, -1, "", 32, 24},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        options.VFilters = c.Filters;
        options.FrameWidth = c.FrameWidth;
        options.FrameHeight = c.FrameHeight;
        options.FrameTopBand = c.CropTop;
        options.FramePadTop = c.PadTop;
        options.FramePadBottom = c.PadBottom;
        std::string error;
        EXPECT_EQ(Configure(32, 24, error), c.Result);
        EXPECT_EQ(error, c.Error);
        EXPECT_EQ(encoder->width, c.EncWidth);
        EXPECT_EQ(encoder->height, c.EncHeight);
    }
}

// A picture goes through the scaler to the size asked for, then through the filter text, and comes out
// in the encoder's format with its time.
TEST_F(ConfigureFiltersTest, PicturesComeOutInTheEncodersFormatAndSize)
{
    options.VFilters = "hflip";
    options.FrameWidth = 16;
    options.FrameHeight = 12;
    std::string error;
    ASSERT_EQ(Configure(32, 24, error), 0) << error;
    EXPECT_EQ(output.Filters.PixelFormat(), AV_PIX_FMT_YUV420P);

    kv::FramePtr picture = Patterned(32, 24);
    ASSERT_GE(output.Filters.Push(picture.get(), 120000), 0);
    kv::FramePtr filtered(lav::av_frame_alloc());
    int64_t pts = 0;
    ASSERT_EQ(output.Filters.Pull(filtered.get(), pts), 1);
    EXPECT_EQ(pts, 120000);
    EXPECT_EQ(filtered->width, 16);
    EXPECT_EQ(filtered->height, 12);
    EXPECT_EQ(filtered->format, AV_PIX_FMT_YUV420P);
    // The first row grows to the right in the input: mirrored, it falls.
    EXPECT_GT(Luma(*filtered, 0, 0), Luma(*filtered, 15, 0) + 20);
}

// ---------------------------------------------------------------- the graph on its own

TEST(FilterGraphTest, PicturesTravelThroughTheFilterText)
{
    LoadSystemLibraries();
    TFilterGraphSettings settings = SmallPictures("hflip");
    settings.OutputFormat = AV_PIX_FMT_YUV444P;  // the encoder's: the graph converts to it
    TVideoFilterGraph graph;
    ASSERT_TRUE(graph.Build(settings));
    EXPECT_EQ(graph.Width(), 8);
    EXPECT_EQ(graph.Height(), 4);
    EXPECT_EQ(graph.PixelFormat(), AV_PIX_FMT_YUV444P);

    kv::FramePtr picture = Patterned(8, 4);
    kv::FramePtr filtered(lav::av_frame_alloc());
    int64_t pts = 0;
    EXPECT_EQ(graph.Pull(filtered.get(), pts), 0) << "nothing before the first picture";
    ASSERT_GE(graph.Push(picture.get(), 40000), 0);
    ASSERT_EQ(graph.Pull(filtered.get(), pts), 1);
    EXPECT_EQ(pts, 40000);
    EXPECT_EQ(filtered->format, AV_PIX_FMT_YUV444P);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x)
            ASSERT_EQ(Luma(*filtered, x, y), Luma(*picture, 7 - x, y)) << x << "," << y;
    EXPECT_EQ(graph.Pull(filtered.get(), pts), 0);
}

// A filter that holds pictures gives them back only once the end is pushed; the end may be told twice.
TEST(FilterGraphTest, TheEndReleasesWhatTheGraphHolds)
{
    LoadSystemLibraries();
    TFilterGraphSettings settings = SmallPictures("reverse");
    TVideoFilterGraph graph;
    ASSERT_TRUE(graph.Build(settings));
    kv::FramePtr filtered(lav::av_frame_alloc());
    int64_t pts = 0;
    for (int k = 0; k < 3; ++k) {
        kv::FramePtr picture = Patterned(8, 4);
        picture->data[0][0] = static_cast<uint8_t>(100 + k);
        ASSERT_GE(graph.Push(picture.get(), k * 40000), 0);
        ASSERT_EQ(graph.Pull(filtered.get(), pts), 0);
    }
    ASSERT_GE(graph.Push(nullptr, 0), 0);
    EXPECT_GE(graph.Push(nullptr, 0), 0);
    std::vector<int> marks;
    while (graph.Pull(filtered.get(), pts) == 1) {
        marks.push_back(Luma(*filtered, 0, 0));
        lav::av_frame_unref(filtered.get());
    }
    EXPECT_EQ(marks, (std::vector<int>{102, 101, 100}));
}

// A stream whose pictures change size on the way is brought back to the size the graph was built for.
TEST(FilterGraphTest, APictureOfAnotherSizeIsBroughtBackToTheGraphsSize)
{
    LoadSystemLibraries();
    TFilterGraphSettings settings = SmallPictures("null");
    TVideoFilterGraph graph;
    ASSERT_TRUE(graph.Build(settings));
    kv::FramePtr bigger = Patterned(16, 8);
    ASSERT_GE(graph.Push(bigger.get(), 0), 0);
    kv::FramePtr filtered(lav::av_frame_alloc());
    int64_t pts = -1;
    ASSERT_EQ(graph.Pull(filtered.get(), pts), 1);
    EXPECT_EQ(filtered->width, 8);
    EXPECT_EQ(filtered->height, 4);
    EXPECT_EQ(pts, 0);
}

// ---------------------------------------------------------------- real conversions

std::string Text(const std::map<std::string, std::string>& Facts, const std::string& Key)
{
    auto it = Facts.find(Key);
    return it == Facts.end() ? std::string() : it->second;
}

int CountFrames(const std::string& File)
{
    std::string output;
    RunCommand("ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 '" +
                   File + "'",
               output);
    return std::atoi(output.c_str());
}

std::string LastLines(const std::vector<std::string>& Log, size_t Count = 15)
{
    std::string text;
    for (size_t i = Log.size() > Count ? Log.size() - Count : 0; i < Log.size(); ++i)
        text += Log[i] + "\n";
    return text;
}

struct TFilterCase {
    const char* Name;
    std::vector<std::string> Lines;  // the engine's output option lines
    const char* Reference;           // the ffmpeg tool's -vf for the same pictures
    int Width, Height;
    const char* Area;  // the part compared (the pad colours of the two differ)
};

const TFilterCase FilterCases[] = {
    {"hflip", {"vfilters=hflip"}, "hflip", 160, 120, "null"},
    {"transpose", {"vfilters=transpose=1"}, "transpose=1", 120, 160, "null"},
    {"scale", {"vfilters=scale=320:240"}, "scale=320:240", 320, 240, "null"},
    {"pads_around_hflip",
     {"vfilters=hflip", "padtop=8", "padbottom=8"},
     "hflip,pad=iw:ih+16:0:8",
     160,
     136,
     "crop=160:120:0:8"},
};

void PrintTo(const TFilterCase& Case, std::ostream* Out) { *Out << Case.Name; }

class FilterConversionTest : public ::testing::TestWithParam<TFilterCase> {};

TEST_P(FilterConversionTest, MatchesTheFfmpegToolsPictures)
{
    const TFilterCase& c = GetParam();
    TempFolder folder("filters");
    const std::string input = Fixture("video_only.mp4");
    const std::string output = folder.Path + "/out.mkv";
    std::vector<std::string> lines = c.Lines;
    lines.push_back("vcodec=ffv1");
    const TConversionResult result = Convert(input, output, {}, lines);
    ASSERT_TRUE(result.Queued) << result.SetupError;
    ASSERT_TRUE(result.Ended);
    ASSERT_TRUE(result.Finished) << result.Message << "\n" << LastLines(result.Log);
    EXPECT_FALSE(result.Failed) << result.Message;

    const auto facts = Probe(output);
    ASSERT_FALSE(facts.empty()) << "ffprobe cannot read " << output;
    EXPECT_EQ(Text(facts, "streams.stream.0.codec_name"), "ffv1");
    EXPECT_EQ(Text(facts, "streams.stream.0.width"), std::to_string(c.Width));
    EXPECT_EQ(Text(facts, "streams.stream.0.height"), std::to_string(c.Height));

    const std::string reference = folder.Path + "/reference.mkv";
    ASSERT_TRUE(ReferenceConvert(input, std::string("-vf ") + c.Reference + " -c:v ffv1", reference));
    EXPECT_EQ(CountFrames(output), CountFrames(reference));
    EXPECT_GE(Psnr(output, reference, c.Area), 40.0);
}

INSTANTIATE_TEST_SUITE_P(Filters, FilterConversionTest, ::testing::ValuesIn(FilterCases),
                         [](const ::testing::TestParamInfo<TFilterCase>& info) {
                             return std::string(info.param.Name);
                         });

// A filter that gives its pictures back only at the end of the stream still has them all written.
TEST(FilterRunTest, PicturesHeldToTheEndAreWritten)
{
    TempFolder folder("filters");
    const std::string input = Fixture("video_only.mp4");
    const std::string output = folder.Path + "/out.mkv";
    const TConversionResult result = Convert(input, output, {}, {"vfilters=reverse", "vcodec=ffv1"});
    ASSERT_TRUE(result.Queued) << result.SetupError;
    ASSERT_TRUE(result.Finished) << result.Message << "\n" << LastLines(result.Log);
    EXPECT_EQ(CountFrames(output), CountFrames(input));
}

// Combinations refused when the output is prepared, before anything is written.
TEST(FilterRunTest, CropOrPadWithResizingFiltersAreRefusedAtPreparation)
{
    struct TCase {
        const char* Name;
        std::vector<std::string> Lines;
        const char* Error;
    };
    const TCase cases[] = {
        {"crop with a filter", {"croptop=8", "vfilters=hflip"}, CropText},
        {"pad with a scale", {"padtop=8", "vfilters=scale=320:240"}, PadText},
        {"pad with a turn", {"padleft=8", "vfilters=hflip,Transpose=1"}, PadText},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TempFolder folder("filters");
        const TConversionResult result = Convert(Fixture("video_only.mp4"), folder.Path + "/out.mkv", {}, c.Lines);
        EXPECT_FALSE(result.Queued);
        EXPECT_EQ(result.SetupError, c.Error);
    }
}

// Filters the preparation cannot judge by their names fail the run's set-up, leave no output behind and
// say why.
TEST(FilterRunTest, FiltersTheSetUpRefusesEndTheRunWithItsMessage)
{
    struct TCase {
        const char* Name;
        std::vector<std::string> Lines;
        const char* Message;
    };
    const TCase cases[] = {
        {"pads with a resizing filter named with a space",
         {"padtop=8", "vfilters=hflip, scale=80:60"},
         "Error opening filters: Cannot enable pad options and the filters which resize frame at the same time. "
         "(crop, rotate, scale, transpose, etc.)"},
        {"a filter text that does not parse", {"vfilters=hflip,,nosuchfilter=3"}, "Error opening filters!"},
        {"an unknown filter", {"vfilters=nosuchfilter"}, "Error opening filters!"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TempFolder folder("filters");
        const std::string output = folder.Path + "/out.mkv";
        const TConversionResult result = Convert(Fixture("video_only.mp4"), output, {}, c.Lines);
        ASSERT_TRUE(result.Queued) << result.SetupError;
        ASSERT_TRUE(result.Ended);
        EXPECT_FALSE(result.Finished);
        EXPECT_TRUE(result.Failed);
        EXPECT_EQ(result.Message, c.Message);
        struct stat info {};
        EXPECT_NE(::stat(output.c_str(), &info), 0) << "an output was left behind";
    }
}

}  // namespace
