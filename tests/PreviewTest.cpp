// Previews of the pictures being encoded: pictures for the application on its main thread, and the
// previewer with its window (a recording stand-in for the application's).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "MediaFixtures.h"
#include "PictureTestSupport.h"
#include "TestSupport.h"
#include "component/Previewer.h"
#include "media/ThreadId.h"

using namespace kvtest;

namespace {

TEST(PreviewTest, TimeText)
{
    const std::pair<int64_t, const char*> cases[] = {
        {0, "00:00:00.000"},   {3723004000, "01:02:03.004"}, {90000000000, "25:00:00.000"},
        {999, "00:00:00.000"}, {59999999, "00:00:59.999"},   {INT64_MIN, "N/A"},
    };
    for (const auto& [pts, text] : cases)
        EXPECT_EQ(kv::FormatPreviewTime(pts), text) << pts;
}

// What a stand-in window was asked to do, and on which thread.
struct TWindowRecord {
    int Width = 0, Height = 0;  // as opened
    std::vector<std::string> Captions;
    std::vector<std::pair<int, int>> PictureSizes;
    bool Destroyed = false;
    bool OffMainThread = false;
    std::function<void()> Close;  // what the user's close does
};

// Windows that record into Records (all of it on the main thread). OnPaint runs after each paint.
class TRecordingWindows {
public:
    explicit TRecordingWindows(int MainThread) : m_mainThread(MainThread) {}
    std::function<void(TWindowRecord&)> OnPaint;
    std::vector<std::shared_ptr<TWindowRecord>> Records;  // main thread only

    kv::TPreviewWindowFactory Factory()
    {
        return [this](std::function<void()> Closed) -> std::unique_ptr<kv::IPreviewWindow> {
            auto record = std::make_shared<TWindowRecord>();
            record->Close = std::move(Closed);
            Check(*record);
            Records.push_back(record);
            return std::make_unique<TWindow>(*this, record);
        };
    }

private:
    class TWindow : public kv::IPreviewWindow {
    public:
        TWindow(TRecordingWindows& Owner, std::shared_ptr<TWindowRecord> Record) : m_owner(Owner), m_record(Record) {}
        ~TWindow() override
        {
            m_owner.Check(*m_record);
            m_record->Destroyed = true;
        }
        void Open(int Width, int Height) override
        {
            m_owner.Check(*m_record);
            m_record->Width = Width;
            m_record->Height = Height;
        }
        void Paint(const kv::TBitmap& Picture, const std::string& Caption) override
        {
            m_owner.Check(*m_record);
            m_record->Captions.push_back(Caption);
            m_record->PictureSizes.emplace_back(Picture.Width, Picture.Height);
            if (m_owner.OnPaint)
                m_owner.OnPaint(*m_record);
        }

    private:
        TRecordingWindows& m_owner;
        std::shared_ptr<TWindowRecord> m_record;
    };
    void Check(TWindowRecord& Record)
    {
        if (kv::CurrentThreadId() != m_mainThread)
            Record.OffMainThread = true;
    }
    const int m_mainThread;
};

kv::TBitmap Picture(int Width, int Height)
{
    kv::TBitmap bitmap;
    bitmap.Resize(Width, Height);
    return bitmap;
}

// The previewer on its own: window made on the first picture with that picture's size, pictures drawn
// on the main thread while the worker waits, nothing after the user closed it, the window gone with it.
TEST(PreviewTest, ThePreviewerDrawsOnTheMainThreadUntilClosed)
{
    const int mainThread = kv::CurrentThreadId();
    auto bridge = std::make_shared<kv::TQueuedBridge>();
    TRecordingWindows windows(mainThread);
    auto previewer = std::make_unique<kv::TPreviewer>(windows.Factory(), bridge, mainThread);
    std::vector<bool> answers;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        answers.push_back(previewer->Show(Picture(64, 48), 1, 1500000));
        answers.push_back(previewer->Show(Picture(32, 16), 2, INT64_MIN));
        answers.push_back(previewer->Show(Picture(64, 48), 3, 2000000));  // closed during the previous one
        answers.push_back(previewer->Show(Picture(64, 48), 4, 2100000));
        previewer.reset();
        done = true;
    });
    windows.OnPaint = [](TWindowRecord& Record) {
        if (Record.Captions.size() == 2)
            Record.Close();
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done && std::chrono::steady_clock::now() < deadline)
        bridge->PumpFor(std::chrono::milliseconds(5));
    ASSERT_TRUE(done) << "the worker was left waiting";
    worker.join();

    EXPECT_EQ(answers, (std::vector<bool>{true, false, false, false}));
    ASSERT_EQ(windows.Records.size(), 1u);
    const TWindowRecord& window = *windows.Records[0];
    EXPECT_EQ(std::make_pair(window.Width, window.Height), std::make_pair(64, 48)) << "the first picture's size";
    EXPECT_EQ(window.Captions, (std::vector<std::string>{"00:00:01.500", "N/A"}));
    EXPECT_EQ(window.PictureSizes, (std::vector<std::pair<int, int>>{{64, 48}, {32, 16}}));
    EXPECT_TRUE(window.Destroyed);
    EXPECT_FALSE(window.OffMainThread);
}

