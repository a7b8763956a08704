// kelvane-cli: the conversion engine from the command line, for scripts and for checking the engine
// without a window.
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <thread>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/OptionListing.h"
#include "cli/RecordLines.h"
#include "component/DIdezuDOR.h"
#include "component/MediaFacts.h"
#include "component/MediaFactsProtocol.h"
#include "component/MediaInfoDll.h"
#include "engine/PrivateOptions.h"
#include "media/LibraryBindings.h"
#include "media/PictureFile.h"
#include "media/OptionValues.h"
#include "media/TextAndPath.h"
#include "media/TextFormat.h"

namespace {

const char* const Usage =
    "Usage:\n"
    "  kelvane-cli convert [-y] [--threads N] [-i LINE]... [-o LINE]... INPUT OUTPUT\n"
    "      Converts INPUT into OUTPUT. Each -i LINE is an input option line and each -o LINE an output\n"
    "      option line, written name=value (for example -o vcodec=mpeg4 -o b=800000). --threads N sets the\n"
    "      codec threads of every encoder and decoder (0, the default, lets the libraries choose from the\n"
    "      number of cores). While it runs, each progress report is one line on standard error:\n"
    "      [progress] frame=N fps=N time_ms=N q=Q kbps=K size=BYTES total_ms=N\n"
    "      (frame and fps are -1 for an output without video). The exit status is 0 when the conversion\n"
    "      finished. The first SIGINT or SIGTERM stops it cleanly: the output keeps what was converted\n"
    "      and plays, and the exit status is 130.\n"
    "      A name no codec, container, scaler or bitstream filter knows, and a value an encoder's, muxer's\n"
    "      or demuxer's own option refuses, are refused before anything is written (exit status 2); a\n"
    "      known name that no stream of the output uses gives a warning line. The lines vn, an, sn, async,\n"
    "      vsync, alang, slang, copyts and padcolor take effect as given.\n"
    "  kelvane-cli options NAME\n"
    "      Lists the own options of the encoder, muxer or demuxer NAME (for example libx264, mp4,\n"
    "      concat) with their types, ranges, defaults and named values: each can be given as an option\n"
    "      line.\n"
    "  kelvane-cli probe FILE\n"
    "      Prints what the engine knows of FILE, one key=value per line.\n"
    "  kelvane-cli frame [-y] FILE POSITION_US OUT.png\n"
    "      Writes the picture of FILE's first video stream at POSITION_US microseconds to OUT.png.\n"
    "  kelvane-cli mediainfo [--] FILE\n"
    "      Prints what the MediaInfo library reads in FILE, one key=value per line: Width, Height,\n"
    "      FrameRate, VideoBitRate (bit/s), PlayTime (ms), FileExtension, VideoCodec and AudioCodec.N for\n"
    "      each audio stream N. Fails when FILE cannot be read or MediaInfo finds nothing in it. The\n"
    "      program runs it as a separate process, so that a file the library never finishes cannot\n"
    "      freeze it.\n"
    "  kelvane-cli mediainfo --serve\n"
    "      The same for many files in one process: reads file names from standard input, each ended by\n"
    "      a NUL character, and answers each with its lines (or \"Error=\" and the reason) and an empty\n"
    "      line. It ends at the end of its input.\n"
    "  kelvane-cli --help\n"
    "\n"
    "An output that already exists is refused unless -y is given; an output that is the input file\n"
    "itself is always refused.\n"
    "\n"
    "Log lines go to standard error as \"[level] text\". On failure the last line is \"error: \" and the\n"
    "reason, on one line, and the exit status is 1 (2 for an option line that is refused before the\n"
    "conversion starts).\n";

const char* LevelName(kv::TLogLevel Level)
{
    static const char* const names[] = {"quiet", "error", "info", "debug", "all"};
    return names[Level];
}

// What the user typed, so that messages show it escaped and cut (see Fail).
std::vector<std::string> GGivenValues;

// The reason on one "error: " line: a message of several lines is joined, control characters are
// escaped, and long values the user gave are cut.
int Fail(const std::string& Message)
{
    std::fprintf(stderr, "error: %s\n", kv::OneLineMessage(Message, GGivenValues).c_str());
    return 1;
}

// A usage error: the reason on one "error: " line, exit status 2.
int Refuse(const std::string& Message)
{
    Fail(Message);
    return 2;
}

void LogLine(kv::TLogLevel Level, const std::string& Text)
{
    std::fprintf(stderr, "[%s] %s\n", LevelName(Level), kv::OneLineMessage(Text, GGivenValues).c_str());
}

std::string JoinLines(const std::vector<std::string>& Lines)
{
    std::string text;
    for (const std::string& line : Lines)
        text += (text.empty() ? "" : "\n") + line;
    return text;
}

// The arguments of a command that writes a file: its option lines, its files and -y.
struct TArguments {
    std::vector<std::string> InputLines, OutputLines, Files;
    bool Overwrite = false;
    std::string Error;
};

TArguments ParseArguments(const std::vector<std::string>& Args, bool TakesLines)
{
    TArguments parsed;
    for (size_t i = 0; i < Args.size() && parsed.Error.empty(); ++i) {
        if (Args[i] == "-y") {
            parsed.Overwrite = true;
        } else if (TakesLines && (Args[i] == "-i" || Args[i] == "-o")) {
            if (i + 1 >= Args.size()) {
                parsed.Error = "option " + Args[i] + " needs a line";
                break;
            }
            const std::string& line = Args[++i];
            // One line each: a line break would make the engine read two options where one was given.
            if (line.find_first_of("\r\n") != std::string::npos)
                parsed.Error =
                    "the option line '" + line + "' holds a line break: give each option with its own " + Args[i - 1];
            (Args[i - 1] == "-i" ? parsed.InputLines : parsed.OutputLines).push_back(line);
        } else {
            parsed.Files.push_back(Args[i]);
        }
    }
    return parsed;
}

// Why Output must not be written for Input; "" when it may. A name that is there in any form (a
// symbolic link too, even one that points nowhere) counts as an existing file.
std::string RefuseOutput(const std::string& Input, const std::string& Output, bool Overwrite)
{
    struct stat output {};
    if (::lstat(Output.c_str(), &output) != 0)
        return "";
    struct stat input {
    }, target{};
    if (::stat(Input.c_str(), &input) == 0 && ::stat(Output.c_str(), &target) == 0 && input.st_dev == target.st_dev &&
        input.st_ino == target.st_ino)
        return Output + " is the input file itself: choose another output";
    if (!Overwrite)
        return Output + " already exists (give -y to replace it)";
    return "";
}

// The codec thread count of --threads N (0 = automatic); -1 with a message in Error when N is not one.
int TakeThreads(std::vector<std::string>& Args, std::string& Error)
{
    int threads = 0;
    for (size_t i = 0; i < Args.size(); ++i) {
        if (Args[i] != "--threads")
            continue;
        int64_t value = -1;
        if (i + 1 >= Args.size() || !kv::TryStrToInt64(Args[i + 1], value) || value < 0 || value > 256) {
            Error = "--threads needs a number of codec threads from 0 (automatic) to 256";
            return -1;
        }
        threads = static_cast<int>(value);
        Args.erase(Args.begin() + static_cast<std::ptrdiff_t>(i), Args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
        --i;
    }
    return threads;
}

// The end of the conversion, as the engine reported it.
struct TOutcome {
    std::mutex Lock;
    bool Ended = false;
    bool Finished = false;
    bool Failed = false;
    std::string Message;
};

int Convert(std::vector<std::string> Args)
{
    std::string threadsError;
    const int threads = TakeThreads(Args, threadsError);
    if (threads < 0)
        return Fail(threadsError);
    const TArguments args = ParseArguments(Args, true);
    if (!args.Error.empty())
        return Fail(args.Error);
    if (args.Files.size() != 2)
        return Fail("convert needs an input and an output file (see kelvane-cli --help)");
    const std::string& inputFile = args.Files[0];
    const std::string& outputFile = args.Files[1];
    if (const std::string refusal = RefuseOutput(inputFile, outputFile, args.Overwrite); !refusal.empty())
        return Fail(refusal);

    // Interruptions are taken by this thread alone (sigtimedwait below): the engine's threads, started
    // after this, inherit the blocked set. SIGUSR1 is the engine's own wake-up call when the task ends, so
    // the wait below returns at once instead of at its next tick.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    const pthread_t waitingThread = pthread_self();

    kv::TDIdezuDOR engine;
    TOutcome outcome;
    engine.OnLog = [](int, kv::TLogLevel ALevel, const std::string& AMsg) { LogLine(ALevel, AMsg); };
    engine.OnProgress = [](int, int AFrameNumber, int AFPS, int ACurrentDuration, float AQuality, float ABitRate,
                           int64_t ACurrentSize, int ATotalOutputDuration) {
        std::fprintf(stderr, "[progress] frame=%d fps=%d time_ms=%d q=%.1f kbps=%.1f size=%lld total_ms=%d\n",
                     AFrameNumber, AFPS, ACurrentDuration, AQuality, ABitRate, static_cast<long long>(ACurrentSize),
                     ATotalOutputDuration);
    };
    engine.OnTerminate = [&outcome, waitingThread](int AIndex, bool AFinished, bool AException,
                                                   const std::string& AMessage) {
        if (AIndex < 0)
            return;
        {
            std::lock_guard<std::mutex> guard(outcome.Lock);
            outcome.Ended = true;
            outcome.Finished = AFinished;
            outcome.Failed = AException;
            outcome.Message = AMessage;
        }
        pthread_kill(waitingThread, SIGUSR1);
    };
    if (!engine.LoadLibraries(kv::LibraryFolder()))
        return Fail(engine.LastError());
    for (const std::vector<std::string>* lines : {&args.InputLines, &args.OutputLines})
        for (const std::string& line : *lines) {
            const std::string name = line.substr(0, line.find('='));
            if (!name.empty() && !kv::LibrariesKnowOption(name))
                return Refuse("unknown option '" + name + "' in the option line '" + line +
                              "': no codec, container, scaler or bitstream filter has it");
        }
    // The demuxer opens with the input: what it refuses is refused now, like the other sides' values below.
    const AVInputFormat* forcedInput = nullptr;
    for (const std::string& line : args.InputLines)
        if (line.rfind("f=", 0) == 0)
            forcedInput = kv::lav::av_find_input_format(line.substr(2).c_str());
    for (const std::string& line : args.InputLines) {
        const size_t equals = line.find('=');
        const std::string value = equals == std::string::npos ? std::string() : line.substr(equals + 1);
        if (const auto refusal = kv::InputLineRefusal(line.substr(0, equals), value, forcedInput))
            return Refuse(*refusal);
    }
    engine.SetCodecThreads(threads);
    kv::TInputOptions input;
    input.ExtOptions = JoinLines(args.InputLines);
    const int index = engine.AddTask(inputFile, &input);
    if (index < 0)
        return Fail(engine.LastError());
    kv::TOutputOptions output;
    output.ExtOptions = JoinLines(args.OutputLines);
    kv::cli::FillAlwaysAppliedFields(output.ExtOptions, output);
    if (!engine.SetOutputFile(index, outputFile, &output))
        return Fail(engine.LastError());
    // Options of the codecs and containers themselves: a refused value stops here, before anything is
    // written; one that no stream takes is said.
    for (const kv::TPrivateOptionCheck& check : engine.Tasks(index).CheckPrivateOptions()) {
        if (!check.Refusal.empty()) {
            engine.RemoveTask(index);
            return Refuse(check.Refusal);
        }
        if (!check.Used)
            std::fprintf(stderr, "warning: option %s=%s is not used by any stream of this output\n",
                         kv::OneLineMessage(check.Name, GGivenValues).c_str(),
                         kv::OneLineMessage(check.Value, GGivenValues).c_str());
    }

    engine.StartConvert(1);
    bool interrupted = false;
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(outcome.Lock);
            if (outcome.Ended)
                break;
        }
        const timespec wait{0, 100 * 1000 * 1000};
        const int signal = sigtimedwait(&signals, nullptr, &wait);
        if ((signal == SIGINT || signal == SIGTERM) && !interrupted) {
            // The first interruption stops the run cleanly: the output keeps what was converted.
            interrupted = true;
            std::fprintf(stderr, "[info] interrupted: stopping, the output keeps what was converted\n");
            engine.StopConvert();
        }
    }
    std::lock_guard<std::mutex> guard(outcome.Lock);
    if (outcome.Failed)
        return Fail(outcome.Message.empty() ? "the conversion failed" : outcome.Message);
    if (interrupted)
        return 130;
    if (!outcome.Finished)
        return Fail("the conversion was stopped");
    return 0;
}

