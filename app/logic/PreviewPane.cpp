#include "app/logic/PreviewPane.h"

#include <QColor>
#include <QMetaObject>
#include <QPainter>
#include <cmath>

#include "app/logic/FileList.h"
#include "app/logic/WindowLogic.h"
#include "media/AVProbe.h"

namespace kv::app {

TTrackBarSetup SetupTrackBar(qint64 DurationUs, bool StillPicture, int BarWidth)
{
    TTrackBarSetup bar;
    if (StillPicture) {
        bar.SliderVisible = false;
        return bar;
    }
    qint64 scale = 1;
    qint64 steps = 0;
    do {
        scale *= 10;
        steps = DurationUs / scale;
    } while (steps >= 32768);
    if (steps < 0)
        steps = 0;  // no duration known: a bar of one position
    bar.TimeScale = scale;
    bar.Maximum = static_cast<int>(steps);
    const int ticksAcross = (BarWidth - 12) / 10;
    bar.TickFrequency = ticksAcross > 0 ? bar.Maximum / ticksAcross : 0;
    bar.LineSize = bar.Maximum > 10000 ? 1000 : bar.Maximum > 1000 ? 100 : bar.Maximum > 100 ? 10 : 1;
    bar.PageSize = 5 * bar.LineSize;
    return bar;
}

QRect FitRect(QSize Picture, QRect Box)
{
    if (Picture.width() <= 0 || Picture.height() <= 0 || Box.width() <= 0 || Box.height() <= 0)
        return {};
    // Edges as left, top, right, bottom with right and bottom just outside the box.
    int left = Box.left(), top = Box.top();
    int right = left + Box.width(), bottom = top + Box.height();
    const double rw = double(Picture.width()) / Box.width();
    const double rh = double(Picture.height()) / Box.height();
    // nearbyint rounds halves to even in the default rounding mode.
    if (rw >= rh) {
        const int m = static_cast<int>(std::nearbyint((Box.height() - Picture.height() / rw) / 2));
        top += m;
        bottom -= m;
    } else {
        const int m = static_cast<int>(std::nearbyint((Box.width() - Picture.width() / rh) / 2));
        left += m;
        right -= m;
    }
    return QRect(left, top, right - left, bottom - top);
}

QString FormatPts(qint64 TimeUs)
{
    return QString::asprintf("%lld.%.3lld", static_cast<long long>(TimeUs / 1000000),
                             static_cast<long long>(TimeUs / 1000 % 1000));
}

namespace {

class TProbePictureSource : public IPictureSource {
public:
    QImage Read(const QString& Path, qint64 TimeUs, bool Accurate) override
    {
        if (Path != m_path || !m_probe.FileLoaded()) {
            m_path = Path;
            if (!m_probe.OpenFile(Path.toStdString()))
                return {};
        }
        if (m_probe.VideoStreamCount <= 0)
            return {};
        const TBitmap& bitmap = Accurate ? m_probe.ReadFrameAccurate(-1, TimeUs) : m_probe.ReadFrame(-1, TimeUs);
        if (bitmap.Width <= 0 || bitmap.Height <= 0 || bitmap.Pixels.empty())
            return {};
        return QImage(bitmap.Pixels.data(), bitmap.Width, bitmap.Height, bitmap.Stride(), QImage::Format_BGR888).copy();
    }

private:
    TAVProbe m_probe;
    QString m_path;
};

QColor Background()
{
    return QColor(PreviewBackground & 0xFF, (PreviewBackground >> 8) & 0xFF, (PreviewBackground >> 16) & 0xFF);
}

QImage Compose(const QImage& Frame)
{
    QImage picture(PreviewWidth, PreviewHeight, QImage::Format_RGB32);
    picture.fill(Background());
    if (!Frame.isNull()) {
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(FitRect(Frame.size(), picture.rect()), Frame);
    }
    return picture;
}

}  // namespace

std::unique_ptr<IPictureSource> MakeProbePictureSource() { return std::make_unique<TProbePictureSource>(); }

TPreviewPane::TPreviewPane(std::unique_ptr<IPictureSource> Source) : m_source(std::move(Source))
{
    m_rest.setSingleShot(true);
    m_rest.setInterval(RestMs);
    QObject::connect(&m_rest, &QTimer::timeout, &m_context, [this] {
        if (m_dragging)
            Refresh(true);
    });
    m_reader = std::thread([this] { ReadLoop(); });
}

TPreviewPane::~TPreviewPane()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_quit = true;
    }
    m_wake.notify_all();
    m_reader.join();
}

void TPreviewPane::ReadLoop()
{
    for (;;) {
        TRequest request;
        {
            std::unique_lock<std::mutex> guard(m_lock);
            m_wake.wait(guard, [this] { return m_quit || m_next.has_value(); });
            if (m_quit)
                return;
            request = *m_next;
            m_next.reset();
        }
        const QImage frame = m_source->Read(request.Path, request.TimeUs, request.Accurate);
        m_pictures.Post([this, request, frame] { Arrived(request.Serial, request.TimeUs, request.Accurate, frame); });
    }
}

