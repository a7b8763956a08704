// The option value handlers: each turns the text of a named option, a record field or a preset step into
// task state, or refuses it with a fixed message (FFmpegException unless stated).
#pragma once

#include <cstdint>
#include <string>

#include "engine/FFmpegTask.h"
#include "engine/SettingLimits.h"

namespace kv {

using TOptionHandler = void (*)(TCustomFFmpeg& Task, const std::string& Name, const std::string& Value);

enum TBand { bdTop, bdBottom, bdLeft, bdRight };

// Formats: "pgmyuv" is taken as "image2".
void SetInputFormat(TCustomFFmpeg& Task, const std::string& Name);
void SetOutputFormat(TCustomFFmpeg& Task, const std::string& Name);
void SetFrameRate(TCustomFFmpeg& Task, const std::string& Text);
void SetFrameSize(TCustomFFmpeg& Task, const std::string& Text);
void SetAspectRatio(TCustomFFmpeg& Task, const std::string& Text);
// Crop bands reduce the current frame size; both kinds must be even; negative values are ignored.
void SetCropBand(TCustomFFmpeg& Task, TBand Band, int Value);
void SetPadBand(TCustomFFmpeg& Task, TBand Band, int Value);
// RGB with red in the low byte, to the Y, U, V of the padding.
void SetPadColor(TCustomFFmpeg& Task, uint32_t RGB);
// "copy" sets stream copy for the type; any other non-empty name becomes the codec name.
void SetCodecName(TCustomFFmpeg& Task, AVMediaType Type, const std::string& Name);
// Exactly four characters, the first in the lowest byte; otherwise EAssertionFailed.
void SetCodecTag(TCustomFFmpeg& Task, AVMediaType Type, const std::string& Tag);
void AddMetadata(TCustomFFmpeg& Task, const std::string& Key, const std::string& Value);
// Start, recording time and recording timestamp from the records (no parsing).
void SetStartTimeUS(TCustomFFmpeg& Task, int64_t Microseconds);
void SetRecordingTimeUS(TCustomFFmpeg& Task, int64_t Microseconds);

// Handlers of the option table, each for the options named beside it.
namespace opt {
void NoEffect(TCustomFFmpeg&, const std::string& Name, const std::string&);         // L, h, version, ...
void Todo(TCustomFFmpeg&, const std::string& Name, const std::string&);             // threads
void Format(TCustomFFmpeg&, const std::string&, const std::string& Value);          // f
void Map(TCustomFFmpeg&, const std::string&, const std::string& Value);             // map
void MapMetaData(TCustomFFmpeg&, const std::string&, const std::string& Value);     // map_meta_data
void Time(TCustomFFmpeg&, const std::string& Name, const std::string& Value);       // t, ss, itsoffset, timestamp
void TimestampScale(TCustomFFmpeg&, const std::string&, const std::string& Value);  // itsscale
void Metadata(TCustomFFmpeg&, const std::string&, const std::string& Value);        // metadata
void MaxFrames(TCustomFFmpeg&, const std::string& Name, const std::string& Value);  // vframes, aframes, dframes
void Verbosity(TCustomFFmpeg&, const std::string&, const std::string& Value);       // v
void Target(TCustomFFmpeg&, const std::string&, const std::string& Value);          // target
void BitRate(TCustomFFmpeg&, const std::string& Name, const std::string& Value);    // b, vb, ab
void FrameRate(TCustomFFmpeg&, const std::string&, const std::string& Value);       // r
void FrameSize(TCustomFFmpeg&, const std::string&, const std::string& Value);       // s
void Aspect(TCustomFFmpeg&, const std::string&, const std::string& Value);          // aspect
void PixelFormat(TCustomFFmpeg&, const std::string&, const std::string& Value);     // pix_fmt
void SampleFormat(TCustomFFmpeg&, const std::string&, const std::string& Value);    // sample_fmt
void Crop(TCustomFFmpeg&, const std::string& Name, const std::string& Value);       // croptop, ...
void Pad(TCustomFFmpeg&, const std::string& Name, const std::string& Value);        // padtop, ...
void PadColor(TCustomFFmpeg&, const std::string&, const std::string& Value);        // padcolor
void QScale(TCustomFFmpeg&, const std::string&, const std::string& Value);          // qscale
void Codec(TCustomFFmpeg&, const std::string& Name, const std::string& Value);      // vcodec, acodec, scodec
void Pass(TCustomFFmpeg&, const std::string&, const std::string& Value);            // pass
void VStats(TCustomFFmpeg&, const std::string&, const std::string&);                // vstats
void VStatsFile(TCustomFFmpeg&, const std::string&, const std::string& Value);      // vstats_file
void VideoHook(TCustomFFmpeg&, const std::string&, const std::string& Value);       // vhook
void VideoFilters(TCustomFFmpeg&, const std::string&, const std::string& Value);    // vfilters
void Matrix(TCustomFFmpeg&, const std::string& Name, const std::string& Value);     // intra_matrix, inter_matrix
void Tag(TCustomFFmpeg&, const std::string& Name, const std::string& Value);        // vtag, atag
void NewStream(TCustomFFmpeg&, const std::string& Name, const std::string&);        // newvideo, newaudio, newsubtitle
void SampleRate(TCustomFFmpeg&, const std::string&, const std::string& Value);      // ar
void Channels(TCustomFFmpeg&, const std::string&, const std::string& Value);        // ac
void BitstreamFilter(TCustomFFmpeg&, const std::string& Name, const std::string& Value);  // vbsf, absf, sbsf
}  // namespace opt

}  // namespace kv