// An engine with its libraries, logging to standard error.
struct TEngine {
    kv::TDIdezuDOR Component;
    std::string Error;
    TEngine()
    {
        Component.OnLog = [](int, kv::TLogLevel ALevel, const std::string& AMsg) { LogLine(ALevel, AMsg); };
        if (!Component.LoadLibraries(kv::LibraryFolder()))
            Error = Component.LastError();
    }
    // The engine's probe holding File; nullptr with Error set.
    kv::TAVProbe* Open(const std::string& File)
    {
        if (!Error.empty())
            return nullptr;
        if (!Component.Probe().OpenFile(File)) {
            Error = Component.Probe().LastError();
            return nullptr;
        }
        return &Component.Probe();
    }
};

void Print(const char* Key, const std::string& Value)
{
    std::printf("%s=%s\n", Key, kv::PrintableValue(Value, std::string::npos).c_str());
}
void Print(const char* Key, int64_t Value) { std::printf("%s=%lld\n", Key, static_cast<long long>(Value)); }

int Probe(const std::vector<std::string>& Args)
{
    if (Args.size() != 1)
        return Fail("probe needs one file (see kelvane-cli --help)");
    TEngine engine;
    kv::TAVProbe* opened = engine.Open(Args[0]);
    if (!opened)
        return Fail(engine.Error);
    kv::TAVProbe& probe = *opened;
    const std::pair<const char*, int> counts[] = {
        {"StreamCount", probe.StreamCount},
        {"ProgramCount", probe.ProgramCount},
        {"AudioStreamCount", probe.AudioStreamCount},
        {"VideoStreamCount", probe.VideoStreamCount},
        {"SubtitleStreamCount", probe.SubtitleStreamCount},
        {"FirstAudioStream", probe.FirstAudioStream},
        {"FirstVideoStream", probe.FirstVideoStream},
        {"FirstSubtitleStream", probe.FirstSubtitleStream},
    };
    for (const auto& [key, value] : counts)
        Print(key, value);
    Print("FormatName", probe.GetFormatName());
    kv::TFileStreamInfo info;
    probe.GetFileStreamInfo(info);
    Print("StartTime", info.StartTime);
    Print("Duration", info.Duration);
    Print("BitRate", info.BitRate);
    Print("Timestamp", info.Timestamp);
    Print("Year", info.Year);
    Print("Track", info.Track);
    const std::pair<const char*, const std::string*> texts[] = {
        {"Title", &info.Title},     {"Author", &info.Author}, {"Copyright", &info.Copyright},
        {"Comment", &info.Comment}, {"Album", &info.Album},   {"Genre", &info.Genre},
    };
    for (const auto& [key, value] : texts)
        Print(key, *value);
    // The media-information facts come from the helper process, as the window reads them: a file on which
    // the library never finishes gives the probe's size and play time after the timeout.
    kv::TMediaFacts facts;
    std::string error;
    if (!kv::TMediaFactsReader().Read(Args[0], facts, error)) {
        LogLine(kv::llError, "no media information (" + error + "): the size and play time are the probe's");
        facts = kv::MediaFactsFromProbe(probe);
    }
    Print("Width", facts.Width);
    Print("Height", facts.Height);
    std::printf("FrameRate=%.3f\n", facts.FrameRate);
    std::printf("VideoBitRate=%.0f\n", facts.VideoBitRate);
    Print("PlayTime", facts.PlayTime);
    Print("FileExtension", facts.FileExtension);
    Print("VideoCodec", facts.VideoCodec);
    for (size_t i = 0; i < facts.AudioCodecs.size(); ++i)
        Print(("AudioCodec." + std::to_string(i)).c_str(), facts.AudioCodecs[i]);
    return 0;
}

