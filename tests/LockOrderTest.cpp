// The process-wide lock order: nothing is logged or raised under the codec lock (lines wait until the
// thread lets go of it), every codec open and close holds it, and a worker that logs while it holds the
// preview lock meets no list lock held by the main thread. The deadlock cases are built so that the old
// lock order would deadlock for certain; under the thread sanitizer an inverted pair is reported even
// when the timing spares the deadlock.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <future>
#include <latch>
#include <set>
#include <thread>

#include "ControlledTask.h"
#include "LogCapture.h"
#include "MediaFixtures.h"
#include "TestSupport.h"
#include "component/Logging.h"
#include "media/AVProbe.h"
#include "media/FFmpegLoader.h"
#include "media/LibraryBindings.h"
#include "media/PictureFile.h"

using namespace kvtest;

namespace {

const char* SourceName(void*) { return "source"; }

struct LogSource {
    const AVClass* Class;
};

const AVClass SourceClass = [] {
    AVClass c{};
    c.class_name = "Source";
    c.item_name = SourceName;
    c.version = LIBAVUTIL_VERSION_INT;
    return c;
}();

std::string Prefix()
{
    char text[64];
    std::snprintf(text, sizeof text, "[source @ %08llX]",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(&SourceClass)));
    return text;
}

// A run that does not end within a generous bound has deadlocked: that is reported and the process
// ends, since the threads involved can never be joined.
void ExpectEnds(std::future<void>& Done, const char* What)
{
    if (Done.wait_for(std::chrono::seconds(30)) == std::future_status::ready) {
        Done.get();
        return;
    }
    std::fprintf(stderr, "%s did not end: deadlock\n", What);
    std::fflush(stderr);
    std::_Exit(1);
}

class LockOrderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        LoadSystemLibraries();
        ASSERT_TRUE(component.LoadLibraries("")) << component.LastError();
        lines.Attach(component);
        kv::LiveComponents().ClearLines();
    }
    void TearDown() override { kv::LiveComponents().ClearLines(); }

    ControlledComponent component;
    LogCapture lines;
};

TEST_F(LockOrderTest, LinesLoggedUnderTheCodecLockArriveWhenItIsLetGo)
{
    component.Queue(1, true);
    component.Task(0).ThreadId = kv::CurrentThreadId();
    {
        kv::TCodecLockGuard guard;
        EXPECT_TRUE(kv::TCodecLock::HeldByCurrentThread());
        {
            // A context that is gone before the lock is let go, as one freed under it.
            LogSource closing{&SourceClass};
            kv::lav::av_log(&closing, AV_LOG_ERROR, "from the library\n");
        }
        component.Task(0).Log(0, "from the engine");
        kv::lav::av_log(nullptr, AV_LOG_ERROR, "a line in ");
        kv::lav::av_log(nullptr, AV_LOG_ERROR, "two parts\n");
        EXPECT_EQ(lines.Lines(), std::vector<LogLine>{}) << "nothing is delivered under the codec lock";
    }
    EXPECT_FALSE(kv::TCodecLock::HeldByCurrentThread());
    EXPECT_EQ(lines.Lines(), (std::vector<LogLine>{{0, kv::llError, Prefix() + "from the library"},
                                                   {0, kv::llError, "from the engine"},
                                                   {0, kv::llError, "a line in two parts"}}));
}

// One thread holds the codec lock and logs; an OnLog handler on another thread probes a file, which
// needs the codec lock. With the line delivered under the codec lock the two would wait for each other.
TEST_F(LockOrderTest, AHandlerThatProbesMeetsAThreadLoggingUnderTheCodecLock)
{
    const std::string file = Fixture("video_only.mp4");
    std::latch inHandler(1), codecHeld(1);
    std::atomic<bool> probed{false};
    component.OnLog = [&](int, kv::TLogLevel, const std::string& AMsg) {
        if (AMsg != "trigger")
            return;
        inHandler.count_down();
        codecHeld.wait();
        kv::TAVProbe probe;
        probed = probe.OpenFile(file);
    };
    std::future<void> handler = std::async(std::launch::async, [&] { component.DoLog(nullptr, 0, "trigger"); });
    std::future<void> codecUser = std::async(std::launch::async, [&] {
        inHandler.wait();
        kv::TCodecLockGuard guard;
        codecHeld.count_down();
        kv::lav::av_log(nullptr, AV_LOG_ERROR, "under the codec lock\n");
    });
    ExpectEnds(handler, "the probing handler");
    ExpectEnds(codecUser, "the thread logging under the codec lock");
    EXPECT_TRUE(probed);
}

