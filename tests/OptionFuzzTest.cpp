// Convert-style option lines with random names of the vocabulary and hostile values, from a fixed seed:
// set-up either takes them or refuses them with an engine exception, the prepared output holds only
// values the libraries accept, and nothing is left behind in the output folder. Under the sanitizers
// this also shows that no line leads to undefined behaviour or a memory fault.
#include <gtest/gtest.h>
#include <dirent.h>
#include <unistd.h>

#include <climits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "MediaFixtures.h"
#include "TestSupport.h"
#include "engine/FFmpegException.h"
#include "engine/FFmpegTask.h"
#include "engine/OptionHandlers.h"  // MaxMuxSeconds
#include "engine/OptionTable.h"

using namespace kvtest;

namespace {

// The value tables are laid out by hand.
// clang-format off
// Every name of the option table.
const char* const TableNames[] = {
    "L", "h", "version", "formats", "f", "i", "y", "map", "map_meta_data", "t", "fs", "ss", "itsoffset",
    "itsscale", "timestamp", "metadata", "dframes", "benchmark", "dump", "hex", "re", "loop_input",
    "loop_output", "v", "target", "threads", "vsync", "async", "adrift_threshold", "vglobal", "copyts",
    "shortest", "dts_delta_threshold", "programid", "xerror", "copyinkf", "b", "vb", "vframes", "r", "s",
    "aspect", "pix_fmt", "croptop", "cropbottom", "cropleft", "cropright", "padtop", "padbottom", "padleft",
    "padright", "padcolor", "intra", "vn", "vdt", "qscale", "rc_override", "vcodec", "me_threshold", "sameq",
    "pass", "passlogfile", "deinterlace", "psnr", "vstats", "vstats_file", "vhook", "vfilters", "intra_matrix",
    "inter_matrix", "top", "dc", "vtag", "newvideo", "qphist", "force_fps", "ab", "aframes", "aq", "ar", "ac",
    "an", "acodec", "atag", "vol", "newaudio", "alang", "sample_fmt", "sn", "scodec", "newsubtitle", "slang",
    "vc", "tvstd", "isync", "muxdelay", "muxpreload", "absf", "vbsf", "sbsf", "apre", "vpre", "spre",
};

// Names of the generic path whose values reach encoder arithmetic.
const char* const GenericNames[] = {"bufsize", "g", "maxrate", "minrate", "bt", "qmin", "qmax", "flags", "strict"};

// Integers at the ends of the range, and next to them.
const char* const Extremes[] = {"2147483647", "2147483646", "-2147483648", "-2147483647", "0", "-1", "1", "2"};
const char* const Numbers[] = {
    "2147483648", "-2147483649", "4294967296", "9223372036854775807", "-9223372036854775808",
    "99999999999999999999", "1e308", "-1e308", "1e39", "1e30", "3.5e38", "0x7fffffff", "$FFFFFFFF", "7", "8",
    "255", "256", "65536", "1000000", "0.5", "-0.5", "2000", "2001", "3600"};
const char* const NonFinite[] = {"nan", "inf", "-inf", "NaN", "INF", "-nan", "1e-320", "infinity"};
const char* const Sizes[] = {"46342x46342", "46341x46341", "16384x16384", "100000x100000", "2147483646x2",
                             "2x2147483646", "65536x65536", "8192x8192", "2x2", "0x0", "-2x-2", "160x120",
                             "352x288", "351x288", "hd1080", "vga"};
const char* const Words[] = {"mpeg4", "mp2", "copy", "libx264", "h263", "flac", "pcm_s16le", "ac3", "avi", "mp4",
                             "matroska", "mpegts", "null", "image2", "vcd", "dvd", "pal-vcd", "ntsc-svcd",
                             "film-dvd", "dv", "yuv420p", "list", "s16", "h264_mp4toannexb", "hflip",
                             "scale=320:240", "0.1", "0:1:0:0", "0,10,-2147483648/5,1,2", "1:2:3:4", "4:3",
                             "16:9", "title=x", "=", "0,0,0", "+global_header", "XVID", "mp4a", "|", " ", "a|b"};
// clang-format on

class OptionFuzzTest : public ::testing::Test {
protected:
    void SetUp() override { LoadSystemLibraries(); }

    template <size_t N>
    std::string Pick(const char* const (&List)[N])
    {
        return List[std::uniform_int_distribution<size_t>(0, N - 1)(rng)];
    }
    int Between(int Low, int High) { return std::uniform_int_distribution<int>(Low, High)(rng); }

    std::string Characters(int Length, int Low, int High)
    {
        std::string text;
        for (int i = 0; i < Length; ++i) {
            char c = static_cast<char>(Between(Low, High));
            text += c == '\n' || c == '\r' ? ' ' : c;  // a line break would start another line
        }
        return text;
    }

    // Extreme integers joined by Separator, Count of them.
    std::string ExtremeList(int Count, const char* Separator)
    {
        std::string text = Pick(Extremes);
        for (int i = 1; i < Count; ++i)
            text += Separator + Pick(Extremes);
        return text;
    }

    // A value in the shape the option reads, made of extremes.
    std::string Shaped(const std::string& Name)
    {
        if (Name == "s")
            return Pick(Sizes);
        if (Name == "rc_override")
            return ExtremeList(3, ",") + (Between(0, 1) ? "/" + ExtremeList(3, ",") : "");
        if (Name == "intra_matrix" || Name == "inter_matrix")
            return ExtremeList(64, ",");
        if (Name == "map" || Name == "map_meta_data" || Name == "itsscale" || Name == "aspect")
            return ExtremeList(Between(2, 4), ":");
        return Pick(Extremes);
    }