// A conversion run at the input's own pace (25 pictures a second) so that previews fall due.
const std::vector<std::string> RealTime = {"re"};

// Two tasks at once, each rate-limited on its own.
TEST(PreviewTest, PreviewBitmapsReachTheMainThreadAtMostTenTimesASecond)
{
    const std::string input = Fixture("video_only.mp4");  // 2 s
    for (const bool on : {true, false}) {
        SCOPED_TRACE(on ? "PreviewBitmap on" : "both flags off");
        TempFolder folder("preview-bitmap");
        TPictureRun run;
        const int mainThread = kv::CurrentThreadId();
        struct TDelivery {
            std::chrono::steady_clock::time_point At;
            int Thread, Width, Height, FrameNumber;
            int64_t Pts;
        };
        std::vector<TDelivery> deliveries[2];  // by task; main thread only
        run.Component().SetPreviewBitmap(on);
        run.Component().OnPreviewBitmap = [&](int Index, kv::TBitmap& Bitmap, int FrameNumber, int64_t Pts) {
            ASSERT_TRUE(Index == 0 || Index == 1) << Index;
            deliveries[Index].push_back({std::chrono::steady_clock::now(), kv::CurrentThreadId(), Bitmap.Width,
                                         Bitmap.Height, FrameNumber, Pts});
        };
        for (const char* name : {"/first.mp4", "/second.mp4"})
            ASSERT_TRUE(run.Queue(
                input, folder.Path + name, {"vcodec=mpeg4"}, [](kv::TOutputOptions& o) { o.FrameSize = "96x72"; },
                RealTime));
        ASSERT_TRUE(run.Run());
        for (const auto& end : run.Ends())
            EXPECT_TRUE(end.Finished) << end.Message;
        for (const std::vector<TDelivery>& task : deliveries) {
            if (!on) {
                EXPECT_TRUE(task.empty());
                continue;
            }
            // 2 s at one picture per more than 100 ms.
            EXPECT_GE(task.size(), 5u);
            EXPECT_LE(task.size(), 21u);
            for (size_t i = 0; i < task.size(); ++i) {
                const TDelivery& d = task[i];
                EXPECT_EQ(d.Thread, mainThread);
                EXPECT_EQ(std::make_pair(d.Width, d.Height), std::make_pair(96, 72)) << "the encoded picture's size";
                if (i == 0)
                    continue;
                const TDelivery& previous = task[i - 1];
                // Measured where they arrive, so with a little allowance for the hand-over.
                EXPECT_GE(d.At - previous.At, std::chrono::milliseconds(80)) << "picture " << i;
                EXPECT_GE(d.FrameNumber - previous.FrameNumber, 2) << "picture " << i;
                EXPECT_GT(d.Pts, previous.Pts) << "picture " << i;
            }
        }
    }
}

// Two tasks preview at once, each in a window of its own. Closing one window ends the previews of that
// task only; switching Preview off closes the other, from inside a paint, while its worker waits for it.
TEST(PreviewTest, EachTaskHasItsWindowUntilClosedOrSwitchedOff)
{
    const std::string input = Fixture("video_only.mp4");
    TempFolder folder("preview-window");
    TPictureRun run;
    TRecordingWindows windows(kv::CurrentThreadId());
    run.Component().SetPreviewWindows(windows.Factory());
    run.Component().SetPreview(true);
    ASSERT_TRUE(run.Queue(input, folder.Path + "/first.mp4", {"vcodec=mpeg4"}, {}, RealTime));
    ASSERT_TRUE(run.Queue(input, folder.Path + "/second.mp4", {"vcodec=mpeg4"}, {}, RealTime));
    // The first window made is closed by the user at its second picture; the other one is switched off
    // at its fourth.
    windows.OnPaint = [&](TWindowRecord& Record) {
        if (&Record == windows.Records[0].get() && Record.Captions.size() == 2)
            Record.Close();
        if (windows.Records.size() > 1 && &Record == windows.Records[1].get() && Record.Captions.size() == 4)
            run.Component().SetPreview(false);
    };
    ASSERT_TRUE(run.Run());
    for (const auto& end : run.Ends())
        EXPECT_TRUE(end.Finished) << end.Message;
    ASSERT_EQ(windows.Records.size(), 2u) << "one window per task, never made again";
    EXPECT_EQ(windows.Records[0]->Captions.size(), 2u);
    EXPECT_EQ(windows.Records[1]->Captions.size(), 4u);
    for (const auto& record : windows.Records) {
        EXPECT_TRUE(record->Destroyed);
        EXPECT_FALSE(record->OffMainThread);
        EXPECT_EQ(record->Captions[0].size(), 12u) << record->Captions[0];
    }
}

}  // namespace
