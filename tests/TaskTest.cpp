// The life of one task: start validation, the end report, stop, freeing while running, and the release
// of what it holds.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "ControlledTask.h"
#include "TestSupport.h"
#include "media/FFmpegLoader.h"
#include "media/LibraryBindings.h"
#include "media/TextAndPath.h"

using namespace kvtest;

namespace {

struct Report {
    std::mutex Lock;
    std::vector<std::pair<int, std::string>> Logs;
    std::vector<int> TerminateThreads;

    void Attach(kv::TCustomFFmpeg& Task)
    {
        Task.LogSlot = [this](kv::TCustomFFmpeg*, int Level, const std::string& Text) {
            std::lock_guard<std::mutex> guard(Lock);
            Logs.emplace_back(Level, Text);
        };
        Task.TerminateSlot = [this](kv::TCustomFFmpeg*) {
            std::lock_guard<std::mutex> guard(Lock);
            TerminateThreads.push_back(kv::CurrentThreadId());
        };
    }
    size_t Terminations()
    {
        std::lock_guard<std::mutex> guard(Lock);
        return TerminateThreads.size();
    }
};

class TaskTest : public ::testing::Test {
protected:
    void SetUp() override { LoadSystemLibraries(); }

    // A reset task with an input and an output, reporting to Report.
    static void MakeRunnable(ControlledTask& Task, Report& Report)
    {
        Report.Attach(Task);
        Task.ResetTask();
        Task.Files().NbInputFiles = Task.Files().NbOutputFiles = 1;
    }
};

TEST_F(TaskTest, StartValidationChecksTheOutputBeforeTheInput)
{
    const struct {
        int Inputs;
        int Outputs;
        const char* Message;
    } cases[] = {
        {0, 0, "At least one output file must be specified"},
        {1, 0, "At least one output file must be specified"},
        {0, 1, "At least one input file must be specified"},
    };
    for (const auto& c : cases) {
        ControlledTask task;
        Report report;
        report.Attach(task);
        task.ResetTask();
        task.Files().NbInputFiles = c.Inputs;
        task.Files().NbOutputFiles = c.Outputs;

        EXPECT_EQ(task.StartTask(true, kv::tpNormal), nullptr);

        EXPECT_TRUE(task.ExitWithError());
        EXPECT_EQ(task.ExitMessage(), c.Message);
        EXPECT_TRUE(task.Terminated());
        EXPECT_FALSE(task.Running());
        EXPECT_FALSE(task.Started);
        ASSERT_EQ(report.Logs.size(), 1u);
        EXPECT_EQ(report.Logs[0], std::make_pair(-1, std::string(c.Message)));
        EXPECT_EQ(report.Terminations(), 1u);
        EXPECT_EQ(task.Files().NbInputFiles, 0) << "resources are released on the failure";

        // An ended task is passed over and reports nothing more.
        EXPECT_EQ(task.StartTask(false, kv::tpNormal), nullptr);
        task.StopTask();
        EXPECT_EQ(report.Terminations(), 1u);
    }
}

TEST_F(TaskTest, ATaskThatNeverRanReportsItsEndOnceFromAThreadOfItsOwn)
{
    ControlledTask task;
    Report report;
    report.Attach(task);
    task.ResetTask();

    task.StopTask();
    task.StopTask();
    ASSERT_TRUE(WaitUntil([&] { return report.Terminations() >= 1; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));

    EXPECT_EQ(report.Terminations(), 1u);
    EXPECT_NE(report.TerminateThreads[0], kv::CurrentThreadId());
    EXPECT_TRUE(task.Terminated());
    EXPECT_FALSE(task.Finished());
    EXPECT_FALSE(task.ExitWithError());
    EXPECT_EQ(task.StartTask(true, kv::tpNormal), nullptr) << "a stopped task is not started again";
}

TEST_F(TaskTest, RunOutcomesReachTheEndReport)
{
    const struct {
        const char* FailWith;
        bool Stop;
        bool Finished;
        bool Error;
    } cases[] = {
        {"", false, true, false},
        {"", true, false, false},
        {"Error while opening codec for output stream #0.0", false, false, true},
    };
    for (const auto& c : cases) {
        ControlledTask task;
        Report report;
        MakeRunnable(task, report);
        task.FailWith = c.FailWith;
        task.Release = !c.Stop;
        task.OnRunStep = [&](ControlledTask& running) { running.RequestStop(); };

        std::shared_ptr<kv::TFFmpegThread> thread = task.StartTask(true, kv::tpLower);
        ASSERT_NE(thread, nullptr);
        EXPECT_TRUE(task.Running());
        EXPECT_FALSE(task.Started) << "the worker waits to be resumed";
        thread->Resume();
        ASSERT_TRUE(WaitUntil([&] { return report.Terminations() == 1; }));

        EXPECT_EQ(task.Finished(), c.Finished) << c.FailWith;
        EXPECT_EQ(task.ExitWithError(), c.Error);
        EXPECT_EQ(task.ExitMessage(), c.FailWith);
        EXPECT_EQ(report.TerminateThreads[0], task.RunThread);
        EXPECT_EQ(task.WorkerThread(), nullptr);
        EXPECT_EQ(report.Logs.size(), c.Error ? 1u : 0u);
    }
}

TEST_F(TaskTest, AnyFailureOfTheRunEndsTheTaskInsteadOfTheProcess)
{
    ControlledTask task;
    Report report;
    MakeRunnable(task, report);
    task.OnRunStep = [](ControlledTask&) { throw std::bad_alloc(); };
    task.StartTask(true, kv::tpNormal)->Resume();
    ASSERT_TRUE(WaitUntil([&] { return report.Terminations() == 1; }));
    EXPECT_TRUE(task.ExitWithError());
    EXPECT_EQ(task.ExitMessage(), std::bad_alloc().what());
}

TEST_F(TaskTest, FreeingARunningTaskWaitsForItsWorker)
{
    std::atomic<bool> ended{false};
    auto task = std::make_unique<ControlledTask>();
    task->ResetTask();
    task->Files().NbInputFiles = task->Files().NbOutputFiles = 1;
    task->TerminateSlot = [&](kv::TCustomFFmpeg*) { ended = true; };
    task->StartTask(true, kv::tpNormal)->Resume();
    ASSERT_TRUE(WaitUntil([&] { return task->Steps > 2; }));

    task.reset();
    // The worker left before the task was released: it reported its end, and nothing runs any more.
    EXPECT_TRUE(ended);
}

TEST_F(TaskTest, ATaskMayBeFreedFromInsideItsOwnEndReport)
{
    std::unique_ptr<ControlledTask> task = std::make_unique<ControlledTask>();
    std::atomic<bool> freed{false};
    task->ResetTask();
    task->Files().NbInputFiles = task->Files().NbOutputFiles = 1;
    task->Release = true;
    task->TerminateSlot = [&](kv::TCustomFFmpeg*) {
        task.reset();
        freed = true;
    };
    task->StartTask(true, kv::tpIdle)->Resume();
    ASSERT_TRUE(WaitUntil([&] { return freed.load(); }));
}

// A run that counts the pause checks it begins and the ones that return, and before each check waits
// at a gate the test opens, so that the test acts while the worker stands at a known point.
class CheckpointTask : public ControlledTask {
public:
    std::atomic<int> Opened{0};   // checks the gate lets the worker begin
    std::atomic<int> Entered{0};  // checks begun
    std::atomic<int> Left{0};     // checks returned

protected:
    void Transcode() override
    {
        for (bool going = true; going;) {
            while (Opened <= Entered && !StopRequested())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            ++Entered;
            going = CheckPause();
            ++Left;
        }
        SetFinished(!StopRequested());
    }
};

TEST_F(TaskTest, PauseHoldsTheWorkerInItsCheckUntilResumeOrStop)
{
    CheckpointTask task;
    Report report;
    report.Attach(task);
    task.PauseTask();
    EXPECT_FALSE(task.Paused()) << "without a worker there is nothing to pause";

    task.ResetTask();
    task.Files().NbInputFiles = task.Files().NbOutputFiles = 1;
    task.StartTask(true, kv::tpNormal)->Resume();
    task.Opened = 1;
    ASSERT_TRUE(WaitUntil([&] { return task.Left == 1; })) << "a check without a pause returns";

    // Paused while the worker stands at the gate: it begins its next check and stays inside it.
    const auto quiet = std::chrono::milliseconds(300);
    task.PauseTask();
    ASSERT_TRUE(task.Paused());
    task.Opened = 2;
    ASSERT_TRUE(WaitUntil([&] { return task.Entered == 2; }));
    EXPECT_FALSE(WaitUntil([&] { return task.Left == 2; }, quiet)) << "the check returned while paused";
    task.ResumeTask();
    EXPECT_TRUE(WaitUntil([&] { return task.Left == 2; })) << "resuming lets the worker go on";

    // Held again; a stop releases it and the run ends unfinished.
    task.PauseTask();
    task.Opened = 3;
    ASSERT_TRUE(WaitUntil([&] { return task.Entered == 3; }));
    EXPECT_FALSE(WaitUntil([&] { return task.Left == 3; }, quiet)) << "the check returned while paused";
    task.RequestStop();
    ASSERT_TRUE(WaitUntil([&] { return report.Terminations() == 1; }));
    EXPECT_EQ(task.Left, 3);
    EXPECT_FALSE(task.Finished());
}

TEST_F(TaskTest, WorkersRunAtTheirPriority)
{
    const int base = ::getpriority(PRIO_PROCESS, static_cast<id_t>(kv::CurrentThreadId()));
    const struct {
        kv::TConvertPriority Priority;
        int Policy;
        int Nice;
    } cases[] = {
        {kv::tpNormal, SCHED_OTHER, base},
        {kv::tpLower, SCHED_OTHER, std::min(19, base + 5)},
        {kv::tpLowest, SCHED_OTHER, std::min(19, base + 15)},
        {kv::tpIdle, SCHED_IDLE, base},
    };
    for (const auto& c : cases) {
        ControlledTask task;
        Report report;
        MakeRunnable(task, report);
        std::atomic<int> policy{-1}, nice{-100};
        task.OnRunStep = [&](ControlledTask& running) {
            policy = ::sched_getscheduler(0);
            nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(kv::CurrentThreadId()));
            running.Release = true;
        };
        task.StartTask(true, c.Priority)->Resume();
        ASSERT_TRUE(WaitUntil([&] { return report.Terminations() == 1; }));
        EXPECT_EQ(policy, c.Policy) << c.Priority;
        EXPECT_EQ(nice, c.Nice) << c.Priority;
    }
    EXPECT_EQ(::getpriority(PRIO_PROCESS, static_cast<id_t>(kv::CurrentThreadId())), base)
        << "the caller's own priority is left alone";
}

TEST_F(TaskTest, ResetCreatesTheOptionContextsAndFreeingReleasesThem)
{
    ControlledTask task;
    EXPECT_FALSE(task.OptionStore().Created());
    task.ResetTask();
    kv::TOptionStore& store = task.OptionStore();
    ASSERT_TRUE(store.Created());
    for (size_t type = 0; type < store.CodecOptions.size(); ++type) {
        ASSERT_NE(store.CodecOptions[type], nullptr);
        EXPECT_EQ(store.CodecOptions[type]->codec_type, static_cast<AVMediaType>(type));
    }
    EXPECT_NE(store.ScalerOptions, nullptr);

    task.Options().VideoCodecName = "mpeg4";
    task.Options().IntraMatrix.emplace();
    task.FreeTaskResources();
    EXPECT_FALSE(store.Created());
    EXPECT_EQ(store.CodecOptions[1], nullptr);
    EXPECT_EQ(task.Options().VideoCodecName, "");
    EXPECT_FALSE(task.Options().IntraMatrix);
}

TEST_F(TaskTest, DefaultsOfTheOptionFields)
{
    ControlledTask task;
    task.Options().AudioChannels = 6;
    task.Options().PaddingColor = {0, 0, 0};
    task.ResetTask();
    const kv::TTaskOptions& o = task.Options();
    EXPECT_EQ(o.PaddingColor, (std::array<int, 3>{16, 128, 128}));
    EXPECT_EQ(o.MaxFrames, (std::array<int, 4>{INT_MAX, INT_MAX, INT_MAX, INT_MAX}));
    EXPECT_EQ(o.FramePixFmt, -1);
    EXPECT_EQ(o.AudioSampleFmt, -1);
    EXPECT_EQ(o.AudioSampleRate, 44100);
    EXPECT_EQ(o.AudioChannels, 2);
    EXPECT_EQ(o.AudioQScale, -99999.0f);
    EXPECT_EQ(o.AudioVolume, 256);
    EXPECT_EQ(o.RecordingTime, INT64_MAX);
    EXPECT_EQ(o.VideoSyncMethod, -1);
    EXPECT_EQ(o.TopFieldFirst, -1);
    EXPECT_EQ(o.IntraDcPrecision, 8);
    EXPECT_EQ(o.LoopOutput, -1);
    EXPECT_EQ(o.SwsFlags, 4);
    EXPECT_FLOAT_EQ(o.MuxPreload, 0.5f);
    EXPECT_FLOAT_EQ(o.MuxMaxDelay, 0.7f);
    EXPECT_FLOAT_EQ(o.DtsDeltaThreshold, 10.0f);
    EXPECT_EQ(o.OutputFilter.Name, "ffmpeg_output");
    EXPECT_EQ(task.TotalDurationMS(), -1);
    EXPECT_EQ(task.ProgressInterval(), 500000);
    EXPECT_EQ(task.PreviewInterval(), 100000);
}

TEST_F(TaskTest, AnOutputThatStayedEmptyIsDeletedWhenTheTaskIsFreed)
{
    const TempFolder temp("outputs");
    const std::string& folder = temp.Path;
    const struct {
        const char* Name;
        const char* Content;
        bool Kept;
    } cases[] = {{"empty.mp4", "", false}, {"written.mp4", "data", true}};
    ControlledTask task;
    task.ResetTask();
    int slot = 0;
    for (const auto& c : cases) {
        const std::string path = folder + "/" + c.Name;
        std::ofstream(path) << c.Content;
        kv::FormatContextPtr output(kv::lav::avformat_alloc_context());
        output->url = kv::lav::av_strdup(path.c_str());
        // Files the task created itself, as preparing their outputs records them.
        struct stat status {};
        ASSERT_EQ(::stat(path.c_str(), &status), 0);
        task.Files().OutputTargets[static_cast<size_t>(slot)] = {path, true, status.st_dev, status.st_ino, {}};
        task.Files().OutputFiles[static_cast<size_t>(slot++)] = std::move(output);
    }
    task.Files().NbOutputFiles = slot;

    task.FreeTaskResources();

    EXPECT_EQ(task.Files().NbOutputFiles, 0);
    for (const auto& c : cases)
        EXPECT_EQ(kv::FileExistsW(folder + "/" + c.Name), c.Kept) << c.Name;
}

TEST_F(TaskTest, LogLevelReachesTheLibraryAndTheThreshold)
{
    ControlledTask task;
    const struct {
        int Level;
        int Library;
    } cases[] = {{-1, AV_LOG_QUIET}, {0, AV_LOG_ERROR}, {1, AV_LOG_INFO},
                 {2, AV_LOG_DEBUG},  {3, AV_LOG_TRACE}, {7, AV_LOG_TRACE}};
    for (const auto& c : cases) {
        task.SetLogLevel(c.Level);
        EXPECT_EQ(task.Options().Verbose, c.Level);
        EXPECT_EQ(kv::lav::av_log_get_level(), c.Library) << c.Level;
        EXPECT_EQ(kv::LogThreshold(), c.Level);
    }
    task.SetLogLevel(1);
}

}  // namespace
