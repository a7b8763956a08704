// The engine's log levels and their translation to the codec libraries' scale.
//
// The engine counts levels as ord(TLogLevel) - 1: -1 quiet, 0 error, 1 information, 2 debug, 3 everything.
// The libraries count in steps of 8 (AV_LOG_QUIET -8 ... AV_LOG_TRACE 56); every level crossing that
// boundary goes through the two functions below, so that "information" lets the libraries' errors,
// warnings and information through and nothing more.
#pragma once

#include <atomic>
#include <climits>

namespace kv {

enum TLogLevel { llQuiet, llError, llInfo, llDebug, llAll };

inline int EngineLevelOf(TLogLevel Level) { return static_cast<int>(Level) - 1; }
// The level an engine message of numeric level Level is delivered with.
TLogLevel LogLevelOfEngineLevel(int Level);

// Engine level -> library level, for av_log_set_level.
int LibraryLevelOf(int EngineLevel);
// Library level (of a message or of av_log_get_level) -> engine level.
int EngineLevelOfLibrary(int LibraryLevel);

// The library's current log level on the engine's scale: library messages above it are dropped.
std::atomic<int>& LogThreshold();

// Sets the library's log level (when the library is bound) and LogThreshold to EngineLevel.
void ApplyLibraryLogLevel(int EngineLevel);

// One claim on the libraries' log level. The library logs as verbosely as the most verbose live claim
// asks (each task and each engine component holds one) and LogThreshold follows; what a line then
// reaches is filtered by the level of whoever it is attributed to. A claim asks for nothing until Set,
// and gives up what it asked for when it is destroyed; with no claim left the level stays as it was.
class TLogLevelClaim {
public:
    static constexpr int Unset = INT_MIN;

    TLogLevelClaim() = default;
    ~TLogLevelClaim();
    TLogLevelClaim(const TLogLevelClaim&) = delete;
    TLogLevelClaim& operator=(const TLogLevelClaim&) = delete;

    // Asks for EngineLevel and applies the resulting level to the library (when it is loaded).
    void Set(int EngineLevel);
    // The level asked for, Unset before the first Set. Readable on any thread.
    int Level() const { return m_level.load(std::memory_order_acquire); }

private:
    std::atomic<int> m_level{Unset};
};

}  // namespace kv
