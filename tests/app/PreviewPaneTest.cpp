// The preview pane: the track bar of a newly shown file, the pictures it asks for (the latest only, fast
// while dragged, exact once the bar rests, the end of the file at the last position), the clip marks and
// the clip they give.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

#include "EventPump.h"
#include "app/logic/PreviewPane.h"

namespace {

using namespace kv::app;

using kvtest::PumpFor;
using kvtest::PumpUntil;

struct TRead {
    qint64 TimeUs;
    bool Accurate;
};

// Records what is read; each read can be held until the test lets it go. The picture is 64 x 48 (4:3).
class TFakeSource : public IPictureSource {
public:
    struct TShared {
        std::mutex Lock;
        std::condition_variable Changed;
        std::vector<TRead> Reads;
        bool Hold = false;
        int DelayMs = 0;
    };
    explicit TFakeSource(std::shared_ptr<TShared> Shared) : m_shared(std::move(Shared)) {}
    QImage Read(const QString&, qint64 TimeUs, bool Accurate) override
    {
        int delay = 0;
        {
            std::unique_lock<std::mutex> guard(m_shared->Lock);
            m_shared->Reads.push_back({TimeUs, Accurate});
            m_shared->Changed.notify_all();
            m_shared->Changed.wait(guard, [&] { return !m_shared->Hold; });
            delay = m_shared->DelayMs;
        }
        QThread::msleep(delay);
        QImage picture(64, 48, QImage::Format_RGB888);
        picture.fill(Qt::red);
        return picture;
    }

private:
    std::shared_ptr<TShared> m_shared;
};

struct TPaneFixture {
    std::shared_ptr<TFakeSource::TShared> Shared = std::make_shared<TFakeSource::TShared>();
    TPreviewPane Pane{std::make_unique<TFakeSource>(Shared)};

