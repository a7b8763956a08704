// Media facts read by a child process: the library's facts for a readable file, the probe's size and
// duration when the child hangs or fails, and never a child left behind.
#include <gtest/gtest.h>
#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <thread>

#include "MediaFixtures.h"
#include "NumericLocale.h"
#include "TestSupport.h"
#include "component/MediaFacts.h"
#include "component/MediaFactsProtocol.h"
#include "component/MediaInfoDll.h"
#include "media/AVProbe.h"

using namespace kvtest;
using namespace std::chrono_literals;

namespace {

// The damaged Matroska file on which the MediaInfo library loops for ever.
const std::string Hangs = std::string(KELVANE_SOURCE_FIXTURES) + "/mediainfo-hangs.mkv";

// The processes whose parent is this process, zombies included.
std::vector<int> Children()
{
    std::vector<int> children;
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return children;
    while (const dirent* entry = ::readdir(proc)) {
        const int pid = std::atoi(entry->d_name);
        if (pid <= 0)
            continue;
        std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
        std::string line;
        std::getline(stat, line);
        // pid (name) state ppid ...: the name may hold blanks and brackets, so read after the last ")".
        const size_t close = line.rfind(')');
        if (close == std::string::npos)
            continue;
        char state = 0;
        int parent = 0;
        if (std::sscanf(line.c_str() + close + 1, " %c %d", &state, &parent) == 2 && parent == ::getpid())
            children.push_back(pid);
    }
    ::closedir(proc);
    return children;
}

// Width and height of the first video stream (0 without one) and duration (ms) of a file as ffprobe reads
// them.
struct TToolFacts {
    int Width = 0, Height = 0;
    int64_t PlayTime = 0;
};
TToolFacts ToolFacts(const std::string& File)
{
    const std::map<std::string, std::string> facts = Probe(File);
    auto value = [&](const std::string& Key) { return facts.count(Key) ? facts.at(Key) : std::string("0"); };
    TToolFacts tool;
    for (int i = 0; facts.count("streams.stream." + std::to_string(i) + ".codec_type"); ++i)
        if (facts.at("streams.stream." + std::to_string(i) + ".codec_type") == "video") {
            tool.Width = std::atoi(value("streams.stream." + std::to_string(i) + ".width").c_str());
            tool.Height = std::atoi(value("streams.stream." + std::to_string(i) + ".height").c_str());
            break;
        }
    tool.PlayTime = std::llround(std::atof(value("format.duration").c_str()) * 1000.0);
    return tool;
}

class MediaFactsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        LoadSystemLibraries();
        ASSERT_EQ(::access(Hangs.c_str(), R_OK), 0) << Hangs;
    }
    void TearDown() override { EXPECT_TRUE(Children().empty()) << "a child process was left behind"; }
};

TEST_F(MediaFactsTest, TheHelperIsFoundBesideTheProgram)
{
    EXPECT_EQ(kv::TMediaFactsReader::HelperBesideProgram(), KELVANE_CLI);
    EXPECT_EQ(kv::TMediaFactsReader().Helper(), KELVANE_CLI);
    std::string output;
    ASSERT_EQ(RunCommand(std::string(KELVANE_CLI) + " --help", output), 0);
    EXPECT_NE(output.find("kelvane-cli mediainfo"), std::string::npos) << output;
}

