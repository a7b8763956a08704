// Small media files made with the ffmpeg tool when a test first needs them, and facts about files read
// with ffprobe: tools nobody here wrote.
#pragma once

#include <map>
#include <string>

namespace kvtest {

// The path of the named fixture, made on first use (shared by the test processes of one build).
// Names: video_audio.avi, audio_only.mp3, two_audio.mkv, subtitles.mkv, video_only.mp4, h264.mp4,
// wide_pixels.mkv, late_start.ts, long.avi, variable_rate.mp4, audio_first.mkv, intra.mp4 (every frame
// a key frame, 162 pixels wide), tagged.mkv, frames_%03d.png (an image sequence of three pictures),
// av_source.mkv (H.264 + AAC stereo 44100 Hz, 2 s), late_audio.mkv (audio starts 0.5 s after the video),
// long_av.mkv (320x240 H.264 + AAC, 8 s), long_120s.avi (160x120 MPEG-4 + MP2, 120 s), detail_12s.mkv
// (160x120 lossless pictures of a busy pattern, 12 s); mutation.avi, .mp4, .mov, .mkv, .ts, .mpg, .flv,
// .ogg, .wmv, .rm, .webm, .3gp and .mp3 (a second each, 96x64 or 128x96, with a tone; the .mkv also with
// subtitles).
std::string Fixture(const std::string& Name);

// ffprobe's flat listing of the file's streams and format ("streams.stream.0.width" -> "160"), quotes
// removed. Empty when ffprobe cannot read the file.
std::map<std::string, std::string> Probe(const std::string& File);

// Runs a command line; its exit status, and its standard output and error joined in Output.
int RunCommand(const std::string& Command, std::string& Output);

}  // namespace kvtest
