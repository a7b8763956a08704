// Descriptive facts of a media file (size, frame rate, bit rate, play time, codec names), read out of the
// process. The MediaInfo library can loop for ever on a damaged file, and nothing inside a process can stop
// a call that never returns; so the facts are read by a short-lived child, `kelvane-cli mediainfo FILE`,
// which is killed when it takes too long. A caller that must show something for every file uses
// ReadMediaFactsOrProbe: the child's facts, else the resolution and duration the engine's probe reads.
//
// Nothing here touches a window: the calls block the calling thread for at most the timeout (plus the
// moment a kill takes), so a window calls them from a worker thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace kv {

class TCustomAVProbe;

// Where a TMediaFacts came from.
enum class TFactsSource {
    None,       // nothing could be read: every fact is 0 or ''
    MediaInfo,  // every fact, from the MediaInfo library (through the child)
    Probe,      // Width, Height and PlayTime from the engine's probe; the other facts are 0 or ''
};

struct TMediaFacts {
    int Width = 0;               // first video stream; 0 without video
    int Height = 0;
    double FrameRate = 0.0;      // frames per second of the first video stream; 0 when unknown
    double VideoBitRate = 0.0;   // bits per second of the first video stream; 0 when unknown
    int64_t PlayTime = 0;        // milliseconds
    std::string FileExtension;   // as MediaInfo gives it: without the dot ("mkv")
    std::string VideoCodec;      // MediaInfo's format name of the first video stream ("AVC", "MPEG-4 Visual")
    std::vector<std::string> AudioCodecs;  // one name per audio stream, in stream order ("AAC", "MP3")
    TFactsSource Source = TFactsSource::None;
};

// Parses the child's output: one Key=Value per line with the keys Width, Height, FrameRate, VideoBitRate,
// PlayTime, FileExtension, VideoCodec and AudioCodec.N (N from 0). Unknown keys and lines without "=" are
// ignored; a number that does not read leaves its fact 0. Source is left as it is.
void ParseMediaFacts(const std::string& Output, TMediaFacts& Facts);

// Runs the facts helper. One object may be used from several threads at once: each Read runs its own child.
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
    // child ended within the timeout and succeeded. False with Error set when it could not be started,
    // failed (a missing file, a file MediaInfo finds nothing in: its own message) or was killed at the
    // timeout. Either way the child is gone and reaped when this returns: none is left running or as a
    // zombie.
    bool Read(const std::string& FileName, TMediaFacts& Facts, std::string& Error) const;

private:
    std::string m_helper;
    std::chrono::milliseconds m_timeout;
};

// The facts a file list row needs, from wherever they can be had: Reader's facts when it succeeds;
// otherwise Width, Height and PlayTime from the engine's probe with Source = Probe. Probe must hold
// FileName already (the caller's own probe, opened on the file); with nullptr a probe of its own is
// opened on FileName, which needs the codec libraries loaded. When neither reads the file, Source is None.
// Error receives the helper's failure (kept even when the probe answered), '' when it succeeded.
TMediaFacts ReadMediaFactsOrProbe(const TMediaFactsReader& Reader, const std::string& FileName,
                                  TCustomAVProbe* Probe, std::string& Error);

// Width, Height (first video stream; 0 without video) and PlayTime (the container's duration, 0 when it
// reports none) of the file Probe holds, Source = Probe; Source = None when it holds no file.
TMediaFacts MediaFactsFromProbe(TCustomAVProbe& Probe);

}  // namespace kv
