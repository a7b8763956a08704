// Target presets and the norm they choose.
#include "OptionTestSupport.h"
#include "media/LibraryBindings.h"

using kvtest::OptionTest;

namespace {

class TargetPresetTest : public OptionTest {
protected:
    std::string Size() const
    {
        return std::to_string(task.Options().FrameWidth) + "x" + std::to_string(task.Options().FrameHeight);
    }
    std::string Rate() const
    {
        return std::to_string(task.Options().FrameRate.num) + "/" + std::to_string(task.Options().FrameRate.den);
    }
    std::string PresetRefusal(const std::string& Target, const std::string& Norm, const std::string& DefaultNorm)
    {
        try {
            task.ApplyTargetPreset(Target, Norm, DefaultNorm);
        } catch (const kv::Exception& e) {
            return e.what();
        }
        return "";
    }
};

TEST_F(TargetPresetTest, PalVcdThroughTheOption)
{
    task.SetOption("target", "pal-vcd");
    const kv::TTaskOptions& o = task.Options();
    EXPECT_EQ(Size(), "352x288");
    EXPECT_EQ(Rate(), "25/1");
    EXPECT_EQ(o.VideoCodecName, "mpeg1video");
    EXPECT_EQ(o.AudioCodecName, "mp2");
    EXPECT_STREQ(o.FileOFormat->name, "vcd");
    EXPECT_EQ(task.OptionStore().CodecOptions[AVMEDIA_TYPE_VIDEO]->gop_size, 15);
    EXPECT_EQ(CodecOption(AVMEDIA_TYPE_VIDEO, "b"), 1150000);
    EXPECT_EQ(CodecOption(AVMEDIA_TYPE_VIDEO, "bufsize"), 327680);
    EXPECT_EQ(CodecOption(AVMEDIA_TYPE_AUDIO, "b"), 224000);
    EXPECT_EQ(task.OptionStore().FormatOptions->packet_size, 2324u);
    EXPECT_EQ(task.OptionStore().MuxerOptions,
              (std::vector<std::pair<std::string, std::string>>{{"muxrate", "1411200"}}));
    EXPECT_EQ(o.AudioSampleRate, 44100);
    EXPECT_EQ(o.AudioChannels, 2);
    EXPECT_FLOAT_EQ(o.MuxPreload, 0.44f);
    EXPECT_FLOAT_EQ(o.FrameAspectRatio, 4.0f / 3.0f);
    EXPECT_EQ(logs, (std::vector<std::pair<int, std::string>>{{1, "Assuming 4:3 for aspect ratio"}}))
        << "an explicit norm is not announced";
}

TEST_F(TargetPresetTest, TheNormFollowsTheFrameRateWhenNotGiven)
{
    const struct {
        const char* InputRate;
        const char* DefaultNorm;
        const char* Size;
        const char* Rate;
        const char* Announced;
    } cases[] = {
        {"30000/1001", "pal", "720x480", "30000/1001", "NTSC"},
        {"24000/1001", "pal", "720x480", "30000/1001", "NTSC"},  // never FILM by detection
        {"25", "ntsc", "720x576", "25/1", "PAL"},
        {"15", "pal", "720x576", "25/1", "PAL"},
        {"15", "ntsc", "720x480", "30000/1001", "NTSC"},
        {"15", "film", "720x480", "24000/1001", "NTSC"},
    };
    for (const auto& c : cases) {
        task.ResetTask();
        logs.clear();
        task.SetOption("r", c.InputRate);
        task.ApplyTargetPreset("dvd", "auto", c.DefaultNorm);
        EXPECT_EQ(Size(), c.Size) << c.InputRate << " " << c.DefaultNorm;
        EXPECT_EQ(Rate(), c.Rate) << c.InputRate << " " << c.DefaultNorm;
        EXPECT_EQ(LogsWith(std::string("Assuming ") + c.Announced + " for target."), 1u) << c.InputRate;
    }
    task.ResetTask();
    task.SetOption("r", "15");
    task.SetOption("target", "vcd");  // the option assumes NTSC when the rate does not tell
    EXPECT_EQ(Size(), "352x240");
}

TEST_F(TargetPresetTest, TheRecordSelectsTargetNormAndDefault)
{
    const struct {
        int Target;
        int Norm;
        int DefaultNorm;
        const char* Size;
    } cases[] = {
        {3, 0, 1, "720x576"}, {3, 0, 2, "720x480"}, {3, 2, 1, "720x480"},
        {2, 1, 2, "480x576"}, {1, 7, 1, "352x288"},  // an unknown norm acts as automatic
        {0, 1, 1, "0x0"},     {4, 1, 1, "0x0"},      // no preset
    };
    for (const auto& c : cases) {
        task.ResetTask();
        task.SetOption("r", "15");
        kv::TOutputOptions record;
        record.Target = c.Target;
        record.TargetNorm = c.Norm;
        record.DefaultNorm = c.DefaultNorm;
        task.ApplyTargetOptions(record);
        EXPECT_EQ(Size(), c.Size) << c.Target << " " << c.Norm << " " << c.DefaultNorm;
    }
}

TEST_F(TargetPresetTest, FilmDvdAndTheDvPresets)
{
    task.SetOption("target", "film-dvd");
    EXPECT_EQ(Size(), "720x480");
    EXPECT_EQ(Rate(), "24000/1001");
    EXPECT_EQ(task.OptionStore().CodecOptions[AVMEDIA_TYPE_VIDEO]->gop_size, 18);
    EXPECT_EQ(task.Options().AudioCodecName, "ac3");
    EXPECT_EQ(CodecOption(AVMEDIA_TYPE_AUDIO, "b"), 448000);
    EXPECT_EQ(task.Options().AudioSampleRate, 48000);
    EXPECT_FLOAT_EQ(task.Options().FrameAspectRatio, 16.0f / 9.0f);

    const struct {
        const char* Target;
        const char* Size;
        AVPixelFormat PixelFormat;
    } dv[] = {{"pal-dv50", "720x576", AV_PIX_FMT_YUV422P},
              {"ntsc-dv", "720x480", AV_PIX_FMT_YUV411P},
              {"pal-dv", "720x576", AV_PIX_FMT_YUV420P}};
    for (const auto& c : dv) {
        task.ResetTask();
        task.SetOption("ac", "6");
        task.SetOption("target", c.Target);
        EXPECT_STREQ(task.Options().FileOFormat->name, "dv");
        EXPECT_EQ(Size(), c.Size) << c.Target;
        EXPECT_EQ(task.Options().FramePixFmt, c.PixelFormat) << c.Target;
        EXPECT_EQ(task.Options().AudioSampleRate, 48000);
        EXPECT_EQ(task.Options().AudioChannels, 2);
        EXPECT_EQ(task.Options().FrameAspectRatio, 0.0f) << "dv presets set no aspect";
    }
}

TEST_F(TargetPresetTest, SvcdMakesMonoStereoAndKeepsMoreChannels)
{
    for (const auto& [given, expected] : {std::pair{1, 2}, std::pair{6, 6}}) {
        task.ResetTask();
        task.SetOption("ac", std::to_string(given));
        task.SetOption("aspect", "16:9");
        logs.clear();
        task.SetOption("target", "pal-svcd");
        EXPECT_EQ(task.Options().AudioChannels, expected);
        EXPECT_FLOAT_EQ(task.Options().FrameAspectRatio, 16.0f / 9.0f) << "a given aspect is kept";
        EXPECT_TRUE(logs.empty());
    }
}

TEST_F(TargetPresetTest, Refusals)
{
    EXPECT_EQ(PresetRefusal("nosuch", "auto", "pal"), "frame_rate is invalid.") << "the norm is decided first";
    EXPECT_EQ(PresetRefusal("vcd", "auto", "pal"), "frame_rate is invalid.");
    EXPECT_EQ(PresetRefusal("nosuch", "pal", "pal"), "Unknown target type");
    EXPECT_EQ(Refusal("target", "ntsc-laserdisc"), "Unknown target type");
}

}  // namespace