int Frame(const std::vector<std::string>& Args)
{
    const TArguments args = ParseArguments(Args, false);
    if (args.Files.size() != 3)
        return Fail("frame needs a file, a position in microseconds and a PNG file (see kelvane-cli --help)");
    const std::string& inputFile = args.Files[0];
    const std::string& pictureFile = args.Files[2];
    int64_t position = 0;
    if (!kv::TryStrToInt64(args.Files[1], position))
        return Fail("'" + args.Files[1] + "' is not a position in microseconds");
    if (const std::string refusal = RefuseOutput(inputFile, pictureFile, args.Overwrite); !refusal.empty())
        return Fail(refusal);
    TEngine engine;
    kv::TAVProbe* opened = engine.Open(inputFile);
    if (!opened)
        return Fail(engine.Error);
    kv::TAVProbe& probe = *opened;
    const kv::TBitmap& picture = probe.ReadFrame(-1, position);
    if (!probe.FrameValid() || picture.Width == 0)
        return Fail(probe.LastError());
    std::string error;
    if (!kv::SavePicturePNG(picture, pictureFile, error))
        return Fail(error);
    std::printf("%dx%d at %lld us\n", picture.Width, picture.Height, static_cast<long long>(probe.FramePTS()));
    return 0;
}

// What the MediaInfo library reads in File, as the key=value lines of the mediainfo command; false with
// Error when the file cannot be read or the library finds nothing in it.
bool MediaFactsLines(const std::string& File, std::string& Lines, std::string& Error)
{
    // The library answers nothing, and says nothing, for a file it cannot open.
    struct stat status {};
    if (::stat(File.c_str(), &status) != 0) {
        Error = File + ": " + std::strerror(errno);
        return false;
    }
    if (S_ISDIR(status.st_mode)) {
        Error = File + " is a folder";
        return false;
    }
    if (FILE* readable = std::fopen(File.c_str(), "rb")) {
        std::fclose(readable);
    } else {
        Error = File + ": " + std::strerror(errno);
        return false;
    }
    const kv::TMediaInfoDll library(File);
    kv::TMediaFacts facts;
    try {
        facts.FrameRate = library.GetFrameRate();
    } catch (const kv::Exception&) {
        facts.FrameRate = 0.0;  // a rate that is not a number is no rate
    }
    facts.Width = library.GetWidth();
    facts.PlayTime = library.GetPlayTime();
    const int audioStreams = library.AudioStreamCount();
    facts.VideoCodec = library.GetVideoCodec();
    if (facts.Width <= 0 && facts.PlayTime <= 0 && audioStreams <= 0 && facts.VideoCodec.empty()) {
        Error = "MediaInfo finds no media in " + File;
        return false;
    }
    facts.Height = library.GetHeight();
    facts.VideoBitRate = library.GetBitRate();
    facts.FileExtension = library.GetFileExtension();
    for (int i = 0; i < audioStreams; ++i)
        facts.AudioCodecs.push_back(library.GetAudioCodec(i));
    Lines = kv::MediaFactsLines(facts);
    return true;
}

