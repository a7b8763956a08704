#include "presets/AtomicFile.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace kv::presets {

namespace {

bool WriteAll(int File, std::string_view Content) {
    while (!Content.empty()) {
        const ssize_t Written = ::write(File, Content.data(), Content.size());
        if (Written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        Content.remove_prefix(static_cast<size_t>(Written));
    }
    return true;
}

// Opens a new file beside Target under a name of its own; the kernel applies the umask to 0666.
int OpenTemporary(const std::filesystem::path& Target, std::string& Name) {
    static constexpr char Digits[] = "0123456789abcdef";
    std::random_device Random;
    for (int Attempt = 0; Attempt < 100; ++Attempt) {
        std::string Suffix = ".";
        for (int I = 0; I < 8; ++I)
            Suffix += Digits[Random() % 16];
        Name = Target.string() + Suffix;
        const int File = ::open(Name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (File >= 0 || errno != EEXIST)
            return File;
    }
    return -1;
}

}  // namespace

bool WriteFileAtomically(const std::string& Path, std::string_view Content) {
    namespace fs = std::filesystem;
    std::error_code Error;
    fs::path Target(Path);
    if (fs::is_symlink(Target, Error)) {
        const fs::path Resolved = fs::weakly_canonical(Target, Error);
        if (Error)
            return false;
        Target = Resolved;
    }

    struct stat Existing {};
    bool Exists = false;
    if (::stat(Target.c_str(), &Existing) == 0) {
        // A file the user may not write stays as it is, as does anything that is not a file.
        if (!S_ISREG(Existing.st_mode) || ::access(Target.c_str(), W_OK) != 0)
            return false;
        Exists = true;
    }

    std::string Temporary;
    const int File = OpenTemporary(Target, Temporary);
    if (File < 0)
        return false;
    bool Done = (!Exists || ::fchmod(File, Existing.st_mode & 07777) == 0) && WriteAll(File, Content) &&
                ::fsync(File) == 0;
    Done = ::close(File) == 0 && Done;
    if (Done)
        Done = ::rename(Temporary.c_str(), Target.c_str()) == 0;
    if (!Done)
        ::unlink(Temporary.c_str());
    return Done;
}

}  // namespace kv::presets
