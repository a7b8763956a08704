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

#include "cli/ConvertCommand.h"
#include "cli/ExitStatus.h"
#include "cli/FileFacts.h"
#include "cli/Messages.h"
#include "cli/OptionListing.h"
#include "cli/PresetListing.h"
#include "cli/ProgressLines.h"
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
    "  kelvane-cli convert [-y | --skip-existing] [--threads N] [--progress text|json] [--report FILE.json]\n"
    "                      [-i LINE]... [-o LINE]... [--] INPUT OUTPUT\n"
    "      Converts INPUT into OUTPUT. Each -i LINE is an input option line and each -o LINE an output\n"
    "      option line, written name=value (for example -o vcodec=mpeg4 -o b=800000). --threads N sets the\n"
    "      codec threads of every encoder and decoder (0, the default, lets the libraries choose from the\n"
    "      number of cores). \"--\" ends the options, so that a file named -y can be given.\n"
    "      While it runs, each progress report is one line on standard error:\n"
    "      [progress] frame=N fps=N time_ms=N q=Q kbps=K size=BYTES total_ms=N\n"
    "      (frame and fps are -1 for an output without video). With --progress json each report is one\n"
    "      JSON object per line on standard output (frame, fps, time_ms, total_ms, percent, size, speed,\n"
    "      eta_s; null when not known), and the last line is the outcome: {\"outcome\": finished, skipped,\n"
    "      stopped (by SIGINT or SIGTERM) or failed, \"status\", \"output\", \"message\"}.\n"
    "      --report FILE.json writes what ran and how it ended: the input's facts, the option lines and\n"
    "      record fields, the output's facts, the elapsed time, the exit status, the error and the\n"
    "      versions of the libraries loaded.\n"
    "      The output is written under a hidden name in its folder (.NAME.kvtmp-XXXXXXXX.SUFFIX) and takes\n"
    "      its own name only when the conversion finished, so no half-written file ever stands there; a\n"
    "      file that appears at the name meanwhile is kept unless -y is given. The first SIGINT stops the\n"
    "      conversion cleanly: the output keeps what was converted and plays. The first SIGTERM stops it\n"
    "      and removes what was written. With --skip-existing an existing output counts as done: one line\n"
    "      says it was skipped and the exit status is 0. Two-pass statistics go beside the output\n"
    "      (.NAME.kvpass-N.log) unless passlogfile is given.\n"
    "      A name no codec, container, scaler or bitstream filter knows, and a value an encoder's, muxer's\n"
    "      or demuxer's own option refuses, are refused before anything is written (exit status 2); a\n"
    "      known name that no stream of the output uses gives a warning line. The lines vn, an, sn, async,\n"
    "      vsync, alang, slang, copyts and padcolor take effect as given.\n"
    "  kelvane-cli convert (--preset TYPE/N | --device BRAND/MODEL | --like VIDEO) [-d DIR] [--dry-run]\n"
    "                      [the options above]... [--] INPUT [OUTPUT]\n"
    "      Converts INPUT with the records the window builds for it: a file type's preset, a device, or\n"
    "      the settings of VIDEO (the analysis tab's rule; the window's extfile.ini is not touched).\n"
    "      Letterbox bands are fitted as the window fits them; -o lines come after the preset's own and\n"
    "      win over its settings. OUTPUT may be a file, a folder or left out (-d DIR, default the\n"
    "      current folder, made when missing): the output is then named as the window names it,\n"
    "      NAME_(new)SUFFIX with NAME the input's upper-cased base name, or NAME_(new_N)SUFFIX when that\n"
    "      is taken; with --skip-existing an existing NAME_(new)SUFFIX counts as done. An unknown\n"
    "      TYPE/N or BRAND/MODEL is a usage error. --dry-run prints the two records as one JSON object\n"
    "      and converts nothing.\n"
    "  kelvane-cli presets [--json]\n"
    "      Lists every file type's presets as TYPE/N (TYPE: 3GP, MP4, AVI, MPEG, WMV, RM, MOV, MKV, FLV,\n"
    "      MP4-H264, MKV-WEBM; N: the number the profile's name starts with) and every device as\n"
    "      BRAND/MODEL, with their names and settings: suffix, size, codecs, bit rate or quality, frame\n"
    "      rate.\n"
    "  kelvane-cli options NAME\n"
    "      Lists the own options of the encoder, muxer or demuxer NAME (for example libx264, mp4,\n"
    "      concat) with their types, ranges, defaults and named values: each can be given as an option\n"
    "      line.\n"
    "  kelvane-cli probe [--json] [--] FILE\n"
    "      Prints what the engine knows of FILE, one key=value per line (--json: one JSON object).\n"
    "  kelvane-cli frame [-y] [--] FILE POSITION_US OUT.png\n"
    "      Writes the picture of FILE's first video stream at POSITION_US microseconds to OUT.png.\n"
    "  kelvane-cli mediainfo [--json] [--] FILE\n"
    "      Prints what the MediaInfo library reads in FILE, one key=value per line (--json: one JSON\n"
    "      object): Width, Height, FrameRate, VideoBitRate (bit/s), PlayTime (ms), FileExtension,\n"
    "      VideoCodec and AudioCodec.N for each audio stream N. Fails when FILE cannot be read or\n"
    "      MediaInfo finds nothing in it. The program runs it as a separate process, so that a file the\n"
    "      library never finishes cannot freeze it.\n"
    "  kelvane-cli mediainfo --serve\n"
    "      The same for many files in one process: reads file names from standard input, each ended by\n"
    "      a NUL character, and answers each with its lines (or \"Error=\" and the reason) and an empty\n"
    "      line. It ends at the end of its input.\n"
    "  kelvane-cli version [--json]\n"
    "      The program's version, the engine's, and those of the FFmpeg libraries it loaded.\n"
    "  kelvane-cli --help\n"
    "\n"
    "An output that already exists is refused unless -y is given; an output that is the input file\n"
    "itself is always refused.\n"
    "\n"
    "Log lines go to standard error as \"[level] text\". On failure the last line is \"error: \" and the\n"
    "reason, on one line.\n"
    "\n"
    "Exit statuses:\n"
    "  0    finished (or skipped)\n"
    "  1    the conversion failed while running\n"
    "  2    usage error, including option lines the engine refuses\n"
    "  3    the input cannot be opened or probed\n"
    "  4    the output exists and was not overwritten\n"
    "  5    the output cannot be written (the container or the file system refuses it)\n"
    "  130  stopped by SIGINT (the output keeps what was converted)\n"
    "  143  stopped by SIGTERM (nothing stands at the output's name)\n";