void TPreviewPane::Load(const QString& Path, qint64 DurationUs, const QString& FormatName, bool HasVideo)
{
    m_path = Path;
    m_format = FormatName;
    m_durationUs = DurationUs;
    m_hasVideo = HasVideo;
    m_frame = QImage();
    m_frameTime = -1;
    m_picture = Compose(QImage());
    m_busy = true;
    const bool still = FormatName == QLatin1String("image2") || FormatName.endsWith(QLatin1String("_pipe"));
    m_bar = SetupTrackBar(DurationUs, still);
    m_selStart = 0;
    m_selEnd = 0;
    m_position = 0;
    ResetMarks();
    if (OnTrackBar)
        OnTrackBar();
    m_busy = false;
    if (OnPicture)
        OnPicture();
    m_rest.stop();
    Refresh(true);
}

void TPreviewPane::ClearPicture()
{
    m_picture = QImage();
    m_frame = QImage();
    m_frameTime = -1;
    ++m_serial;  // a picture on its way is no longer wanted
    m_reading = false;
    if (OnPicture)
        OnPicture();
}

void TPreviewPane::Clear()
{
    m_rest.stop();
    m_path.clear();
    m_format.clear();
    m_durationUs = -1;
    m_hasVideo = false;
    m_bar = TTrackBarSetup();
    m_position = 0;
    m_selStart = 0;
    m_selEnd = 0;
    ResetMarks();
    m_label = QStringLiteral("--");
    if (OnTrackBar)
        OnTrackBar();
    ClearPicture();
}

void TPreviewPane::ResetMarks()
{
    m_startText = QStringLiteral("0");
    m_endText = QStringLiteral("0");
    m_clipChecked = false;
    m_clipEnabled = true;
}

void TPreviewPane::PositionChanged(int Position, bool ListHasRows)
{
    m_position = Position;
    if (!ListHasRows || m_busy)
        return;
    if (m_dragging) {
        Refresh(false);
        m_rest.start();
    } else {
        Refresh(true);
    }
}

void TPreviewPane::DragStarted() { m_dragging = true; }

void TPreviewPane::DragEnded()
{
    m_dragging = false;
    m_rest.stop();
    // Unless the exact picture of this position was asked for already.
    if (!m_path.isEmpty() && !m_picture.isNull() && !(m_lastAccurate && m_lastTime == TimeAt(m_position)))
        Refresh(true);
}

void TPreviewPane::Refresh(bool Accurate)
{
    if (m_busy)
        return;
    m_label = QStringLiteral("PTS: ") + FormatPts(m_position * m_bar.TimeScale);
    if (m_path.isEmpty())
        return;
    if (m_picture.isNull())
        m_picture = Compose(QImage());
    if (m_hasVideo)
        Request(Accurate);
    else if (OnPicture)
        OnPicture();
}

qint64 TPreviewPane::TimeAt(int Position) const
{
    // The last position stands for the end of the file, whatever the steps add up to.
    return Position >= m_bar.Maximum && m_durationUs > 0 ? m_durationUs : Position * m_bar.TimeScale;
}

void TPreviewPane::Request(bool Accurate)
{
    TRequest request;
    request.Serial = ++m_serial;
    request.Path = m_path;
    request.TimeUs = TimeAt(m_position);
    request.Accurate = Accurate;
    m_lastAccurate = Accurate;
    m_lastTime = request.TimeUs;
    m_reading = true;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_next = request;
    }
    m_wake.notify_one();
}

void TPreviewPane::Arrived(unsigned Serial, qint64 TimeUs, bool Accurate, const QImage& Frame)
{
    if (Serial != m_serial)
        return;  // a later request is on its way
    m_reading = false;
    m_frame = Frame;
    m_frameTime = TimeUs;
    m_frameAccurate = Accurate;
    m_picture = Compose(Frame);
    if (OnPicture)
        OnPicture();
}

void TPreviewPane::UpdateClipEnabled() { m_clipEnabled = m_selEnd >= 1 && m_selStart < m_selEnd; }

void TPreviewPane::MarkStart()
{
    m_selStart = m_position;
    m_startText = FormatPts(m_position * m_bar.TimeScale);
    UpdateClipEnabled();
}

void TPreviewPane::MarkEnd()
{
    m_selEnd = m_position;
    m_endText = FormatPts(m_position * m_bar.TimeScale);
    UpdateClipEnabled();
}

qint64 TPreviewPane::ClipStartMs() const
{
    qint64 s = m_selStart * m_bar.TimeScale / 1000;
    const qint64 d = m_durationUs / 1000;
    if (s < 0 || s >= d)
        s = 0;
    return s;
}

qint64 TPreviewPane::ClipLengthMs() const
{
    const qint64 s = ClipStartMs();
    qint64 e = m_selEnd * m_bar.TimeScale / 1000;
    const qint64 d = m_durationUs / 1000;
    if (s >= e || e > d)
        e = d;
    return e - s;
}

TRecordSource RecordSourceFor(const TListRow& Row, const TFileList& List, const TPreviewPane& Pane)
{
    TRecordSource source;
    source.ProbeFileName = Row.Path;
    for (int index = 0; index < List.Count(); ++index) {
        source.FileRows.push_back({List.Row(index).Caption, List.Row(index).Resolution});
        if (List.Row(index).Path == Row.Path)
            source.OwnRow = index;
    }
    if (!Pane.Path().isEmpty() && Pane.Path() == Row.Path) {
        source.ClipEnabled = Pane.ClipEnabled();
        source.ClipChecked = Pane.ClipChecked();
        source.SelectionStart = Pane.SelectionStart();
        source.SelectionEnd = Pane.SelectionEnd();
        source.ClipStartMs = Pane.ClipStartMs();
        source.ClipLengthMs = Pane.ClipLengthMs();
    }
    return source;
}

}  // namespace kv::app
