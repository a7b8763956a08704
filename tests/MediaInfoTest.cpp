// Media facts read with the MediaInfo library, checked against what the mediainfo tool prints for the
// same files; the parsing of MediaInfo's value texts; files it cannot read.
#include <gtest/gtest.h>
#include <locale.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <sstream>
#include <thread>
#include <vector>

#include "MediaFixtures.h"
#include "NumericLocale.h"
#include "TestSupport.h"
#include "component/MediaInfoDll.h"
#include "media/OptionValues.h"

using namespace kvtest;

namespace {

std::string Quoted(const std::string& Text)
{
    std::string quoted = "'";
    for (const char c : Text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::vector<std::string> Split(const std::string& Text, char Delimiter)
{
    std::vector<std::string> parts;
    std::istringstream stream(Text);
    for (std::string part; std::getline(stream, part, Delimiter);)
        parts.push_back(part);
    return parts;
}

// What the mediainfo tool prints for an --Inform template, split at Delimiter with the final line end
// removed.
std::vector<std::string> Tool(const std::string& File, const std::string& Template, char Delimiter = '|')
{
    std::string output;
    EXPECT_EQ(RunCommand("mediainfo --Inform=" + Quoted(Template) + " " + Quoted(File), output), 0) << output;
    while (!output.empty() && output.back() == '\n')
        output.pop_back();
    std::vector<std::string> parts = Split(output, Delimiter);
    // A template ending in empty fields gives fewer parts.
    parts.resize(std::max<size_t>(parts.size(), 8));
    return parts;
}

// The tool's numbers, read by the C library in the test process's "C" locale.
int IntOf(const std::string& Text) { return Text.empty() ? 0 : std::atoi(Text.c_str()); }
double FloatOf(const std::string& Text) { return Text.empty() ? 0.0 : std::strtod(Text.c_str(), nullptr); }

struct TRecipe {
    const char* Name;
    const char* Arguments;
};

// Files beyond the shared fixtures: codecs those lack, a fractional frame rate.
const TRecipe Extras[] = {
    {"aac.mp4", "-f lavfi -i testsrc=size=160x120:rate=25:duration=2 -f lavfi -i sine=sample_rate=22050:duration=2 "
                "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -shortest"},
    {"ac3_ntsc.mkv", "-f lavfi -i testsrc=size=160x120:rate=30000/1001:duration=2 "
                     "-f lavfi -i sine=sample_rate=22050:duration=2 -c:v mpeg2video -c:a ac3 -shortest"},
    {"pcm.wav", "-f lavfi -i sine=sample_rate=22050:duration=2 -c:a pcm_s16le"},
};

class MediaInfoTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { folder = new TempFolder("mediainfo"); }
    static void TearDownTestSuite()
    {
        delete folder;
        folder = nullptr;
    }

    // A shared fixture, or one of the files above or "truncated.avi", made on first use.
    static std::string File(const std::string& Name)
    {
        const std::string path = folder->Path + "/" + Name;
        if (::access(path.c_str(), R_OK) == 0)
            return path;
        if (Name == "truncated.avi") {
            // The headers survive, most of the frames do not.
            std::ifstream source(Fixture("video_audio.avi"), std::ios::binary);
            std::vector<char> head(3000);
            source.read(head.data(), static_cast<std::streamsize>(head.size()));
            std::ofstream(path, std::ios::binary).write(head.data(), source.gcount());
            return path;
        }
        for (const TRecipe& recipe : Extras)
            if (Name == recipe.Name) {
                std::string output;
                if (RunCommand("ffmpeg -nostdin -v error -y " + std::string(recipe.Arguments) + " " + Quoted(path),
                               output) != 0)
                    ADD_FAILURE() << "ffmpeg could not make " << Name << ": " << output;
                return path;
            }
        return Fixture(Name);
    }

    static TempFolder* folder;
};

TempFolder* MediaInfoTest::folder = nullptr;

struct TFile {
    const char* Name;
    bool Video;
};

const TFile AllFiles[] = {
    {"video_audio.avi", true}, {"audio_only.mp3", false}, {"two_audio.mkv", true}, {"h264.mp4", true},
    {"aac.mp4", true},         {"ac3_ntsc.mkv", true},    {"pcm.wav", false},      {"truncated.avi", true},
};

TEST_F(MediaInfoTest, VideoAndGeneralFactsMatchTheTool)
{
    for (const TFile& f : AllFiles) {
        SCOPED_TRACE(f.Name);
        const std::string file = File(f.Name);
        const std::vector<std::string> video = Tool(file, "Video;%Format%|%Width%|%Height%|%FrameRate%|%BitRate%");
        const std::vector<std::string> general = Tool(file, "General;%Duration%|%FileExtension%|%AudioCount%");
        // Two empty answers would agree too: each of these files has a duration, and a size when it has video.
        ASSERT_FALSE(general[0].empty());
        ASSERT_EQ(video[1].empty(), !f.Video);

        const kv::TMediaInfoDll info(file);
        EXPECT_EQ(info.GetVideoCodec(), video[0]);
        EXPECT_EQ(info.GetWidth(), IntOf(video[1]));
        EXPECT_EQ(info.GetHeight(), IntOf(video[2]));
        EXPECT_DOUBLE_EQ(info.GetFrameRate(), FloatOf(video[3]));
        EXPECT_DOUBLE_EQ(info.GetBitRate(), FloatOf(video[4]));
        EXPECT_EQ(info.GetPlayTime(), IntOf(general[0]));
        EXPECT_GT(info.GetPlayTime(), 0);
        EXPECT_EQ(info.GetFileExtension(), general[1]);
        EXPECT_EQ(info.AudioStreamCount(), IntOf(general[2]));
    }
}

TEST_F(MediaInfoTest, AudioCodecsHaveTheirShortNames)
{
    struct TCase {
        const char* File;
        int Index;
        const char* Tool;  // the tool's Format|Format_Profile for the stream
        const char* Name;
    };
    const TCase cases[] = {
        {"video_audio.avi", 0, "MPEG Audio|Layer 2", "MP2"},
        {"audio_only.mp3", 0, "MPEG Audio|Layer 3", "MP3"},
        {"two_audio.mkv", 0, "Vorbis|", "Vorbis"},
        {"two_audio.mkv", 1, "FLAC|", "FLAC"},
        {"aac.mp4", 0, "AAC|", "AAC"},
        {"ac3_ntsc.mkv", 0, "AC-3|", "AC3"},
        {"pcm.wav", 0, "PCM|", "PCM"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(c.File) + " audio " + std::to_string(c.Index));
        const std::string file = File(c.File);
        const std::vector<std::string> lines = Tool(file, "Audio;%Format%|%Format_Profile%\\n", '\n');
        // The fixture holds what the case is about.
        EXPECT_EQ(lines[c.Index], c.Tool);
        EXPECT_EQ(kv::TMediaInfoDll(file).GetAudioCodec(c.Index), c.Name);
    }
}

TEST_F(MediaInfoTest, StreamsThatDoNotExistHaveNoCodec)
{
    const kv::TMediaInfoDll twoAudio(File("two_audio.mkv"));
    EXPECT_EQ(twoAudio.AudioStreamCount(), 2);
    EXPECT_EQ(twoAudio.GetAudioCodec(2), "");
    EXPECT_EQ(twoAudio.GetAudioCodec(-1), "");

    const kv::TMediaInfoDll videoOnly(File("h264.mp4"));
    EXPECT_EQ(videoOnly.AudioStreamCount(), 0);
    EXPECT_EQ(videoOnly.GetAudioCodec(0), "");
    EXPECT_EQ(videoOnly.GetVideoCodec(), "AVC");

    const kv::TMediaInfoDll audioOnly(File("audio_only.mp3"));
    EXPECT_EQ(audioOnly.GetVideoCodec(), "");
    EXPECT_EQ(audioOnly.GetFrameRate(), 0.0);
}

TEST_F(MediaInfoTest, UnreadableFilesGiveEmptyAnswers)
{
    const std::string folderPath = folder->Path;
    std::ofstream(folderPath + "/empty.mp4").close();
    {
        std::mt19937 random(7);
        std::ofstream bytes(folderPath + "/random.avi", std::ios::binary);
        for (int i = 0; i < 65536; ++i)
            bytes.put(static_cast<char>(random() & 0xFF));
    }
    {
        std::ifstream source(Fixture("h264.mp4"), std::ios::binary);
        std::vector<char> head(3000);
        source.read(head.data(), static_cast<std::streamsize>(head.size()));
        std::ofstream(folderPath + "/truncated.mp4", std::ios::binary).write(head.data(), source.gcount());
    }
    std::filesystem::create_directory(folderPath + "/folder.avi");

    struct TCase {
        const char* What;
        std::string Path;
        bool NoName;  // nothing was opened, so not even the name's extension is known
    };
    const TCase cases[] = {
        {"missing", folderPath + "/missing.avi", true},
        {"folder", folderPath + "/folder.avi", true},
        // Everything after the NUL would be dropped on the way to the library, leaving a readable file.
        {"name with NUL", Fixture("video_audio.avi") + std::string("\0.txt", 5), true},
        {"empty", folderPath + "/empty.mp4", false},
        {"random bytes", folderPath + "/random.avi", false},
        {"truncated before its index", folderPath + "/truncated.mp4", false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        const kv::TMediaInfoDll info(c.Path);
        EXPECT_EQ(info.GetWidth(), 0);
        EXPECT_EQ(info.GetHeight(), 0);
        EXPECT_EQ(info.GetFrameRate(), 0.0);
        EXPECT_EQ(info.GetBitRate(), 0.0);
        EXPECT_EQ(info.GetPlayTime(), 0);
        EXPECT_EQ(info.GetVideoCodec(), "");
        EXPECT_EQ(info.GetAudioCodec(0), "");
        EXPECT_EQ(info.AudioStreamCount(), 0);
        if (c.NoName) {
            EXPECT_EQ(info.GetFileExtension(), "");
        }
    }
}

TEST_F(MediaInfoTest, NamesWithNonAsciiCharactersUnderTheCLocale)
{
    // The test program never sets a locale, like the command-line program.
    ASSERT_STREQ(::setlocale(LC_CTYPE, nullptr), "C");
    const std::string original = File("audio_only.mp3");
    const std::string copy = folder->Path + "/Mädchen – Straße.mä3";
    std::filesystem::copy_file(original, copy);

    const kv::TMediaInfoDll info(copy);
    EXPECT_EQ(info.GetAudioCodec(0), "MP3");
    EXPECT_EQ(info.GetPlayTime(), kv::TMediaInfoDll(original).GetPlayTime());
    EXPECT_GT(info.GetPlayTime(), 0);
    EXPECT_EQ(info.GetFileExtension(), "mä3");
    // Reading it did not change the process's locale.
    EXPECT_STREQ(::setlocale(LC_CTYPE, nullptr), "C");
}

struct TAnswers {
    int Width, PlayTime, Count;
    double FrameRate;
    std::string Video, Audio;
    bool operator==(const TAnswers&) const = default;
};

std::ostream& operator<<(std::ostream& Stream, const TAnswers& A)
{
    return Stream << A.Width << " " << A.PlayTime << " ms " << A.Count << " audio " << A.FrameRate << " fps " << A.Video
                  << " " << A.Audio;
}

TAnswers Read(const kv::TMediaInfoDll& Info)
{
    return {Info.GetWidth(),     Info.GetPlayTime(),   Info.AudioStreamCount(),
            Info.GetFrameRate(), Info.GetVideoCodec(), Info.GetAudioCodec(Info.AudioStreamCount() - 1)};
}

TAnswers Read(const std::string& File) { return Read(kv::TMediaInfoDll(File)); }

// Runs Read(i) on four threads, Rounds times for every i below Count; what each read gave.
std::vector<std::vector<TAnswers>> ReadOnThreads(size_t Count, size_t Rounds,
                                                 const std::function<TAnswers(size_t)>& Read)
{
    constexpr size_t Threads = 4;
    std::vector<std::vector<TAnswers>> seen(Count);
    std::vector<std::thread> threads;
    std::mutex lock;
    for (size_t t = 0; t < Threads; ++t)
        threads.emplace_back([&, t] {
            for (size_t n = 0; n < Rounds * Count; ++n) {
                const size_t i = (n + t) % Count;
                TAnswers answers{};
                try {
                    answers = Read(i);
                } catch (const std::exception& e) {
                    answers.Video = std::string("raised: ") + e.what();
                }
                std::lock_guard<std::mutex> hold(lock);
                seen[i].push_back(answers);
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    return seen;
}

TEST_F(MediaInfoTest, ObjectsAnswerTheSameOnSeveralThreads)
{
    std::vector<std::string> files;
    for (const TFile& f : AllFiles)
        files.push_back(File(f.Name));
    // Nothing is read before the threads start: when this test runs alone, the library is first loaded
    // by one of them.
    const auto own = ReadOnThreads(files.size(), 3, [&](size_t i) { return Read(files[i]); });
    // One object per file, asked by all threads at once: many times, as two threads must meet in one
    // object's answer buffer.
    std::vector<std::unique_ptr<kv::TMediaInfoDll>> shared;
    for (const std::string& file : files)
        shared.push_back(std::make_unique<kv::TMediaInfoDll>(file));
    const auto common = ReadOnThreads(files.size(), 50, [&](size_t i) { return Read(*shared[i]); });

    for (size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(files[i]);
        const TAnswers expected = Read(files[i]);
        for (const TAnswers& answers : own[i])
            EXPECT_EQ(answers, expected);
        for (const TAnswers& answers : common[i])
            EXPECT_EQ(answers, expected);
    }
}

TEST(MediaInfoText, ParseIntText)
{
    struct TCase {
        const char* Text;
        int64_t Expected;
    };
    const TCase cases[] = {
        {"5025.000", 5025}, {"25/1", 25},
        {" 720 ", 720},     {"\t1080\r\n", 1080},
        {"-3", -3},         {"30000/1001", 30000},
        {"1.5/2", 1},       {"8589934597", 8589934597},
        {"", -1},           {"  ", -1},
        {"abc", -1},        {"12abc", -1},
        {".5", -1},         {"/25", -1},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(kv::ParseIntText(c.Text, -1), c.Expected) << '"' << c.Text << '"';
}

TEST(MediaInfoText, ParseFloatText)
{
    struct TCase {
        const char* Text;
        double Expected;
    };
    const TCase cases[] = {
        {"128000", 128000.0}, {"1.5", 1.5}, {" 29.970 ", 29.97}, {"25/1", 25.0}, {"30000/1001", 30000.0},
        {"1,5", -1.0},        {"", -1.0},   {" ", -1.0},         {"abc", -1.0},  {"2.5x", -1.0},
    };
    for (const TCase& c : cases)
        EXPECT_DOUBLE_EQ(kv::ParseFloatText(c.Text, -1.0), c.Expected) << '"' << c.Text << '"';
}

TEST(MediaInfoText, ParseFloatTextReadsAPointUnderACommaLocale)
{
    TempFolder folder("locale");
    TNumericLocale locale;
    if (!locale.UseCommaLocale(folder.Path))
        FAIL() << "no locale with a decimal comma is available (scripts/install-deps.sh makes de_DE.UTF-8)";
    ASSERT_STREQ(::localeconv()->decimal_point, ",");
    EXPECT_DOUBLE_EQ(kv::ParseFloatText("1.5", -1.0), 1.5);
    EXPECT_DOUBLE_EQ(kv::ParseFloatText("29.970", -1.0), 29.97);
    EXPECT_DOUBLE_EQ(kv::ParseFloatText("1,5", -1.0), -1.0);
}

}  // namespace
