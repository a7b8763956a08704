// The tab "按已有视频": a video that already plays on the user's device is examined with the media
// information library and its facts are kept as the profile extfile.ini, which the output then follows.
#pragma once

#include <QString>
#include <optional>

#include "app/logic/ProfileLabels.h"

namespace kv {
class TMediaFactsReader;
}

namespace kv::app {

// The facts of a video that the analysis keeps.
struct TVideoFacts {
    QString FileExtension;  // as the library reports it, without the dot
    QString VideoCodec;     // the first video stream's format ("AVC", "MPEG-4 Visual")
    double VideoBitrate = 0;
    int Width = 0;
    int Height = 0;
    double FrameRate = 0;
    QString AudioCodec;  // the first audio stream's format
};

// Reads the facts of File through Reader, in a child process: a damaged file on which the media information
// library never finishes cannot hold the window. A file without a video or an audio stream gives empty
// texts and zeros for that stream. Nothing when the file cannot be read at all (Error says why).
std::optional<TVideoFacts> ReadVideoFacts(const kv::TMediaFactsReader& Reader, const QString& File, QString& Error);

// The message when a chosen video cannot be read.
QString AnalysisFailedMessage(const QString& File);

// Writes the facts into the profile ExtFile, keeping its other keys. False when it cannot be written.
bool WriteVideoFacts(const QString& ExtFile, const TVideoFacts& Facts);
// The facts an earlier analysis wrote into ExtFile; nothing when there is no such file.
std::optional<TVideoFacts> ReadWrittenFacts(const QString& ExtFile);

// What the information labels show for the facts, and their texts.
TShownFacts ShownFactsOf(const TVideoFacts& Facts);
TProfileLabels VideoFactsLabels(const TVideoFacts& Facts);

// The message that names the chosen video's format.
QString ChosenFormatMessage(const TVideoFacts& Facts);

}  // namespace kv::app
