// Replacing a file at once through a temporary file beside it.
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

bool WriteAll(int File, std::string_view Content)
{
    while (!Content.empty()) {
        const ssize_t written = ::write(File, Content.data(), Content.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        Content.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

// Opens a new file beside Target under a name of its own; the kernel applies the umask to 0666.
int OpenTemporary(const std::filesystem::path& Target, std::string& Name)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string suffix = ".";
        for (int i = 0; i < 8; ++i)
            suffix += digits[random() % 16];
        Name = Target.string() + suffix;
        const int file = ::open(Name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (file >= 0 || errno != EEXIST)
            return file;
    }
    return -1;
}

}  // namespace

bool WriteFileAtomically(const std::string& Path, std::string_view Content)
{
    namespace fs = std::filesystem;
    std::error_code error;
    fs::path target(Path);
    if (fs::is_symlink(target, error)) {
        const fs::path resolved = fs::weakly_canonical(target, error);
        if (error)
            return false;
        target = resolved;
    }

    struct stat existing {};
    bool exists = false;
    if (::stat(target.c_str(), &existing) == 0) {
        // A file the user may not write stays as it is, as does anything that is not a file.
        if (!S_ISREG(existing.st_mode) || ::access(target.c_str(), W_OK) != 0)
            return false;
        exists = true;
    }

    std::string temporary;
    const int file = OpenTemporary(target, temporary);
    if (file < 0)
        return false;
    bool done =
        (!exists || ::fchmod(file, existing.st_mode & 07777) == 0) && WriteAll(file, Content) && ::fsync(file) == 0;
    done = ::close(file) == 0 && done;
    if (done)
        done = ::rename(temporary.c_str(), target.c_str()) == 0;
    if (!done)
        ::unlink(temporary.c_str());
    return done;
}

}  // namespace kv::presets
