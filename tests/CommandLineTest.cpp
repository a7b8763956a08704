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
#include <set>
#include <vector>
#include <algorithm>

#include <nlohmann/json.hpp>

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

// kelvane-cli with its standard output alone.
std::string CliOut(const std::string& Arguments) { return "{ " + Cli(Arguments) + " 2>/dev/null; }"; }

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

// The names in Folder, sorted.
std::vector<std::string> FolderNames(const std::string& Folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(Folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Each exit status a scheduler acts on, from a case that causes it, with the reason on the last line.
TEST(CommandLineTest, EachFailureEndsWithItsExitStatusAndTheReason)
{
    const TempFolder temp("cli");
    const std::string avi = Quoted(Fixture("video_audio.avi"));
    const std::string damaged = temp.Path + "/damaged.avi";
    Write(damaged, std::string(4096, 'x'));
    const std::string existing = temp.Path + "/existing.mp4";
    Write(existing, "kept\n");
    const struct {
        std::string Arguments;
        int Status;
        std::string LastLine;
    } cases[] = {
        {"convert -o vcodec=mpeg4 -o pass=2 -o passlogfile=" + Quoted(temp.Path + "/none") + " " + avi + " " +
             Quoted(temp.Path + "/pass2.mp4"),
         1, "error: Cannot read log file " + temp.Path + "/none-0.log for pass-2 encoding"},
        {"convert -o vcodec=mp2 " + avi + " " + Quoted(temp.Path + "/out.mp4"), 2,
         "error: new_video_stream fail: Invalid encoder type 'mp2'"},
        {"convert -i threads=2 " + avi + " " + Quoted(temp.Path + "/out.mp4"), 2, "error: TODO: option - threads"},
        {"convert onlyone.avi", 2, "error: convert needs an input and an output file (see kelvane-cli --help)"},
        {"convert -o", 2, "error: option -o needs a line"},
        {"convert --progress xml " + avi + " " + Quoted(temp.Path + "/out.mp4"), 2,
         "error: --progress needs text or json, not 'xml'"},
        {"convert -y --skip-existing " + avi + " " + Quoted(temp.Path + "/out.mp4"), 2,
         "error: -y replaces an existing output and --skip-existing keeps it: give one of them"},
        {"convert -x " + avi + " " + Quoted(temp.Path + "/out.mp4"), 2,
         "error: unknown option '-x' (see kelvane-cli --help; give -- before a file whose name starts with -)"},
        {"transcode a b", 2, "error: unknown command 'transcode' (see kelvane-cli --help)"},
        {"convert " + Quoted(temp.Path + "/missing.avi") + " " + Quoted(temp.Path + "/out.mp4"), 3,
         "error: " + temp.Path + "/missing.avi: no such file or directory"},
        {"convert " + Quoted(damaged) + " " + Quoted(temp.Path + "/out.mp4"), 3,
         "error: " + damaged + ": Error while parsing header"},
        {"probe " + Quoted(damaged), 3, "error: " + damaged + ": Error while parsing header"},
        {"convert " + avi + " " + Quoted(existing), 4,
         "error: " + existing + " already exists (give -y to replace it)"},
        {"convert " + Quoted(existing) + " " + Quoted(existing), 4,
         "error: " + existing + " is the input file itself: choose another output"},
        {"convert " + avi + " " + Quoted(temp.Path + "/nofolder/out.mp4"), 5,
         "error: Could not open '" + temp.Path + "/nofolder/out.mp4'"},
        {"convert " + avi + " " + Quoted(temp.Path + "/out.nosuchsuffix"), 5,
         "error: Unable to find a suitable output format for '" + temp.Path + "/out.nosuchsuffix'"},
        // A device that takes no byte: the conversion fails on its first full buffer.
        {"convert -y -o f=avi -o vcodec=mpeg4 " + avi + " /dev/full", 5,
         "error: av_write_trailer(): Error while opening file"},
    };
    for (const auto& c : cases) {
        std::string output;
        EXPECT_EQ(RunCommand(Cli(c.Arguments), output), c.Status) << c.Arguments << "\n" << output;
        EXPECT_EQ(LastLine(output), c.LastLine) << output;
        EXPECT_EQ(ErrorLines(output), 1u) << output;
    }
    EXPECT_EQ(Contents(existing), "kept\n");
    EXPECT_FALSE(std::filesystem::exists(temp.Path + "/out.mp4"));
    EXPECT_FALSE(std::filesystem::exists(temp.Path + "/pass2.mp4"));
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
    EXPECT_NE(output.find("kelvane-cli convert [-y | --skip-existing] [--threads N] [--progress text|json] "
                          "[--report FILE.json]\n"),
              std::string::npos);
    EXPECT_NE(output.find("[-i LINE]... [-o LINE]... [--] INPUT OUTPUT\n"), std::string::npos);
    EXPECT_NE(output.find("kelvane-cli frame [-y] [--] FILE POSITION_US OUT.png"), std::string::npos);
    for (const char* status :
         {"  0    finished (or skipped)\n", "  1    the conversion failed while running\n", "  2    usage error",
          "  3    the input cannot be opened or probed\n", "  4    the output exists and was not overwritten\n",
          "  5    the output cannot be written", "  130  stopped by SIGINT", "  143  stopped by SIGTERM"})
        EXPECT_NE(output.find(status), std::string::npos) << status;
    EXPECT_EQ(
        RunCommand(Cli("convert --threads x " + Quoted(Fixture("video_audio.avi")) + " " + Quoted(out) + "2"), output),
        2);
    EXPECT_EQ(LastLine(output), "error: --threads needs a number of codec threads from 0 (automatic) to 256");
}

// While a conversion runs its output has no file at its name; SIGINT moves what was converted there (it
// plays), SIGTERM removes it; a file that appeared at the name meanwhile is kept unless -y was given.
TEST(CommandLineTest, NoUnfinishedOutputEverStandsAtItsName)
{
    enum TLeft { Video, Nothing, Intruder };
    const struct {
        std::string Name;
        std::string Signal;
        std::string Flags;
        bool Intrude;  // a file is put at the output's name while the conversion runs
        int Status;
        std::string Outcome;  // the last JSON line's
        TLeft Left;
    } cases[] = {
        {"sigint", "INT", "", false, 130, "stopped", Video},
        {"sigterm", "TERM", "", false, 143, "stopped", Nothing},
        {"appeared", "INT", "", true, 4, "failed", Intruder},
        {"appeared_replaced", "INT", "-y ", true, 130, "stopped", Video},
    };
    const std::string intruder = "a file put here while the conversion ran\n";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const TempFolder temp("cli");
        const TempFolder logs("cli");
        const std::string out = temp.Path + "/out.avi";
        const std::string log = logs.Path + "/log.txt";
        // Read at the input's own pace, so that the signal comes in the middle.
        const std::string command = Cli("convert --progress json " + c.Flags + "-i re -o vcodec=mpeg4 " +
                                        Quoted(Fixture("long_av.mkv")) + " " + Quoted(out) + " 2>" + Quoted(log));
        // Once the hidden file holds something (however busy the machine is), the output's name is looked at
        // ten times over a second.
        const std::string script =
            command + " & pid=$!; for i in $(seq 300); do set -- " + Quoted(temp.Path) +
            "/.out.kvtmp-*.avi; [ -s \"$1\" ] && break; sleep 0.1; done; echo \"temporary=$1\"; for i in $(seq 10); do "
            "[ -e " +
            Quoted(out) + " ] && echo OUTPUT-SEEN; sleep 0.1; done; " +
            (c.Intrude ? "printf '%s' " + Quoted(intruder) + " > " + Quoted(out) + "; " : std::string()) + "kill -" +
            c.Signal + " $pid; wait $pid; echo status=$?";
        std::string printed;
        RunCommand("sh -c " + Quoted(script), printed);
        EXPECT_NE(printed.find("temporary=" + temp.Path + "/.out.kvtmp-"), std::string::npos) << printed;
        EXPECT_EQ(printed.find("OUTPUT-SEEN"), std::string::npos) << printed;
        EXPECT_NE(printed.find("status=" + std::to_string(c.Status) + "\n"), std::string::npos)
            << printed << Contents(log);
        const size_t outcome = printed.rfind("{\"outcome\":");
        ASSERT_NE(outcome, std::string::npos) << printed;
        const nlohmann::json last =
            nlohmann::json::parse(printed.substr(outcome, printed.find('\n', outcome) - outcome));
        EXPECT_EQ(last["outcome"], c.Outcome);
        EXPECT_EQ(last["status"], c.Status);
        EXPECT_EQ(last["output"], out);
        const std::vector<std::string> left = FolderNames(temp.Path);
        EXPECT_EQ(left, c.Left == Nothing ? std::vector<std::string>{} : std::vector<std::string>{"out.avi"})
            << "no temporary file is left";
        if (c.Left == Intruder) {
            EXPECT_EQ(Contents(out), intruder);
            EXPECT_NE(LastLine(Contents(log)).find("'" + out + "' appeared while the conversion ran and was kept"),
                      std::string::npos)
                << Contents(log);
        }
        if (c.Left != Video)
            continue;
        const auto facts = Probe(out);
        ASSERT_TRUE(facts.count("format.duration")) << Contents(log);
        EXPECT_GT(std::atof(facts.at("format.duration").c_str()), 0.5);
        EXPECT_LT(std::atof(facts.at("format.duration").c_str()), 7.8) << "shorter than the 8 s input";
        std::string errors;
        EXPECT_EQ(RunCommand("ffmpeg -nostdin -v error -i " + Quoted(out) + " -f null -", errors), 0);
        EXPECT_EQ(errors, "");
    }
}

// A file system that refuses the output part-way (here a file-size limit, which holds for root too): exit
// status 5, and neither the output nor a temporary file is left.
TEST(CommandLineTest, AnOutputTheFileSystemRefusesLeavesNothing)
{
    const TempFolder temp("cli");
    const std::string out = temp.Path + "/out.mp4";
    std::string printed;
    const std::string command =
        "trap '' XFSZ; ulimit -f 200; exec " +
        Cli("convert -o vcodec=mpeg4 -o b=8000000 " + Quoted(Fixture("long_av.mkv")) + " " + Quoted(out));
    EXPECT_EQ(RunCommand("sh -c " + Quoted(command), printed), 5) << printed;
    EXPECT_EQ(LastLine(printed).rfind("error: av_interleaved_write_frame(): ", 0), 0u) << printed;
    EXPECT_EQ(FolderNames(temp.Path), std::vector<std::string>{});
}

// --skip-existing makes an existing output a success, so that a batch run again does only what is missing.
TEST(CommandLineTest, SkipExistingKeepsAnExistingOutputAndSucceeds)
{
    const TempFolder temp("cli");
    const std::string done = temp.Path + "/done.mp4";
    Write(done, "converted before\n");
    std::string printed;
    EXPECT_EQ(
        RunCommand(Cli("convert --skip-existing " + Quoted(Fixture("video_audio.avi")) + " " + Quoted(done)), printed),
        0)
        << printed;
    EXPECT_EQ(printed, "skipped: " + done + " already exists\n");
    EXPECT_EQ(Contents(done), "converted before\n");
    // What is missing is converted.
    const std::string missing = temp.Path + "/missing.mp4";
    EXPECT_EQ(RunCommand(Cli("convert --skip-existing -o vcodec=mpeg4 " + Quoted(Fixture("video_audio.avi")) + " " +
                             Quoted(missing)),
                         printed),
              0)
        << printed;
    EXPECT_EQ(Probe(missing)["streams.stream.0.codec_name"], "mpeg4");
}

// "--" ends the options: a file named like one can be converted.
TEST(CommandLineTest, DoubleDashEndsTheOptions)
{
    const TempFolder temp("cli");
    std::filesystem::copy_file(Fixture("video_audio.avi"), temp.Path + "/-y");
    std::string printed;
    EXPECT_EQ(RunCommand("cd " + Quoted(temp.Path) + " && " + Cli("convert -o vcodec=mpeg4 -- -y -o.mp4"), printed), 0)
        << printed;
    EXPECT_EQ(Probe(temp.Path + "/-o.mp4")["streams.stream.0.codec_name"], "mpeg4");
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

    EXPECT_EQ(RunCommand(std::string(KELVANE_CLI) + " probe /nowhere/x.avi", output), 3);
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

// Lines of Text.
std::vector<std::string> Lines(const std::string& Text)
{
    std::vector<std::string> lines;
    for (size_t start = 0; start < Text.size();) {
        const size_t end = Text.find('\n', start);
        lines.push_back(Text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        start = end == std::string::npos ? Text.size() : end + 1;
    }
    return lines;
}

TEST(CommandLineTest, ProgressAndReportCanBeReadAsJSON)
{
    const TempFolder temp("cli");
    const std::string out = temp.Path + "/out.mp4";
    const std::string report = temp.Path + "/report.json";
    std::string printed;
    ASSERT_EQ(RunCommand(CliOut("convert --progress json --report " + Quoted(report) + " -o vcodec=mpeg4 -o b=300000 " +
                                Quoted(Fixture("video_audio.avi")) + " " + Quoted(out)),
                         printed),
              0)
        << printed;
    const std::vector<std::string> lines = Lines(printed);
    ASSERT_GE(lines.size(), 2u) << printed;
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        const nlohmann::json progress = nlohmann::json::parse(lines[i]);
        for (const char* key : {"frame", "fps", "time_ms", "total_ms", "percent", "size", "speed", "eta_s"})
            EXPECT_TRUE(progress.contains(key)) << key << " in " << lines[i];
        EXPECT_TRUE(progress["time_ms"].is_number_integer()) << lines[i];
        EXPECT_TRUE(progress["size"].is_number_integer()) << lines[i];
    }
    const nlohmann::json final = nlohmann::json::parse(lines[lines.size() - 2]);
    EXPECT_EQ(final["frame"], 50);
    EXPECT_NEAR(final["total_ms"].get<double>(), 2040, 50);
    EXPECT_GT(final["percent"].get<double>(), 90.0);
    const nlohmann::json outcome = nlohmann::json::parse(lines.back());
    EXPECT_EQ(outcome["outcome"], "finished");
    EXPECT_EQ(outcome["status"], 0);
    EXPECT_EQ(outcome["output"], out);

    const nlohmann::json facts = nlohmann::json::parse(Contents(report));
    EXPECT_EQ(facts["status"], 0);
    EXPECT_TRUE(facts["error"].is_null());
    EXPECT_GE(facts["elapsed_ms"].get<int>(), 0);
    EXPECT_EQ(facts["input"]["facts"]["FormatName"], "avi");
    EXPECT_EQ(facts["input"]["facts"]["VideoStreamCount"], 1);
    EXPECT_EQ(facts["option_lines"]["output"], nlohmann::json({"vcodec=mpeg4", "b=300000"}));
    EXPECT_NE(facts["records"]["output"]["ExtOptions"].get<std::string>().find("vcodec=mpeg4\nb=300000"),
              std::string::npos);
    EXPECT_EQ(facts["records"]["output"]["fields"]["an"], "0");
    EXPECT_EQ(facts["output"]["facts"]["Width"], std::stoi(Probe(out).at("streams.stream.0.width")));
    std::string versions;
    ASSERT_EQ(RunCommand(Cli("version --json"), versions), 0) << versions;
    EXPECT_EQ(facts["libraries"], nlohmann::json::parse(versions));
    EXPECT_EQ(nlohmann::json::parse(versions)["libavcodec"].get<std::string>().rfind("59.", 0), 0u) << versions;

    // A failure says so in both.
    ASSERT_EQ(RunCommand(CliOut("convert --progress json --report " + Quoted(report) + " " +
                                Quoted(temp.Path + "/none.avi") + " " + Quoted(temp.Path + "/x.mp4")),
                         printed),
              3);
    const nlohmann::json failed = nlohmann::json::parse(LastLine(printed));
    EXPECT_EQ(failed["outcome"], "failed");
    EXPECT_EQ(failed["status"], 3);
    EXPECT_EQ(failed["message"], temp.Path + "/none.avi: no such file or directory");
    const nlohmann::json failedReport = nlohmann::json::parse(Contents(report));
    EXPECT_EQ(failedReport["status"], 3);
    EXPECT_EQ(failedReport["error"], temp.Path + "/none.avi: no such file or directory");
}

TEST(CommandLineTest, ProbeAndMediaInfoAsJSONAgreeWithTheirLines)
{
    for (const std::string command : {"probe", "mediainfo"}) {
        const std::string file = Quoted(Fixture("two_audio.mkv"));
        std::string text, asJson;
        ASSERT_EQ(RunCommand(CliOut(command + " " + file), text), 0) << text;
        ASSERT_EQ(RunCommand(CliOut(command + " --json " + file), asJson), 0) << asJson;
        const nlohmann::json facts = nlohmann::json::parse(asJson);
        const std::vector<std::string> lines = Lines(text);
        EXPECT_EQ(facts.size(), lines.size()) << command;
        for (const std::string& line : lines) {
            const size_t equals = line.find('=');
            const std::string key = line.substr(0, equals), value = line.substr(equals + 1);
            ASSERT_TRUE(facts.contains(key)) << command << ": " << key;
            if (facts[key].is_string())
                EXPECT_EQ(facts[key].get<std::string>(), value) << command << ": " << key;
            else
                EXPECT_DOUBLE_EQ(facts[key].get<double>(), std::stod(value)) << command << ": " << key;
        }
        EXPECT_EQ(facts["Width"], 160) << command;
    }
}

// Two passes in one folder: the statistics go beside the output, not into the folder the command runs in.
TEST(CommandLineTest, TwoPassStatisticsGoBesideTheOutput)
{
    const TempFolder temp("cli");
    const TempFolder elsewhere("cli");
    const std::string out = temp.Path + "/out.avi";
    std::string printed;
    for (const char* pass : {"1", "2"})
        ASSERT_EQ(RunCommand("cd " + Quoted(elsewhere.Path) + " && " +
                                 Cli(std::string("convert -y -o vcodec=mpeg4 -o b=200000 -o pass=") + pass + " " +
                                     Quoted(Fixture("video_audio.avi")) + " " + Quoted(out)),
                             printed),
                  0)
            << printed;
    EXPECT_TRUE(std::filesystem::exists(temp.Path + "/.out.avi.kvpass-0.log")) << printed;
    EXPECT_EQ(FolderNames(elsewhere.Path), std::vector<std::string>{});
}

// The job log's exit value for each job, by the job's input file.
std::map<std::string, std::vector<std::string>> JobStatuses(const std::string& JobLog)
{
    std::map<std::string, std::vector<std::string>> statuses;
    const std::vector<std::string> lines = Lines(Contents(JobLog));
    for (size_t i = 1; i < lines.size(); ++i) {  // the first line names the columns
        std::vector<std::string> columns;
        for (size_t start = 0;;) {
            const size_t tab = lines[i].find('\t', start);
            columns.push_back(lines[i].substr(start, tab == std::string::npos ? std::string::npos : tab - start));
            if (tab == std::string::npos)
                break;
            start = tab + 1;
        }
        if (columns.size() < 9)
            continue;
        const std::string& command = columns[8];
        // The input's name: the program's own path may hold "clip" too.
        const size_t avi = command.find(".avi");
        const size_t clip = command.rfind("/clip", avi) + 1;
        statuses[command.substr(clip, avi - clip)].push_back(columns[6]);
    }
    return statuses;
}

// A batch as the README shows it: GNU parallel with a job log, run again with --resume-failed.
TEST(CommandLineTest, ABatchThroughGnuParallelRunsAgainOnlyTheFailedJob)
{
    const TempFolder inputs("cli");
    const TempFolder outputs("cli");
    const TempFolder logs("cli");
    std::string files;
    for (int i = 1; i <= 6; ++i) {
        const std::string file = inputs.Path + "/clip" + std::to_string(i) + ".avi";
        if (i == 4)
            Write(file, std::string(2048, 'x'));  // cannot be probed
        else
            std::filesystem::copy_file(Fixture("video_audio.avi"), file);
        files += " " + Quoted(file);
    }
    const std::string jobLog = logs.Path + "/jobs.log";
    const std::string command = "parallel --will-cite -j 2 --joblog " + Quoted(jobLog) + " " + KELVANE_CLI +
                                " convert --threads 1 -o vcodec=mpeg4 {} " + Quoted(outputs.Path) +
                                "/{/.}.mp4 :::" + files;
    std::string printed;
    EXPECT_EQ(RunCommand(command, printed), 1) << "one job failed: " << printed;
    EXPECT_EQ(FolderNames(outputs.Path),
              (std::vector<std::string>{"clip1.mp4", "clip2.mp4", "clip3.mp4", "clip5.mp4", "clip6.mp4"}));
    auto statuses = JobStatuses(jobLog);
    ASSERT_EQ(statuses.size(), 6u) << Contents(jobLog);
    for (const auto& [clip, values] : statuses)
        EXPECT_EQ(values, std::vector<std::string>{clip == "clip4" ? "3" : "0"}) << clip;

    // The bad file mended, the same batch again: only its job runs.
    std::filesystem::remove(inputs.Path + "/clip4.avi");
    std::filesystem::copy_file(Fixture("video_audio.avi"), inputs.Path + "/clip4.avi");
    const auto before = std::filesystem::last_write_time(outputs.Path + "/clip1.mp4");
    EXPECT_EQ(RunCommand(command.substr(0, command.find(" --joblog")) + " --resume-failed" +
                             command.substr(command.find(" --joblog")),
                         printed),
              0)
        << printed;
    statuses = JobStatuses(jobLog);
    EXPECT_EQ(statuses["clip4"], (std::vector<std::string>{"3", "0"})) << Contents(jobLog);
    for (const char* clip : {"clip1", "clip2", "clip3", "clip5", "clip6"})
        EXPECT_EQ(statuses[clip].size(), 1u) << clip << " ran once";
    EXPECT_EQ(FolderNames(outputs.Path).size(), 6u);
    EXPECT_EQ(std::filesystem::last_write_time(outputs.Path + "/clip1.mp4"), before);
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
        RunCommand(std::string(KELVANE_CLI) + " frame '" + Fixture("h264.mp4") + "' soon '" + other + "'", output), 2);
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
            EXPECT_EQ(RunCommand(Cli(command), printed), 4) << command;
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
        EXPECT_EQ(RunCommand(Cli(c.Arguments), printed), 4) << c.Arguments;
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
        int Status;
        std::string Arguments;
        std::string LastLine;
    } cases[] = {
        {2, "convert -o " + Quoted("vcodec=mpeg4\nb=abc") + " " + avi + " " + out,
         "error: the option line 'vcodec=mpeg4\\nb=abc' holds a line break: give each option with its own -o"},
        {2, "convert -i " + Quoted("an\r") + " " + avi + " " + out,
         "error: the option line 'an\\r' holds a line break: give each option with its own -i"},
        {2, "convert -o " + Quoted("vcodec=mp\t2") + " " + avi + " " + out,
         "error: new_video_stream fail: Unknown encoder 'mp\\t2'"},
        {2, "convert -o " + Quoted("vcodec=a\x01\x1b[2J\xff") + " " + avi + " " + out,
         "error: new_video_stream fail: Unknown encoder 'a\\x01\\x1B[2J\\xFF'"},
        {2, "convert -o vframes=" + sevens + " " + avi + " " + out,
         "error: '" + sevens.substr(0, 200) + "...' is not a valid integer value"},
        {2, "convert -o s=160x120 -o croptop=200 " + avi + " " + out,
         "error: Vertical crop dimensions are outside the range of the original image. Remember to crop first and "
         "scale second."},
        {3, "convert " + Quoted(damaged) + " " + out, truncated},
        {3, "probe " + Quoted(damaged), truncated},
        {3, "frame " + Quoted(damaged) + " 0 " + Quoted(temp.Path + "/f.png"), truncated},
        {2, "frame " + avi + " " + Quoted("12\n3") + " " + Quoted(temp.Path + "/f.png"),
         "error: '12\\n3' is not a position in microseconds"},
        {3, "probe " + Quoted(temp.Path + "/" + std::string(250, 'y') + ".avi"),
         "error: " + (temp.Path + "/" + std::string(250, 'y')).substr(0, 200) + "...: no such file or directory"},
        {2, Quoted("trans\x7f\ncode"), "error: unknown command 'trans\\x7F\\ncode' (see kelvane-cli --help)"},
    };
    for (const auto& c : cases) {
        std::string printed;
        EXPECT_EQ(RunCommand(Cli(c.Arguments), printed), c.Status) << c.Arguments;
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

namespace {

// The file types' profile folders, in the order presets lists them.
const char* const FileTypes[] = {"3GP", "MP4", "AVI", "MPEG", "WMV", "RM", "MOV", "MKV", "FLV", "MP4-H264", "MKV-WEBM"};

}  // namespace

// presets --json: every type's presets and every brand's models, by the names convert takes, with their
// resolved settings.
TEST(CommandLineTest, PresetsListsEveryTypeAndDeviceByTheNamesConvertTakes)
{
    std::string printed;
    ASSERT_EQ(RunCommand(CliOut("presets --json"), printed), 0) << printed;
    const nlohmann::json listing = nlohmann::json::parse(printed, nullptr, false);
    ASSERT_TRUE(listing.is_object()) << printed;
    std::map<std::string, int> perType;
    for (const nlohmann::json& preset : listing["presets"]) {
        const std::string name = preset["name"];
        const std::string type = preset["type"];
        ++perType[type];
        // "01 ..." is TYPE/1.
        EXPECT_EQ(name, type + "/" + std::to_string(std::stoi(preset["title"].get<std::string>()))) << name;
        EXPECT_FALSE(preset["video_codec"].get<std::string>().empty()) << name;
        EXPECT_TRUE(preset["video_bitrate"].is_number() || preset["quality"].is_string()) << name;
    }
    for (const char* type : FileTypes)
        EXPECT_GT(perType[type], 0) << type;
    EXPECT_EQ(perType.size(), std::size(FileTypes));
    // Every model of every brand folder, by its file name.
    std::set<std::string> listed;
    for (const nlohmann::json& device : listing["devices"])
        listed.insert(device["name"].get<std::string>());
    const std::string devices = std::filesystem::path(KELVANE_CLI).parent_path().string() + "/profiles/devices";
    size_t models = 0;
    for (const auto& brand : std::filesystem::directory_iterator(devices))
        for (const auto& model : std::filesystem::directory_iterator(brand.path())) {
            ++models;
            EXPECT_EQ(listed.count(brand.path().filename().string() + "/" + model.path().stem().string()), 1u)
                << model.path();
        }
    EXPECT_EQ(listed.size(), models);
    // A preset's settings as the window resolves them.
    for (const nlohmann::json& preset : listing["presets"])
        if (preset["name"] == "MP4/13") {
            EXPECT_EQ(preset["size"], "1280x720");
            EXPECT_EQ(preset["suffix"], ".mp4");
        }
    ASSERT_EQ(RunCommand(CliOut("presets"), printed), 0);
    EXPECT_NE(printed.find("\nMP4-H264/2\t"), std::string::npos) << printed;
    EXPECT_NE(printed.find("\nAurion/Aurion AP110\t"), std::string::npos) << printed;
}

// A name the profiles do not hold is a usage error that says what they hold; nothing is written.
TEST(CommandLineTest, UnknownPresetsAndDevicesAreRefusedWithWhatExists)
{
    const TempFolder temp("cli");
    const struct {
        const char* Arguments;
        const char* Says;
    } cases[] = {
        {"--preset MP4/99", "MP4/17"},
        {"--preset MP4/0", "MP4/1"},
        {"--preset NOPE/1", "MKV-WEBM"},
        {"--preset MP4", "MP4/1"},
        {"--device Nope/X", "Aurion"},
        {"--device 'Aurion/Aurion AP999'", "Aurion/Aurion AP110"},
        {"--device Aurion", "Aurion/Aurion AP110"},
        {"--preset MP4/1 --device 'Aurion/Aurion AP110'", "one of"},
        {"--preset MP4/1 -d x", "not both"},
    };
    for (const auto& c : cases) {
        std::string printed;
        EXPECT_EQ(RunCommand("cd " + Quoted(temp.Path) + " && " +
                                 Cli(std::string("convert ") + c.Arguments + " " + Quoted(Fixture("video_audio.avi")) +
                                     " out/"),
                             printed),
                  2)
            << c.Arguments << "\n"
            << printed;
        EXPECT_EQ(ErrorLines(printed), 1u) << printed;
        EXPECT_NE(LastLine(printed).find(c.Says), std::string::npos) << c.Arguments << ": " << printed;
        EXPECT_TRUE(FolderNames(temp.Path).empty()) << c.Arguments;
    }
}

// The output of a preset is named as the window names it, in -d, in OUTPUT when it is a folder or in the
// current folder; --skip-existing takes the input's first output as done. -o lines win over the preset.
TEST(CommandLineTest, APresetsOutputIsNamedAsTheWindowNamesIt)
{
    const TempFolder temp("cli");
    const std::string input = Fixture("video_audio.avi");
    std::string printed;
    const std::string convert = "convert --preset MP4/1 ";
    ASSERT_EQ(RunCommand(Cli(convert + "-d " + Quoted(temp.Path + "/made/here") + " " + Quoted(input)), printed), 0)
        << printed;
    EXPECT_EQ(FolderNames(temp.Path + "/made/here"), std::vector<std::string>{"VIDEO_AUDIO_(new).mp4"});
    const auto first = Probe(temp.Path + "/made/here/VIDEO_AUDIO_(new).mp4");
    EXPECT_EQ(first.at("streams.stream.0.codec_name"), "mpeg4");
    EXPECT_EQ(first.at("streams.stream.0.width"), "320");
    EXPECT_EQ(first.at("streams.stream.0.height"), "240");
    // A second run takes the next free name; the folder given as OUTPUT is the same folder.
    ASSERT_EQ(RunCommand(Cli(convert + Quoted(input) + " " + Quoted(temp.Path + "/made/here")), printed), 0) << printed;
    EXPECT_EQ(FolderNames(temp.Path + "/made/here"),
              (std::vector<std::string>{"VIDEO_AUDIO_(new).mp4", "VIDEO_AUDIO_(new_1).mp4"}));
    // The first output counts as done.
    ASSERT_EQ(RunCommand(Cli(convert + "--skip-existing -d " + Quoted(temp.Path + "/made/here") + " " + Quoted(input)),
                         printed),
              0)
        << printed;
    EXPECT_EQ(printed, "skipped: " + temp.Path + "/made/here/VIDEO_AUDIO_(new).mp4 already exists\n");
    EXPECT_EQ(FolderNames(temp.Path + "/made/here").size(), 2u);
    // No folder: the current one; the lines given set the size and codec the preset chose otherwise.
    ASSERT_EQ(RunCommand("cd " + Quoted(temp.Path) + " && " +
                             Cli(convert + "-o s=160x120 -o vcodec=libx264 -o r=10 " + Quoted(input)),
                         printed),
              0)
        << printed;
    const auto own = Probe(temp.Path + "/VIDEO_AUDIO_(new).mp4");
    EXPECT_EQ(own.at("streams.stream.0.codec_name"), "h264");
    EXPECT_EQ(own.at("streams.stream.0.width"), "160");
    EXPECT_EQ(own.at("streams.stream.0.height"), "120");
    EXPECT_EQ(own.at("streams.stream.0.r_frame_rate"), "10/1");
    // An input that cannot be read is an input error.
    EXPECT_EQ(RunCommand(Cli(convert + "-d " + Quoted(temp.Path) + " " + Quoted(temp.Path + "/missing.avi")), printed),
              3)
        << printed;
}