// The child's facts are the library's own, for names a shell would split or an option parser take.
TEST_F(MediaFactsTest, AReadableFileGivesTheLibrarysFacts)
{
    TempFolder folder("facts");
    const std::string oddNames[] = {folder.Path + "/视频 片段.mkv", folder.Path + "/-starts-like-an-option.avi",
                                    folder.Path + "/it's $(not) run.mp4"};
    std::filesystem::copy_file(Fixture("two_audio.mkv"), oddNames[0]);
    std::filesystem::copy_file(Fixture("video_audio.avi"), oddNames[1]);
    std::filesystem::copy_file(Fixture("h264.mp4"), oddNames[2]);
    const std::string files[] = {Fixture("two_audio.mkv"),
                                 Fixture("video_audio.avi"),
                                 Fixture("audio_only.mp3"),
                                 Fixture("long_av.mkv"),
                                 oddNames[0],
                                 oddNames[1],
                                 oddNames[2]};
    const kv::TMediaFactsReader reader;
    for (const std::string& file : files) {
        kv::TMediaFacts facts;
        std::string error;
        ASSERT_TRUE(reader.Read(file, facts, error)) << file << ": " << error;
        EXPECT_EQ(error, "");
        const kv::TMediaInfoDll library(file);
        EXPECT_EQ(facts.Source, kv::TFactsSource::MediaInfo);
        EXPECT_EQ(facts.Width, library.GetWidth()) << file;
        EXPECT_EQ(facts.Height, library.GetHeight()) << file;
        EXPECT_NEAR(facts.FrameRate, library.GetFrameRate(), 0.0005) << file;
        EXPECT_NEAR(facts.VideoBitRate, library.GetBitRate(), 0.5) << file;
        EXPECT_EQ(facts.PlayTime, library.GetPlayTime()) << file;
        EXPECT_GT(facts.PlayTime, 0) << file;
        EXPECT_EQ(facts.FileExtension, library.GetFileExtension()) << file;
        EXPECT_EQ(facts.VideoCodec, library.GetVideoCodec()) << file;
        ASSERT_EQ(facts.AudioCodecs.size(), static_cast<size_t>(library.AudioStreamCount())) << file;
        for (size_t i = 0; i < facts.AudioCodecs.size(); ++i)
            EXPECT_EQ(facts.AudioCodecs[i], library.GetAudioCodec(static_cast<int>(i))) << file;
    }
    // Spot checks against what the fixtures were made with.
    kv::TMediaFacts facts;
    std::string error;
    ASSERT_TRUE(reader.Read(oddNames[0], facts, error)) << error;
    EXPECT_EQ(facts.Width, 160);
    EXPECT_EQ(facts.Height, 120);
    EXPECT_EQ(facts.FileExtension, "mkv");
    EXPECT_EQ(facts.AudioCodecs, (std::vector<std::string>{"Vorbis", "FLAC"}));
}

// The file the library never finishes: the child is killed at the timeout and the row gets the probe's
// resolution and duration, whether the caller's probe or one of the function's own reads them.
TEST_F(MediaFactsTest, AHangingFileEndsAtTheTimeoutWithTheProbesSizeAndDuration)
{
    // The damage hides the file's tracks from the format library too: it finds no stream, and reads the
    // duration from the file's header.
    const TToolFacts tool = ToolFacts(Hangs);
    ASSERT_GT(tool.PlayTime, 0);
    const kv::TMediaFactsReader reader("", 1500ms);
    EXPECT_EQ(reader.Timeout(), 1500ms);
    kv::TAVProbe callersProbe;
    ASSERT_TRUE(callersProbe.OpenFile(Hangs)) << callersProbe.LastError();
    for (kv::TCustomAVProbe* probe :
         {static_cast<kv::TCustomAVProbe*>(&callersProbe), static_cast<kv::TCustomAVProbe*>(nullptr)}) {
        const auto start = std::chrono::steady_clock::now();
        std::string error;
        const kv::TMediaFacts facts = kv::ReadMediaFactsOrProbe(reader, Hangs, probe, error);
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_GE(took, 1400ms) << "the library answered: the fixture no longer shows the hang";
        EXPECT_LT(took, 4s);
        EXPECT_NE(error.find("did not answer within 1500 ms"), std::string::npos) << error;
        EXPECT_EQ(facts.Source, kv::TFactsSource::Probe);
        EXPECT_EQ(facts.Width, tool.Width);
        EXPECT_EQ(facts.Height, tool.Height);
        EXPECT_NEAR(static_cast<double>(facts.PlayTime), static_cast<double>(tool.PlayTime), 1.0);
        EXPECT_TRUE(Children().empty()) << "the killed child was not reaped";
    }
}

