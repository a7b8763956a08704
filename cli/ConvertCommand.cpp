// kelvane-cli convert: one input into one output, as a worker for scripts and schedulers. The output is
// written under a hidden temporary name and takes its own name only when the run finished (or a person
// stopped it with SIGINT); the exit status says how it ended, and the progress and a report can be read by
// programs.
#include "cli/ConvertCommand.h"

#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <algorithm>
#include <fstream>
#include <mutex>
#include <optional>

#include <nlohmann/json.hpp>

#include "cli/ChoiceRecords.h"
#include "cli/ExitStatus.h"
#include "cli/FileFacts.h"
#include "cli/Messages.h"
#include "cli/ProgressLines.h"
#include "cli/RecordLines.h"
#include "cli/RecordReport.h"
#include "component/DIdezuDOR.h"
#include "component/MediaFacts.h"
#include "engine/PrivateOptions.h"
#include "media/LibraryBindings.h"
#include "media/OptionValues.h"
#include "media/TextAndPath.h"

namespace kv::cli {

namespace {

using json = nlohmann::ordered_json;

struct TConvertArguments {
    std::vector<std::string> InputLines, OutputLines, Files;
    bool Overwrite = false;
    bool SkipExisting = false;
    bool ProgressJson = false;
    int Threads = 0;
    std::string ReportFile;
    // A choice of the window's instead of the option lines alone: --preset, --device or --like, and the
    // folder its output is named in (-d).
    std::optional<TChoiceKind> Choice;
    std::string ChoiceName, Folder;
    bool DryRun = false;
};

std::string TakeChoice(TConvertArguments& Arguments, TChoiceKind Kind, const std::string& Name)
{
    if (Arguments.Choice)
        return "give one of --preset, --device and --like";
    Arguments.Choice = Kind;
    Arguments.ChoiceName = Name;
    return "";
}

std::string TakeLine(std::vector<std::string>& Lines, const char* Option, const std::string& Line)
{
    // One line each: a line break would make the engine read two options where one was given.
    if (Line.find_first_of("\r\n") != std::string::npos)
        return "the option line '" + Line + "' holds a line break: give each option with its own " + Option;
    Lines.push_back(Line);
    return "";
}

const char* const ThreadsNeeded = "--threads needs a number of codec threads from 0 (automatic) to 256";

// One option of convert: whether a value follows it, what is said when it is missing, and how it is taken
// (the reason when it is refused, "" otherwise).
struct TConvertOption {
    const char* Name;
    const char* MissingValue;  // nullptr: the option takes no value
    std::string (*Take)(TConvertArguments& Arguments, const std::string& Value);
};

using A = TConvertArguments;
const TConvertOption ConvertOptions[] = {
    {"-y", nullptr, [](A& a, const std::string&) { return a.Overwrite = true, std::string(); }},
    {"--skip-existing", nullptr, [](A& a, const std::string&) { return a.SkipExisting = true, std::string(); }},
    {"--threads", ThreadsNeeded,
     [](A& a, const std::string& v) {
         int64_t value = -1;
         if (!TryStrToInt64(v, value) || value < 0 || value > 256)
             return std::string(ThreadsNeeded);
         a.Threads = static_cast<int>(value);
         return std::string();
     }},
    {"--progress", "--progress needs text or json",
     [](A& a, const std::string& v) {
         if (v != "text" && v != "json")
             return "--progress needs text or json, not '" + v + "'";
         a.ProgressJson = v == "json";
         return std::string();
     }},
    {"--report", "--report needs a file name",
     [](A& a, const std::string& v) { return a.ReportFile = v, std::string(); }},
    {"--preset", "--preset needs TYPE/N (see kelvane-cli presets)",
     [](A& a, const std::string& v) { return TakeChoice(a, TChoiceKind::Preset, v); }},
    {"--device", "--device needs BRAND/MODEL (see kelvane-cli presets)",
     [](A& a, const std::string& v) { return TakeChoice(a, TChoiceKind::Device, v); }},
    {"--like", "--like needs a video to follow",
     [](A& a, const std::string& v) { return TakeChoice(a, TChoiceKind::Like, v); }},
    {"-d", "-d needs a folder", [](A& a, const std::string& v) { return a.Folder = v, std::string(); }},
    {"--dry-run", nullptr, [](A& a, const std::string&) { return a.DryRun = true, std::string(); }},
    {"-i", "option -i needs a line", [](A& a, const std::string& v) { return TakeLine(a.InputLines, "-i", v); }},
    {"-o", "option -o needs a line", [](A& a, const std::string& v) { return TakeLine(a.OutputLines, "-o", v); }},
};

// The arguments of convert; "" or the reason they are refused. "--" ends the options: every argument after
// it is a file, whatever it starts with.
std::string ParseConvertArguments(const std::vector<std::string>& Args, TConvertArguments& Parsed)
{
    bool optionsEnded = false;
    for (size_t i = 0; i < Args.size(); ++i) {
        const std::string& arg = Args[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            Parsed.Files.push_back(arg);
            continue;
        }
        const TConvertOption* option = nullptr;
        for (const TConvertOption& candidate : ConvertOptions)
            if (arg == candidate.Name)
                option = &candidate;
        if (!option)
            return "unknown option '" + arg +
                   "' (see kelvane-cli --help; give -- before a file whose name starts with -)";
        std::string value;
        if (option->MissingValue) {
            if (i + 1 >= Args.size())
                return option->MissingValue;
            value = Args[++i];
        }
        if (std::string refusal = option->Take(Parsed, value); !refusal.empty())
            return refusal;
    }
    if (Parsed.Overwrite && Parsed.SkipExisting)
        return "-y replaces an existing output and --skip-existing keeps it: give one of them";
    if (!Parsed.Choice) {
        if (!Parsed.Folder.empty())
            return "-d names the output folder of --preset, --device or --like: give OUTPUT instead";
        if (Parsed.Files.size() != 2)
            return "convert needs an input and an output file (see kelvane-cli --help)";
        return "";
    }
    if (Parsed.Files.empty() || Parsed.Files.size() > 2)
        return "convert with --preset, --device or --like needs an input and, if wanted, an output file or "
               "folder (see kelvane-cli --help)";
    if (Parsed.Files.size() == 2 && !Parsed.Folder.empty())
        return "give the output folder with -d or as OUTPUT, not both";
    return "";
}

// One conversion as the engine takes it: the files and the two records. Option lines fill the records
// here; a choice resolved elsewhere fills the same records and names the output.
struct TConvertJob {
    std::string InputFile, OutputFile;
    std::vector<std::string> InputLines, OutputLines;  // as given
    TInputOptions InputRecord;
    TOutputOptions OutputRecord;
};

std::string JoinLines(const std::vector<std::string>& Lines)
{
    std::string text;
    for (const std::string& line : Lines)
        text += (text.empty() ? "" : "\n") + line;
    return text;
}

// Whether Name is a plain file name (the libraries read "scheme:..." as a URL) that names a regular file
// or nothing yet.
bool NamesLocalFile(const std::string& Name)
{
    const size_t scheme = Name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+-.");
    if (scheme != std::string::npos && scheme > 0 && Name[scheme] == ':')
        return false;
    struct stat status {};
    return ::lstat(Name.c_str(), &status) != 0 ? errno == ENOENT : S_ISREG(status.st_mode);
}

// The two-pass statistics of an output: beside it, hidden, so that runs in one folder never share them.
std::string PassLogBeside(const std::string& Output)
{
    const size_t slash = Output.rfind('/');
    return (slash == std::string::npos ? std::string() : Output.substr(0, slash + 1)) + "." +
           (slash == std::string::npos ? Output : Output.substr(slash + 1)) + ".kvpass";
}

// The output record's lines: the preset's own (Preset), then the lines given, then the two-pass log.
void FillOutputLines(TConvertJob& Job, const TConvertArguments& Args, const std::string& Preset)
{
    std::vector<std::string> outputLines;
    if (!Preset.empty())
        outputLines.push_back(Preset);
    outputLines.insert(outputLines.end(), Args.OutputLines.begin(), Args.OutputLines.end());
    bool passLogGiven = false;
    for (const std::string& line : outputLines)
        passLogGiven |= line.rfind("passlogfile=", 0) == 0;
    if (!passLogGiven && NamesLocalFile(Job.OutputFile))
        outputLines.push_back("passlogfile=" + PassLogBeside(Job.OutputFile));
    Job.OutputRecord.ExtOptions = JoinLines(outputLines);
    // The lines given win over what the preset set in the record's fields.
    const std::string given = JoinLines(Args.OutputLines);
    ClearFieldsOfLines(given, Job.OutputRecord);
    FillAlwaysAppliedFields(given, Job.OutputRecord);
}

TConvertJob JobFromLines(const TConvertArguments& Args)
{
    TConvertJob job;
    job.InputFile = Args.Files[0];
    job.OutputFile = Args.Files[1];
    job.InputLines = Args.InputLines;
    job.OutputLines = Args.OutputLines;
    job.InputRecord.ExtOptions = JoinLines(Args.InputLines);
    FillOutputLines(job, Args, "");
    return job;
}

bool IsFolder(const std::string& Path)
{
    struct stat status {};
    return ::stat(Path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// The job of a window's choice: the records the window builds for the input, the output named as the window
// names it in the folder (-d, OUTPUT when it is a folder, else the current one) unless OUTPUT names a file,
// and the lines given after the preset's. "" or the reason it cannot be built (Status: the exit status).
std::string JobFromChoice(const TConvertArguments& Args, TConvertJob& Job, std::string& FirstName, int& Status)
{
    TChoiceRequest request;
    request.Kind = *Args.Choice;
    request.Name = Args.ChoiceName;
    request.InputFile = Args.Files[0];
    for (const std::string& line : Args.InputLines)
        if (line.rfind("f=", 0) == 0)
            request.InputFormat = line.substr(2);
    const bool toFolder = Args.Files.size() == 1 || IsFolder(Args.Files[1]) || Args.Files[1].back() == '/';
    request.OutputFolder = !Args.Folder.empty() ? Args.Folder : Args.Files.size() == 2 ? Args.Files[1] : ".";
    TChoiceRecords records;
    if (std::string refusal = ResolveChoice(request, records, Status); !refusal.empty())
        return refusal;
    if (toFolder && !Args.DryRun) {
        // As the window makes its typed folder at Start, with its parents; a refused choice makes nothing.
        std::error_code error;
        std::filesystem::create_directories(request.OutputFolder, error);
        if (!IsFolder(request.OutputFolder)) {
            Status = esOutputWrite;
            return "the output folder " + request.OutputFolder + " cannot be made";
        }
    }
    Job.InputFile = request.InputFile;
    Job.OutputFile = toFolder ? records.Output.FileName : Args.Files[1];
    FirstName = toFolder ? records.FirstName : Job.OutputFile;
    records.Output.FileName = Job.OutputFile;
    Job.InputLines = Args.InputLines;
    Job.OutputLines = Args.OutputLines;
    Job.InputRecord = records.Input;
    Job.InputRecord.ExtOptions = JoinLines(Args.InputLines);
    const std::string presetLines = records.Output.ExtOptions;
    Job.OutputRecord = records.Output;
    FillOutputLines(Job, Args, presetLines);
    return "";
}

// How a convert ended.
struct TConvertEnd {
    int Status = esFinished;
    std::string Outcome = "finished";  // finished, skipped, stopped or failed
    std::string Message;
};

TConvertEnd Failed(int Status, const std::string& Message) { return {Status, "failed", Message}; }

int StatusOf(TTaskFailure Kind)
{
    static const std::pair<TTaskFailure, int> statuses[] = {
        {TTaskFailure::Settings, esUsage},
        {TTaskFailure::Input, esInput},
        {TTaskFailure::OutputExists, esOutputExists},
        {TTaskFailure::OutputWrite, esOutputWrite},
    };
    for (const auto& [kind, status] : statuses)
        if (kind == Kind)
            return status;
    return esFailed;
}

// What stands at Output before the conversion: nothing when it may be written. A name that is there in
// any form (a symbolic link too, even one that points nowhere) counts as an existing file.
std::optional<TConvertEnd> CheckOutput(const TConvertArguments& Args, const TConvertJob& Job)
{
    if (const std::string refusal = OutputRefusal(Job.InputFile, Job.OutputFile, true); !refusal.empty())
        return Failed(esOutputExists, refusal);
    if (OutputRefusal(Job.InputFile, Job.OutputFile, false).empty())
        return std::nullopt;
    if (Args.SkipExisting)
        return TConvertEnd{esFinished, "skipped", Job.OutputFile + " already exists"};
    if (!Args.Overwrite)
        return Failed(esOutputExists, Job.OutputFile + " already exists (give -y to replace it)");
    return std::nullopt;
}

json FactsOfFile(TCustomAVProbe& Probe)
{
    TFacts facts = ProbeFacts(Probe);
    for (TFact& fact : MediaFactsOf(MediaFactsFromProbe(Probe)))
        facts.push_back(std::move(fact));
    return FactObject(facts);
}

// The end of the conversion, as the engine reported it.
struct TOutcome {
    std::mutex Lock;
    bool Ended = false;
    bool Finished = false;
    bool Failed = false;
    std::string Message;
};

TConvertEnd RunJob(const TConvertArguments& Args, TConvertJob& Job, json& Report)
{
    Report["input"]["file"] = Job.InputFile;
    Report["output"]["file"] = Job.OutputFile;
    Report["option_lines"] = {{"input", Job.InputLines}, {"output", Job.OutputLines}};
    Report["records"] = {{"input", InputRecordObject(Job.InputRecord)},
                         {"output", OutputRecordObject(Job.OutputRecord)}};
    if (Args.DryRun) {
        std::printf("%s\n", JsonLine(Report["records"]).c_str());
        return TConvertEnd{esFinished, "dry-run", "nothing was converted"};
    }
    if (std::optional<TConvertEnd> refused = CheckOutput(Args, Job))
        return *refused;

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

    TDIdezuDOR engine;
    TOutcome outcome;
    const auto started = std::chrono::steady_clock::now();
    engine.OnLog = [](int, TLogLevel ALevel, const std::string& AMsg) { PrintLog(ALevel, AMsg); };
    engine.OnProgress = [&Args, started](int, int AFrameNumber, int AFPS, int ACurrentDuration, float AQuality,
                                         float ABitRate, int64_t ACurrentSize, int ATotalOutputDuration) {
        TProgress progress{AFrameNumber, AFPS,         ACurrentDuration,    AQuality,
                           ABitRate,     ACurrentSize, ATotalOutputDuration};
        progress.ElapsedMS =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count();
        if (Args.ProgressJson) {
            std::printf("%s\n", JsonLine(ProgressObject(progress)).c_str());
            std::fflush(stdout);
        } else {
            std::fprintf(stderr, "%s\n", ProgressText(progress).c_str());
        }
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
    if (!engine.LoadLibraries(LibraryFolder()))
        return Failed(esFailed, engine.LastError());
    Report["libraries"] = FactObject(VersionFacts(engine.Version()));
    for (const std::vector<std::string>* lines : {&Job.InputLines, &Job.OutputLines})
        for (const std::string& line : *lines) {
            const std::string name = line.substr(0, line.find('='));
            if (!name.empty() && !LibrariesKnowOption(name))
                return Failed(esUsage, "unknown option '" + name + "' in the option line '" + line +
                                           "': no codec, container, scaler or bitstream filter has it");
        }
    // The demuxer opens with the input: what it refuses is refused now, like the other sides' values below.
    const AVInputFormat* forcedInput = nullptr;
    for (const std::string& line : Job.InputLines)
        if (line.rfind("f=", 0) == 0)
            forcedInput = lav::av_find_input_format(line.substr(2).c_str());
    for (const std::string& line : Job.InputLines) {
        const size_t equals = line.find('=');
        const std::string value = equals == std::string::npos ? std::string() : line.substr(equals + 1);
        if (const auto refusal = InputLineRefusal(line.substr(0, equals), value, forcedInput))
            return Failed(esUsage, *refusal);
    }
    engine.SetCodecThreads(Args.Threads);
    // The window leaves this off: here nothing half written may ever stand at the output's name.
    engine.SetOutputPolicy(TOutputPolicy{true, Args.Overwrite});
    const int index = engine.AddTask(Job.InputFile, &Job.InputRecord);
    if (index < 0)
        return Failed(StatusOf(engine.LastFailure()), engine.LastError());
    Report["input"]["facts"] = FactsOfFile(engine.Tasks(index).Probe);
    if (!engine.SetOutputFile(index, Job.OutputFile, &Job.OutputRecord)) {
        const TTaskFailure kind = engine.LastFailure();
        return Failed(kind == TTaskFailure::None ? esUsage : StatusOf(kind), engine.LastError());
    }
    json fields = json::object();
    for (const auto& [name, value] : AlwaysAppliedFields(Job.OutputRecord))
        fields[name] = value;
    Report["records"]["output"]["fields"] = fields;
    // Options of the codecs and containers themselves: a refused value stops here, before anything is
    // written; one that no stream takes is said.
    for (const TPrivateOptionCheck& check : engine.Tasks(index).CheckPrivateOptions()) {
        if (!check.Refusal.empty()) {
            engine.RemoveTask(index);
            return Failed(esUsage, check.Refusal);
        }
        if (!check.Used)
            std::fprintf(stderr, "warning: option %s=%s is not used by any stream of this output\n",
                         OneLine(check.Name).c_str(), OneLine(check.Value).c_str());
    }

    engine.StartConvert(1);
    int stoppedBy = 0;
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(outcome.Lock);
            if (outcome.Ended)
                break;
        }
        const timespec wait{0, 100 * 1000 * 1000};
        const int signal = sigtimedwait(&signals, nullptr, &wait);
        if ((signal == SIGINT || signal == SIGTERM) && !stoppedBy) {
            stoppedBy = signal;
            // SIGINT is a person's stop: the output keeps what was converted. SIGTERM is a scheduler's:
            // nothing unfinished is left.
            if (signal == SIGINT) {
                std::fprintf(stderr, "[info] interrupted: stopping, the output keeps what was converted\n");
                engine.StopConvert();
            } else {
                std::fprintf(stderr, "[info] terminated: stopping, the unfinished output is removed\n");
                engine.DiscardConvert();
            }
        }
    }
    const TTaskFailure kind = engine.Tasks(index).FailureKind();
    std::lock_guard<std::mutex> guard(outcome.Lock);
    TConvertEnd end;
    if (outcome.Failed)
        end = Failed(StatusOf(kind), outcome.Message.empty() ? "the conversion failed" : outcome.Message);
    else if (!outcome.Finished && stoppedBy == SIGTERM)
        end = TConvertEnd{esTerminated, "stopped", "stopped by SIGTERM: the unfinished output was removed"};
    else if (!outcome.Finished && stoppedBy == SIGINT)
        end = TConvertEnd{esInterrupted, "stopped", "stopped by SIGINT: the output keeps what was converted"};
    else if (!outcome.Finished)
        end = Failed(esFailed, "the conversion was stopped");
    if (end.Status == esFinished || end.Status == esInterrupted) {
        if (engine.Probe().OpenFile(Job.OutputFile)) {
            Report["output"]["facts"] = FactsOfFile(engine.Probe());
            engine.Probe().CloseFile();
        }
    }
    return end;
}

}  // namespace

std::string OutputRefusal(const std::string& Input, const std::string& Output, bool Overwrite)
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

int ConvertCommand(const std::vector<std::string>& Args, const std::vector<std::string>& Command)
{
    const auto started = std::chrono::steady_clock::now();
    TConvertArguments args;
    json report = json::object();
    report["command"] = Command;
    TConvertEnd end;
    std::optional<TConvertJob> job;
    if (const std::string refusal = ParseConvertArguments(Args, args); !refusal.empty())
        end = Failed(esUsage, refusal);
    // The report is opened first: a run whose report cannot be written is not started.
    std::ofstream reportFile;
    if (end.Status == esFinished && !args.ReportFile.empty()) {
        if (std::find(args.Files.begin(), args.Files.end(), args.ReportFile) != args.Files.end())
            end = Failed(esUsage, "the report " + args.ReportFile + " cannot be the input or the output");
        else if (reportFile.open(args.ReportFile, std::ios::binary | std::ios::trunc); !reportFile)
            end = Failed(esUsage, "the report " + args.ReportFile + " cannot be written");
    }
    if (end.Status == esFinished && !args.Choice) {
        job = JobFromLines(args);
        end = RunJob(args, *job, report);
    } else if (end.Status == esFinished) {
        job.emplace();
        std::string firstName;
        int status = esFinished;
        std::error_code error;
        if (const std::string refusal = JobFromChoice(args, *job, firstName, status); !refusal.empty()) {
            end = Failed(status, refusal);
            job.reset();
        } else if (args.SkipExisting && !args.DryRun &&
                   std::filesystem::symlink_status(firstName, error).type() != std::filesystem::file_type::not_found &&
                   !error) {
            // The input's first output is there: an earlier run of the batch made it.
            job->OutputFile = firstName;
            end = TConvertEnd{esFinished, "skipped", firstName + " already exists"};
        } else {
            end = RunJob(args, *job, report);
        }
    }

    // Every end but a success and a person's stop is an error, said on the last line.
    const bool isError = end.Status != esFinished && end.Status != esInterrupted;
    if (end.Outcome == "skipped")
        std::fprintf(stderr, "skipped: %s\n", OneLine(end.Message).c_str());
    else if (isError)
        PrintError(end.Message);
    else if (end.Status == esInterrupted)
        PrintLog(llInfo, end.Message);
    const std::string output = job ? job->OutputFile : (args.Files.size() == 2 ? args.Files[1] : std::string());
    if (args.ProgressJson) {
        json last = {{"outcome", end.Outcome}, {"status", end.Status}, {"output", output}, {"message", end.Message}};
        std::printf("%s\n", JsonLine(last).c_str());
        std::fflush(stdout);
    }
    if (reportFile.is_open()) {
        report["elapsed_ms"] =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count();
        report["outcome"] = end.Outcome;
        report["status"] = end.Status;
        report["error"] = isError ? json(end.Message) : json();
        reportFile << report.dump(2, ' ', false, json::error_handler_t::replace) << "\n";
        reportFile.close();
        if (!reportFile) {
            PrintError("the report " + args.ReportFile + " could not be written");
            return end.Status == esFinished ? esOutputWrite : end.Status;
        }
    }
    return end.Status;
}

}  // namespace kv::cli
