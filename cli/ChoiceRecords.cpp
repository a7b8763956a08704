// The window's choices for one input at the command line.
#include "cli/ChoiceRecords.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>

#include "cli/ExitStatus.h"
#include "component/DIdezuDOR.h"
#include "component/MediaFacts.h"
#include "media/TextAndPath.h"
#include "presets/AnalysedProfile.h"
#include "presets/NamedChoices.h"
#include "presets/OutputResolution.h"
#include "presets/ProfileFiles.h"

namespace kv::cli {

namespace {

// The analysed profile of a --like run: a file of this run's own, never the program's, removed at the end.
class TOwnProfile {
public:
    TOwnProfile()
    {
        const char* folder = std::getenv("TMPDIR");
        std::string name = std::string(folder && *folder ? folder : "/tmp") + "/kelvane-like-XXXXXX.ini";
        const int fd = ::mkstemps(name.data(), 4);
        if (fd >= 0) {
            ::close(fd);
            m_path = name;
        }
    }
    ~TOwnProfile()
    {
        if (!m_path.empty())
            std::remove(m_path.c_str());
    }
    TOwnProfile(const TOwnProfile&) = delete;
    TOwnProfile& operator=(const TOwnProfile&) = delete;
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

}  // namespace

std::string ProfileProgramFolder() { return kv::ProgramFolder(); }

std::string ResolveChoice(const TChoiceRequest& Request, TChoiceRecords& Records, int& Status)
{
    Status = esUsage;
    const presets::TProfileCatalog catalog(ProfileProgramFolder());
    std::string error;
    std::optional<presets::TNamedChoice> named;
    if (Request.Kind == TChoiceKind::Preset)
        named = presets::FindPreset(catalog, Request.Name, error);
    else if (Request.Kind == TChoiceKind::Device)
        named = presets::FindDevice(catalog, Request.Name, error);
    if (Request.Kind != TChoiceKind::Like && !named)
        return error;

    // The file list's row of the input: its size as the media information library reads it, else the
    // engine's probe.
    TDIdezuDOR engine;
    if (!engine.LoadLibraries(LibraryFolder())) {
        Status = esFailed;
        return engine.LastError();
    }
    if (!engine.Probe().OpenFile(Request.InputFile, Request.InputFormat)) {
        Status = esInput;
        return "cannot open " + Request.InputFile + ": " + engine.Probe().LastError();
    }
    const TMediaFactsReader reader;
    const TMediaFacts facts = ReadMediaFactsOrProbe(reader, Request.InputFile, &engine.Probe(), error);
    engine.Probe().CloseFile();
    const presets::TFileRowInfo row = presets::FileRowOf(Request.InputFile, facts.Width, facts.Height);

    TOwnProfile analysed;
    presets::TOutputChoice choice;
    if (named) {
        choice = presets::FileChoice(named->Tab, named->Index1, named->Index2,
                                     presets::ReadProfile(named->ProfileFile).AudioCodec, Request.InputFile,
                                     Request.InputFormat, row, Request.OutputFolder, "");
    } else {
        TMediaFacts followed;
        if (!reader.Read(Request.Name, followed, error)) {
            Status = esInput;
            return "cannot analyse " + Request.Name + ": " + error;
        }
        const presets::TAnalysedFacts kept = presets::AnalysedFactsOf(followed);
        if (analysed.Path().empty() || !presets::WriteAnalysedProfile(analysed.Path(), kept)) {
            Status = esFailed;
            return "the analysed profile of " + Request.Name + " cannot be written in the temporary folder";
        }
        choice = presets::FileChoice(presets::otAnalysis, 0, 0, kept.AudioCodec, Request.InputFile, Request.InputFormat,
                                     row, Request.OutputFolder, analysed.Path());
    }
    presets::TOutputResolver resolver([&error](const std::string& Text) { error = Text; });
    error.clear();
    Records.Output = resolver.BuildOutputOptions(choice);
    Records.Input = resolver.BuildInputOptions(choice);
    if (!error.empty())
        return error;
    Records.FirstName =
        presets::JoinPath(Request.OutputFolder, presets::TOutputResolver::OutputBaseName(Request.InputFile) + "_(new)" +
                                                    Records.Output.FileExt);
    Status = esFinished;
    return "";
}

}  // namespace kv::cli
