// The engine component: queue scheduling, stop, pause and resume, event delivery and the queue's
// bookkeeping, with tasks whose runs the tests control.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>

#include "ControlledTask.h"
#include "TestSupport.h"
#include "media/FFmpegLoader.h"

using namespace kvtest;
using kv::CurrentThreadId;

namespace {

class ComponentTest : public ::testing::Test {
protected:
    void SetUp() override { LoadSystemLibraries(); }
};

TEST_F(ComponentTest, ProgressIntervalHasAFloorOf100)
{
    const struct {
        int Given;
        int Read;
    } cases[] = {{50, 100}, {100, 100}, {101, 101}, {-5, 100}, {2000, 2000}};
    kv::TDIdezuDOR component;
    for (const auto& c : cases) {
        component.SetProgressInterval(c.Given);
        EXPECT_EQ(component.ProgressInterval(), c.Read) << c.Given;
    }
    EXPECT_EQ(component.Version(), "2.3c");
}

TEST_F(ComponentTest, CountOneRunsTasksOneAtATimeInQueueOrder)
{
    ControlledComponent component;
    TerminateRecorder recorder;
    recorder.Attach(component);
    std::mutex lock;
    std::vector<int> startOrder;
    int running = 0;
    int mostAtOnce = 0;
    component.Queue(3, false);
    // Each run ends a few steps after it starts.
    for (int i = 0; i < 3; ++i)
        component.Task(i).OnRunStep = [&](ControlledTask& task) {
            std::lock_guard<std::mutex> guard(lock);
            if (task.Steps == 1) {
                startOrder.push_back(task.TaskIndex);
                mostAtOnce = std::max(mostAtOnce, ++running);
            }
            if (task.Steps == 5) {
                --running;
                task.Release = true;
            }
        };

    component.StartConvert(1);
    ASSERT_TRUE(WaitUntil([&] { return recorder.BatchEnded(); }));

    EXPECT_EQ(recorder.Indices(), (std::vector<int>{0, 1, 2, -1}));
    std::lock_guard<std::mutex> guard(lock);
    EXPECT_EQ(startOrder, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(mostAtOnce, 1);
    for (const TerminateEvent& e : recorder.Events()) {
        EXPECT_TRUE(e.Finished) << e.Index;
        EXPECT_FALSE(e.Exception) << e.Index;
        EXPECT_EQ(e.Message, "");
        if (e.Index >= 0) {
            EXPECT_NE(e.Thread, CurrentThreadId()) << "task " << e.Index << " ran on the caller's thread";
        }
    }
}

TEST_F(ComponentTest, CountTwoStartsTwoAtOnceAndTheThirdWhenOneEnds)
{
    ControlledComponent component;
    TerminateRecorder recorder;
    recorder.Attach(component);
    component.Queue(3, false);

    component.StartConvert(2);
    ASSERT_TRUE(WaitUntil([&] { return component.Task(0).Started && component.Task(1).Started; }));
    EXPECT_FALSE(component.Task(2).Started);

    component.Task(1).Release = true;
    ASSERT_TRUE(WaitUntil([&] { return component.Task(2).Started.load(); }));
    EXPECT_FALSE(recorder.BatchEnded());
    component.Task(2).Release = true;
    component.Task(0).Release = true;
    ASSERT_TRUE(WaitUntil([&] { return recorder.BatchEnded(); }));

    const std::vector<int> indices = recorder.Indices();
    ASSERT_EQ(indices.size(), 4u);
    EXPECT_EQ(indices[0], 1);
    EXPECT_EQ(indices.back(), -1);
    EXPECT_EQ(std::set<int>(indices.begin(), indices.end() - 1), (std::set<int>{0, 1, 2}));
}

TEST_F(ComponentTest, CountZeroRunsEverythingInsideTheCall)
{
    ControlledComponent component;
    TerminateRecorder recorder;
    recorder.Attach(component);
    component.Queue(3, true);

    component.StartConvert(0);

    EXPECT_EQ(recorder.Indices(), (std::vector<int>{0, 1, 2, -1}));
    for (const TerminateEvent& e : recorder.Events())
        EXPECT_EQ(e.Thread, CurrentThreadId());
}

TEST_F(ComponentTest, AnEmptyQueueReportsNothing)
{
    ControlledComponent component;
    TerminateRecorder recorder;
    recorder.Attach(component);
    for (int count : {0, 1, 3}) {
        component.StartConvert(count);
        EXPECT_EQ(recorder.Count(), 0u) << count;
    }
}

TEST_F(ComponentTest, ATaskWithoutOutputReportsTheErrorAndTheNextOneRuns)
{
    ControlledComponent component;
    TerminateRecorder recorder;
    recorder.Attach(component);
    std::mutex logLock;
    std::vector<std::tuple<int, kv::TLogLevel, std::string>> logs;
    component.OnLog = [&](int AIndex, kv::TLogLevel ALevel, const std::string& AMsg) {
        std::lock_guard<std::mutex> guard(logLock);
        logs.emplace_back(AIndex, ALevel, AMsg);
    };
    component.Queue(1, true);
    ASSERT_EQ(component.AddTask("no-output.avi"), 1);
    component.Queue(1, true);

    component.StartConvert(1);
    ASSERT_TRUE(WaitUntil([&] { return recorder.BatchEnded(); }));

    const std::vector<TerminateEvent> events = recorder.Events();
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[1].Index, 1);
    EXPECT_FALSE(events[1].Finished);
    EXPECT_TRUE(events[1].Exception);
    EXPECT_EQ(events[1].Message, "At least one output file must be specified");
    EXPECT_EQ(events[2].Index, 2);
    EXPECT_TRUE(events[2].Finished);
    EXPECT_EQ(events[3].Index, -1);
    std::lock_guard<std::mutex> guard(logLock);
    EXPECT_NE(std::find(logs.begin(), logs.end(),
                        std::make_tuple(1, kv::llQuiet, std::string("At least one output file must be specified"))),
              logs.end());
}

TEST_F(ComponentTest, StopWhileTheFirstOfThreeRuns)
{
    ControlledComponent component;
    TerminateRecorder recorder;
    recorder.Attach(component);
    component.Queue(3, false);

    component.StartConvert(1);
    ASSERT_TRUE(WaitUntil([&] { return component.Task(0).Steps > 3; }));
    const int runThread = component.Task(0).RunThread;
    component.StopConvert();
    ASSERT_TRUE(WaitUntil([&] { return recorder.BatchEnded(); }));

    const std::vector<TerminateEvent> events = recorder.Events();
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events.back().Index, -1);
    std::set<int> seen;
    for (size_t i = 0; i + 1 < events.size(); ++i) {
        const TerminateEvent& e = events[i];
        seen.insert(e.Index);
        EXPECT_FALSE(e.Finished) << e.Index;
        EXPECT_FALSE(e.Exception) << e.Index;
        EXPECT_EQ(e.Message, "");
        EXPECT_NE(e.Thread, CurrentThreadId());
        if (e.Index > 0) {
            EXPECT_NE(e.Thread, runThread) << "a task that never ran reported from the worker of another";
        }
    }
    EXPECT_EQ(seen, (std::set<int>{0, 1, 2}));
    EXPECT_FALSE(component.Task(1).Started);
    EXPECT_FALSE(component.Task(2).Started);
}

