#include "component/MediaFacts.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <thread>

#include "media/AVProbe.h"
#include "media/Exception.h"
#include "media/OptionValues.h"

extern char** environ;

namespace kv {

namespace {

using Clock = std::chrono::steady_clock;

// What is kept of each output of the child; a helper that babbles cannot fill the memory.
constexpr size_t MaxOutput = 1 << 20;

// A file descriptor closed with its owner.
class TDescriptor {
public:
    TDescriptor() = default;
    ~TDescriptor() { Close(); }
    TDescriptor(const TDescriptor&) = delete;
    TDescriptor& operator=(const TDescriptor&) = delete;

    int Get() const { return m_fd; }
    void Reset(int Fd)
    {
        Close();
        m_fd = Fd;
    }
    void Close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd = -1;
};

struct TPipe {
    TDescriptor Read, Write;
};

bool MakePipe(TPipe& Pipe)
{
    int fds[2];
    // Close-on-exec, so that no other child started meanwhile holds the write end open.
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return false;
    Pipe.Read.Reset(fds[0]);
    Pipe.Write.Reset(fds[1]);
    return true;
}

// The spawn settings, released with their owner.
class TSpawnSettings {
public:
    posix_spawn_file_actions_t Actions;
    posix_spawnattr_t Attributes;

    // The child's standard output and error go to Out and Err; its input reads nothing.
    TSpawnSettings(int Out, int Err)
    {
        m_actionsMade = ::posix_spawn_file_actions_init(&Actions) == 0;
        m_attributesMade = ::posix_spawnattr_init(&Attributes) == 0;
        if (!m_actionsMade || !m_attributesMade)
            return;
        sigset_t none, all;
        sigemptyset(&none);
        sigfillset(&all);
        // The child starts with no signal blocked or ignored, whatever the calling thread had set.
        m_ready = ::posix_spawnattr_setsigmask(&Attributes, &none) == 0 &&
                  ::posix_spawnattr_setsigdefault(&Attributes, &all) == 0 &&
                  ::posix_spawnattr_setflags(&Attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) == 0 &&
                  ::posix_spawn_file_actions_addopen(&Actions, 0, "/dev/null", O_RDONLY, 0) == 0 &&
                  ::posix_spawn_file_actions_adddup2(&Actions, Out, 1) == 0 &&
                  ::posix_spawn_file_actions_adddup2(&Actions, Err, 2) == 0 &&
                  // Nothing else of this process reaches the child.
                  ::posix_spawn_file_actions_addclosefrom_np(&Actions, 3) == 0;
    }
    ~TSpawnSettings()
    {
        if (m_attributesMade)
            ::posix_spawnattr_destroy(&Attributes);
        if (m_actionsMade)
            ::posix_spawn_file_actions_destroy(&Actions);
    }
    TSpawnSettings(const TSpawnSettings&) = delete;
    TSpawnSettings& operator=(const TSpawnSettings&) = delete;

