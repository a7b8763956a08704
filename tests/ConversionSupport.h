// Running real conversions through the engine component, as the application and the command line do,
// and reading what they reported.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "component/DIdezuDOR.h"

namespace kvtest {

struct TProgressEvent {
    int FrameNumber, FPS, CurrentDuration;
    float Quality, BitRate;
    int64_t CurrentSize;
    int TotalOutputDuration;
};

struct TConversionResult {
    bool Queued = false;     // AddTask and SetOutputFile succeeded
    std::string SetupError;  // the component's LastError when they did not
    bool Ended = false;      // the end was reported
    bool Finished = false;
    bool Failed = false;
    std::string Message;
    std::vector<TProgressEvent> Progress;
    std::vector<std::string> Log;
};

// One conversion of Input into Output with option lines for each side ("name=value"), run on a worker
// thread; waits for its end (at most Timeout). During, when given, runs on the test's thread once the
// conversion started.
class TConversion {
public:
    TConversion(const std::string& Input, const std::string& Output, const std::vector<std::string>& InputLines,
                const std::vector<std::string>& OutputLines);
    bool Start(int CodecThreads = 1);
    bool WaitForEnd(std::chrono::seconds Timeout = std::chrono::seconds(120));
    // Waits until at least Count progress events arrived.
    bool WaitForProgress(size_t Count, std::chrono::seconds Timeout = std::chrono::seconds(60));
    TConversionResult Result();
    kv::TDIdezuDOR& Component() { return m_component; }

private:
    // Declared last, so destroyed first: its workers' last events still find the members above it.
    std::mutex m_lock;
    std::condition_variable m_changed;
    TConversionResult m_result;
    kv::TDIdezuDOR m_component;
};

TConversionResult Convert(const std::string& Input, const std::string& Output,
                          const std::vector<std::string>& InputLines, const std::vector<std::string>& OutputLines);

// ffmpeg's own conversion of the same job, for comparison (-nostdin -v error -y added).
bool ReferenceConvert(const std::string& Input, const std::string& Arguments, const std::string& Output);

// The average PSNR (dB) of A's pictures against B's, both seen through the filter Area first, as the
// ffmpeg tool's psnr filter measures it; a negative value when it could not be measured, 1000 for
// identical pictures.
double Psnr(const std::string& A, const std::string& B, const std::string& Area = "null");

// Decodes File with the ffmpeg tool; its error output (empty when it decoded cleanly).
std::string DecodeErrors(const std::string& File);

// One fact of ffprobe -show_streams -show_format about File ("format.duration", "streams.stream.0.width"):
// as a number (NaN when missing or N/A), or as text ('' when missing).
double Fact(const std::string& File, const std::string& Key);
std::string FactText(const std::string& File, const std::string& Key);
// The size of the file at Path in bytes; -1 when there is none.
int64_t SizeOf(const std::string& Path);

}  // namespace kvtest