TEST_F(ComponentTest, RemoveTaskRenumbersTheFollowingTasks)
{
    ControlledComponent component;
    TerminateRecorder recorder;
    recorder.Attach(component);
    component.Queue(3, true);
    ControlledTask* second = &component.Task(1);
    ControlledTask* third = &component.Task(2);

    component.RemoveTask(0);

    ASSERT_EQ(component.TaskCount(), 2);
    EXPECT_EQ(&component.Task(0), second);
    EXPECT_EQ(&component.Task(1), third);
    EXPECT_EQ(second->TaskIndex, 0);
    EXPECT_EQ(third->TaskIndex, 1);
    component.StartConvert(0);
    EXPECT_EQ(recorder.Indices(), (std::vector<int>{0, 1, -1}));
    EXPECT_THROW(component.RemoveTask(2), kv::EListError);
}

TEST_F(ComponentTest, AddTaskAndSetOutputFileApplyTheRecordsInOrder)
{
    ControlledComponent component;
    kv::TInputOptions input;
    input.StartTime = 1500;
    input.StartTimeUS = 2000000;
    input.ProgramID = 3;
    input.ForceFormat = "avi";
    input.ExtOptions = "threads=2";
    const int index = component.AddTask("/media/clip.avi", &input);
    ASSERT_EQ(index, 0) << component.LastError();
    EXPECT_EQ(input.FileName, "/media/clip.avi") << "an empty file name is written back";

    kv::TOutputOptions output;
    output.ExtOptions = "newaudio=";
    output.Target = 2;
    output.HookRanges = "1000-2000";
    ASSERT_TRUE(component.SetOutputFile(index, "/out/clip.mp4", &output)) << component.LastError();
    EXPECT_EQ(output.FileName, "/out/clip.mp4");

    ControlledTask& task = component.Task(index);
    EXPECT_EQ(task.Calls, (std::vector<std::string>{"ApplyOptionLines threads=2", "ApplyInputFormat avi",
                                                    "OpenInputFile /media/clip.avi", "ApplyTargetOptions 2",
                                                    "ApplyOptionLines newaudio=", "ApplyOutputOptions",
                                                    "OpenOutputFile /out/clip.mp4", "ApplyOptionLines newaudio= new"}));
    EXPECT_EQ(task.Options().StartTime, 2000000) << "the microsecond start wins over the millisecond one";
    EXPECT_EQ(task.Options().OptProgramId, 3);
    EXPECT_EQ(task.InputOptions.FileName, "/media/clip.avi");
    EXPECT_EQ(task.OutputOptions.Target, 2);
    ASSERT_EQ(task.HookState().Ranges.size(), 1u);
    EXPECT_EQ(task.HookState().Ranges[0].End, 2000000);

    // A record that names its file keeps it; the engine still opens the argument.
    kv::TInputOptions named;
    named.FileName = "/elsewhere.avi";
    named.StartTime = 1500;
    const int other = component.AddTask("/media/other.avi", &named);
    EXPECT_EQ(named.FileName, "/elsewhere.avi");
    EXPECT_EQ(component.Task(other).Calls.back(), "OpenInputFile /media/other.avi");
    EXPECT_EQ(component.Task(other).Options().StartTime, 1500000);
}