// A failure: the reason on one "error: " line, and the exit status.
int Fail(int Status, const std::string& Message)
{
    kv::cli::PrintError(Message);
    return Status;
}

// The arguments of frame: its files and -y; "--" ends the options.
struct TArguments {
    std::vector<std::string> Files;
    bool Overwrite = false;
};

TArguments ParseArguments(const std::vector<std::string>& Args)
{
    TArguments parsed;
    bool optionsEnded = false;
    for (const std::string& arg : Args) {
        if (!optionsEnded && arg == "--")
            optionsEnded = true;
        else if (!optionsEnded && arg == "-y")
            parsed.Overwrite = true;
        else
            parsed.Files.push_back(arg);
    }
    return parsed;
}

// Takes a leading "--json" (and a "--" after it) off Args; whether it was there.
bool TakeJson(std::vector<std::string>& Args)
{
    bool asJson = false;
    while (!Args.empty() && Args[0] == "--json") {
        asJson = true;
        Args.erase(Args.begin());
    }
    if (!Args.empty() && Args[0] == "--")
        Args.erase(Args.begin());
    return asJson;
}

void PrintFacts(const kv::cli::TFacts& Facts, bool AsJson)
{
    if (AsJson)
        std::printf("%s\n", kv::cli::JsonLine(kv::cli::FactObject(Facts)).c_str());
    else
        std::fputs(kv::cli::FactLines(Facts).c_str(), stdout);
}

