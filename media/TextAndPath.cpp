#include "media/TextAndPath.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace kv {

void SplitHead(std::string& Text, const std::string& Delimiter, bool Remove, std::string& Head)
{
    const size_t pos = Delimiter.empty() ? std::string::npos : Text.find(Delimiter);
    if (pos == std::string::npos) {
        Head = Text;
        if (Remove)
            Text.clear();
        return;
    }
    Head = Text.substr(0, pos);
    if (Remove)
        Text.erase(0, pos + Delimiter.size());
}

std::string IncludeTrailingDelimiter(const std::string& Path)
{
    if (Path.empty() || Path.back() == '/')
        return Path;
    return Path + '/';
}

std::string FolderOf(const std::string& Name)
{
    const size_t pos = Name.rfind('/');
    return pos == std::string::npos ? std::string() : Name.substr(0, pos + 1);
}

std::string NameOf(const std::string& Name)
{
    const size_t pos = Name.rfind('/');
    return pos == std::string::npos ? Name : Name.substr(pos + 1);
}

bool FileExistsW(const std::string& Name)
{
    struct stat st {};
    return !Name.empty() && ::stat(Name.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

int64_t FileSizeW(const std::string& Name)
{
    struct stat st {};
    if (Name.empty() || ::stat(Name.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return -1;
    return static_cast<int64_t>(st.st_size);
}

std::string ProgramFolder()
{
    char path[4096];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return "./";
    return FolderOf(std::string(path, static_cast<size_t>(length)));
}

std::string LibraryFolder(const std::string& ProgramFolder) { return ProgramFolder + "LibAV"; }

std::string LibraryFolder() { return LibraryFolder(ProgramFolder()); }

std::string GetEnvW(const std::string& Name)
{
    const char* value = std::getenv(Name.c_str());
    return value ? std::string(value) : std::string();
}

}  // namespace kv