    bool Ready() const { return m_ready; }

private:
    bool m_actionsMade = false;
    bool m_attributesMade = false;
    bool m_ready = false;
};

// Waits for the child to end until Deadline; true with its Status when it did.
bool WaitForChild(pid_t Child, Clock::time_point Deadline, int& Status)
{
    for (;;) {
        const pid_t ended = ::waitpid(Child, &Status, WNOHANG);
        if (ended == Child)
            return true;
        if (ended < 0 && errno != EINTR) {
            // Reaped by someone else (a handler that waits for any child): it is gone all the same.
            Status = 0;
            return errno == ECHILD;
        }
        if (Clock::now() >= Deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void KillChild(pid_t Child)
{
    ::kill(Child, SIGKILL);
    int status = 0;
    while (::waitpid(Child, &status, 0) < 0 && errno == EINTR) {
    }
}

// The reason a failed helper gave: the last line of its error output without the "error: " in front.
std::string HelperMessage(const std::string& ErrorOutput)
{
    std::string text = ErrorOutput;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    const size_t lineStart = text.rfind('\n');
    if (lineStart != std::string::npos)
        text.erase(0, lineStart + 1);
    const std::string prefix = "error: ";
    if (text.compare(0, prefix.size(), prefix) == 0)
        text.erase(0, prefix.size());
    return text;
}

}  // namespace

void ParseMediaFacts(const std::string& Output, TMediaFacts& Facts)
{
    size_t start = 0;
    while (start < Output.size()) {
        size_t end = Output.find('\n', start);
        if (end == std::string::npos)
            end = Output.size();
        const std::string line = Output.substr(start, end - start);
        start = end + 1;
        const size_t equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        const std::string key = line.substr(0, equals);
        const std::string value = line.substr(equals + 1);
        int64_t number = 0;
        double real = 0.0;
        const bool isInteger = TryStrToInt64(value, number);
        const bool isReal = TryStrToFloat(value, real);
        if (key == "Width")
            Facts.Width = isInteger && number > 0 && number <= INT_MAX ? static_cast<int>(number) : 0;
        else if (key == "Height")
            Facts.Height = isInteger && number > 0 && number <= INT_MAX ? static_cast<int>(number) : 0;
        else if (key == "PlayTime")
            Facts.PlayTime = isInteger && number > 0 ? number : 0;
        else if (key == "FrameRate")
            Facts.FrameRate = isReal && real > 0 ? real : 0.0;
        else if (key == "VideoBitRate")
            Facts.VideoBitRate = isReal && real > 0 ? real : 0.0;
        else if (key == "FileExtension")
            Facts.FileExtension = value;
        else if (key == "VideoCodec")
            Facts.VideoCodec = value;
        else if (key.compare(0, 11, "AudioCodec.") == 0) {
            int64_t index = -1;
            // An index beyond any real file's stream count is not believed.
            if (TryStrToInt64(key.substr(11), index) && index >= 0 && index < 1024) {
                if (Facts.AudioCodecs.size() <= static_cast<size_t>(index))
                    Facts.AudioCodecs.resize(static_cast<size_t>(index) + 1);
                Facts.AudioCodecs[static_cast<size_t>(index)] = value;
            }
        }
    }
}

TMediaFactsReader::TMediaFactsReader(std::string Helper, std::chrono::milliseconds Timeout)
    : m_helper(Helper.empty() ? HelperBesideProgram() : std::move(Helper)), m_timeout(Timeout)
{
}

std::string TMediaFactsReader::HelperBesideProgram()
{
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return "";
    const std::string program(path, static_cast<size_t>(length));
    const size_t slash = program.rfind('/');
    if (slash == std::string::npos)
        return "";
    return program.substr(0, slash + 1) + "kelvane-cli";
}

bool TMediaFactsReader::Read(const std::string& FileName, TMediaFacts& Facts, std::string& Error) const
{
    Facts = TMediaFacts{};
    Error.clear();
    if (m_helper.empty()) {
        Error = "the media facts helper kelvane-cli was not found beside the program";
        return false;
    }
    if (FileName.find('\0') != std::string::npos) {
        Error = "the file name holds a NUL character";
        return false;
    }
    TPipe out, err;
    if (!MakePipe(out) || !MakePipe(err)) {
        Error = std::string("cannot start the media facts helper: ") + std::strerror(errno);
        return false;
    }
    pid_t child = -1;
    {
        TSpawnSettings settings(out.Write.Get(), err.Write.Get());
        if (!settings.Ready()) {
            Error = "cannot start the media facts helper: the spawn settings could not be made";
            return false;
        }
        // Arguments as a list, no shell: "--" keeps a name that starts with "-" a file name.
        std::string program = m_helper, command = "mediainfo", separator = "--", file = FileName;
        char* argv[] = {program.data(), command.data(), separator.data(), file.data(), nullptr};
        const int spawned = ::posix_spawn(&child, m_helper.c_str(), &settings.Actions, &settings.Attributes, argv, environ);
        if (spawned != 0) {
            Error = "cannot start the media facts helper " + m_helper + ": " + std::strerror(spawned);
            return false;
        }
    }
    // Only the child writes now: its end of the output gives the end of the pipes.
    out.Write.Close();
    err.Write.Close();

    const Clock::time_point deadline = Clock::now() + m_timeout;
    std::string output, errors;
    struct TStream {
        int Fd;
        std::string* Text;
        bool Open;
    } streams[] = {{out.Read.Get(), &output, true}, {err.Read.Get(), &errors, true}};
    bool timedOut = false;
    while (streams[0].Open || streams[1].Open) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            timedOut = true;
            break;
        }
        pollfd fds[2];
        nfds_t count = 0;
        TStream* polled[2];
        for (TStream& stream : streams)
            if (stream.Open) {
                fds[count] = {stream.Fd, POLLIN, 0};
                polled[count++] = &stream;
            }
        const int ready = ::poll(fds, count, static_cast<int>(std::min<long long>(left, INT_MAX)));
        if (ready < 0 && errno != EINTR) {
            timedOut = true;  // cannot watch the child any more: it is stopped like one that hangs
            break;
        }
        for (nfds_t i = 0; ready > 0 && i < count; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buffer[4096];
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                std::string& text = *polled[i]->Text;
                text.append(buffer, std::min(static_cast<size_t>(got), MaxOutput - std::min(MaxOutput, text.size())));
            } else if (got == 0 || errno != EINTR) {
                polled[i]->Open = false;
            }
        }
    }
    int status = 0;
    if (timedOut || !WaitForChild(child, deadline, status)) {
        KillChild(child);
        Error = "MediaInfo did not answer within " + std::to_string(m_timeout.count()) + " ms for " + FileName;
        return false;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        Error = HelperMessage(errors);
        if (Error.empty())
            Error = WIFSIGNALED(status) ? "the media facts helper ended by signal " + std::to_string(WTERMSIG(status))
                                        : "the media facts helper failed for " + FileName;
        return false;
    }
    ParseMediaFacts(output, Facts);
    Facts.Source = TFactsSource::MediaInfo;
    return true;
}

TMediaFacts MediaFactsFromProbe(TCustomAVProbe& Probe)
{
    TMediaFacts facts;
    if (!Probe.FileLoaded())
        return facts;
    Probe.GetVideoSize(facts.Width, facts.Height);
    TFileStreamInfo info;
    Probe.GetFileStreamInfo(info);
    facts.PlayTime = info.Duration > 0 ? (info.Duration + 500) / 1000 : 0;
    facts.Source = TFactsSource::Probe;
    return facts;
}

TMediaFacts ReadMediaFactsOrProbe(const TMediaFactsReader& Reader, const std::string& FileName,
                                  TCustomAVProbe* Probe, std::string& Error)
{
    TMediaFacts facts;
    if (Reader.Read(FileName, facts, Error))
        return facts;
    if (Probe)
        return MediaFactsFromProbe(*Probe);
    TCustomAVProbe own;
    try {
        if (!own.OpenFile(FileName))
            return TMediaFacts{};
    } catch (const Exception&) {
        return TMediaFacts{};  // the codec libraries are not loaded
    }
    return MediaFactsFromProbe(own);
}

}  // namespace kv
