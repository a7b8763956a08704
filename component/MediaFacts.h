// Descriptive facts of a media file (size, frame rate, bit rate, play time, codec names), read out of the
// process. The MediaInfo library can loop for ever on a damaged file, and nothing inside a process can stop
// a call that never returns; so the facts are read by a child, `kelvane-cli mediainfo --serve`, which is
// killed when it takes too long on a file. A child that answered waits for the next file: starting one
// (and the library in it) costs far more than reading a file's facts. A caller that must show something
// for every file uses ReadMediaFactsOrProbe: the child's facts, else the resolution and duration the
// engine's probe reads.
//
// Nothing here touches a window: the calls block the calling thread for at most the timeout (plus the
// moment a kill takes), so a window calls them from a worker thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "component/MediaFactsProtocol.h"

namespace kv {

class TCustomAVProbe;

// Runs the facts helpers. One object may be used from several threads at once: each Read has a child of its
// own for as long as it runs, and a child that answered is kept for the next Read. Copies share the
// children; the last one to go ends them.
class TMediaFactsReader {
public:
    static constexpr std::chrono::milliseconds DefaultTimeout{5000};

    // Helper: the kelvane-cli executable to run; empty for the one beside the running program.
    explicit TMediaFactsReader(std::string Helper = "", std::chrono::milliseconds Timeout = DefaultTimeout);

    // The kelvane-cli beside the running program (/proc/self/exe); '' when that cannot be resolved.
    static std::string HelperBesideProgram();

    void SetTimeout(std::chrono::milliseconds Timeout) { m_timeout = Timeout; }
    std::chrono::milliseconds Timeout() const { return m_timeout; }
    const std::string& Helper() const { return m_helper; }

    // Reads the facts of FileName in a child process. True with Facts filled (Source = MediaInfo) when the
    // child answered within the timeout with facts. False with Error set when no child could be started,
    // the file failed (a missing file, a file MediaInfo finds nothing in: the child's message), or the child
    // was killed at the timeout or died. A child that did not answer is gone and reaped when this returns;
    // one that answered waits, idle, for the next Read.
    bool Read(const std::string& FileName, TMediaFacts& Facts, std::string& Error) const;

    // The children waiting for a Read (for tests).
    std::vector<int> IdleHelpers() const;

private:
    class THelperPool;
    std::string m_helper;
    std::chrono::milliseconds m_timeout;
    std::shared_ptr<THelperPool> m_helpers;
};

// The facts a file list row needs, from wherever they can be had: Reader's facts when it succeeds;
// otherwise Width, Height and PlayTime from the engine's probe with Source = Probe. Probe must hold
// FileName already (the caller's own probe, opened on the file); with nullptr a probe of its own is
// opened on FileName, which needs the codec libraries loaded. When neither reads the file, Source is None.
// Error receives the helper's failure (kept even when the probe answered), '' when it succeeded.
TMediaFacts ReadMediaFactsOrProbe(const TMediaFactsReader& Reader, const std::string& FileName, TCustomAVProbe* Probe,
                                  std::string& Error);

// Width, Height (first video stream; 0 without video) and PlayTime (the container's duration, 0 when it
// reports none) of the file Probe holds, Source = Probe; Source = None when it holds no file.
TMediaFacts MediaFactsFromProbe(TCustomAVProbe& Probe);

}  // namespace kv