TEST_F(ComponentTest, HookSlotsFollowTheRecordFlags)
{
    ControlledComponent component;
    component.Queue(3, true);
    kv::TOutputOptions custom, before, ranges;
    custom.CustomHook = true;
    custom.BeforeHook = true;  // the custom hook takes precedence
    before.BeforeHook = true;
    ranges.HookRanges = "0-10";
    ASSERT_TRUE(component.SetOutputFile(0, "a.mp4", &custom));
    ASSERT_TRUE(component.SetOutputFile(1, "b.mp4", &before));
    ASSERT_TRUE(component.SetOutputFile(2, "c.mp4", &ranges));

    EXPECT_TRUE(component.Task(0).CustomHookSlot);
    EXPECT_FALSE(component.Task(0).BeforeHookSlot);
    EXPECT_TRUE(component.Task(1).BeforeHookSlot);
    EXPECT_FALSE(component.Task(1).CustomHookSlot);
    EXPECT_EQ(component.Task(2).HookState().RangeCount, 1);

    // The hooks reach the component's events with the task's index, and what the handler writes comes back.
    component.OnBeforeHook = [](int AIndex, int64_t APTS, kv::THookAction& AAction) {
        AAction = (AIndex == 1 && APTS == 40000) ? kv::haStop : kv::haIgnore;
    };
    kv::THookAction action = kv::haContinue;
    component.Task(1).BeforeHookSlot(&component.Task(1), 40000, action);
    EXPECT_EQ(action, kv::haStop);
}

TEST_F(ComponentTest, FailuresLeaveTheQueueUnchangedWithTheReason)
{
    kv::TDIdezuDOR plain;
    EXPECT_EQ(plain.AddTask("/nowhere/clip.avi"), -1);
    EXPECT_NE(plain.LastError().find("/nowhere/clip.avi"), std::string::npos) << plain.LastError();
    kv::TInputOptions forced;
    forced.ForceFormat = "nosuchformat";
    EXPECT_EQ(plain.AddTask("/nowhere/clip.avi", &forced), -1);
    EXPECT_EQ(plain.LastError(), "Unknown input format: nosuchformat");
    EXPECT_EQ(plain.TaskCount(), 0);

    ControlledComponent component;
    component.Prepare = [](ControlledTask& task) { task.InputOpens = false; };
    EXPECT_EQ(component.AddTask("broken.avi"), -1);
    EXPECT_EQ(component.LastError(), "broken.avi: cannot be opened");
    EXPECT_EQ(component.TaskCount(), 0);

    component.Prepare = nullptr;
    component.Queue(1, true);
    EXPECT_FALSE(component.SetOutputFile(3, "x.mp4"));
    EXPECT_EQ(component.LastError(), "List index out of bounds (3)");
    component.ClearTasks();
    EXPECT_EQ(component.LastError(), "");
}

