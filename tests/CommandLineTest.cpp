// kelvane-cli as scripts use it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>

#include "MediaFixtures.h"
#include "TestSupport.h"

using namespace kvtest;

namespace {

std::string LastLine(const std::string& Text)
{
    std::string text = Text;
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    const size_t newline = text.rfind('\n');
    return newline == std::string::npos ? text : text.substr(newline + 1);
}

// Name as one shell word.
std::string Quoted(const std::string& Name)
{
    std::string quoted = "'";
    for (char c : Name)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string Cli(const std::string& Arguments) { return std::string(KELVANE_CLI) + " " + Arguments; }

std::string Contents(const std::string& File)
{
    std::ifstream in(File, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void Write(const std::string& File, const std::string& Contents) { std::ofstream(File, std::ios::binary) << Contents; }

size_t ErrorLines(const std::string& Output)
{
    size_t count = 0;
    for (size_t start = 0; start < Output.size();) {
        count += Output.compare(start, 6, "error:") == 0;
        const size_t end = Output.find('\n', start);
        start = end == std::string::npos ? Output.size() : end + 1;
    }
    return count;
}

TEST(CommandLineTest, FailuresEndWithTheReasonAndStatusOne)
{
    const TempFolder temp("cli");
    const struct {
        std::string Arguments;
        std::string LastLine;
    } cases[] = {
        {"convert '" + temp.Path + "/missing.avi' '" + temp.Path + "/out.mp4'",
         "error: " + temp.Path + "/missing.avi: no such file or directory"},
        {"convert -o vcodec=mp2 '" + Fixture("video_audio.avi") + "' '" + temp.Path + "/out.mp4'",
         "error: new_video_stream fail: Invalid encoder type 'mp2'"},
        {"convert -i threads=2 '" + Fixture("video_audio.avi") + "' '" + temp.Path + "/out.mp4'",
         "error: TODO: option - threads"},
        {"convert onlyone.avi", "error: convert needs an input and an output file (see kelvane-cli --help)"},
        {"convert -o", "error: option -o needs a line"},
        {"transcode a b", "error: unknown command 'transcode' (see kelvane-cli --help)"},
    };
    for (const auto& c : cases) {
        std::string output;
        EXPECT_EQ(RunCommand(std::string(KELVANE_CLI) + " " + c.Arguments, output), 1) << c.Arguments;
        EXPECT_EQ(LastLine(output), c.LastLine) << output;
    }
}

TEST(CommandLineTest, ConvertRunsTheConversionAndPrintsItsProgress)
{
    const TempFolder temp("cli");
    const std::string out = temp.Path + "/out.mp4";
    std::string output;
    const int status = RunCommand(Cli("convert --threads 2 -o vcodec=mpeg4 -o b=300000 " +
                                      Quoted(Fixture("video_audio.avi")) + " " + Quoted(out)),
                                  output);
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("[info] Input #0, avi, from '"), std::string::npos) << output;
    const size_t progress = output.rfind("[progress] frame=50 fps=");
    ASSERT_NE(progress, std::string::npos) << "the final report: " << output;
    EXPECT_NE(output.find(" total_ms=20", progress), std::string::npos) << "the input lasts 2.04 s: " << output;
    const auto facts = Probe(out);
    EXPECT_EQ(facts.count("streams.stream.0.codec_name") ? facts.at("streams.stream.0.codec_name") : "", "mpeg4");

    EXPECT_EQ(RunCommand(Cli("--help"), output), 0);
    EXPECT_NE(output.find("kelvane-cli convert [-y] [--threads N] [-i LINE]... [-o LINE]... INPUT OUTPUT"),
              std::string::npos);
    EXPECT_NE(output.find("kelvane-cli frame [-y] FILE POSITION_US OUT.png"), std::string::npos);
    EXPECT_EQ(
        RunCommand(Cli("convert --threads x " + Quoted(Fixture("video_audio.avi")) + " " + Quoted(out) + "2"), output),
        1);
    EXPECT_EQ(LastLine(output), "error: --threads needs a number of codec threads from 0 (automatic) to 256");
}

TEST(CommandLineTest, AnInterruptedConvertKeepsAPlayableShorterFile)
{
    const TempFolder temp("cli");
    const std::string out = temp.Path + "/out.avi";
    const std::string log = temp.Path + "/log.txt";
    // Read at the input's own pace, so that the interruption comes in the middle.
    const std::string command = Cli("convert -i re -o vcodec=mpeg4 " + Quoted(Fixture("long_av.mkv")) + " " +
                                    Quoted(out) + " 2>" + Quoted(log));
    std::string output;
    // Interrupted once the conversion has written something, however busy the machine is.
    const std::string wait = "for i in $(seq 300); do [ -s " + Quoted(out) + " ] && break; sleep 0.1; done; sleep 1";
    const int status =
        RunCommand("sh -c " + Quoted(command + " & pid=$!; " + wait + "; kill -INT $pid; wait $pid"), output);
    EXPECT_EQ(status, 130) << Contents(log);
    const auto facts = Probe(out);
    ASSERT_TRUE(facts.count("format.duration")) << Contents(log);
    EXPECT_GT(std::atof(facts.at("format.duration").c_str()), 0.5);
    EXPECT_LT(std::atof(facts.at("format.duration").c_str()), 7.8) << "shorter than the 8 s input";
    std::string errors;
    EXPECT_EQ(RunCommand("ffmpeg -nostdin -v error -i " + Quoted(out) + " -f null -", errors), 0);
    EXPECT_EQ(errors, "");
}

TEST(CommandLineTest, ProbePrintsTheFactsOfAFile)
{
    const std::string file = Fixture("two_audio.mkv");
    std::string output;
    ASSERT_EQ(RunCommand(std::string(KELVANE_CLI) + " probe '" + file + "' 2>/dev/null", output), 0) << output;
    std::map<std::string, std::string> facts;
    for (size_t start = 0; start < output.size();) {
        size_t end = output.find('\n', start);
        const std::string line = output.substr(start, end - start);
        start = end == std::string::npos ? output.size() : end + 1;
        if (const size_t equals = line.find('='); equals != std::string::npos)
            facts[line.substr(0, equals)] = line.substr(equals + 1);
    }
    const std::map<std::string, std::string> probe = Probe(file);
    EXPECT_EQ(facts["StreamCount"], "3");
    EXPECT_EQ(facts["AudioStreamCount"], "2");
    EXPECT_EQ(facts["FirstVideoStream"], "0");
    EXPECT_EQ(facts["FirstSubtitleStream"], "-1");
    EXPECT_EQ(facts["FormatName"], "matroska,webm");
    EXPECT_EQ(facts["Width"], probe.at("streams.stream.0.width"));
    EXPECT_EQ(facts["Height"], probe.at("streams.stream.0.height"));
    EXPECT_EQ(facts["FileExtension"], "mkv");
    EXPECT_EQ(facts["AudioCodec.0"], "Vorbis");
    EXPECT_EQ(facts["AudioCodec.1"], "FLAC");
    for (const char* key : {"ProgramCount",
                            "StartTime",
                            "Duration",
                            "BitRate",
                            "Timestamp",
                            "Year",
                            "Track",
                            "Title",
                            "Author",
                            "Copyright",
                            "Comment",
                            "Album",
                            "Genre",
                            "FrameRate",
                            "VideoBitRate",
                            "PlayTime",
                            "VideoCodec",
                            "FirstAudioStream",
                            "VideoStreamCount",
                            "SubtitleStreamCount"})
        EXPECT_EQ(facts.count(key), 1u) << key;

    EXPECT_EQ(RunCommand(std::string(KELVANE_CLI) + " probe /nowhere/x.avi", output), 1);
    EXPECT_EQ(LastLine(output), "error: /nowhere/x.avi: no such file or directory");

    // A file on which the media-information library never finishes: the probe's play time, after the
    // helper's timeout, and a line that says so.
    const std::string hangs = std::string(KELVANE_SOURCE_FIXTURES) + "/mediainfo-hangs.mkv";
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(RunCommand(std::string(KELVANE_CLI) + " probe " + Quoted(hangs), output), 0) << output;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
    EXPECT_NE(output.find("[error] no media information (MediaInfo did not answer within 5000 ms"), std::string::npos)
        << output;
    const double seconds = std::atof(Probe(hangs).at("format.duration").c_str());
    EXPECT_NE(output.find("PlayTime=" + std::to_string(std::llround(seconds * 1000.0)) + "\n"), std::string::npos)
        << output;
}

TEST(CommandLineTest, FrameWritesThePictureAsPNG)
{
    const TempFolder temp("cli");
    const std::string png = temp.Path + "/frame.png";
    std::string output;
    ASSERT_EQ(
        RunCommand(std::string(KELVANE_CLI) + " frame '" + Fixture("h264.mp4") + "' 1000000 '" + png + "'", output), 0)
        << output;
    const std::map<std::string, std::string> picture = Probe(png);
    EXPECT_EQ(picture.at("streams.stream.0.codec_name"), "png");
    EXPECT_EQ(picture.at("streams.stream.0.width"), "160");
    EXPECT_EQ(picture.at("streams.stream.0.height"), "120");

    const std::string other = temp.Path + "/other.png";
    EXPECT_EQ(
        RunCommand(std::string(KELVANE_CLI) + " frame '" + Fixture("audio_only.mp3") + "' 0 '" + other + "'", output),
        1);
    EXPECT_EQ(LastLine(output), "error: no video stream.");
    EXPECT_EQ(
        RunCommand(std::string(KELVANE_CLI) + " frame '" + Fixture("h264.mp4") + "' soon '" + other + "'", output), 1);
    EXPECT_EQ(LastLine(output), "error: 'soon' is not a position in microseconds");
}

TEST(CommandLineTest, AnExistingOutputIsKeptUnlessMinusYIsGiven)
{
    const TempFolder temp("cli");
    const std::string kept = "an older file that must survive\n";
    const std::string target = temp.Path + "/target.png";
    const std::string link = temp.Path + "/link.png";
    const std::string dangling = temp.Path + "/dangling.png";
    Write(target, kept);
    std::filesystem::create_symlink(target, link);
    std::filesystem::create_symlink(temp.Path + "/nowhere.png", dangling);
    const std::string video = Quoted(Fixture("h264.mp4"));
    const std::string avi = Quoted(Fixture("video_audio.avi"));
    for (const std::string& output : {target, link, dangling}) {
        const std::string commands[] = {"convert " + avi + " " + Quoted(output),
                                        "convert -o vcodec=mpeg4 " + avi + " " + Quoted(output),
                                        "frame " + video + " 1000000 " + Quoted(output)};
        for (const std::string& command : commands) {
            std::string printed;
            EXPECT_EQ(RunCommand(Cli(command), printed), 1) << command;
            EXPECT_EQ(LastLine(printed), "error: " + output + " already exists (give -y to replace it)") << printed;
            EXPECT_EQ(ErrorLines(printed), 1u) << printed;
            EXPECT_EQ(Contents(target), kept) << command;
            EXPECT_TRUE(std::filesystem::is_symlink(link));
        }
    }
    EXPECT_FALSE(std::filesystem::exists(temp.Path + "/nowhere.png"));

    // With -y the picture replaces the file the link points to.
    std::string printed;
    ASSERT_EQ(RunCommand(Cli("frame -y " + video + " 1000000 " + Quoted(link)), printed), 0) << printed;
    EXPECT_EQ(Probe(target).at("streams.stream.0.codec_name"), "png");
    Write(temp.Path + "/out.mp4", kept);
    RunCommand(Cli("convert -y " + avi + " " + Quoted(temp.Path + "/out.mp4")), printed);
    EXPECT_EQ(printed.find("already exists"), std::string::npos) << printed;
}

TEST(CommandLineTest, TheInputIsNeverItsOwnOutput)
{
    const TempFolder temp("cli");
    const std::string video = temp.Path + "/X.mp4";
    std::filesystem::copy_file(Fixture("h264.mp4"), video);
    const std::string original = Contents(video);
    const std::string hardLink = temp.Path + "/hard.mp4";
    const std::string softLink = temp.Path + "/soft.mp4";
    ASSERT_EQ(::link(video.c_str(), hardLink.c_str()), 0);
    std::filesystem::create_symlink(video, softLink);
    const struct {
        std::string Arguments;
        std::string Output;
    } cases[] = {
        {"frame " + Quoted(video) + " 1000000 " + Quoted(video), video},
        {"frame -y " + Quoted(video) + " 1000000 " + Quoted(video), video},
        {"frame " + Quoted(video) + " 1000000 -y " + Quoted(temp.Path + "/./X.mp4"), temp.Path + "/./X.mp4"},
        {"frame -y " + Quoted(video) + " 0 " + Quoted(hardLink), hardLink},
        {"frame -y " + Quoted(softLink) + " 0 " + Quoted(video), video},
        {"convert -y " + Quoted(video) + " " + Quoted(softLink), softLink},
    };
    for (const auto& c : cases) {
        std::string printed;
        EXPECT_EQ(RunCommand(Cli(c.Arguments), printed), 1) << c.Arguments;
        EXPECT_EQ(LastLine(printed), "error: " + c.Output + " is the input file itself: choose another output")
            << printed;
        EXPECT_TRUE(Contents(video) == original) << c.Arguments << " changed the video";
    }
}

TEST(CommandLineTest, EveryFailureEndsInOneErrorLineWithValuesEscapedAndCut)
{
    const TempFolder temp("cli");
    const std::string avi = Quoted(Fixture("video_audio.avi"));
    const std::string out = Quoted(temp.Path + "/out.mp4");
    // The head of a Matroska file: the library reads past its end.
    const std::string damaged = temp.Path + "/damaged.mkv";
    Write(damaged, Contents(Fixture("two_audio.mkv")).substr(0, 100));
    const std::string truncated =
        "error: " + damaged + ": I/O error occurred. Usually that means that input file is truncated and/or corrupted.";
    const std::string sevens(5000, '7');
    const struct {
        std::string Arguments;
        std::string LastLine;
    } cases[] = {
        {"convert -o " + Quoted("vcodec=mpeg4\nb=abc") + " " + avi + " " + out,
         "error: the option line 'vcodec=mpeg4\\nb=abc' holds a line break: give each option with its own -o"},
        {"convert -i " + Quoted("an\r") + " " + avi + " " + out,
         "error: the option line 'an\\r' holds a line break: give each option with its own -i"},
        {"convert -o " + Quoted("vcodec=mp\t2") + " " + avi + " " + out,
         "error: new_video_stream fail: Unknown encoder 'mp\\t2'"},
        {"convert -o " + Quoted("vcodec=a\x01\x1b[2J\xff") + " " + avi + " " + out,
         "error: new_video_stream fail: Unknown encoder 'a\\x01\\x1B[2J\\xFF'"},
        {"convert -o vframes=" + sevens + " " + avi + " " + out,
         "error: '" + sevens.substr(0, 200) + "...' is not a valid integer value"},
        {"convert -o s=160x120 -o croptop=200 " + avi + " " + out,
         "error: Vertical crop dimensions are outside the range of the original image. Remember to crop first and "
         "scale second."},
        {"convert " + Quoted(damaged) + " " + out, truncated},
        {"probe " + Quoted(damaged), truncated},
        {"frame " + Quoted(damaged) + " 0 " + Quoted(temp.Path + "/f.png"), truncated},
        {"frame " + avi + " " + Quoted("12\n3") + " " + Quoted(temp.Path + "/f.png"),
         "error: '12\\n3' is not a position in microseconds"},
        {"probe " + Quoted(temp.Path + "/" + std::string(250, 'y') + ".avi"),
         "error: " + (temp.Path + "/" + std::string(250, 'y')).substr(0, 200) + "...: no such file or directory"},
        {Quoted("trans\x7f\ncode"), "error: unknown command 'trans\\x7F\\ncode' (see kelvane-cli --help)"},
    };
    for (const auto& c : cases) {
        std::string printed;
        EXPECT_EQ(RunCommand(Cli(c.Arguments), printed), 1) << c.Arguments;
        EXPECT_EQ(LastLine(printed), c.LastLine) << printed;
        EXPECT_EQ(ErrorLines(printed), 1u) << printed;
    }
}

}  // namespace

TEST(CommandLineTest, OptionLinesTheLibrariesRefuseStopBeforeAnythingIsWritten)
{
    const TempFolder temp("cli");
    const std::string list = temp.Path + "/list.txt";
    Write(list, "file '" + Fixture("video_audio.avi") + "'\n");
    const struct {
        std::string Name;
        std::string Lines;
        std::string Input;
        std::vector<std::string> Named;  // in the error line
    } cases[] = {
        {"unknown", "-o bogusoption=12", Fixture("video_audio.avi"), {"'bogusoption'"}},
        {"unknown_input", "-i bogusoption=12", Fixture("video_audio.avi"), {"'bogusoption'"}},
        {"encoder", "-o vcodec=libx264 -o crf=banana", Fixture("video_audio.avi"), {"\"crf\"", "\"banana\""}},
        {"muxer", "-o movflags=+nonsense", Fixture("video_audio.avi"), {"\"movflags\"", "\"+nonsense\""}},
        {"demuxer", "-i f=concat -i safe=banana", list, {"\"safe\"", "\"banana\""}},
    };
    for (const auto& c : cases) {
        const std::string out = temp.Path + "/" + c.Name + ".mp4";
        std::string output;
        EXPECT_EQ(RunCommand(Cli("convert " + c.Lines + " " + Quoted(c.Input) + " " + Quoted(out)), output), 2)
            << c.Name << ": " << output;
        EXPECT_EQ(ErrorLines(output), 1u) << c.Name << ": " << output;
        const std::string last = LastLine(output);
        EXPECT_EQ(last.rfind("error: ", 0), 0u) << c.Name << ": " << output;
        for (const std::string& named : c.Named)
            EXPECT_NE(last.find(named), std::string::npos) << c.Name << ": " << last;
        EXPECT_FALSE(std::filesystem::exists(out)) << c.Name << ": nothing is written";
    }
}

TEST(CommandLineTest, AKnownOptionNoStreamUsesGivesAWarningLine)
{
    const TempFolder temp("cli");
    const std::string out = temp.Path + "/out.mp4";
    std::string output;
    EXPECT_EQ(
        RunCommand(Cli("convert -o vcodec=mpeg4 -o crf=20 " + Quoted(Fixture("video_audio.avi")) + " " + Quoted(out)),
                   output),
        0)
        << output;
    EXPECT_NE(output.find("\nwarning: option crf=20 is not used by any stream of this output\n"), std::string::npos)
        << output;
    EXPECT_EQ(Probe(out)["streams.stream.0.codec_name"], "mpeg4");

    // The file protocol's own option, on an input line, is known and taken when the input opens.
    EXPECT_EQ(RunCommand(Cli("convert -y -i blocksize=4096 -o vcodec=mpeg4 " + Quoted(Fixture("video_audio.avi")) +
                             " " + Quoted(out)),
                         output),
              0)
        << output;
    EXPECT_EQ(output.find("warning:"), std::string::npos) << output;
    EXPECT_EQ(output.find("was not used"), std::string::npos) << output;
}

// The record the command line passes repeats these lines instead of resetting what they set.
TEST(CommandLineTest, SwitchAndSyncLinesTakeEffect)
{
    const TempFolder temp("cli");
    using TFacts = std::map<std::string, std::string>;
    auto hasStream = [](const TFacts& Facts, const std::string& Type) {
        for (int i = 0; Facts.count("streams.stream." + std::to_string(i) + ".codec_type"); ++i)
            if (Facts.at("streams.stream." + std::to_string(i) + ".codec_type") == Type)
                return true;
        return false;
    };
    const struct {
        std::string Name;
        std::string Input;
        std::string Lines;
        std::string Extension;
        std::function<void(const std::string& Out, const TFacts&)> Check;
    } cases[] = {
        {"vn", "video_audio.avi", "-o vn", ".wma",
         [&](const std::string&, const TFacts& f) {
             EXPECT_FALSE(hasStream(f, "video"));
             EXPECT_TRUE(hasStream(f, "audio"));
         }},
        {"vn1", "video_audio.avi", "-o vn=1", ".wma",
         [&](const std::string&, const TFacts& f) { EXPECT_FALSE(hasStream(f, "video")); }},
        {"an", "video_audio.avi", "-o vcodec=mpeg4 -o an", ".mp4",
         [&](const std::string&, const TFacts& f) {
             EXPECT_TRUE(hasStream(f, "video"));
             EXPECT_FALSE(hasStream(f, "audio"));
         }},
        {"sn", "subtitles.mkv", "-o vcodec=mpeg4 -o sn", ".mkv",
         [&](const std::string&, const TFacts& f) {
             EXPECT_TRUE(hasStream(f, "video"));
             EXPECT_FALSE(hasStream(f, "subtitle"));
         }},
        {"with_subtitles", "subtitles.mkv", "-o vcodec=mpeg4", ".mkv",
         [&](const std::string&, const TFacts& f) { EXPECT_TRUE(hasStream(f, "subtitle")); }},
        {"alang", "video_audio.avi", "-o vcodec=mpeg4 -o alang=fra", ".mkv",
         [&](const std::string&, const TFacts& f) {
             EXPECT_EQ(f.count("streams.stream.1.tags.language") ? f.at("streams.stream.1.tags.language") : "", "fra");
         }},
        {"async", "late_audio.mkv", "-o vcodec=mpeg4 -o acodec=flac -o async=1", ".mkv",
         [&](const std::string& Out, const TFacts&) {
             EXPECT_NEAR(std::atof(Probe(Out)["streams.stream.1.start_time"].c_str()), 0.0, 0.05);
         }},
        {"vsync", "av_source.mkv", "-o vcodec=mpeg4 -o r=30 -o vsync=1 -o an", ".mkv",
         [&](const std::string& Out, const TFacts&) {
             std::string packets;
             RunCommand("ffprobe -v error -count_packets -select_streams v:0 -show_entries stream=nb_read_packets "
                        "-of csv=p=0 " +
                            Quoted(Out),
                        packets);
             EXPECT_NEAR(std::atoi(packets.c_str()), 60, 1) << "every fifth picture doubled from 25 to 30 a second";
         }},
    };
    for (const auto& c : cases) {
        const std::string out = temp.Path + "/" + c.Name + c.Extension;
        std::string output;
        ASSERT_EQ(RunCommand(Cli("convert " + c.Lines + " " + Quoted(Fixture(c.Input)) + " " + Quoted(out)), output), 0)
            << c.Name << ": " << output;
        SCOPED_TRACE(c.Name);
        c.Check(out, Probe(out));
    }
}

TEST(CommandLineTest, OptionsListsTheOwnOptionsOfAnEncoderMuxerOrDemuxer)
{
    const struct {
        std::string Name;
        std::vector<std::string> Shown;
    } cases[] = {
        {"libx264", {"encoder libx264", "\n  crf ", "from -1 to ", "default \"medium\"", "\n      variance "}},
        {"mp4", {"muxer mp4", "\n  movflags ", "\n      faststart "}},
        {"concat", {"demuxer concat", "\n  safe ", "bool", "default true"}},
    };
    for (const auto& c : cases) {
        std::string output;
        EXPECT_EQ(RunCommand(Cli("options " + c.Name), output), 0) << output;
        for (const std::string& shown : c.Shown)
            EXPECT_NE(output.find(shown), std::string::npos) << c.Name << ": " << shown << "\n" << output;
    }
    std::string output;
    EXPECT_EQ(RunCommand(Cli("options nosuchthing"), output), 2);
    EXPECT_EQ(output, "error: no encoder, muxer or demuxer is named 'nosuchthing'\n");
    EXPECT_EQ(RunCommand(Cli("--help"), output), 0);
    EXPECT_NE(output.find("kelvane-cli options NAME"), std::string::npos);
}
