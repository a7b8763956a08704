// Facts about a media file read with the system MediaInfo library (libmediainfo.so.0). The library is
// loaded on first use and stays loaded; when it cannot be loaded, or cannot read the file, every answer
// is empty: numbers 0, texts ''. Texts in and out are UTF-8 whatever the process locale.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

namespace kv {

// The integer at the start of a MediaInfo value: the part before the first "." and then before the
// first "/", trimmed ("5025.000" -> 5025, "25/1" -> 25). Default when that is empty or not an integer.
int64_t ParseIntText(const std::string& Text, int64_t Default);
// The number before the first "/", trimmed, read with "." as the decimal separator whatever the locale.
// Default when that is empty or not a number.
double ParseFloatText(const std::string& Text, double Default);

// One examined file. The operations may be called from any thread; objects for different files work
// independently.
class TMediaInfoDll {
public:
    explicit TMediaInfoDll(const std::string& FileName);
    ~TMediaInfoDll();
    TMediaInfoDll(const TMediaInfoDll&) = delete;
    TMediaInfoDll& operator=(const TMediaInfoDll&) = delete;

    // Frames per second of the first video stream; 0 when there is none. An answer that is not a number
    // raises EConvertError.
    double GetFrameRate() const;
    // The short name of audio stream Index's codec ("AAC", "AC3", "MP3", "FLAC", "Vorbis"...); '' when
    // there is no such stream.
    std::string GetAudioCodec(int Index) const;
    // Duration of the file in milliseconds.
    int GetPlayTime() const;
    std::string GetFileExtension() const;
    int GetHeight() const;
    // The short name of the first video stream's format ("AVC", "MPEG-4 Visual", "MPEG Video"...).
    std::string GetVideoCodec() const;
    int GetWidth() const;
    // Bits per second of the first video stream; 0 when the file does not tell.
    double GetBitRate() const;
    int AudioStreamCount() const;

private:
    // The library's answer for a parameter of a stream of a kind (General, Video, Audio), copied.
    std::string Get(int Kind, int Stream, const char* Parameter) const;
    int GetInt(int Kind, const char* Parameter) const;
    std::string CodecName(int Kind, int Stream) const;

    void* m_handle = nullptr;
    // The library hands each answer back in a buffer of the handle that the next call overwrites.
    mutable std::mutex m_lock;
};

}  // namespace kv