// An engine with its libraries, logging to standard error.
struct TEngine {
    kv::TDIdezuDOR Component;
    std::string Error;
    TEngine()
    {
        Component.OnLog = [](int, kv::TLogLevel ALevel, const std::string& AMsg) { kv::cli::PrintLog(ALevel, AMsg); };
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

int Probe(std::vector<std::string> Args)
{
    const bool asJson = TakeJson(Args);
    if (Args.size() != 1)
        return Fail(kv::cli::esUsage, "probe needs one file (see kelvane-cli --help)");
    TEngine engine;
    if (!engine.Error.empty())
        return Fail(kv::cli::esFailed, engine.Error);
    kv::TAVProbe* opened = engine.Open(Args[0]);
    if (!opened)
        return Fail(kv::cli::esInput, engine.Error);
    kv::TAVProbe& probe = *opened;
    kv::cli::TFacts facts = kv::cli::ProbeFacts(probe);
    // The media-information facts come from the helper process, as the window reads them: a file on which
    // the library never finishes gives the probe's size and play time after the timeout.
    kv::TMediaFacts media;
    std::string error;
    if (!kv::TMediaFactsReader().Read(Args[0], media, error)) {
        kv::cli::PrintLog(kv::llError, "no media information (" + error + "): the size and play time are the probe's");
        media = kv::MediaFactsFromProbe(probe);
    }
    for (kv::cli::TFact& fact : kv::cli::MediaFactsOf(media))
        facts.push_back(std::move(fact));
    PrintFacts(facts, asJson);
    return kv::cli::esFinished;
}

int Frame(const std::vector<std::string>& Args)
{
    const TArguments args = ParseArguments(Args);
    if (args.Files.size() != 3)
        return Fail(kv::cli::esUsage,
                    "frame needs a file, a position in microseconds and a PNG file (see kelvane-cli --help)");
    const std::string& inputFile = args.Files[0];
    const std::string& pictureFile = args.Files[2];
    int64_t position = 0;
    if (!kv::TryStrToInt64(args.Files[1], position))
        return Fail(kv::cli::esUsage, "'" + args.Files[1] + "' is not a position in microseconds");
    if (const std::string refusal = kv::cli::OutputRefusal(inputFile, pictureFile, args.Overwrite); !refusal.empty())
        return Fail(kv::cli::esOutputExists, refusal);
    TEngine engine;
    if (!engine.Error.empty())
        return Fail(kv::cli::esFailed, engine.Error);
    kv::TAVProbe* opened = engine.Open(inputFile);
    if (!opened)
        return Fail(kv::cli::esInput, engine.Error);
    kv::TAVProbe& probe = *opened;
    const kv::TBitmap& picture = probe.ReadFrame(-1, position);
    if (!probe.FrameValid() || picture.Width == 0)
        return Fail(kv::cli::esFailed, probe.LastError());
    std::string error;
    if (!kv::SavePicturePNG(picture, pictureFile, error))
        return Fail(kv::cli::esOutputWrite, error);
    std::printf("%dx%d at %lld us\n", picture.Width, picture.Height, static_cast<long long>(probe.FramePTS()));
    return kv::cli::esFinished;
}

// What the MediaInfo library reads in File; false with Error when the file cannot be read or the library
// finds nothing in it.
bool ReadMediaFacts(const std::string& File, kv::TMediaFacts& Facts, std::string& Error)
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
    Facts = facts;
    return true;
}

// The key=value lines of the mediainfo command for File.
bool MediaFactsLines(const std::string& File, std::string& Lines, std::string& Error)
{
    kv::TMediaFacts facts;
    if (!ReadMediaFacts(File, facts, Error))
        return false;
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
        return Fail(kv::cli::esUsage,
                    "options needs the name of an encoder, muxer or demuxer (see kelvane-cli --help)");
    TEngine engine;
    if (!engine.Error.empty())
        return Fail(kv::cli::esFailed, engine.Error);
    const std::string listing = kv::cli::OptionListing(Args[0]);
    if (listing.empty())
        return Fail(kv::cli::esUsage, "no encoder, muxer or demuxer is named '" + Args[0] + "'");
    std::fputs(listing.c_str(), stdout);
    return kv::cli::esFinished;
}

int MediaInfo(std::vector<std::string> Args)
{
    if (Args.size() == 1 && Args[0] == "--serve")
        return ServeMediaFacts();
    const bool asJson = TakeJson(Args);
    if (Args.size() != 1)
        return Fail(kv::cli::esUsage, "mediainfo needs one file (see kelvane-cli --help)");
    // A file the library never finishes would keep this process going for ever once the program that
    // started it (and would kill it) is gone: it ends with its parent.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    kv::TMediaFacts facts;
    std::string error;
    if (!ReadMediaFacts(Args[0], facts, error))
        return Fail(kv::cli::esInput, error);
    if (asJson)
        PrintFacts(kv::cli::MediaFactsOf(facts), true);
    else
        std::fputs(kv::MediaFactsLines(facts).c_str(), stdout);
    return kv::cli::esFinished;
}

int Version(std::vector<std::string> Args)
{
    const bool asJson = TakeJson(Args);
    if (!Args.empty())
        return Fail(kv::cli::esUsage, "version takes only --json (see kelvane-cli --help)");
    TEngine engine;
    if (!engine.Error.empty())
        return Fail(kv::cli::esFailed, engine.Error);
    PrintFacts(kv::cli::VersionFacts(engine.Component.Version()), asJson);
    return kv::cli::esFinished;
}

}  // namespace

int main(int argc, char* argv[])
{
    std::vector<std::string> args(argv + 1, argv + argc);
    std::vector<std::string> given = args;
    // The value of each option line too, which messages show without its name.
    for (const std::string& arg : args)
        if (const size_t equals = arg.find('='); equals != std::string::npos)
            given.push_back(arg.substr(equals + 1));
    kv::cli::SetGivenValues(given);
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        std::fputs(Usage, args.empty() ? stderr : stdout);
        return args.empty() ? kv::cli::esUsage : kv::cli::esFinished;
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    using TCommand = int (*)(const std::vector<std::string>& Rest, const std::vector<std::string>& All);
    static const std::pair<const char*, TCommand> commands[] = {
        {"convert", [](const auto& r, const auto& a) { return kv::cli::ConvertCommand(r, a); }},
        {"probe", [](const auto& r, const auto&) { return Probe(r); }},
        {"frame", [](const auto& r, const auto&) { return Frame(r); }},
        {"options", [](const auto& r, const auto&) { return Options(r); }},
        {"mediainfo", [](const auto& r, const auto&) { return MediaInfo(r); }},
        {"version", [](const auto& r, const auto&) { return Version(r); }},
        {"presets", [](const auto& r, const auto&) { return kv::cli::PresetsCommand(r); }},
    };
    for (const auto& [name, command] : commands)
        if (args[0] == name)
            return command(rest, args);
    return Fail(kv::cli::esUsage, "unknown command '" + args[0] + "' (see kelvane-cli --help)");
}
