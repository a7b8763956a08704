// The option table and its dispatcher: line rules, value kinds, and names that change nothing.
#include <random>

#include "OptionTestSupport.h"
#include "media/LibraryBindings.h"
#include "component/DIdezuDOR.h"
#include "engine/OptionTable.h"

using kvtest::OptionTest;

namespace {

TEST(OptionTableTest, HoldsTheWholeVocabularyInOrder)
{
    ASSERT_EQ(kv::OptionCount(), 103u);
    // Names with their places in the order in which names are tested.
    const std::pair<const char*, size_t> places[] = {
        {"L", 1},   {"f", 5},   {"i", 6},      {"map", 8},      {"threads", 26},
        {"b", 37},  {"vb", 38}, {"s", 41},     {"croptop", 44}, {"vcodec", 58},
        {"ab", 77}, {"an", 82}, {"isync", 95}, {"sbsf", 100},   {"spre", 103},
    };
    const kv::TOptionEntry* first = kv::FindOption("L");
    ASSERT_NE(first, nullptr);
    for (const auto& [name, place] : places) {
        const kv::TOptionEntry* entry = kv::FindOption(name);
        ASSERT_NE(entry, nullptr) << name;
        EXPECT_EQ(static_cast<size_t>(entry - first) + 1, place) << name;
    }
    // Each entry is the first of its name: none is hidden behind an earlier one.
    for (size_t i = 0; i < kv::OptionCount(); ++i)
        EXPECT_EQ(kv::FindOption(first[i].Name), &first[i]) << first[i].Name;
    for (const char* name : {"", "an ", "AN", "g", "gop", "preset"})
        EXPECT_EQ(kv::FindOption(name), nullptr) << name;
}

TEST_F(OptionTest, LinesAreSplitAtTheFirstEqualsSignWithoutTrimming)
{
    const struct {
        const char* Text;
        bool AudioDisabled;
        bool VideoDisabled;
    } cases[] = {
        {"an", true, false},
        {"an=0", false, false},
        {"an=no", true, false},
        {"an=0\n vn=1", false, false},  // " vn" is no option of the table, and no library option either
        {"vn =1", false, false},
        {"\r\n an\r\nvn=1\r\n", true, true},
        {"an\rvn", true, true},
        {"an=0\n\nvn", false, true},
    };
    for (const auto& c : cases) {
        task.ResetTask();
        EXPECT_EQ(LinesRefusal(c.Text), "") << c.Text;
        EXPECT_EQ(task.Options().AudioDisable, c.AudioDisabled) << c.Text;
        EXPECT_EQ(task.Options().VideoDisable, c.VideoDisabled) << c.Text;
    }

    task.ApplyOptionLines("metadata=title=a=b", false);
    ASSERT_EQ(task.Options().MetaData.size(), 1u);
    EXPECT_EQ(task.Options().MetaData[0], std::make_pair(std::string("title"), std::string("a=b")));
}

TEST_F(OptionTest, AFailingLineStopsTheRestAndKeepsTheOnesBefore)
{
    EXPECT_EQ(LinesRefusal("an\nthreads=2\nvn"), "TODO: option - threads");
    EXPECT_TRUE(task.Options().AudioDisable);
    EXPECT_FALSE(task.Options().VideoDisable);
    EXPECT_EQ(LinesRefusal("vframes=ten"), "'ten' is not a valid integer value");
    EXPECT_EQ(LinesRefusal("aq=1,5"), "'1,5' is not a valid floating point value");
}

TEST_F(OptionTest, NewStreamLinesRunOnlyInTheirOwnPass)
{
    const std::string lines = "newaudio\nan\nnewvideo=";
    EXPECT_EQ(LinesRefusal(lines, false), "");
    EXPECT_TRUE(task.Options().AudioDisable);
    // Without a prepared output there is nothing to add a stream to.
    EXPECT_EQ(LinesRefusal(lines, true), "At least one output file must be specified");
}

TEST_F(OptionTest, SimpleValuesAreConvertedAndStored)
{
    const kv::TTaskOptions& o = task.Options();
    task.ApplyOptionLines("fs=5000000000\nvsync=2\nadrift_threshold=0.25\nloop_output=3\ncopyts=0\nxerror\n"
                          "shortest\nvol=$200\ntop=0x1\nrc_override=0,100,2\npasslogfile=/tmp/x\ntvstd=pal\n"
                          "vframes=10\naframes=20\ndframes=30\nmuxdelay=1.5\nisync=0\nintra\nhex=0\nv=2",
                          false);
    EXPECT_EQ(o.LimitFilesize, 5000000000);
    EXPECT_EQ(o.VideoSyncMethod, 2);
    EXPECT_FLOAT_EQ(o.AudioDriftThreshold, 0.25f);
    EXPECT_EQ(o.LoopOutput, 3);
    EXPECT_TRUE(o.CopyTs) << "copyts does not look at its value";
    EXPECT_TRUE(o.ExitOnError);
    EXPECT_TRUE(o.OptShortest);
    EXPECT_EQ(o.AudioVolume, 512);
    EXPECT_EQ(o.TopFieldFirst, 1);
    EXPECT_EQ(o.VideoRcOverrideString, "0,100,2");
    EXPECT_EQ(o.PassLogFilename, "/tmp/x");
    EXPECT_EQ(o.VideoStandard, "pal");
    EXPECT_EQ(o.MaxFrames, (std::array<int, 4>{10, 20, 30, INT_MAX}));
    EXPECT_FLOAT_EQ(o.MuxMaxDelay, 1.5f);
    EXPECT_FALSE(o.InputSync);
    EXPECT_TRUE(o.IntraOnly);
    EXPECT_FALSE(o.DoHexDump);
    EXPECT_EQ(o.Verbose, 2);
}

TEST_F(OptionTest, NamesWithoutEffectOnlyLog)
{
    for (const char* name : {"L", "h", "version", "formats", "i", "y", "benchmark", "apre", "vpre", "spre"}) {
        logs.clear();
        task.SetOption(name, "anything");
        EXPECT_EQ(logs, (std::vector<std::pair<int, std::string>>{{1, std::string("Do nothing: option - ") + name}}));
    }
    task.LogSlot = nullptr;
    EXPECT_NO_THROW(task.SetOption("h", "")) << "without a log slot there is nothing to write to";
}

TEST_F(OptionTest, TheGenericPathSetsEveryMatchingContext)
{
    EXPECT_TRUE(task.SetGenericOption("g", "30"));
    EXPECT_EQ(task.OptionStore().CodecOptions[AVMEDIA_TYPE_VIDEO]->gop_size, 30);
    EXPECT_NE(task.OptionStore().CodecOptions[AVMEDIA_TYPE_AUDIO]->gop_size, 30) << "g is a video option only";

    // "ab" is no library option: it is the audio codec's "b".
    task.SetOption("ab", "64");
    EXPECT_EQ(CodecOption(AVMEDIA_TYPE_AUDIO, "b"), 64);
    EXPECT_EQ(LogsWith("WARNING: The bitrate parameter is set too low. It takes bits/s as argument, not kbits/s"), 1u);
    task.SetOption("ab", "64000");
    task.SetOption("vb", "1000");
    EXPECT_EQ(CodecOption(AVMEDIA_TYPE_VIDEO, "b"), 1000);
    EXPECT_EQ(LogsWith("WARNING: The bitrate parameter is set too low. It takes bits/s as argument, not kbits/s"), 1u);

    EXPECT_TRUE(task.SetGenericOption("packetsize", "2324"));
    EXPECT_EQ(task.OptionStore().FormatOptions->packet_size, 2324u);
    EXPECT_TRUE(task.SetGenericOption("sws_flags", "bilinear"));
    EXPECT_FALSE(task.SetGenericOption("no_such_option", "1"));
    EXPECT_FALSE(task.SetGenericOption("g", " "));
    EXPECT_FALSE(task.SetGenericOption("", "1"));
    // The option's own name is recorded: the library knows "ab" as an audio option of its own.
    EXPECT_EQ(task.OptionStore().Names, (std::vector<std::string>{"g", "ab", "ab", "b", "packetsize", "sws_flags"}));
}

TEST_F(OptionTest, AValueTheLibraryRefusesIsReportedInItsLog)
{
    kv::TDIdezuDOR component;
    ASSERT_TRUE(component.LoadLibraries(""));
    std::vector<std::string> lines;
    component.OnLog = [&](int, kv::TLogLevel ALevel, const std::string& AMsg) {
        if (ALevel == kv::llError)
            lines.push_back(AMsg);
    };
    EXPECT_FALSE(task.SetGenericOption("g", "many"));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "Invalid value \"many\" for option \"g\"");
    EXPECT_TRUE(task.OptionStore().Names.empty());
}

