// kelvane-cli: the conversion engine from the command line, for scripts and for checking the engine
// without a window.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "component/DIdezuDOR.h"
#include "component/TextAndPath.h"

namespace {

const char* const Usage =
    "Usage:\n"
    "  kelvane-cli convert [-i LINE]... [-o LINE]... INPUT OUTPUT\n"
    "      Queues one conversion of INPUT into OUTPUT. Each -i LINE is an input option line and each\n"
    "      -o LINE an output option line, written name=value (for example -o vcodec=mpeg4 -o b=800000).\n"
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

}  // namespace

int main(int argc, char* argv[])
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        std::fputs(Usage, args.empty() ? stderr : stdout);
        return args.empty() ? 1 : 0;
    }
    if (args[0] == "convert")
        return Convert(std::vector<std::string>(args.begin() + 1, args.end()));
    return Fail("unknown command '" + args[0] + "' (see kelvane-cli --help)");
}
