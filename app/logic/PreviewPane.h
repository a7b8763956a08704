// The preview pane: a picture of the file last added or selected at the track bar's position, the time of
// that position, and the start and end marks of the clip to convert. Pictures are read on a thread of the
// pane's own; only the latest request is served, so a track bar dragged over a long file stays smooth.
// While the bar is dragged the fast read (the first picture from the key frame after the position) may
// serve; once it rests (released, or still for 150 ms) the picture exactly at the position is read.
#pragma once

#include <QImage>
#include <QObject>
#include <QRect>
#include <QSize>
#include <QString>
#include <QTimer>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "app/logic/WindowThreadQueue.h"

namespace kv::app {

// The pane's background (red 166, green 202, blue 240).
inline constexpr unsigned PreviewBackground = 0xF0CAA6;  // 0x00BBGGRR
inline constexpr int PreviewWidth = 220;
inline constexpr int PreviewHeight = 145;
inline constexpr int TrackBarWidth = 220;
inline constexpr int RestMs = 150;

// The track bar of a file of a duration.
struct TTrackBarSetup {
    bool SliderVisible = true;
    qint64 TimeScale = 10;  // microseconds per step, a power of ten
    int Maximum = 0;
    int TickFrequency = 0;
    int LineSize = 1;
    int PageSize = 5;
};
TTrackBarSetup SetupTrackBar(qint64 DurationUs, bool StillPicture, int BarWidth = TrackBarWidth);

// Where a picture goes in a box: as large as it fits, keeping its shape, centred.
QRect FitRect(QSize Picture, QRect Box);

// "83.456" for 83 456 789 us.
QString FormatPts(qint64 TimeUs);

// Reads pictures of files; used on the pane's reading thread only.
class IPictureSource {
public:
    virtual ~IPictureSource() = default;
    // The picture of the file's first video stream at TimeUs; a null image when there is none. Accurate:
    // exactly the picture shown at that time, else the first picture the file offers from there on.
    virtual QImage Read(const QString& Path, qint64 TimeUs, bool Accurate) = 0;
};

// The engine's probe, kept open on the last file read.
std::unique_ptr<IPictureSource> MakeProbePictureSource();

class TPreviewPane {
public:
    explicit TPreviewPane(std::unique_ptr<IPictureSource> Source = MakeProbePictureSource());
    ~TPreviewPane();
    TPreviewPane(const TPreviewPane&) = delete;
    TPreviewPane& operator=(const TPreviewPane&) = delete;

    // Shows a file: the track bar set up for its duration with the selection cleared and the position at
    // 0, and its first picture. The marks were times in the file shown before: the start and end texts go
    // back to "0" and the clip check box is cleared.
    void Load(const QString& Path, qint64 DurationUs, const QString& FormatName, bool HasVideo);
    // The picture goes, the file and the track bar stay.
    void ClearPicture();
    // The list is empty: no file, no picture (the window's placeholder), the track bar and marks as before
    // the first file.
    void Clear();

    // The track bar moved (by the user or the keyboard). ListHasRows: nothing is shown for an empty list.
    void PositionChanged(int Position, bool ListHasRows);
    // The user grabs or lets go of the slider.
    void DragStarted();
    void DragEnded();

    void MarkStart();
    void MarkEnd();
    void SetClipChecked(bool Checked) { m_clipChecked = Checked; }

    // --- State the window shows ---
    const QString& Path() const { return m_path; }
    const QString& FormatName() const { return m_format; }
    qint64 DurationUs() const { return m_durationUs; }
    const TTrackBarSetup& TrackBar() const { return m_bar; }
    int Position() const { return m_position; }
    int SelectionStart() const { return m_selStart; }
    int SelectionEnd() const { return m_selEnd; }
    const QString& TimeLabel() const { return m_label; }
    const QString& StartText() const { return m_startText; }
    const QString& EndText() const { return m_endText; }
    bool ClipEnabled() const { return m_clipEnabled; }
    bool ClipChecked() const { return m_clipChecked; }
    // The pane's picture (PreviewWidth x PreviewHeight, the frame fitted on the background), null before a
    // file was loaded and after ClearPicture.
    const QImage& Picture() const { return m_picture; }
    // The frame that picture shows, at its own size; null when none.
    const QImage& Frame() const { return m_frame; }
    // Time of the frame shown (us), and whether it came from an accurate read.
    qint64 FrameTimeUs() const { return m_frameTime; }
    bool FrameAccurate() const { return m_frameAccurate; }
    // A read is on its way.
    bool Reading() const { return m_reading; }

    qint64 ClipStartMs() const;
    qint64 ClipLengthMs() const;

    // The picture changed (told on the window's thread).
    std::function<void()> OnPicture;
    // The track bar is to be set up again (Load).
    std::function<void()> OnTrackBar;

private:
    struct TRequest {
        unsigned Serial = 0;
        QString Path;
        qint64 TimeUs = 0;
        bool Accurate = false;
    };
    void Refresh(bool Accurate);
    void Request(bool Accurate);
    qint64 TimeAt(int Position) const;
    void Arrived(unsigned Serial, qint64 TimeUs, bool Accurate, const QImage& Frame);
    void UpdateClipEnabled();
    void ResetMarks();
    void ReadLoop();

    std::unique_ptr<IPictureSource> m_source;
    QString m_path;
    QString m_format;
    qint64 m_durationUs = -1;
    bool m_hasVideo = false;
    bool m_busy = false;  // the track bar is being set up: positions are not shown
    TTrackBarSetup m_bar;
    int m_position = 0;
    int m_selStart = 0;
    int m_selEnd = 0;
    QString m_label = QStringLiteral("--");
    QString m_startText = QStringLiteral("0");
    QString m_endText = QStringLiteral("0");
    bool m_clipEnabled = true;
    bool m_clipChecked = false;
    bool m_dragging = false;
    QImage m_picture;
    QImage m_frame;
    qint64 m_frameTime = -1;
    bool m_frameAccurate = false;
    bool m_reading = false;
    unsigned m_serial = 0;  // of the latest request
    bool m_lastAccurate = false;
    qint64 m_lastTime = -1;

    QObject m_context;              // the rest timer's receiver
    TWindowThreadQueue m_pictures;  // the pictures go to the window's thread through it
    QTimer m_rest;                  // the bar has been still long enough for an accurate read

    std::mutex m_lock;
    std::condition_variable m_wake;
    std::optional<TRequest> m_next;  // the latest request not yet taken by the reader
    bool m_quit = false;
    std::thread m_reader;
};

struct TListRow;
class TFileList;
struct TRecordSource;

// What the window says when the records of Row's task are built: Row's own file, the rows' resolutions, and
// the clip marked in the pane when the pane shows Row's file (the marks are times in that file).
TRecordSource RecordSourceFor(const TListRow& Row, const TFileList& List, const TPreviewPane& Pane);

}  // namespace kv::app
