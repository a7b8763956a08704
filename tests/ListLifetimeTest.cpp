// The task list hands out pinned tasks: a task that another thread is using (a log line being delivered
// for it, a launch on a worker) stays alive while the main thread removes it, and is freed by whoever
// lets go of it last, never under an event lock. Actions run over the list without its lock.
#include <gtest/gtest.h>

#include <future>
#include <latch>
#include <thread>

#include "ControlledTask.h"
#include "TestSupport.h"
#include "media/FFmpegLoader.h"
#include "media/LibraryBindings.h"

using namespace kvtest;

namespace {

// A controlled task that says when it is freed.
class TrackedTask : public ControlledTask {
public:
    explicit TrackedTask(std::shared_ptr<std::atomic<bool>> Freed) : m_freed(std::move(Freed)) {}
    ~TrackedTask() override { *m_freed = true; }

private:
    std::shared_ptr<std::atomic<bool>> m_freed;
};

// Queues tracked tasks, and lets a test stop a log line on its way in: BeforeLog runs first and says
// whether the line may go on to the component (a freed sender must not be touched).
class TrackedComponent : public ControlledComponent {
public:
    std::vector<std::shared_ptr<std::atomic<bool>>> Freed;  // per created task, in creation order
    std::function<bool(kv::TCustomFFmpeg* Sender, const std::string& Text)> BeforeLog;

    void DoLog(kv::TCustomFFmpeg* Sender, int ALevel, const std::string& AText) override
    {
        if (BeforeLog && !BeforeLog(Sender, AText))
            return;
        ControlledComponent::DoLog(Sender, ALevel, AText);
    }

protected:
    std::unique_ptr<kv::TFFmpeg> CreateTask() override
    {
        Freed.push_back(std::make_shared<std::atomic<bool>>(false));
        auto task = std::make_unique<TrackedTask>(Freed.back());
        if (Prepare)
            Prepare(*task);
        return task;
    }
};

class ListLifetimeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        LoadSystemLibraries();
        ASSERT_TRUE(component.LoadLibraries("")) << component.LastError();
        component.OnLog = [](int, kv::TLogLevel, const std::string&) {};
    }

    TrackedComponent component;
};

TEST_F(ListLifetimeTest, ALineBeingDeliveredKeepsItsTaskWhileTheMainThreadRemovesIt)
{
    component.Queue(2, true);
    const std::shared_ptr<std::atomic<bool>> freed = component.Freed[1];
    std::latch reached(1), removed(1);
    std::atomic<bool> aliveWhenUsed{false};
    component.BeforeLog = [&](kv::TCustomFFmpeg*, const std::string& Text) {
        if (Text != "worker line")
            return true;
        // The line has found its task; the main thread removes the task now.
        reached.count_down();
        removed.wait();
        aliveWhenUsed = !*freed;
        return aliveWhenUsed.load();
    };
    std::thread worker([&] {
        component.Task(1).ThreadId = kv::CurrentThreadId();  // this thread runs task 1
        kv::lav::av_log(nullptr, AV_LOG_ERROR, "worker line\n");
    });
    reached.wait();
    component.RemoveTask(1);
    EXPECT_EQ(component.TaskCount(), 1);
    removed.count_down();
    worker.join();

    EXPECT_TRUE(aliveWhenUsed) << "the task was freed while a line for it was being delivered";
    EXPECT_TRUE(*freed) << "the task is freed once its line has been delivered";
}

TEST_F(ListLifetimeTest, ALaunchOnAWorkerKeepsItsTaskWhileTheMainThreadRemovesIt)
{
    TerminateRecorder recorder;
    recorder.Attach(component);
    component.Queue(1, true);                          // ends at once: its worker launches the next task
    ASSERT_EQ(component.AddTask("no-output.avi"), 1);  // fails its start inside that launch
    const std::shared_ptr<std::atomic<bool>> freed = component.Freed[1];
    const int mainThread = kv::CurrentThreadId();
    std::latch reached(1), removed(1);
    std::atomic<bool> aliveWhenUsed{false};
    std::atomic<int> launchThread{0};
    component.BeforeLog = [&](kv::TCustomFFmpeg*, const std::string& Text) {
        if (Text != "At least one output file must be specified" || kv::CurrentThreadId() == mainThread)
            return true;
        launchThread = kv::CurrentThreadId();
        reached.count_down();
        removed.wait();
        aliveWhenUsed = !*freed;
        return aliveWhenUsed.load();
    };

    component.StartConvert(1);
    reached.wait();
    component.RemoveTask(1);
    removed.count_down();
    ASSERT_TRUE(WaitUntil([&] { return recorder.BatchEnded(); }));

    EXPECT_TRUE(aliveWhenUsed) << "the task was freed while a worker was launching it";
    EXPECT_NE(launchThread, mainThread);
    EXPECT_TRUE(WaitUntil([&] { return freed->load(); })) << "freed by the worker once its launch is over";
    EXPECT_EQ(recorder.Indices(), (std::vector<int>{0, 1, -1}));
    EXPECT_EQ(component.TaskCount(), 1);
}

TEST_F(ListLifetimeTest, ATaskLetGoUnderAnEventLockIsFreedWhenTheLockIsReleased)
{
    component.Queue(1, true);
    const std::shared_ptr<std::atomic<bool>> freed = component.Freed[0];
    kv::TFFmpegPin pin = component.TaskPin(0);
    component.RemoveTask(0);
    EXPECT_FALSE(*freed) << "a pinned task outlives its removal";
    {
        std::lock_guard<kv::TEventLock> outer(component.EventLock());
        std::lock_guard<kv::TEventLock> inner(component.EventLock());
        pin.reset();
        // Freeing waits for the task's threads, which may need this lock, and takes the preview lock,
        // which comes before it.
        EXPECT_FALSE(*freed);
    }
    EXPECT_TRUE(*freed);
}

// The situation of a worker that logs inside its preview step (preview lock held, the list needed to
// find its task) while the main thread switches Preview (the list walked, the preview lock needed for
// each task): the list's lock must not be held while an action runs.
TEST(TaskListTest, ActionsRunWithoutTheListsLock)
{
    LoadSystemLibraries();
    kv::TFFmpegList list;
    list.Add(std::make_unique<ControlledTask>());
    list.Add(std::make_unique<ControlledTask>());
    list.Items(1).ThreadId = 77;
    int visited = 0;
    std::vector<kv::TFFmpeg*> found;
    kv::TFFmpegPin removed;
    std::vector<std::thread> others;  // joined after the walk: one still waiting then finishes
    list.ForEach([&](kv::TFFmpeg& task) {
        EXPECT_EQ(task.TaskIndex, visited++);
        std::promise<kv::TFFmpeg*> lookup;
        std::future<kv::TFFmpeg*> result = lookup.get_future();
        others.emplace_back(
            [&list, lookup = std::move(lookup)]() mutable { lookup.set_value(list.FindByThread(77).get()); });
        ASSERT_EQ(result.wait_for(std::chrono::seconds(20)), std::future_status::ready)
            << "another thread cannot use the list while an action runs";
        found.push_back(result.get());
        // An action may change the list; the walk goes on over the tasks it started with.
        if (task.TaskIndex == 0)
            removed = list.Extract(1);
    });
    for (std::thread& other : others)
        other.join();
    EXPECT_EQ(visited, 2);
    ASSERT_NE(removed, nullptr);
    EXPECT_EQ(found, (std::vector<kv::TFFmpeg*>{removed.get(), nullptr}));
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Pin(1), nullptr);
    EXPECT_THROW(list.PinOrRaise(1), kv::EListError);
}

}  // namespace
