// Several tasks at once in the engine component: tasks that write or read a file of the same name never
// run side by side and keep their queue order, a task launched while the batch is paused starts paused,
// and the codec threads are shared out between the tasks that run at once.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <thread>

#include "ControlledTask.h"
#include "TestSupport.h"
#include "media/LibraryBindings.h"

using namespace kvtest;

namespace {

class ParallelTasksTest : public ::testing::Test {
protected:
    void SetUp() override { LoadSystemLibraries(); }
};

// Gives the task an output at Name.
void OutputAt(ControlledTask& Task, const std::string& Name) { Task.Files().OutputTargets[0].Path = Name; }

// Gives the task a two-pass encoder, whose statistics go to Prefix ('' the engine's default).
void TwoPass(ControlledTask& Task, const std::string& Prefix)
{
    kv::TOutputStreamSetup stream;
    stream.Encoder.reset(kv::lav::avcodec_alloc_context3(nullptr));
    ASSERT_TRUE(stream.Encoder);
    stream.Encoder->flags |= AV_CODEC_FLAG_PASS1;
    Task.Files().OutputStreams[0].push_back(std::move(stream));
    Task.Options().PassLogFilename = Prefix;
}

// Whether the task stays unstarted for a while.
bool StaysWaiting(ControlledTask& Task)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    return !Task.Started;
}

TEST_F(ParallelTasksTest, ATaskThatSharesAFileWithARunningOneWaitsForIt)
{
    const std::string here = std::filesystem::current_path().string();
    const struct {
        const char* Shared;
        std::function<void(ControlledTask&, int)> Name;  // gives task 0 or 1 the shared file
    } cases[] = {
        // The same place written two ways.
        {"output", [&](ControlledTask& t, int i) { OutputAt(t, i == 0 ? "same.mp4" : here + "/sub/../same.mp4"); }},
        {"video statistics", [](ControlledTask& t, int) { t.Options().VStatsFilename = "stats.log"; }},
        {"two-pass log", [](ControlledTask& t, int) { TwoPass(t, ""); }},
        {"named two-pass log", [](ControlledTask& t, int i) { TwoPass(t, i == 0 ? "logs/x" : "logs/./x"); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Shared);
        ControlledComponent component;
        TerminateRecorder recorder;
        recorder.Attach(component);
        component.Queue(3, false);
        for (int i = 0; i < 3; ++i)
            OutputAt(component.Task(i), "out" + std::to_string(i) + ".mp4");
        c.Name(component.Task(0), 0);
        c.Name(component.Task(1), 1);

        component.StartConvert(3);
        ASSERT_TRUE(WaitUntil([&] { return component.Task(0).Started && component.Task(2).Started; }));
        EXPECT_TRUE(StaysWaiting(component.Task(1)));
        component.Task(0).Release = true;
        ASSERT_TRUE(WaitUntil([&] { return component.Task(1).Started.load(); }));
        component.Task(1).Release = true;
        component.Task(2).Release = true;
        ASSERT_TRUE(WaitUntil([&] { return recorder.BatchEnded(); }));
        EXPECT_EQ(recorder.Count(), 4u);
    }
}

TEST_F(ParallelTasksTest, TasksThatShareNothingGoAheadWhileThoseThatShareKeepTheirOrder)
{
    // 0 and 1 share a log, 3 shares its output with 1, 2 shares nothing.
    ControlledComponent component;
    TerminateRecorder recorder;
    recorder.Attach(component);
    component.Queue(4, false);
    for (int i = 0; i < 4; ++i)
        OutputAt(component.Task(i), "out" + std::to_string(i) + ".mp4");
    component.Task(0).Options().VStatsFilename = component.Task(1).Options().VStatsFilename = "v.log";
    OutputAt(component.Task(3), "out1.mp4");

    component.StartConvert(2);
    ASSERT_TRUE(WaitUntil([&] { return component.Task(0).Started && component.Task(2).Started; }));
    EXPECT_TRUE(StaysWaiting(component.Task(1)));
    // A place is free, but 1 still waits for 0, and 3 must not overtake 1.
    component.Task(2).Release = true;
    ASSERT_TRUE(WaitUntil([&] { return recorder.Count() == 1; }));
    EXPECT_TRUE(StaysWaiting(component.Task(3)));
    EXPECT_FALSE(component.Task(1).Started);
    component.Task(0).Release = true;
    ASSERT_TRUE(WaitUntil([&] { return component.Task(1).Started.load(); }));
    EXPECT_TRUE(StaysWaiting(component.Task(3)));
    component.Task(1).Release = true;
    ASSERT_TRUE(WaitUntil([&] { return component.Task(3).Started.load(); }));
    component.Task(3).Release = true;
    ASSERT_TRUE(WaitUntil([&] { return recorder.BatchEnded(); }));
    EXPECT_EQ(recorder.Indices(), (std::vector<int>{2, 0, 1, 3, -1}));
}

TEST_F(ParallelTasksTest, ATaskLaunchedWhileTheBatchIsPausedStartsPaused)
{
    for (const int count : {1, 2}) {
        SCOPED_TRACE(count);
        ControlledComponent component;
        TerminateRecorder recorder;
        recorder.Attach(component);
        component.Queue(count + 1, false);
        // The first task is past its last pause check when Pause comes, and ends.
        component.Task(0).OnRunStep = [&](ControlledTask& task) {
            if (task.Steps == 3) {
                component.PauseConvert();
                task.Release = true;
            }
        };
        component.StartConvert(count);
        ControlledTask& late = component.Task(count);
        ASSERT_TRUE(WaitUntil([&] { return late.Started.load(); }));
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        EXPECT_EQ(late.Steps, 0) << "it ran while the batch was paused";
        component.ResumeConvert();
        ASSERT_TRUE(WaitUntil([&] { return late.Steps > 0; }));
        for (int i = 0; i <= count; ++i)
            component.Task(i).Release = true;
        ASSERT_TRUE(WaitUntil([&] { return recorder.BatchEnded(); }));
    }
}

TEST_F(ParallelTasksTest, TheCodecThreadsAreSharedOutBetweenTheTasksAtOnce)
{
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const struct {
        int CodecThreads, Count, Tasks, Each;
    } cases[] = {
        {4, 2, 3, 2},
        {4, 3, 2, 2},                       // only two tasks: two shares
        {3, 2, 2, 1},                       // a share is whole threads
        {1, 2, 2, 1},                       //
        {0, 2, 2, std::max(1, cores / 2)},  // the cores are shared
        {4, 1, 2, 4},                       // one at a time: every task gets them all
        {0, 1, 2, 0},                       //
        {4, 0, 2, 4},                       // on the caller's thread
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << c.CodecThreads << " threads, " << c.Count << " at once, " << c.Tasks << " tasks");
        ControlledComponent component;
        TerminateRecorder recorder;
        recorder.Attach(component);
        component.SetCodecThreads(c.CodecThreads);
        component.Queue(c.Tasks, true);
        component.StartConvert(c.Count);
        ASSERT_TRUE(WaitUntil([&] { return recorder.BatchEnded(); }));
        for (int i = 0; i < c.Tasks; ++i)
            EXPECT_EQ(component.Task(i).CodecThreads(), c.Each) << "task " << i;
    }
}

}  // namespace
