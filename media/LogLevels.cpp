#include "media/LogLevels.h"

#include <mutex>
#include <set>

#include "media/FFmpegLoader.h"
#include "media/LibraryBindings.h"

namespace kv {

TLogLevel LogLevelOfEngineLevel(int Level)
{
    if (Level < 0)
        return llQuiet;
    if (Level >= 3)
        return llAll;
    return static_cast<TLogLevel>(Level + 1);
}

int LibraryLevelOf(int EngineLevel)
{
    if (EngineLevel < 0)
        return AV_LOG_QUIET;
    static constexpr int levels[] = {AV_LOG_ERROR, AV_LOG_INFO, AV_LOG_DEBUG};
    return EngineLevel < 3 ? levels[EngineLevel] : AV_LOG_TRACE;
}

int EngineLevelOfLibrary(int LibraryLevel)
{
    if (LibraryLevel <= AV_LOG_QUIET)
        return -1;
    if (LibraryLevel <= AV_LOG_ERROR)
        return 0;
    if (LibraryLevel <= AV_LOG_INFO)
        return 1;
    if (LibraryLevel <= AV_LOG_DEBUG)
        return 2;
    return 3;
}

std::atomic<int>& LogThreshold()
{
    static std::atomic<int> threshold{1};
    return threshold;
}

void ApplyLibraryLogLevel(int EngineLevel)
{
    if (lav::av_log_set_level)
        lav::av_log_set_level(LibraryLevelOf(EngineLevel));
    LogThreshold() = EngineLevel;
}

namespace {

// The levels the live claims ask for. A leaf lock: setting the library's level takes nothing else.
std::mutex GClaimLock;
std::multiset<int> GClaims;

void ApplyClaimsLocked()
{
    if (GClaims.empty())
        return;
    const int level = *GClaims.rbegin();
    if (FFLoader().IsLibLoaded(libAVUtil) && lav::av_log_set_level)
        lav::av_log_set_level(LibraryLevelOf(level));
    LogThreshold() = level;
}

}  // namespace

TLogLevelClaim::~TLogLevelClaim()
{
    std::lock_guard<std::mutex> guard(GClaimLock);
    const int level = m_level.load(std::memory_order_relaxed);
    if (level == Unset)
        return;
    GClaims.erase(GClaims.find(level));
    ApplyClaimsLocked();
}

void TLogLevelClaim::Set(int EngineLevel)
{
    if (EngineLevel == Unset)
        EngineLevel = Unset + 1;
    std::lock_guard<std::mutex> guard(GClaimLock);
    const int previous = m_level.exchange(EngineLevel, std::memory_order_acq_rel);
    if (previous != Unset)
        GClaims.erase(GClaims.find(previous));
    GClaims.insert(EngineLevel);
    ApplyClaimsLocked();
}

}  // namespace kv