TEST_F(OptionTest, ADebugOptionRaisesTheVerbosity)
{
    task.SetLogLevel(1);
    EXPECT_TRUE(task.SetGenericOption("debug", "pict"));
    EXPECT_EQ(task.Options().Verbose, 2);
}

TEST_F(OptionTest, RecordedOptionsReachOnlyContextsWithMatchingFlags)
{
    task.ApplyOptionLines("g=33\nab=96000\nmaxrate=1000000", false);
    auto context = [](const char* encoder) {
        return kv::CodecContextPtr(kv::lav::avcodec_alloc_context3(kv::lav::avcodec_find_encoder_by_name(encoder)));
    };
    kv::CodecContextPtr video = context("mpeg4");
    kv::CodecContextPtr audio = context("mp2");
    kv::TOptionStore& store = task.OptionStore();
    task.ApplyRecordedOptions(video.get(), store.CodecOptions[AVMEDIA_TYPE_VIDEO].get(),
                              AV_OPT_FLAG_VIDEO_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
    task.ApplyRecordedOptions(audio.get(), store.CodecOptions[AVMEDIA_TYPE_AUDIO].get(),
                              AV_OPT_FLAG_AUDIO_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
    EXPECT_EQ(video->gop_size, 33);
    EXPECT_EQ(video->rc_max_rate, 1000000);
    EXPECT_NE(audio->gop_size, 33);
    EXPECT_EQ(audio->bit_rate, 96000);
    EXPECT_NE(video->bit_rate, 96000);
}

TEST_F(OptionTest, MuxerSettingsAreKeptForTheForcedOutputFormat)
{
    EXPECT_FALSE(task.SetGenericOption("muxrate", "1411200")) << "no output format forced yet";
    task.SetOption("f", "vcd");
    EXPECT_TRUE(task.SetGenericOption("muxrate", "1411200"));
    EXPECT_EQ(task.OptionStore().MuxerOptions,
              (std::vector<std::pair<std::string, std::string>>{{"muxrate", "1411200"}}));
}

TEST_F(OptionTest, MalformedOptionTextNeverCrashes)
{
    std::mt19937 random(20261209);
    const std::vector<std::string> names = {
        "map",      "map_meta_data",
        "t",        "ss",
        "itsscale", "timestamp",
        "metadata", "r",
        "s",        "aspect",
        "pix_fmt",  "croptop",
        "padleft",  "padcolor",
        "qscale",   "vcodec",
        "pass",     "intra_matrix",
        "vtag",     "atag",
        "ar",       "sample_fmt",
        "absf",     "vbsf",
        "f",        "b",
        "ab",       "g",
        "v",        "target",
        "vfilters", "vhook",
        "x",        "",
    };
    const std::string alphabet = "=\n\r:,.-+$x0123456789abc \t|\xff";
    auto text = [&](size_t length) {
        std::string s;
        for (size_t i = 0; i < length; ++i)
            s += (random() % 5 == 0) ? static_cast<char>(random() % 256) : alphabet[random() % alphabet.size()];
        return s;
    };
    for (int round = 0; round < 4000; ++round) {
        std::string lines;
        const int count = 1 + static_cast<int>(random() % 4);
        for (int i = 0; i < count; ++i)
            lines += names[random() % names.size()] + "=" + text(random() % 40) + "\n";
        if (round % 500 == 0)
            lines += std::string(200000, "=\n,:"[round % 4]);
        task.ResetTask();
        try {
            task.ApplyOptionLines(lines, round % 2 == 1);
        } catch (const kv::Exception&) {
            // Refusals are fine; anything else is a fault.
        }
    }
    task.ResetTask();
    std::string many;
    for (int i = 0; i < 5000; ++i)
        many += "map=0." + std::to_string(i) + "\n";
    EXPECT_EQ(LinesRefusal(many), "Too many stream maps (at most 400)");
    EXPECT_EQ(task.Options().NbStreamMaps, 400);
}

}  // namespace
