// The value handlers: each accepted value's effect and each refusal's exact message.
#include <regex>

#include "OptionTestSupport.h"
#include "media/LibraryBindings.h"
#include "media/TextAndPath.h"

using kvtest::OptionTest;

namespace {

TEST(OptionValuesTest, IntegersAndFloatsConvertAsTheyAreWritten)
{
    const struct {
        const char* Text;
        bool Valid;
        int Value;
    } integers[] = {
        {"12", true, 12},  {"  12", true, 12}, {"-5", true, -5},         {"+7", true, 7},
        {"$1F", true, 31}, {"0x1f", true, 31}, {"$FFFFFFFF", true, -1},  {"12 ", false, 0},
        {"1.5", false, 0}, {"", false, 0},     {"2147483648", false, 0}, {"-2147483648", true, INT_MIN},
        {"0x", false, 0},  {"ten", false, 0},
    };
    for (const auto& c : integers) {
        if (c.Valid) {
            EXPECT_EQ(kv::StrToInt(c.Text), c.Value) << c.Text;
        } else {
            try {
                kv::StrToInt(c.Text);
                ADD_FAILURE() << c.Text << " converted";
            } catch (const kv::EConvertError& e) {
                EXPECT_EQ(std::string(e.what()), std::string("'") + c.Text + "' is not a valid integer value");
            }
        }
    }
    const struct {
        const char* Text;
        bool Valid;
        double Value;
    } floats[] = {{"1.5", true, 1.5}, {" 2.5 ", true, 2.5}, {"-0.5", true, -0.5}, {"1e3", true, 1000},
                  {".5", true, 0.5},  {"1,5", false, 0},    {"abc", false, 0},    {"inf", false, 0},
                  {"", false, 0},     {"1.5.2", false, 0}};
    for (const auto& c : floats) {
        double value = 0;
        EXPECT_EQ(kv::TryStrToFloat(c.Text, value), c.Valid) << c.Text;
        if (c.Valid) {
            EXPECT_DOUBLE_EQ(value, c.Value) << c.Text;
        }
    }
    EXPECT_EQ(kv::StrToInt64("5000000000"), 5000000000);
}

TEST_F(OptionTest, FrameSizesAndRates)
{
    const struct {
        const char* Option;
        const char* Value;
        const char* Refusal;
        int A;
        int B;
    } cases[] = {
        {"s", "352x288", "", 352, 288},
        {"s", "cif", "", 352, 288},
        {"s", "351x288", "Frame size must be a multiple of 2", 351, 288},  // stored before the refusal
        {"s", "no size", "Incorrect frame size", 0, 0},
        {"r", "25", "", 25, 1},
        {"r", "30000/1001", "", 30000, 1001},
        {"r", "ntsc", "", 30000, 1001},
        {"r", "fast", "Incorrect frame rate", 0, 0},
    };
    for (const auto& c : cases) {
        task.ResetTask();
        EXPECT_EQ(Refusal(c.Option, c.Value), c.Refusal) << c.Value;
        if (std::string(c.Refusal).empty() || c.A) {
            const kv::TTaskOptions& o = task.Options();
            const bool size = std::string(c.Option) == "s";
            EXPECT_EQ(size ? o.FrameWidth : o.FrameRate.num, c.A) << c.Value;
            EXPECT_EQ(size ? o.FrameHeight : o.FrameRate.den, c.B) << c.Value;
        }
    }
}

TEST_F(OptionTest, AspectRatios)
{
    const struct {
        const char* Value;
        float Expected;  // 0 = refused
    } cases[] = {{"4:3", 4.0f / 3.0f}, {"16:9", 16.0f / 9.0f},
                 {"1.85", 1.85f},      {"-1.5", -1.5f},
                 {"4:0", 0},           {"0", 0},
                 {"abc", 0},           {"a:3", 0}};
    for (const auto& c : cases) {
        task.ResetTask();
        EXPECT_EQ(Refusal("aspect", c.Value), c.Expected == 0 ? "Incorrect aspect ratio specification." : "")
            << c.Value;
        EXPECT_EQ(task.Options().FrameAspectRatio, c.Expected) << c.Value;
    }
}

TEST_F(OptionTest, RangeChecksOfSimpleHandlers)
{
    const struct {
        const char* Option;
        const char* Value;
        const char* Refusal;
    } cases[] = {
        {"qscale", "0", "qscale must be > 0.0 and <= 255"},
        {"qscale", "256", "qscale must be > 0.0 and <= 255"},
        {"qscale", "255", ""},
        {"qscale", "0.5", ""},
        {"qscale", "x", "'x' is not a valid floating point value"},
        {"pass", "3", "pass number can be only 1 or 2"},
        {"pass", "0", "pass number can be only 1 or 2"},
        {"pass", "2", ""},
        {"metadata", "title", "Missing ="},
        {"itsscale", "20:2", "stream index over MAX_STREAMS(20)"},
        {"itsscale", "-1:2", "stream index over MAX_STREAMS(20)"},
        {"itsscale", "1:0.5", ""},
        {"threads", "2", "TODO: option - threads"},
        {"vbsf", "foo", "Unknown bitstream filter foo"},
        {"absf", "nothere=x", "Unknown bitstream filter nothere=x"},
        {"t", "bad", "Invalid duration specification for t: bad"},
        {"ss", "", "Invalid duration specification for ss: "},
        {"timestamp", "bad", "Invalid date specification for timestamp: bad"},
        {"f", "nosuch", "Unknown input or output format: nosuch"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Refusal(c.Option, c.Value), c.Refusal) << c.Option << "=" << c.Value;
    EXPECT_FLOAT_EQ(task.Options().VideoQScale, 0.5f);
    EXPECT_EQ(task.Options().DoPass, 2);
    EXPECT_DOUBLE_EQ(task.Options().InputFilesTsScale[0][1], 0.5);
}

TEST_F(OptionTest, Times)
{
    const kv::TTaskOptions& o = task.Options();
    task.SetOption("t", "0");
    EXPECT_EQ(o.RecordingTime, INT64_MAX) << "a zero duration leaves the recording time unlimited";
    EXPECT_EQ(task.TotalDurationMS(), -1);
    task.SetOption("t", "1.5");
    EXPECT_EQ(o.RecordingTime, 1500000);
    EXPECT_EQ(task.TotalDurationMS(), 1500);
    task.SetOption("ss", "00:01:02.5");
    EXPECT_EQ(o.StartTime, 62500000);
    task.SetOption("itsoffset", "-2");
    EXPECT_EQ(o.InputTsOffset, -2000000);
    task.SetOption("timestamp", "2020-01-02T03:04:05.6Z");
    EXPECT_EQ(o.RecTimestamp, 1577934246);
}

TEST_F(OptionTest, CropBandsAccumulateAndPadsMustBeEven)
{
    task.SetOption("s", "352x288");
    EXPECT_EQ(Refusal("croptop", "7"), "Top crop size must be a multiple of 2");
    EXPECT_EQ(Refusal("padright", "3"), "Right pad size must be a multiple of 2");
    EXPECT_EQ(Refusal("croptop", "-2"), "");
    EXPECT_EQ(task.Options().FrameHeight, 288);
    task.SetOption("croptop", "8");
    task.SetOption("croptop", "8");
    EXPECT_EQ(task.Options().FrameTopBand, 8);
    EXPECT_EQ(task.Options().FrameHeight, 272);
    EXPECT_EQ(Refusal("cropleft", "352"), "Horizontal crop dimensions are outside the range of the original image.\n"
                                          "Remember to crop first and scale second.");
    EXPECT_EQ(Refusal("cropbottom", "272"), "Vertical crop dimensions are outside the range of the original image.\n"
                                            "Remember to crop first and scale second.");
    task.SetOption("cropright", "16");
    EXPECT_EQ(task.Options().FrameWidth, 336);
    task.SetOption("padbottom", "4");
    EXPECT_EQ(task.Options().FramePadBottom, 4);
    EXPECT_EQ(task.Options().FrameHeight, 272) << "pads leave the frame size alone";
}

TEST_F(OptionTest, PadColoursBecomeYUV)
{
    const struct {
        uint32_t RGB;
        std::array<int, 3> YUV;
    } cases[] = {{0x000000, {0, 128, 128}},
                 {0xFFFFFF, {255, 128, 128}},
                 {0x0000FF, {76, 85, 255}},
                 {0x00FF00, {150, 43, 21}},
                 {0xFF0000, {29, 255, 107}}};
    for (const auto& c : cases) {
        task.SetOption("padcolor", std::to_string(c.RGB));
        EXPECT_EQ(task.Options().PaddingColor, c.YUV) << std::hex << c.RGB;
    }
}

TEST_F(OptionTest, CodecNamesTagsAndFormats)
{
    const kv::TTaskOptions& o = task.Options();
    task.SetOption("vcodec", "mpeg4");
    task.SetOption("vcodec", "copy");
    EXPECT_TRUE(o.VideoStreamCopy);
    EXPECT_EQ(o.VideoCodecName, "");
    task.SetOption("vcodec", "libx264");
    EXPECT_TRUE(o.VideoStreamCopy) << "copy stays set until the next video stream is made";
    EXPECT_EQ(o.VideoCodecName, "libx264");
    task.SetOption("acodec", "mp2");
    task.SetOption("scodec", "copy");
    EXPECT_EQ(o.AudioCodecName, "mp2");
    EXPECT_TRUE(o.SubtitleStreamCopy);

    task.SetOption("vtag", "DIVX");
    EXPECT_EQ(o.VideoCodecTag, static_cast<uint32_t>('D' | 'I' << 8 | 'V' << 16 | 'X' << 24));
    EXPECT_EQ(Refusal("vtag", "XVID5").rfind("video tag parameter must be 4 chars", 0), 0u);
    EXPECT_EQ(Refusal("atag", "mp4").rfind("audio tag parameter must be 4 chars", 0), 0u);

    task.SetOption("f", "avi");
    EXPECT_NE(o.FileIFormat, nullptr);
    EXPECT_NE(o.FileOFormat, nullptr);
    task.SetOption("f", "pgmyuv");
    EXPECT_TRUE(o.UsingPgmYuv);
    EXPECT_STREQ(o.FileIFormat->name, "image2");
    EXPECT_EQ(LogsWith("pgmyuv format is deprecated, use image2"), 1u);
    EXPECT_THROW(task.ApplyInputFormat("nosuch"), kv::FFmpegException);
    task.ApplyInputFormat("matroska");
    EXPECT_NE(o.FileIFormat, nullptr);

    task.SetOption("pix_fmt", "yuv420p");
    EXPECT_EQ(o.FramePixFmt, AV_PIX_FMT_YUV420P);
    task.SetOption("pix_fmt", "nosuch");
    EXPECT_EQ(o.FramePixFmt, AV_PIX_FMT_NONE);
    task.SetOption("sample_fmt", "s16");
    EXPECT_EQ(o.AudioSampleFmt, AV_SAMPLE_FMT_S16);
    logs.clear();
    task.SetOption("sample_fmt", "list");
    EXPECT_EQ(logs.size(), static_cast<size_t>(AV_SAMPLE_FMT_NB) + 1);
    EXPECT_EQ(logs[0].second.rfind("name", 0), 0u) << "the header line comes first";
    logs.clear();
    task.SetOption("pix_fmt", "list");
    EXPECT_GT(logs.size(), 100u);
}

TEST_F(OptionTest, CodecLookup)
{
    const struct {
        const char* Name;
        AVMediaType Type;
        bool Encoder;
        const char* Error;  // "" = found
    } cases[] = {
        {"mpeg4", AVMEDIA_TYPE_VIDEO, true, ""},
        {"mp2", AVMEDIA_TYPE_VIDEO, true, "Invalid encoder type 'mp2'"},
        {"nosuch", AVMEDIA_TYPE_AUDIO, true, "Unknown encoder 'nosuch'"},
        {"nosuch", AVMEDIA_TYPE_AUDIO, false, "Unknown decoder 'nosuch'"},
        {"libfaac", AVMEDIA_TYPE_AUDIO, true, ""},
        {"avc", AVMEDIA_TYPE_VIDEO, true, ""},
        {"h264", AVMEDIA_TYPE_VIDEO, false, ""},
    };
    for (const auto& c : cases) {
        task.SetErrorText("");
        const AVCodec* codec = nullptr;
        EXPECT_EQ(task.LookupCodec(c.Name, c.Type, c.Encoder, codec), std::string(c.Error).empty()) << c.Name;
        EXPECT_EQ(task.ErrorText(), c.Error) << c.Name;
        EXPECT_EQ(codec != nullptr, std::string(c.Error).empty()) << c.Name;
    }
    const AVCodec* codec = nullptr;
    ASSERT_TRUE(task.LookupCodec("libfaac", AVMEDIA_TYPE_AUDIO, true, codec));
    EXPECT_EQ(codec->id, AV_CODEC_ID_AAC);
    ASSERT_TRUE(task.LookupCodec("avc", AVMEDIA_TYPE_VIDEO, true, codec));
    EXPECT_EQ(codec->id, AV_CODEC_ID_H264);
    EXPECT_TRUE(task.LookupCodec("", AVMEDIA_TYPE_VIDEO, true, codec));
    EXPECT_EQ(codec, nullptr);
}

TEST_F(OptionTest, StreamAndMetadataMaps)
{
    task.ApplyOptionLines("map=0.1\nmap=0:1:0:0\nmap=0x1:010\nmap_meta_data=1:0", false);
    const kv::TTaskOptions& o = task.Options();
    ASSERT_EQ(o.NbStreamMaps, 3);
    auto tuple = [](const kv::TStreamMap& m) {
        return std::make_tuple(m.FileIndex, m.StreamIndex, m.SyncFileIndex, m.SyncStreamIndex);
    };
    EXPECT_EQ(tuple(o.StreamMaps[0]), std::make_tuple(0, 1, 0, 1));
    EXPECT_EQ(tuple(o.StreamMaps[1]), std::make_tuple(0, 1, 0, 0));
    EXPECT_EQ(tuple(o.StreamMaps[2]), std::make_tuple(1, 8, 1, 8));
    ASSERT_EQ(o.NbMetaDataMaps, 1);
    EXPECT_EQ(o.MetaDataMaps[0].OutFile, 1);
    EXPECT_EQ(o.MetaDataMaps[0].InFile, 0);
    for (int i = 1; i < 20; ++i)
        task.SetOption("map_meta_data", "0:0");
    EXPECT_EQ(Refusal("map_meta_data", "0:0"), "Too many metadata maps (at most 20)");
    EXPECT_EQ(o.NbMetaDataMaps, 20);
}

TEST_F(OptionTest, QuantiserMatrices)
{
    std::string text;
    for (int i = 1; i <= 64; ++i)
        text += (i > 1 ? "," : "") + std::to_string(i * 2);
    task.SetOption("intra_matrix", text + ",99,junk");
    ASSERT_TRUE(task.Options().IntraMatrix);
    EXPECT_EQ((*task.Options().IntraMatrix)[0], 2);
    EXPECT_EQ((*task.Options().IntraMatrix)[63], 128);
    const std::string short63 = text.substr(0, text.rfind(','));
    EXPECT_EQ(Refusal("inter_matrix", short63), "Syntax error in matrix \"" + short63 + "\" at coeff 62");
    EXPECT_EQ(Refusal("inter_matrix", " 1, 2,3"), "Syntax error in matrix \" 1, 2,3\" at coeff 2");
}

TEST_F(OptionTest, BitstreamFiltersWaitForTheNextStreamOfTheirType)
{
    task.ApplyOptionLines("vbsf=h264_mp4toannexb\nvbsf=null\nabsf=aac_adtstoasc=ignored\nsbsf==x\nsbsf=", false);
    const auto& pending = task.Options().PendingBitstreamFilters;
    ASSERT_EQ(pending[0].size(), 2u);
    EXPECT_STREQ(pending[0][0]->filter->name, "h264_mp4toannexb");
    ASSERT_EQ(pending[1].size(), 1u);
    EXPECT_STREQ(pending[1][0]->filter->name, "aac_adtstoasc");
    EXPECT_TRUE(pending[2].empty());
}

TEST_F(OptionTest, SampleRateAndChannelsTakeOnlyPositiveValues)
{
    task.ApplyOptionLines("ar=0\nac=-1", false);
    EXPECT_EQ(task.Options().AudioSampleRate, 44100);
    EXPECT_EQ(task.Options().AudioChannels, 2);
    task.ApplyOptionLines("ar=22050\nac=1", false);
    EXPECT_EQ(task.Options().AudioSampleRate, 22050);
    EXPECT_EQ(task.Options().AudioChannels, 1);
}

TEST_F(OptionTest, VideoStatisticsFileNames)
{
    task.SetOption("vstats", "");
    EXPECT_TRUE(
        std::regex_match(task.Options().VStatsFilename, std::regex(kv::ProgramFolder() + "vstats_[0-9]{6}\\.log")))
        << task.Options().VStatsFilename;
    task.SetOption("vstats_file", "/tmp/stats.log");
    EXPECT_EQ(task.Options().VStatsFilename, "/tmp/stats.log");
    task.SetOption("vfilters", "");
    task.SetOption("vfilters", "hflip");
    task.SetOption("vfilters", "");
    EXPECT_EQ(task.Options().VFilters, "hflip");
}

}  // namespace