// A worker in its preview step holds the preview lock and logs (its line needs the task list and the
// event lock); the main thread switches Preview (the list walked, the preview lock taken per task).
TEST_F(LockOrderTest, AWorkerLoggingInItsPreviewStepMeetsTheMainThreadSwitchingPreview)
{
    component.Queue(2, true);
    std::latch previewHeld(1);
    std::future<void> worker = std::async(std::launch::async, [&] {
        component.Task(1).ThreadId = kv::CurrentThreadId();
        std::lock_guard<std::mutex> preview(kv::PreviewLock());
        previewHeld.count_down();
        kv::lav::av_log(nullptr, AV_LOG_ERROR, "from the preview step\n");
    });
    previewHeld.wait();
    std::future<void> switching = std::async(std::launch::async, [&] {
        component.SetPreview(true);
        component.SetPreviewBitmap(true);
    });
    ExpectEnds(worker, "the worker in its preview step");
    ExpectEnds(switching, "switching Preview");
    EXPECT_EQ(component.Task(0).PreviewFlags(), 3);
    EXPECT_EQ(component.Task(1).PreviewFlags(), 3);
    EXPECT_EQ(lines.Lines(), (std::vector<LogLine>{{1, kv::llError, "from the preview step"}}));
}

// Replaces the bound codec functions with wrappers that note each call and whether the calling thread
// held the codec lock; closing means freeing a context that was opened.
class CodecCallWatch {
public:
    struct Call {
        std::string Name;
        bool Locked;
    };

    CodecCallWatch()
    {
        s_open = kv::lav::avcodec_open2;
        s_free = kv::lav::avcodec_free_context;
        s_streamInfo = kv::lav::avformat_find_stream_info;
        kv::lav::avcodec_open2 = Open;
        kv::lav::avcodec_free_context = Free;
        kv::lav::avformat_find_stream_info = StreamInfo;
    }
    ~CodecCallWatch()
    {
        kv::lav::avcodec_open2 = s_open;
        kv::lav::avcodec_free_context = s_free;
        kv::lav::avformat_find_stream_info = s_streamInfo;
    }

    static std::set<std::string> Names(bool Locked)
    {
        std::lock_guard<std::mutex> guard(s_lock);
        std::set<std::string> names;
        for (const Call& call : s_calls)
            if (call.Locked == Locked)
                names.insert(call.Name);
        return names;
    }
    static void Clear()
    {
        std::lock_guard<std::mutex> guard(s_lock);
        s_calls.clear();
    }

private:
    static void Note(const char* Name)
    {
        std::lock_guard<std::mutex> guard(s_lock);
        s_calls.push_back({Name, kv::TCodecLock::HeldByCurrentThread()});
    }
    static int Open(AVCodecContext* Context, const AVCodec* Codec, AVDictionary** Options)
    {
        Note("open");
        const int result = s_open(Context, Codec, Options);
        if (result >= 0) {
            std::lock_guard<std::mutex> guard(s_lock);
            s_opened.insert(Context);
        }
        return result;
    }
    static void Free(AVCodecContext** Context)
    {
        bool opened = false;
        if (Context && *Context) {
            std::lock_guard<std::mutex> guard(s_lock);
            opened = s_opened.erase(*Context) > 0;
        }
        if (opened)
            Note("close");
        s_free(Context);
    }
    static int StreamInfo(AVFormatContext* Context, AVDictionary** Options)
    {
        Note("stream information");
        return s_streamInfo(Context, Options);
    }

    static inline decltype(&::avcodec_open2) s_open = nullptr;
    static inline decltype(&::avcodec_free_context) s_free = nullptr;
    static inline decltype(&::avformat_find_stream_info) s_streamInfo = nullptr;
    static inline std::mutex s_lock;
    static inline std::vector<Call> s_calls;
    static inline std::set<const AVCodecContext*> s_opened;
};

TEST_F(LockOrderTest, EveryCodecOpenAndCloseHoldsTheCodecLock)
{
    const std::string file = Fixture("video_only.mp4");
    const TempFolder temp("codec-lock");
    const struct {
        const char* Name;
        std::function<void()> Work;
        std::set<std::string> Calls;
    } cases[] = {
        {"writing a PNG picture",
         [&] {
             kv::TBitmap picture;
             picture.Resize(8, 6);
             std::string error;
             EXPECT_TRUE(kv::SavePicturePNG(picture, temp.Path + "/picture.png", error)) << error;
         },
         {"open", "close"}},
        {"reading a frame with the probe",
         [&] {
             kv::TAVProbe probe;
             ASSERT_TRUE(probe.OpenFile(file)) << probe.LastError();
             probe.ReadFrame(-1, 0);
             EXPECT_TRUE(probe.FrameValid()) << probe.LastError();
             probe.CloseFile();
         },
         {"stream information", "open", "close"}},
        {"queueing a task for a file",
         [&] {
             kv::TDIdezuDOR plain;
             ASSERT_EQ(plain.AddTask(file), 0) << plain.LastError();
             plain.ClearTasks();
         },
         {"stream information"}},
    };
    CodecCallWatch watch;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        CodecCallWatch::Clear();
        c.Work();
        EXPECT_EQ(CodecCallWatch::Names(true), c.Calls);
        EXPECT_EQ(CodecCallWatch::Names(false), std::set<std::string>{}) << "made without the codec lock";
    }
}

}  // namespace