TEST_F(ComponentTest, ATerminateHandlerMayClearTheQueue)
{
    for (int count : {0, 1, 2}) {
        ControlledComponent component;
        std::atomic<int> ends{0};
        component.OnTerminate = [&](int AIndex, bool, bool, const std::string&) {
            if (AIndex == -1) {
                component.ClearTasks();  // frees the task that is reporting, too
                ++ends;
            }
        };
        component.Queue(3, true);
        component.StartConvert(count);
        ASSERT_TRUE(WaitUntil([&] { return ends == 1; })) << count;
        EXPECT_EQ(component.TaskCount(), 0);
    }
}

TEST_F(ComponentTest, ClearingFromATaskReportWhileAnotherRunsStopsItWithoutDeadlock)
{
    ControlledComponent component;
    std::mutex lock;
    std::vector<int> indices;
    std::atomic<bool> cleared{false};
    std::atomic<bool> ended{false};
    component.OnTerminate = [&](int AIndex, bool, bool, const std::string&) {
        {
            std::lock_guard<std::mutex> guard(lock);
            indices.push_back(AIndex);
        }
        if (AIndex == -1)
            ended = true;
        if (AIndex == 0) {
            component.ClearTasks();  // task 1 is still running and must report on its way out
            cleared = true;
        }
    };
    component.Queue(2, false);
    component.StartConvert(2);
    ASSERT_TRUE(WaitUntil([&] { return component.Task(1).Started && component.Task(0).Started; }));
    component.Task(0).Release = true;
    ASSERT_TRUE(WaitUntil([&] { return cleared && ended; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::lock_guard<std::mutex> guard(lock);
    EXPECT_EQ(std::count(indices.begin(), indices.end(), 1), 1) << "the stopped task reports its end";
    EXPECT_EQ(std::count(indices.begin(), indices.end(), -1), 1) << "the batch ends once";
    EXPECT_EQ(component.TaskCount(), 0);
}

TEST_F(ComponentTest, PauseHoldsRunningTasksAndResumeLetsThemGoOn)
{
    // Each step of the run waits at a gate until the test opens it for that step, so the pause is set
    // while the worker stands between two pause checks; "passed" is the last step through its gate.
    std::atomic<int> opened{1};
    std::atomic<int> passed{0};
    ControlledComponent component;
    TerminateRecorder recorder;
    recorder.Attach(component);
    component.Prepare = [&](ControlledTask& task) {
        task.OnRunStep = [&](ControlledTask& running) {
            while (opened < running.Steps && !running.StopRequested())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            passed = running.Steps.load();
        };
    };
    component.Queue(1, false);
    component.StartConvert(1);
    ControlledTask& task = component.Task(0);
    ASSERT_TRUE(WaitUntil([&] { return task.Steps == 2; })) << "the second step waits at its gate";

    const auto quiet = std::chrono::milliseconds(300);
    component.PauseConvert();
    EXPECT_TRUE(task.Paused());
    opened = 2;
    ASSERT_TRUE(WaitUntil([&] { return passed == 2; }));
    EXPECT_FALSE(WaitUntil([&] { return task.Steps > 2; }, quiet)) << "the run went past its pause check";

    component.ResumeConvert();
    EXPECT_TRUE(WaitUntil([&] { return task.Steps == 3; })) << "resuming lets the run go on";

    // A stop reaches a paused task, and it ends properly.
    component.PauseConvert();
    opened = 3;
    ASSERT_TRUE(WaitUntil([&] { return passed == 3; }));
    EXPECT_FALSE(WaitUntil([&] { return task.Steps > 3; }, quiet)) << "the run went past its pause check";
    component.StopConvert();
    ASSERT_TRUE(WaitUntil([&] { return recorder.BatchEnded(); }));
    EXPECT_FALSE(recorder.Events()[0].Finished);
    EXPECT_EQ(task.Steps, 3);
}

TEST_F(ComponentTest, FreeingTheComponentStopsRunningTasks)
{
    std::atomic<int> reports{0};
    {
        ControlledComponent component;
        component.OnTerminate = [&](int, bool, bool, const std::string&) { ++reports; };
        component.Queue(3, false);
        component.StartConvert(2);
        ASSERT_TRUE(WaitUntil([&] { return component.Task(0).Started && component.Task(1).Started; }));
    }
    EXPECT_GE(reports, 2);
}

TEST_F(ComponentTest, PreviewPicturesAreDeliveredOnTheMainThread)
{
    ControlledComponent component;
    auto bridge = std::make_shared<kv::TQueuedBridge>();
    component.SetMainThreadBridge(bridge);
    std::atomic<int> handlerThread{0};
    std::atomic<int> frame{0};
    component.OnPreviewBitmap = [&](int AIndex, kv::TBitmap& ABitmap, int AFrameNumber, int64_t APTS) {
        EXPECT_EQ(AIndex, 0);
        EXPECT_EQ(ABitmap.Width, 8);
        EXPECT_EQ(APTS, 40000);
        handlerThread = CurrentThreadId();
        frame = AFrameNumber;
    };
    component.Prepare = [](ControlledTask& task) {
        task.OnRunStep = [](ControlledTask& running) {
            kv::TBitmap picture;
            picture.Resize(8, 6);
            running.PreviewBitmapSlot(&running, picture, 7, 40000);  // waits for the main thread
            running.Release = true;
        };
    };
    TerminateRecorder recorder;
    recorder.Attach(component);
    component.Queue(1, false);
    component.StartConvert(1);
    ASSERT_TRUE(WaitUntil([&] {
        bridge->PumpFor(std::chrono::milliseconds(5));
        return recorder.BatchEnded();
    }));
    EXPECT_EQ(handlerThread, CurrentThreadId());
    EXPECT_EQ(frame, 7);
}

TEST_F(ComponentTest, PreviewSwitchesReachQueuedTasks)
{
    ControlledComponent component;
    component.Queue(2, true);
    component.SetPreview(true);
    EXPECT_EQ(component.Task(0).PreviewFlags(), 1);
    component.SetPreviewBitmap(true);
    EXPECT_EQ(component.Task(1).PreviewFlags(), 3);
    component.SetPreview(false);
    EXPECT_EQ(component.Task(1).PreviewFlags(), 2);
    component.Queue(1, true);
    EXPECT_EQ(component.Task(2).PreviewFlags(), 2) << "a new task takes the current switches";
}

TEST_F(ComponentTest, ProgressCarriesTheTaskIndexAndFigures)
{
    ControlledComponent component;
    std::vector<std::pair<int, int>> seen;  // index, frame
    std::atomic<bool> lockHeld{true};
    component.OnProgress = [&](int AIndex, int AFrameNumber, int AFPS, int ACurrentDuration, float, float,
                               int64_t ACurrentSize, int ATotalOutputDuration) {
        lockHeld = lockHeld && component.EventLock().HeldByCurrentThread();
        EXPECT_EQ(AFPS, 25);
        EXPECT_EQ(ACurrentDuration, AFrameNumber * 40);
        EXPECT_EQ(ACurrentSize, AFrameNumber * 1000);
        EXPECT_EQ(ATotalOutputDuration, 10000);
        seen.emplace_back(AIndex, AFrameNumber);
    };
    component.Prepare = [](ControlledTask& task) {
        task.OnRunStep = [](ControlledTask& running) {
            running.Progress(running.Steps);
            if (running.Steps == 2)
                running.Release = true;
        };
    };
    component.Queue(2, false);
    component.StartConvert(0);
    EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{0, 1}, {0, 2}, {1, 1}, {1, 2}}));
    EXPECT_TRUE(lockHeld);
}

TEST_F(ComponentTest, LoadLibrariesReportsTheLoaderError)
{
    const TempFolder temp("libav");
    const std::string& folder = temp.Path;
    std::ofstream(folder + "/libavutil.so.57") << "not a library";
    kv::TDIdezuDOR component;
    kv::FFLoader().UnloadLibs(kv::ComponentLibrarySet());
    EXPECT_FALSE(component.LoadLibraries(folder));
    EXPECT_EQ(component.LastError().rfind("Load library " + folder + "/libavutil.so.57 error: ", 0), 0u)
        << component.LastError();
    EXPECT_FALSE(component.LibrariesLoaded());
    EXPECT_TRUE(component.LoadLibraries(""));
    EXPECT_TRUE(component.LibrariesLoaded());
}

}  // namespace
