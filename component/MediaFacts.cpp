#include "component/MediaFacts.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <mutex>

#include "media/AVProbe.h"
#include "media/Exception.h"

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
    void Release() { m_fd = -1; }
    void Close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd = -1;
};

// The spawn settings, released with their owner.
class TSpawnSettings {
public:
    posix_spawn_file_actions_t Actions;
    posix_spawnattr_t Attributes;

    // The child's standard input and output are Channel; its error output goes nowhere.
    explicit TSpawnSettings(int Channel)
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
                  ::posix_spawn_file_actions_adddup2(&Actions, Channel, 0) == 0 &&
                  ::posix_spawn_file_actions_adddup2(&Actions, Channel, 1) == 0 &&
                  ::posix_spawn_file_actions_addopen(&Actions, 2, "/dev/null", O_WRONLY, 0) == 0 &&
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

// One running helper and the socket it reads names from and writes answers to. Destroying it kills and
// reaps the child.
class THelper {
public:
    THelper(pid_t Pid, int Socket) : m_pid(Pid) { m_socket.Reset(Socket); }
    ~THelper() { End(); }
    THelper(const THelper&) = delete;
    THelper& operator=(const THelper&) = delete;

    pid_t Pid() const { return m_pid; }
    int Socket() const { return m_socket.Get(); }

    // Kills the child (if it still runs) and reaps it; its wait status.
    int End()
    {
        m_socket.Close();
        if (m_pid <= 0)
            return m_status;
        ::kill(m_pid, SIGKILL);
        while (::waitpid(m_pid, &m_status, 0) < 0 && errno == EINTR) {
        }
        m_pid = -1;
        return m_status;
    }

private:
    pid_t m_pid;
    TDescriptor m_socket;
    int m_status = 0;
};

// Starts `Program mediainfo --serve`; nullptr with Error set when it cannot.
std::unique_ptr<THelper> StartHelper(const std::string& Program, std::string& Error)
{
    int ends[2];
    // Close-on-exec, so that no other child started meanwhile holds this child's channel open.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        Error = std::string("cannot start the media facts helper: ") + std::strerror(errno);
        return nullptr;
    }
    TDescriptor mine, childs;
    mine.Reset(ends[0]);
    childs.Reset(ends[1]);
    TSpawnSettings settings(childs.Get());
    if (!settings.Ready()) {
        Error = "cannot start the media facts helper: the spawn settings could not be made";
        return nullptr;
    }
    std::string program = Program, command = "mediainfo", serve = "--serve";
    char* argv[] = {program.data(), command.data(), serve.data(), nullptr};
    pid_t child = -1;
    const int spawned = ::posix_spawn(&child, Program.c_str(), &settings.Actions, &settings.Attributes, argv, environ);
    if (spawned != 0) {
        Error = "cannot start the media facts helper " + Program + ": " + std::strerror(spawned);
        return nullptr;
    }
    const int socket = mine.Get();
    mine.Release();
    return std::make_unique<THelper>(child, socket);
}

enum class TAnswer { Given, TimedOut, Gone };

// Sends FileName to Helper and reads its answer (the lines up to the empty one, the empty one left out)
// until Deadline.
TAnswer Ask(THelper& Helper, const std::string& FileName, Clock::time_point Deadline, std::string& Answer)
{
    Answer.clear();
    const std::string request = MediaFactsRequest(FileName);
    for (size_t sent = 0; sent < request.size();) {
        // No SIGPIPE when the child is gone: the send fails instead.
        const ssize_t n = ::send(Helper.Socket(), request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return TAnswer::Gone;
        sent += static_cast<size_t>(n);
    }
    for (;;) {
        if (const size_t length = MediaFactsAnswerLength(Answer); length != std::string::npos) {
            Answer.resize(length);
            return TAnswer::Given;
        }
        if (Answer.size() > MaxOutput)
            return TAnswer::Gone;  // no helper of ours talks that much
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(Deadline - Clock::now()).count();
        if (left <= 0)
            return TAnswer::TimedOut;
        pollfd watched = {Helper.Socket(), POLLIN, 0};
        const int ready = ::poll(&watched, 1, static_cast<int>(std::min<long long>(left, INT_MAX)));
        if (ready < 0 && errno != EINTR)
            return TAnswer::TimedOut;  // cannot watch the child any more: it is stopped like one that hangs
        if (ready <= 0)
            continue;
        char buffer[4096];
        const ssize_t got = ::read(Helper.Socket(), buffer, sizeof buffer);
        if (got > 0)
            Answer.append(buffer, static_cast<size_t>(got));
        else if (got == 0 || errno != EINTR)
            return TAnswer::Gone;
    }
}

}  // namespace

TMediaFactsReader::TMediaFactsReader(std::string Helper, std::chrono::milliseconds Timeout)
    : m_helper(Helper.empty() ? HelperBesideProgram() : std::move(Helper)),
      m_timeout(Timeout),
      m_helpers(std::make_shared<THelperPool>())
{}

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

// The helpers that answered and wait for the next file.
class TMediaFactsReader::THelperPool {
public:
    std::unique_ptr<THelper> Take()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_idle.empty())
            return nullptr;
        std::unique_ptr<THelper> helper = std::move(m_idle.back());
        m_idle.pop_back();
        return helper;
    }
    void GiveBack(std::unique_ptr<THelper> Helper)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_idle.push_back(std::move(Helper));
    }
    std::vector<int> Pids()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        std::vector<int> pids;
        for (const std::unique_ptr<THelper>& helper : m_idle)
            pids.push_back(helper->Pid());
        return pids;
    }

private:
    std::mutex m_lock;
    std::vector<std::unique_ptr<THelper>> m_idle;
};

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
    const Clock::time_point deadline = Clock::now() + m_timeout;
    // A waiting helper may have died meanwhile (killed from outside, or crashed on its last file after
    // answering): then the file is asked again of a fresh one.
    for (;;) {
        std::unique_ptr<THelper> helper = m_helpers->Take();
        const bool fresh = !helper;
        if (fresh && !(helper = StartHelper(m_helper, Error)))
            return false;
        std::string answer;
        switch (Ask(*helper, FileName, deadline, answer)) {
        case TAnswer::Given:
            m_helpers->GiveBack(std::move(helper));
            if (!ReadMediaFactsAnswer(answer, Facts, Error))
                return false;
            Facts.Source = TFactsSource::MediaInfo;
            return true;
        case TAnswer::TimedOut:
            helper->End();
            Error = "MediaInfo did not answer within " + std::to_string(m_timeout.count()) + " ms for " + FileName;
            return false;
        case TAnswer::Gone:
            if (const int status = helper->End(); fresh) {
                Error = WIFSIGNALED(status)
                            ? "the media facts helper ended by signal " + std::to_string(WTERMSIG(status))
                            : "the media facts helper failed for " + FileName;
                return false;
            }
            break;
        }
    }
}

std::vector<int> TMediaFactsReader::IdleHelpers() const { return m_helpers->Pids(); }

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

TMediaFacts ReadMediaFactsOrProbe(const TMediaFactsReader& Reader, const std::string& FileName, TCustomAVProbe* Probe,
                                  std::string& Error)
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
