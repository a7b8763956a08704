// Finding the program's data folders beside it or under its prefix's share/kelvane/.
#include "media/DataFolders.h"

#include <filesystem>
#include <system_error>

#include "media/TextAndPath.h"

namespace kv {

namespace {

bool IsFolder(const std::string& Path)
{
    std::error_code error;
    return std::filesystem::is_directory(Path, error);
}

std::string Beside(const std::string& ProgramFolder)
{
    return IncludeTrailingDelimiter(ProgramFolder.empty() ? std::string("./") : ProgramFolder);
}

}  // namespace

std::string DataHome(const std::string& ProgramFolder, const std::string& Entry)
{
    const std::string beside = Beside(ProgramFolder);
    if (IsFolder(beside + Entry))
        return beside;
    // "/usr/bin/../share/kelvane/" is shown as "/usr/share/kelvane/".
    const std::string shared =
        IncludeTrailingDelimiter(std::filesystem::path(beside + "../share/kelvane/").lexically_normal().string());
    if (IsFolder(shared + Entry))
        return shared;
    return beside;
}

bool RunsInstalled(const std::string& ProgramFolder)
{
    return DataHome(ProgramFolder, "profiles") != Beside(ProgramFolder);
}

}  // namespace kv