// The helper that stays: file names come on standard input, each ended by a NUL (a name can hold any other
// character); for each, its lines or "Error=" and the reason go out, then an empty line. It ends at the
// end of its input, and with the program that started it.
int ServeMediaFacts()
{
    // A parent-death signal comes when the starting *thread* ends, and the program reads on threads of
    // its own that come and go: the process itself is watched instead.
    const pid_t parent = ::getppid();
    std::thread([parent] {
        for (;;) {
            if (::getppid() != parent)
                ::_exit(1);
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
    }).detach();
    std::string input, name;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        input.append(buffer, static_cast<size_t>(got));
        while (kv::TakeMediaFactsRequest(input, name)) {
            std::string lines, error;
            const std::string answer = MediaFactsLines(name, lines, error) ? kv::MediaFactsAnswer(lines)
                                                                           : kv::MediaFactsErrorAnswer(error, name);
            std::fputs(answer.c_str(), stdout);
            std::fflush(stdout);
        }
    }
    return 0;
}

int Options(const std::vector<std::string>& Args)
{
    if (Args.size() != 1)
        return Refuse("options needs the name of an encoder, muxer or demuxer (see kelvane-cli --help)");
    TEngine engine;
    if (!engine.Error.empty())
        return Fail(engine.Error);
    const std::string listing = kv::cli::OptionListing(Args[0]);
    if (listing.empty())
        return Refuse("no encoder, muxer or demuxer is named '" + Args[0] + "'");
    std::fputs(listing.c_str(), stdout);
    return 0;
}