    std::string Value(const std::string& Name)
    {
        switch (Between(0, 9)) {
        case 0:
        case 1: return Pick(Extremes);
        case 2: return Pick(Numbers);
        case 3:
        case 4: return Shaped(Name);
        case 5: return Pick(NonFinite);
        case 6: return Characters(Between(1, 8), 1, 31) + (Between(0, 1) ? "\x7f" : "12");
        case 7: return Characters(Between(300, 3000), 32, 126);
        case 8: return Pick(Words);
        default: return Between(0, 1) ? Characters(Between(0, 12), 32, 126) : std::to_string(Between(-100, 100));
        }
    }

    std::vector<std::string> Lines(int Count)
    {
        std::vector<std::string> lines;
        for (int i = 0; i < Count; ++i) {
            const std::string name = Between(0, 9) == 0 ? Pick(GenericNames) : Pick(TableNames);
            lines.push_back(name + (Between(0, 15) == 0 ? "" : "=" + Value(name)));
        }
        return lines;
    }

    // Each line on its own, so that a refused line does not keep the others from being tried.
    static void Apply(kv::TFFmpeg& Task, const std::vector<std::string>& Lines, bool NewStreamPass)
    {
        for (const std::string& line : Lines) {
            try {
                Task.ApplyOptionLines(line, NewStreamPass);
            } catch (const kv::Exception&) {
            }
        }
    }

    static std::string Joined(const std::vector<std::string>& Lines)
    {
        std::string text;
        for (const std::string& line : Lines)
            text += line + "\n";
        return text;
    }

    // The libraries' own rule for picture sizes (their image size check), written out here.
    static bool LibrariesTake(int64_t Width, int64_t Height)
    {
        return Width > 0 && Height > 0 && (Width + 128) * (Height + 128) < INT_MAX / 8;
    }

    // What an output that was prepared holds: values the libraries take.
    static void CheckPrepared(kv::TFFmpeg& Task, const std::string& Lines)
    {
        const AVFormatContext& output = *Task.Files().OutputFiles[0];
        EXPECT_GE(output.max_delay, 0) << Lines;
        EXPECT_LE(output.max_delay, kv::MaxMuxSeconds * 1000000) << Lines;
        for (const auto& [name, value] : Task.OptionStore().MuxerOptions) {
            if (name == "preload") {
                EXPECT_GE(std::stoll(value), 0) << Lines;
                EXPECT_LE(std::stoll(value), kv::MaxMuxSeconds * 1000000LL) << Lines;
            }
        }
        for (const kv::TOutputStreamSetup& stream : Task.Files().OutputStreams[0]) {
            const AVCodecContext& encoder = *stream.Encoder;
            if (encoder.codec_type == AVMEDIA_TYPE_VIDEO && !stream.StreamCopy && encoder.width != 0 &&
                encoder.height != 0) {
                EXPECT_TRUE(LibrariesTake(encoder.width, encoder.height))
                    << encoder.width << "x" << encoder.height << "\n"
                    << Lines;
            }
        }
    }

    static std::vector<std::string> FolderEntries(const std::string& Path)
    {
        std::vector<std::string> names;
        if (DIR* dir = ::opendir(Path.c_str())) {
            while (const dirent* entry = ::readdir(dir))
                if (std::string(entry->d_name) != "." && std::string(entry->d_name) != "..")
                    names.push_back(entry->d_name);
            ::closedir(dir);
        }
        return names;
    }

    std::mt19937 rng{20240615};
    TempFolder out{"option_fuzz"};
};

TEST_F(OptionFuzzTest, HostileOptionLinesAreTakenOrRefusedButNeverHarm)
{
    ASSERT_EQ(std::size(TableNames), kv::OptionCount());
    for (const char* name : TableNames)
        ASSERT_NE(kv::FindOption(name), nullptr) << name;

    const char* const extensions[] = {".avi", ".mp4", ".mkv", ".mpg"};
    const std::string input = Fixture("video_audio.avi");
    int lines = 0, inputs = 0, outputs = 0;
    for (int round = 0; lines < 8000; ++round) {
        const int inputCount = Between(0, 2);
        const int outputCount = Between(1, 5);
        lines += inputCount + outputCount;
        const std::vector<std::string> inputLines = Lines(inputCount);
        const std::vector<std::string> outputLines = Lines(outputCount);
        const std::string all = "input:\n" + Joined(inputLines) + "output:\n" + Joined(outputLines);
        try {
            auto task = std::make_unique<kv::TFFmpeg>();
            task->ResetTask();
            Apply(*task, inputLines, false);
            if (!task->OpenInputFile(input))
                continue;
            ++inputs;
            Apply(*task, outputLines, false);
            if (task->OpenOutputFile(out.Path + "/fuzz" + std::to_string(round) + Pick(extensions)) < 0)
                continue;
            ++outputs;
            CheckPrepared(*task, all);
            Apply(*task, outputLines, true);
        } catch (const std::exception& e) {
            ADD_FAILURE() << "not an engine exception: " << e.what() << "\n" << all;
        }
        for (const std::string& name : FolderEntries(out.Path)) {
            ADD_FAILURE() << name << " left behind by\n" << all;
            ::unlink((out.Path + "/" + name).c_str());
        }
    }
    RecordProperty("prepared_inputs", inputs);
    RecordProperty("prepared_outputs", outputs);
    // The lines reach both sides of set-up often enough to mean something.
    EXPECT_GT(inputs, 1000);
    EXPECT_GT(outputs, 800);
}

}  // namespace