// Whether the process Pid has ended (gone, or a zombie nobody reaped).
bool Ended(int Pid)
{
    std::ifstream stat("/proc/" + std::to_string(Pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return true;
    const size_t close = line.rfind(')');
    return close != std::string::npos && line.size() > close + 2 && line[close + 2] == 'Z';
}

// A helper whose program died (and so never kills it) does not spin on the file for ever: neither the one
// started for a single file nor the one that serves many.
TEST_F(MediaFactsTest, AHelperEndsWithTheProgramThatStartedIt)
{
    TempFolder folder("orphan");
    const std::string file = folder.Path + "/orphaned.mkv", pidFile = folder.Path + "/helper.pid";
    std::filesystem::copy_file(Hangs, file);
    const struct {
        const char* Mode;
        std::string Start;  // a shell command starting the helper in the background on "$1"
    } modes[] = {
        {"one file", "\"$0\" mediainfo -- \"$1\""},
        {"serving", "printf \"%s\\000\" \"$1\" | \"$0\" mediainfo --serve"},
    };
    for (const auto& mode : modes) {
        SCOPED_TRACE(mode.Mode);
        std::string output;
        // A shell starts the helper, waits until it is stuck in the file, and is killed. The helper's
        // output goes nowhere: a helper that lives on must not hold this test's pipe open.
        RunCommand("sh -c '" + mode.Start + " >/dev/null 2>&1 & echo $! >\"$2\"; sleep 0.5; kill -9 $$' '" +
                       std::string(KELVANE_CLI) + "' '" + file + "' '" + pidFile + "'",
                   output);
        std::ifstream in(pidFile);
        int pid = 0;
        ASSERT_TRUE(in >> pid) << output;
        const bool ended = WaitUntil([&] { return Ended(pid); }, 3s);
        if (!ended)
            ::kill(pid, SIGKILL);
        EXPECT_TRUE(ended) << "the helper outlived the program that started it";
    }
}

// One helper answers file after file; one that died while waiting is replaced without the caller seeing
// it; one that hung is killed and the next file gets a fresh one. A helper does not end with the thread
// that started it: the list reads on threads that come and go.
TEST_F(MediaFactsTest, AHelperServesManyFilesAndIsReplacedWhenItDies)
{
    TempFolder folder("serve");
    // NUL ends a name on the helper's input; every other character is the name's own.
    const std::string lineBreak = folder.Path + "/two\nlines.mkv";
    std::filesystem::copy_file(Fixture("two_audio.mkv"), lineBreak);
    const kv::TMediaFactsReader reader("", 1500ms);
    const auto read = [&](const std::string& File) {
        kv::TMediaFacts facts;
        std::string error;
        EXPECT_TRUE(reader.Read(File, facts, error)) << File << ": " << error;
        EXPECT_EQ(facts.Width, 160) << File;
        return facts;
    };
    std::thread([&] { read(Fixture("video_audio.avi")); }).join();
    ASSERT_EQ(reader.IdleHelpers().size(), 1u);
    const int first = reader.IdleHelpers()[0];
    for (const std::string& file : {Fixture("two_audio.mkv"), lineBreak, Fixture("h264.mp4")})
        read(file);
    EXPECT_EQ(read(lineBreak).AudioCodecs, (std::vector<std::string>{"Vorbis", "FLAC"}));
    EXPECT_EQ(reader.IdleHelpers(), std::vector<int>{first}) << "each file started a helper of its own";

    ::kill(first, SIGKILL);
    ASSERT_TRUE(WaitUntil([&] { return Ended(first); }, 2s));
    read(Fixture("video_audio.avi"));
    ASSERT_EQ(reader.IdleHelpers().size(), 1u);
    EXPECT_NE(reader.IdleHelpers()[0], first);
    EXPECT_EQ(Children().size(), 1u) << "the dead helper was not reaped";

    kv::TMediaFacts facts;
    std::string error;
    EXPECT_FALSE(reader.Read(Hangs, facts, error));
    EXPECT_NE(error.find("did not answer within 1500 ms"), std::string::npos) << error;
    EXPECT_TRUE(Children().empty()) << "the hung helper was not killed and reaped";
    read(Fixture("video_audio.avi"));
}

// A hanging read on another thread holds up no other read: each child has its own pipes, and none of them
// reaches the hanging child.
TEST_F(MediaFactsTest, AHangingReadDoesNotHoldUpOthers)
{
    const kv::TMediaFactsReader reader("", 3s);
    std::vector<std::future<bool>> hanging;
    for (int i = 0; i < 2; ++i)
        hanging.push_back(std::async(std::launch::async, [&] {
            kv::TMediaFacts facts;
            std::string error;
            return reader.Read(Hangs, facts, error);
        }));
    for (int i = 0; i < 4; ++i) {
        const auto start = std::chrono::steady_clock::now();
        kv::TMediaFacts facts;
        std::string error;
        EXPECT_TRUE(reader.Read(Fixture("video_audio.avi"), facts, error)) << error;
        EXPECT_LT(std::chrono::steady_clock::now() - start, 2s) << "read " << i << " waited for the hanging ones";
    }
    for (auto& read : hanging)
        EXPECT_FALSE(read.get());
}

TEST_F(MediaFactsTest, FailuresAreReportedAndLeaveTheFactsEmpty)
{
    TempFolder folder("facts");
    const std::string text = folder.Path + "/notes.avi";
    std::ofstream(text) << "not a video at all\n";
    const std::string missing = folder.Path + "/missing.mkv";
    const struct {
        const char* What;
        std::string Helper, File, Error;
    } failures[] = {
        {"missing file", "", missing, missing + ": No such file or directory"},
        {"folder", "", folder.Path, folder.Path + " is a folder"},
        {"not media", "", text, "MediaInfo finds no media in " + text},
        {"no helper", folder.Path + "/kelvane-cli", Fixture("video_audio.avi"),
         "cannot start the media facts helper " + folder.Path + "/kelvane-cli: No such file or directory"},
    };
    for (const auto& failure : failures) {
        const kv::TMediaFactsReader reader(failure.Helper);
        kv::TMediaFacts facts;
        facts.Width = 7;
        std::string error;
        EXPECT_FALSE(reader.Read(failure.File, facts, error)) << failure.What;
        EXPECT_EQ(error, failure.Error) << failure.What;
        EXPECT_EQ(facts.Source, kv::TFactsSource::None) << failure.What;
        EXPECT_EQ(facts.Width, 0) << failure.What;
    }
    // Without the helper the probe still answers; for a missing file nothing does.
    std::string error;
    const kv::TMediaFacts fromProbe = kv::ReadMediaFactsOrProbe(kv::TMediaFactsReader(folder.Path + "/kelvane-cli"),
                                                                Fixture("video_audio.avi"), nullptr, error);
    EXPECT_EQ(fromProbe.Source, kv::TFactsSource::Probe);
    EXPECT_EQ(fromProbe.Width, 160);
    EXPECT_EQ(fromProbe.PlayTime, ToolFacts(Fixture("video_audio.avi")).PlayTime);
    const kv::TMediaFacts none = kv::ReadMediaFactsOrProbe(kv::TMediaFactsReader(), missing, nullptr, error);
    EXPECT_EQ(none.Source, kv::TFactsSource::None);
    EXPECT_EQ(none.Width, 0);
    EXPECT_EQ(none.PlayTime, 0);
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;
}

TEST_F(MediaFactsTest, TheHelpersOutputIsReadLineByLine)
{
    const struct {
        const char* Output;
        int Width;
        double FrameRate;
        int64_t PlayTime;
        const char* VideoCodec;
        std::vector<std::string> AudioCodecs;
    } cases[] = {
        {"Width=720\nHeight=576\nFrameRate=25.000\nPlayTime=5025\nVideoCodec=AVC\nAudioCodec.0=AAC\n",
         720,
         25.0,
         5025,
         "AVC",
         {"AAC"}},
        // Codec names keep their blanks and "="; streams may come in any order; unknown keys are ignored.
        {"AudioCodec.1=MP3\nVideoCodec=MPEG-4 Visual\nAudioCodec.0=a=b\nColour=red\n",
         0,
         0.0,
         0,
         "MPEG-4 Visual",
         {"a=b", "MP3"}},
        // Numbers that do not read, negative ones and indexes no file has are left out.
        {"Width=wide\nFrameRate=-3\nPlayTime=\nAudioCodec.x=AAC\nAudioCodec.99999=AAC\nno equals sign\n",
         0,
         0.0,
         0,
         "",
         {}},
        {"", 0, 0.0, 0, "", {}},
    };
    for (const auto& c : cases) {
        kv::TMediaFacts facts;
        kv::ParseMediaFacts(c.Output, facts);
        EXPECT_EQ(facts.Width, c.Width) << c.Output;
        EXPECT_EQ(facts.FrameRate, c.FrameRate) << c.Output;
        EXPECT_EQ(facts.PlayTime, c.PlayTime) << c.Output;
        EXPECT_EQ(facts.VideoCodec, c.VideoCodec) << c.Output;
        EXPECT_EQ(facts.AudioCodecs, c.AudioCodecs) << c.Output;
    }
}

// What the helper writes, the program reads back: numbers in the same form under any locale, one answer
// cut from the next at its empty line even when a value holds line breaks, an error kept to one line, and
// requests cut at their NUL.
TEST(MediaFactsProtocol, WhatOneSideWritesTheOtherReads)
{
    TempFolder folder("comma-locale");
    TNumericLocale locale;
    ASSERT_TRUE(locale.UseCommaLocale(folder.Path))
        << "no locale with a decimal comma is available (scripts/install-deps.sh makes de_DE.UTF-8)";
    kv::TMediaFacts written;
    written.Width = 720;
    written.Height = 576;
    written.FrameRate = 29.97;
    written.VideoBitRate = 1500000.4;
    written.PlayTime = 5025;
    written.FileExtension = "mkv";
    written.VideoCodec = "AVC";
    written.AudioCodecs = {"AAC", "MP3"};
    const std::string lines = kv::MediaFactsLines(written);
    EXPECT_NE(lines.find("FrameRate=29.970\n"), std::string::npos) << lines;
    EXPECT_NE(lines.find("VideoBitRate=1500000\n"), std::string::npos) << lines;

    const std::string first = kv::MediaFactsAnswer(lines);
    const std::string received = first + kv::MediaFactsAnswer("Width=1\n");
    const size_t length = kv::MediaFactsAnswerLength(received);
    ASSERT_EQ(length, first.size() - 1);
    kv::TMediaFacts read;
    std::string error;
    ASSERT_TRUE(kv::ReadMediaFactsAnswer(received.substr(0, length), read, error)) << error;
    EXPECT_EQ(read.Width, 720);
    EXPECT_EQ(read.Height, 576);
    EXPECT_EQ(read.FrameRate, 29.97);
    EXPECT_EQ(read.VideoBitRate, 1500000.0);
    EXPECT_EQ(read.PlayTime, 5025);
    EXPECT_EQ(read.FileExtension, "mkv");
    EXPECT_EQ(read.VideoCodec, "AVC");
    EXPECT_EQ(read.AudioCodecs, written.AudioCodecs);
    // An answer still on its way, its empty line not yet come, is no answer.
    const std::string second = kv::MediaFactsAnswer("Width=1\n");
    EXPECT_EQ(kv::MediaFactsAnswerLength(second.substr(0, second.size() - 1)), std::string::npos);

    kv::TMediaFacts broken;
    broken.VideoCodec = "A\n\nB";
    const std::string odd = kv::MediaFactsAnswer(kv::MediaFactsLines(broken));
    EXPECT_EQ(kv::MediaFactsAnswerLength(odd), odd.size() - 1) << odd;

    const std::string failed = kv::MediaFactsErrorAnswer("cannot read\nthe file", "a.mkv");
    EXPECT_EQ(kv::MediaFactsAnswerLength(failed), failed.size() - 1);
    EXPECT_FALSE(kv::ReadMediaFactsAnswer(failed.substr(0, failed.size() - 1), read, error));
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    EXPECT_EQ(error.rfind("cannot read", 0), 0u) << error;

    std::string input = kv::MediaFactsRequest("a\nb") + kv::MediaFactsRequest("c") + "partial";
    std::string name;
    ASSERT_TRUE(kv::TakeMediaFactsRequest(input, name));
    EXPECT_EQ(name, "a\nb");
    ASSERT_TRUE(kv::TakeMediaFactsRequest(input, name));
    EXPECT_EQ(name, "c");
    EXPECT_FALSE(kv::TakeMediaFactsRequest(input, name));
    EXPECT_EQ(input, "partial");
}

}  // namespace