int MediaInfo(const std::vector<std::string>& Args)
{
    if (Args.size() == 1 && Args[0] == "--serve")
        return ServeMediaFacts();
    std::vector<std::string> files = Args;
    if (!files.empty() && files[0] == "--")
        files.erase(files.begin());
    if (files.size() != 1)
        return Fail("mediainfo needs one file (see kelvane-cli --help)");
    // A file the library never finishes would keep this process going for ever once the program that
    // started it (and would kill it) is gone: it ends with its parent.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    std::string lines, error;
    if (!MediaFactsLines(files[0], lines, error))
        return Fail(error);
    std::fputs(lines.c_str(), stdout);
    return 0;
}

}  // namespace

int main(int argc, char* argv[])
{
    std::vector<std::string> args(argv + 1, argv + argc);
    GGivenValues = args;
    // The value of each option line too, which messages show without its name.
    for (const std::string& arg : args)
        if (const size_t equals = arg.find('='); equals != std::string::npos)
            GGivenValues.push_back(arg.substr(equals + 1));
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        std::fputs(Usage, args.empty() ? stderr : stdout);
        return args.empty() ? 1 : 0;
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (args[0] == "convert")
        return Convert(rest);
    if (args[0] == "probe")
        return Probe(rest);
    if (args[0] == "frame")
        return Frame(rest);
    if (args[0] == "options")
        return Options(rest);
    if (args[0] == "mediainfo")
        return MediaInfo(rest);
    return Fail("unknown command '" + args[0] + "' (see kelvane-cli --help)");
}
