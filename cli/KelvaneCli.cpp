// kelvane-cli: the conversion engine from the command line, for scripts and for checking the engine
// without a window.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "component/DIdezuDOR.h"
#include "component/MediaInfoDll.h"
#include "media/PictureFile.h"
#include "media/OptionValues.h"
#include "media/TextAndPath.h"

namespace {

const char* const Usage =
    "Usage:\n"
    "  kelvane-cli convert [-i LINE]... [-o LINE]... INPUT OUTPUT\n"
    "      Queues one conversion of INPUT into OUTPUT. Each -i LINE is an input option line and each\n"
    "      -o LINE an output option line, written name=value (for example -o vcodec=mpeg4 -o b=800000).\n"
    "  kelvane-cli probe FILE\n"
    "      Prints what the engine knows of FILE, one key=value per line.\n"
    "  kelvane-cli frame FILE POSITION_US OUT.png\n"
    "      Writes the picture of FILE's first video stream at POSITION_US microseconds to OUT.png.\n"
    "  kelvane-cli --help\n"
    "\n"
    "Log lines go to standard error as \"[level] text\". On failure the last line is \"error: \" and the\n"
    "reason, and the exit status is 1. This build prepares the conversion but cannot run it yet: convert\n"
    "then says so and exits with status 2.\n";

const char* LevelName(kv::TLogLevel Level)
{
    static const char* const names[] = {"quiet", "error", "info", "debug", "all"};
    return names[Level];
}

int Fail(const std::string& Message)
{
    std::fprintf(stderr, "error: %s\n", Message.c_str());
    return 1;
}

std::string JoinLines(const std::vector<std::string>& Lines)
{
    std::string text;
    for (const std::string& line : Lines)
        text += (text.empty() ? "" : "\n") + line;
    return text;
}

int Convert(const std::vector<std::string>& Args)
{
    std::vector<std::string> inputLines, outputLines, files;
    for (size_t i = 0; i < Args.size(); ++i) {
        if (Args[i] == "-i" || Args[i] == "-o") {
            if (i + 1 >= Args.size())
                return Fail("option " + Args[i] + " needs a line");
            std::vector<std::string>& lines = Args[i] == "-i" ? inputLines : outputLines;
            lines.push_back(Args[i + 1]);
            ++i;
        } else {
            files.push_back(Args[i]);
        }
    }
    if (files.size() != 2)
        return Fail("convert needs an input and an output file (see kelvane-cli --help)");

    kv::TDIdezuDOR engine;
    engine.OnLog = [](int, kv::TLogLevel ALevel, const std::string& AMsg) {
        std::fprintf(stderr, "[%s] %s\n", LevelName(ALevel), AMsg.c_str());
    };
    if (!engine.LoadLibraries(kv::ProgramFolder() + "LibAV"))
        return Fail(engine.LastError());
    kv::TInputOptions input;
    input.ExtOptions = JoinLines(inputLines);
    const int index = engine.AddTask(files[0], &input);
    if (index < 0)
        return Fail(engine.LastError());
    kv::TOutputOptions output;
    output.ExtOptions = JoinLines(outputLines);
    if (!engine.SetOutputFile(index, files[1], &output))
        return Fail(engine.LastError());
    std::printf("queued: %s -> %s\n", files[0].c_str(), files[1].c_str());
    std::printf("this build cannot run conversions yet: nothing was converted\n");
    return 2;
}

// An engine with its libraries, logging to standard error.
struct TEngine {
    kv::TDIdezuDOR Component;
    std::string Error;
    TEngine()
    {
        Component.OnLog = [](int, kv::TLogLevel ALevel, const std::string& AMsg) {
            std::fprintf(stderr, "[%s] %s\n", LevelName(ALevel), AMsg.c_str());
        };
        if (!Component.LoadLibraries(kv::ProgramFolder() + "LibAV"))
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

void Print(const char* Key, const std::string& Value) { std::printf("%s=%s\n", Key, Value.c_str()); }
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
        {"StreamCount", probe.StreamCount},           {"ProgramCount", probe.ProgramCount},
        {"AudioStreamCount", probe.AudioStreamCount}, {"VideoStreamCount", probe.VideoStreamCount},
        {"SubtitleStreamCount", probe.SubtitleStreamCount}, {"FirstAudioStream", probe.FirstAudioStream},
        {"FirstVideoStream", probe.FirstVideoStream}, {"FirstSubtitleStream", probe.FirstSubtitleStream},
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
    const kv::TMediaInfoDll facts(Args[0]);
    Print("Width", facts.GetWidth());
    Print("Height", facts.GetHeight());
    try {
        std::printf("FrameRate=%.3f\n", facts.GetFrameRate());
    } catch (const kv::Exception&) {
        Print("FrameRate", "");
    }
    std::printf("VideoBitRate=%.0f\n", facts.GetBitRate());
    Print("PlayTime", facts.GetPlayTime());
    Print("FileExtension", facts.GetFileExtension());
    Print("VideoCodec", facts.GetVideoCodec());
    for (int i = 0; i < facts.AudioStreamCount(); ++i)
        Print(("AudioCodec." + std::to_string(i)).c_str(), facts.GetAudioCodec(i));
    return 0;
}

int Frame(const std::vector<std::string>& Args)
{
    if (Args.size() != 3)
        return Fail("frame needs a file, a position in microseconds and a PNG file (see kelvane-cli --help)");
    int64_t position = 0;
    if (!kv::TryStrToInt64(Args[1], position))
        return Fail("'" + Args[1] + "' is not a position in microseconds");
    TEngine engine;
    kv::TAVProbe* opened = engine.Open(Args[0]);
    if (!opened)
        return Fail(engine.Error);
    kv::TAVProbe& probe = *opened;
    const kv::TBitmap& picture = probe.ReadFrame(-1, position);
    if (!probe.FrameValid() || picture.Width == 0)
        return Fail(probe.LastError());
    std::string error;
    if (!kv::SavePicturePNG(picture, Args[2], error))
        return Fail(error);
    std::printf("%dx%d at %lld us\n", picture.Width, picture.Height, static_cast<long long>(probe.FramePTS()));
    return 0;
}

}  // namespace

int main(int argc, char* argv[])
{
    std::vector<std::string> args(argv + 1, argv + argc);
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
    return Fail("unknown command '" + args[0] + "' (see kelvane-cli --help)");
}
