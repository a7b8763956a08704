#include "component/MediaFactsProtocol.h"

#include <charconv>
#include <climits>

#include "media/OptionValues.h"
#include "media/TextFormat.h"

namespace kv {

namespace {

constexpr char RequestEnd = '\0';
constexpr const char* ErrorKey = "Error=";
constexpr size_t ErrorKeyLength = 6;
constexpr const char* AudioCodecKey = "AudioCodec.";
constexpr size_t AudioCodecKeyLength = 11;
// An audio stream index beyond any real file's stream count is not believed.
constexpr int64_t MaxAudioStreams = 1024;

// Value with a fixed number of decimals, the same in every locale.
std::string Fixed(double Value, int Decimals)
{
    char text[400];
    const auto [end, failed] = std::to_chars(text, text + sizeof text, Value, std::chars_format::fixed, Decimals);
    return failed == std::errc() ? std::string(text, end) : std::string("0");
}

int PositiveInt(bool Read, int64_t Number)
{
    return Read && Number > 0 && Number <= INT_MAX ? static_cast<int>(Number) : 0;
}

}  // namespace

std::string MediaFactsRequest(const std::string& FileName) { return FileName + RequestEnd; }

bool TakeMediaFactsRequest(std::string& Input, std::string& FileName)
{
    const size_t end = Input.find(RequestEnd);
    if (end == std::string::npos)
        return false;
    FileName = Input.substr(0, end);
    Input.erase(0, end + 1);
    return true;
}

std::string MediaFactsLines(const TMediaFacts& Facts)
{
    std::string lines;
    const auto line = [&lines](const std::string& Key, const std::string& Value) {
        lines += Key + "=" + PrintableValue(Value, std::string::npos) + "\n";
    };
    line("Width", std::to_string(Facts.Width));
    line("Height", std::to_string(Facts.Height));
    line("FrameRate", Fixed(Facts.FrameRate, 3));
    line("VideoBitRate", Fixed(Facts.VideoBitRate, 0));
    line("PlayTime", std::to_string(Facts.PlayTime));
    line("FileExtension", Facts.FileExtension);
    line("VideoCodec", Facts.VideoCodec);
    for (size_t i = 0; i < Facts.AudioCodecs.size(); ++i)
        line(AudioCodecKey + std::to_string(i), Facts.AudioCodecs[i]);
    return lines;
}

std::string MediaFactsAnswer(const std::string& Lines) { return Lines + "\n"; }

std::string MediaFactsErrorAnswer(const std::string& Reason, const std::string& FileName)
{
    return MediaFactsAnswer(ErrorKey + OneLineMessage(Reason, {FileName}) + "\n");
}

size_t MediaFactsAnswerLength(const std::string& Received)
{
    // The answer's last line break is its own; the one after it is the empty line.
    const size_t end = Received.find("\n\n");
    return end == std::string::npos ? std::string::npos : end + 1;
}

bool ReadMediaFactsAnswer(const std::string& Answer, TMediaFacts& Facts, std::string& Error)
{
    if (Answer.compare(0, ErrorKeyLength, ErrorKey) == 0) {
        const size_t end = Answer.find('\n');
        Error = Answer.substr(ErrorKeyLength, end == std::string::npos ? std::string::npos : end - ErrorKeyLength);
        return false;
    }
    ParseMediaFacts(Answer, Facts);
    return true;
}

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
            Facts.Width = PositiveInt(isInteger, number);
        else if (key == "Height")
            Facts.Height = PositiveInt(isInteger, number);
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
        else if (key.compare(0, AudioCodecKeyLength, AudioCodecKey) == 0) {
            int64_t index = -1;
            if (TryStrToInt64(key.substr(AudioCodecKeyLength), index) && index >= 0 && index < MaxAudioStreams) {
                if (Facts.AudioCodecs.size() <= static_cast<size_t>(index))
                    Facts.AudioCodecs.resize(static_cast<size_t>(index) + 1);
                Facts.AudioCodecs[static_cast<size_t>(index)] = value;
            }
        }
    }
}

}  // namespace kv