    std::vector<TRead> Reads()
    {
        std::lock_guard<std::mutex> guard(Shared->Lock);
        return Shared->Reads;
    }
    void SetHold(bool Hold)
    {
        {
            std::lock_guard<std::mutex> guard(Shared->Lock);
            Shared->Hold = Hold;
        }
        Shared->Changed.notify_all();
    }
    bool WaitIdle()
    {
        return PumpUntil([&] { return !Pane.Reading(); });
    }
};

TEST(PreviewPaneTest, LoadingSetsUpTheBarAndShowsTheFirstPictureFitted)
{
    TPaneFixture f;
    f.Pane.Load(QStringLiteral("/v/a.mp4"), 2000000, QStringLiteral("mov,mp4,m4a,3gp,3g2,mj2"), true);
    EXPECT_EQ(f.Pane.TrackBar().TimeScale, 100);
    EXPECT_EQ(f.Pane.TrackBar().Maximum, 20000);
    ASSERT_TRUE(f.WaitIdle());
    ASSERT_EQ(f.Reads().size(), 1u);
    EXPECT_EQ(f.Reads()[0].TimeUs, 0);
    EXPECT_TRUE(f.Reads()[0].Accurate) << "a resting bar shows the exact picture";
    EXPECT_EQ(f.Pane.TimeLabel(), QStringLiteral("PTS: 0.000"));
    // The 4:3 picture in the 220 x 145 pane: full height, background at the sides.
    const QImage& picture = f.Pane.Picture();
    ASSERT_EQ(picture.size(), QSize(220, 145));
    EXPECT_EQ(QColor(picture.pixel(110, 72)), QColor(Qt::red));
    EXPECT_EQ(QColor(picture.pixel(2, 72)), QColor(166, 202, 240));
    EXPECT_EQ(QColor(picture.pixel(217, 72)), QColor(166, 202, 240));

    // Marks, their texts, the clip check box and the position go back to the start with the next file.
    f.Pane.PositionChanged(5000, true);
    f.Pane.MarkStart();
    f.Pane.PositionChanged(9000, true);
    f.Pane.MarkEnd();
    f.Pane.SetClipChecked(true);
    ASSERT_TRUE(f.WaitIdle());
    ASSERT_EQ(f.Pane.StartText(), QStringLiteral("0.500"));
    ASSERT_EQ(f.Pane.EndText(), QStringLiteral("0.900"));
    f.Pane.Load(QStringLiteral("/v/b.mp4"), 5400000000, QStringLiteral("matroska,webm"), true);
    EXPECT_EQ(f.Pane.Position(), 0);
    EXPECT_EQ(f.Pane.SelectionStart(), 0);
    EXPECT_EQ(f.Pane.SelectionEnd(), 0);
    EXPECT_EQ(f.Pane.StartText(), QStringLiteral("0"));
    EXPECT_EQ(f.Pane.EndText(), QStringLiteral("0"));
    EXPECT_FALSE(f.Pane.ClipChecked());
    EXPECT_TRUE(f.Pane.ClipEnabled());
    EXPECT_EQ(f.Pane.TrackBar().Maximum, 5400);
    ASSERT_TRUE(f.WaitIdle());
}

TEST(PreviewPaneTest, ClearingForgetsTheFileAndAPictureOnItsWay)
{
    TPaneFixture f;
    int trackBars = 0;
    f.Pane.OnTrackBar = [&] { ++trackBars; };
    f.Pane.Load(QStringLiteral("/v/a.mp4"), 2000000, QString(), true);
    ASSERT_TRUE(f.WaitIdle());
    f.Pane.PositionChanged(5000, true);
    f.Pane.MarkStart();
    f.Pane.PositionChanged(9000, true);
    f.Pane.MarkEnd();
    f.SetHold(true);  // the read of 0.9 s is still on its way when the list empties
    ASSERT_TRUE(PumpUntil([&] { return f.Reads().size() >= 2; }));
    f.Pane.Clear();
    f.SetHold(false);
    PumpFor(200);
    EXPECT_TRUE(f.Pane.Path().isEmpty());
    EXPECT_TRUE(f.Pane.Picture().isNull()) << "the picture of a file no longer listed came back";
    EXPECT_FALSE(f.Pane.Reading());
    EXPECT_EQ(trackBars, 2) << "the window's track bar was not set up again";
    EXPECT_EQ(f.Pane.TrackBar().Maximum, 0);
    EXPECT_EQ(f.Pane.Position(), 0);
    EXPECT_EQ(f.Pane.SelectionStart(), 0);
    EXPECT_EQ(f.Pane.SelectionEnd(), 0);
    EXPECT_EQ(f.Pane.StartText(), QStringLiteral("0"));
    EXPECT_EQ(f.Pane.EndText(), QStringLiteral("0"));
    EXPECT_EQ(f.Pane.TimeLabel(), QStringLiteral("--"));
}

TEST(PreviewPaneTest, AStillPictureAndAFileWithoutVideo)
{
    TPaneFixture f;
    // A still picture: no slider, a range of 0 to 0, its one picture.
    f.Pane.Load(QStringLiteral("/v/a.png"), 40000, QStringLiteral("image2"), true);
    EXPECT_FALSE(f.Pane.TrackBar().SliderVisible);
    EXPECT_EQ(f.Pane.TrackBar().Maximum, 0);
    ASSERT_TRUE(f.WaitIdle());
    EXPECT_FALSE(f.Pane.Frame().isNull());

    // Without video nothing is read; the pane shows its background and the label still follows the bar.
    const size_t before = f.Reads().size();
    f.Pane.Load(QStringLiteral("/v/a.mp3"), 5000000, QStringLiteral("mp3"), false);
    f.Pane.PositionChanged(2500, true);
    PumpFor(250);
    EXPECT_EQ(f.Reads().size(), before);
    EXPECT_TRUE(f.Pane.Frame().isNull());
    ASSERT_FALSE(f.Pane.Picture().isNull());
    EXPECT_EQ(QColor(f.Pane.Picture().pixel(110, 72)), QColor(166, 202, 240));
    EXPECT_EQ(f.Pane.TimeLabel(), QStringLiteral("PTS: 2.500"));

    // With no rows left the bar shows nothing.
    f.Pane.ClearPicture();
    f.Pane.PositionChanged(100, false);
    EXPECT_TRUE(f.Pane.Picture().isNull());
    EXPECT_EQ(f.Pane.TimeLabel(), QStringLiteral("PTS: 2.500"));
}

TEST(PreviewPaneTest, OnlyTheLatestPositionIsReadAndTheLastPositionIsTheEnd)
{
    TPaneFixture f;
    f.Pane.Load(QStringLiteral("/v/a.mp4"), 2000000, QString(), true);
    ASSERT_TRUE(f.WaitIdle());
    // The reader is busy with one picture while the bar goes over a hundred positions.
    f.SetHold(true);
    f.Pane.DragStarted();
    f.Pane.PositionChanged(1, true);
    ASSERT_TRUE(PumpUntil([&] { return f.Reads().size() == 2; }));
    for (int position = 2; position <= 100; ++position)
        f.Pane.PositionChanged(position * 100, true);
    f.Pane.PositionChanged(20000, true);  // the last position
    f.SetHold(false);
    ASSERT_TRUE(PumpUntil([&] { return f.Reads().size() >= 3 && !f.Pane.Reading(); }));
    f.Pane.DragEnded();
    ASSERT_TRUE(f.WaitIdle());
    const std::vector<TRead> reads = f.Reads();
    EXPECT_LE(reads.size(), 5u) << "positions passed over while the reader was busy were read";
    EXPECT_EQ(reads.back().TimeUs, 2000000) << "the last position shows the end of the file";
    EXPECT_EQ(f.Pane.FrameTimeUs(), 2000000);
    EXPECT_EQ(f.Pane.TimeLabel(), QStringLiteral("PTS: 2.000"));
}

TEST(PreviewPaneTest, DraggingReadsFastAndTheRestingBarReadsExactly)
{
    TPaneFixture f;
    f.Pane.Load(QStringLiteral("/v/a.mp4"), 2000000, QString(), true);
    ASSERT_TRUE(f.WaitIdle());
    const size_t start = f.Reads().size();

    // Dragged: a fast read; still for 150 ms: the exact picture of the same position.
    f.Pane.DragStarted();
    f.Pane.PositionChanged(7000, true);
    ASSERT_TRUE(PumpUntil([&] { return f.Reads().size() == start + 2; }, 2000)) << "no read once the bar rested";
    ASSERT_TRUE(f.WaitIdle());
    std::vector<TRead> reads = f.Reads();
    EXPECT_FALSE(reads[start].Accurate);
    EXPECT_EQ(reads[start].TimeUs, 700000);
    EXPECT_TRUE(reads[start + 1].Accurate);
    EXPECT_EQ(reads[start + 1].TimeUs, 700000);
    EXPECT_TRUE(f.Pane.FrameAccurate());
    // Released at the same place: that picture is there already.
    f.Pane.DragEnded();
    PumpFor(200);
    EXPECT_EQ(f.Reads().size(), start + 2);

    // Moved and released at once: the exact picture without waiting.
    f.Pane.DragStarted();
    f.Pane.PositionChanged(3000, true);
    f.Pane.DragEnded();
    ASSERT_TRUE(f.WaitIdle());
    reads = f.Reads();
    EXPECT_TRUE(reads.back().Accurate);
    EXPECT_EQ(reads.back().TimeUs, 300000);
    EXPECT_TRUE(f.Pane.FrameAccurate());
    EXPECT_EQ(f.Pane.FrameTimeUs(), 300000);

    // The keyboard (no drag): exact.
    f.Pane.PositionChanged(3100, true);
    ASSERT_TRUE(f.WaitIdle());
    EXPECT_TRUE(f.Reads().back().Accurate);
}

TEST(PreviewPaneTest, MarksEnableTheClipAndTheClipIsClampedToTheFile)
{
    const struct {
        const char* Name;
        qint64 DurationUs;
        int Start, End;  // track bar positions of the marks (-1: not marked)
        bool Enabled;
        qint64 StartMs, LengthMs;
    } cases[] = {
        // 2 s file, 100 us per step.
        {"a range inside the file", 2000000, 5000, 15000, true, 500, 1000},
        {"only an end mark", 2000000, -1, 12000, true, 0, 1200},
        {"start after end", 2000000, 15000, 5000, false, 1500, 500},
        {"start on the end", 2000000, 5000, 5000, false, 500, 1500},
        {"no end mark", 2000000, 5000, -1, false, 500, 1500},
        {"the last position", 2000000, 0, 20000, true, 0, 2000},
        // 90 minutes and a half second, 1 s per step.
        {"the last step of a long file", 5399500000, 10, 5399, true, 10000, 5389000},
    };
    for (const auto& c : cases) {
        TPaneFixture f;
        f.Pane.Load(QStringLiteral("/v/a.mp4"), c.DurationUs, QString(), true);
        if (c.Start >= 0) {
            f.Pane.PositionChanged(c.Start, true);
            f.Pane.MarkStart();
        }
        if (c.End >= 0) {
            f.Pane.PositionChanged(c.End, true);
            f.Pane.MarkEnd();
        }
        EXPECT_EQ(f.Pane.ClipEnabled(), c.Enabled) << c.Name;
        EXPECT_EQ(f.Pane.ClipStartMs(), c.StartMs) << c.Name;
        EXPECT_EQ(f.Pane.ClipLengthMs(), c.LengthMs) << c.Name;
        f.WaitIdle();
    }
}

TEST(PreviewPaneTest, TheClipIsClampedWhenTheMarksLieOutsideTheFile)
{
    // A start mark beyond the duration starts at 0; an end beyond it ends at the duration. Marks made on
    // one file's bar meet a shorter file's duration only through a bar set up again, so the marks are
    // placed here on a bar of positions beyond the file.
    TPaneFixture f;
    f.Pane.Load(QStringLiteral("/v/a.mp4"), 2000000, QString(), true);
    f.Pane.PositionChanged(25000, true);  // 2.5 s: past the end
    f.Pane.MarkStart();
    f.Pane.PositionChanged(30000, true);
    f.Pane.MarkEnd();
    EXPECT_TRUE(f.Pane.ClipEnabled());
    EXPECT_EQ(f.Pane.ClipStartMs(), 0);
    EXPECT_EQ(f.Pane.ClipLengthMs(), 2000);
    f.WaitIdle();
}

}  // namespace
