// The names of the files a task's run shares with other runs.
#include "engine/SharedFiles.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "engine/FFmpegTask.h"

namespace kv {

namespace {

std::string Normalised(const std::string& Name)
{
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(Name, error);
    return (error ? std::filesystem::path(Name) : absolute).lexically_normal().string();
}

bool UsesTwoPass(const TPreparedFiles& Files)
{
    for (int file = 0; file < Files.NbOutputFiles; ++file)
        for (const TOutputStreamSetup& stream : Files.OutputStreams[file])
            if (stream.Encoder && (stream.Encoder->flags & (AV_CODEC_FLAG_PASS1 | AV_CODEC_FLAG_PASS2)))
                return true;
    return false;
}

}  // namespace

std::vector<std::string> SharedFileNames(const TCustomFFmpeg& Task)
{
    std::vector<std::string> names;
    const TPreparedFiles& files = Task.Files();
    for (int file = 0; file < files.NbOutputFiles; ++file) {
        const TOutputTarget& target = files.OutputTargets[file];
        const std::string& name = target.FinalPath.empty() ? target.Path : target.FinalPath;
        if (!name.empty())
            names.push_back(Normalised(name));
    }
    const TTaskOptions& options = Task.Options();
    if (UsesTwoPass(files))
        names.push_back("pass:" +
                        Normalised(options.PassLogFilename.empty() ? "ffmpeg2pass" : options.PassLogFilename));
    if (!options.VStatsFilename.empty())
        names.push_back(Normalised(options.VStatsFilename));
    return names;
}

bool ShareAFile(const std::vector<std::string>& A, const std::vector<std::string>& B)
{
    return std::any_of(A.begin(), A.end(),
                       [&B](const std::string& name) { return std::find(B.begin(), B.end(), name) != B.end(); });
}

}  // namespace kv
