// The media probe: opens a media file, reports its streams and file-level facts, and returns the
// picture of a video stream at a given time as a 24-bit bitmap.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "media/Bitmap.h"
#include "media/LibOwners.h"

namespace kv {

struct TFileStreamInfo {
    int64_t StartTime = -1;  // us; -1 when the container reports none
    int64_t Duration = -1;   // us; -1 when the container reports none
    int BitRate = -1;        // bit/s
    int64_t Timestamp = -1;  // creation time, seconds since 1970 (0 when the file names none)
    int Year = -1;
    int Track = -1;
    std::string Title;
    std::string Author;
    std::string Copyright;
    std::string Comment;
    std::string Album;
    std::string Genre;
};

class TCustomAVProbe {
public:
    TCustomAVProbe();
    virtual ~TCustomAVProbe();
    TCustomAVProbe(const TCustomAVProbe&) = delete;
    TCustomAVProbe& operator=(const TCustomAVProbe&) = delete;

    // Opens a file, forcing the input format Format unless it is empty. False with LastError set.
    bool OpenFile(const std::string& FileName, const std::string& Format = "");
    // Takes a container opened elsewhere, read-only: it is never closed here and frames are not read from it.
    virtual void AttachContext(AVFormatContext* Context);
    virtual void CloseFile();

    void GetFileStreamInfo(TFileStreamInfo& Info);
    std::string GetFileName();
    std::string GetFormatName();

    // Width and height of the first video stream as the container describes it; 0 x 0 without a file or
    // without video.
    void GetVideoSize(int& Width, int& Height) const;
    // The frame rate of the first video stream as a fraction: its average rate, else the rate the container
    // declares for it; 0/1 without a file, without video or when the file names no rate.
    AVRational GetVideoFrameRate() const;

    bool OwnsContext() const { return m_owned != nullptr; }
    bool FileLoaded() const { return m_context != nullptr; }
    std::string LastError() const { return m_lastError; }
    std::string ForcedFormat() const { return m_forcedFormat; }
    int StreamCount = -1;
    int ProgramCount = -1;
    int AudioStreamCount = -1;
    int VideoStreamCount = -1;
    int SubtitleStreamCount = -1;
    int FirstAudioStream = -1;
    int FirstVideoStream = -1;
    int FirstSubtitleStream = -1;

protected:
    // Writes Text (which ends with a line break) to the library log at the engine level and keeps it,
    // without the line break, as LastError.
    void Fail(int Level, const std::string& Text);
    // The error of a call that needs an open file.
    static constexpr const char* NotLoaded = "file not loaded.\n";
    void CountStreams();
    AVFormatContext* Context() const { return m_context; }

private:
    InputFormatPtr m_owned;                // the file OpenFile opened, closed with the probe
    AVFormatContext* m_context = nullptr;  // the file held: the owned one, or one attached (never closed here)
    std::string m_lastError;
    std::string m_forcedFormat;
};

class TAVProbe : public TCustomAVProbe {
public:
    TAVProbe() = default;
    ~TAVProbe() override;

    void CloseFile() override;
    // Moves the read position of the stream (StreamIndex < 0: the first video, else audio, else subtitle
    // stream) to Position (us). Accurate: when a forward seek is refused, seek backwards instead.
    bool Seek(int StreamIndex, bool Accurate, int64_t Position);
    // The picture of video stream StreamIndex (< 0: the first video stream) at Position (us; < 0: the
    // next picture from where the last read stopped). Empty with LastError set when there is none; black
    // at the end of the stream.
    TBitmap& ReadFrame(int StreamIndex, int64_t Position);
    TBitmap& LastFrame() { return m_lastFrame; }
    // The picture shown at Position (us; < 0 reads as 0) of video stream StreamIndex (< 0: the first
    // video stream): the first picture whose time is at or after Position, as a player seeking exactly
    // shows it. Unlike ReadFrame, which takes the first picture after a forward seek (seconds away where key
    // frames are sparse), it goes back to the key frame before Position and decodes up to that picture.
    // A position after the last picture but before the end of the file gives the last picture; one at or
    // after the end gives a black bitmap with LastError "stream eof reached.". Reads a little after the
    // previous accurate read continue decoding from there instead of seeking again. The failures, the
    // still-image case and the bitmap are ReadFrame's.
    TBitmap& ReadFrameAccurate(int StreamIndex, int64_t Position);

    bool FrameValid() const { return m_frameValid; }
    int64_t FramePTS() const { return m_framePTS; }  // us from the stream start; -1 without a frame

private:
    bool OpenDecoder(int Index);
    // The stream's picture size checked, its decoder opened and the picture sized for it; false (with the
    // picture emptied) when any of that fails.
    bool PrepareDecoding(int Index, const AVStream& Stream);
    void ReleaseDecoder();
    // Fills the frame bitmap from a decoded picture; False when it cannot be converted.
    bool TakePicture(const AVFrame& Picture, const AVStream& Stream);
    bool IsImage2();
    // Gives the decoder the next packet of stream Index (other streams' are dropped), or its end once the
    // file has none left. A packet shown before SkipBefore may have its picture left undecoded when
    // nothing refers to it (a read passing it on the way to a later picture); its time is returned then,
    // AV_NOPTS_VALUE otherwise.
    int64_t FeedDecoder(AVFormatContext& Context, AVPacket& Packet, int Index, int64_t SkipBefore = AV_NOPTS_VALUE);
    // The context a picture read works on; nullptr with LastError set and the bitmap emptied when no file is
    // loaded. A borrowed context cannot be read from: that raises.
    AVFormatContext* ContextToRead();
    // The video stream a read of StreamIndex means, or -1 with LastError set and the bitmap emptied.
    int VideoStreamToRead(int StreamIndex);
    // Moves the read position of stream Index to its last key frame at or before Target (stream time base),
    // with the decoder flushed; false with LastError set when the container cannot seek there.
    bool SeekToKeyFrame(int Index, int64_t Target);
    // Keeps the picture of an accurate read as the read's result.
    bool DeliverAccurate(const AVFrame& Picture, const AVStream& Stream, int Index, int64_t Position);

    CodecContextPtr m_decoder;
    int m_decoderStream = -1;
    ScalerPtr m_scaler;  // cached across reads, freed with the decoder
    // Conversion target with 64-byte aligned rows: the converter's fast paths leave the last pixels of
    // rows whose length is not a multiple of 16 bytes unwritten.
    struct TBufferRelease {
        void operator()(uint8_t* Buffer) const;
    };
    std::unique_ptr<uint8_t, TBufferRelease> m_rgb;
    size_t m_rgbSize = 0;
    TBitmap m_frame;
    TBitmap m_lastFrame;
    bool m_isImage2 = false;
    bool m_frameValid = false;
    int64_t m_framePTS = -1;
    bool m_backwardSeek = false;
    int64_t m_lastPos = -1;
    int m_lastIndex = -1;
    bool m_eofHit = false;
    // Where the last accurate read left the stream: the time (stream time base) of the picture it gave,
    // with the demuxer and the decoder just past it. AV_NOPTS_VALUE when any other read, seek or decoder
    // change has moved them since.
    int64_t m_accuratePts = AV_NOPTS_VALUE;
    // The position (us) and stream of the last accurate read while its result is still in the bitmaps, and
    // whether it ended at the end of the stream; -1 when another read came since.
    int64_t m_accuratePos = -1;
    int m_accurateIndex = -1;
    bool m_accurateEof = false;
    int64_t m_lastFramePTS = -1;  // FramePTS of the picture an accurate read left in the last-frame bitmap
    void ForgetAccurateRead();
};

}  // namespace kv
