// The conversation with the media facts helper (`kelvane-cli mediainfo --serve`), written once for both
// sides. The program sends a file name ended by a NUL (a name may hold any other character, a line break
// included); the helper answers with one Key=Value line per fact, or with one "Error=" line that gives the
// reason, and ends the answer with an empty line. The one-file command prints the same fact lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kv {

// Where a TMediaFacts came from.
enum class TFactsSource {
    None,       // nothing could be read: every fact is 0 or ''
    MediaInfo,  // every fact, from the MediaInfo library (through the helper)
    Probe,      // Width, Height and PlayTime from the engine's probe; the other facts are 0 or ''
};

struct TMediaFacts {
    int Width = 0;  // first video stream; 0 without video
    int Height = 0;
    double FrameRate = 0.0;                // frames per second of the first video stream; 0 when unknown
    double VideoBitRate = 0.0;             // bits per second of the first video stream; 0 when unknown
    int64_t PlayTime = 0;                  // milliseconds
    std::string FileExtension;             // as MediaInfo gives it: without the dot ("mkv")
    std::string VideoCodec;                // MediaInfo's format name of the first video stream ("AVC", "MPEG-4 Visual")
    std::vector<std::string> AudioCodecs;  // one name per audio stream, in stream order ("AAC", "MP3")
    TFactsSource Source = TFactsSource::None;
};

// The request for FileName, which must hold no NUL.
std::string MediaFactsRequest(const std::string& FileName);
// Takes the first whole request off the front of Input (FileName without its NUL); false while Input
// holds none.
bool TakeMediaFactsRequest(std::string& Input, std::string& FileName);

// The fact lines of Facts, each ended by a line break: Width, Height, FrameRate, VideoBitRate, PlayTime,
// FileExtension, VideoCodec and AudioCodec.N for each audio stream. Numbers are written in the same form
// whatever the process's locale (FrameRate with three decimals, VideoBitRate in whole bits per second);
// text values are shown escaped, so a value never breaks a line.
std::string MediaFactsLines(const TMediaFacts& Facts);
// A whole answer: the fact lines, then the empty line that ends it.
std::string MediaFactsAnswer(const std::string& Lines);
// A whole answer saying that FileName failed for Reason, kept to one line.
std::string MediaFactsErrorAnswer(const std::string& Reason, const std::string& FileName);

// The length of the first whole answer at the front of Received, its empty line left out; npos while no
// answer is whole.
size_t MediaFactsAnswerLength(const std::string& Received);
// Reads one answer (the text MediaFactsAnswerLength measured): true with Facts filled from its lines, or
// false with Error set to the reason an "Error=" answer gives. Facts.Source is left as it is.
bool ReadMediaFactsAnswer(const std::string& Answer, TMediaFacts& Facts, std::string& Error);

// Reads fact lines (one Key=Value per line with the keys above). Unknown keys and lines without "=" are
// ignored; a number that does not read leaves its fact 0. Source is left as it is.
void ParseMediaFacts(const std::string& Output, TMediaFacts& Facts);

}  // namespace kv
