// A task outside its working life: used after its resources were released or before it was ever reset,
// and freed while its worker still runs code of a derived task.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <numeric>
#include <thread>
#include <vector>

#include "MediaFixtures.h"
#include "TestSupport.h"
#include "component/DIdezuDOR.h"
#include "engine/FFmpegException.h"
#include "engine/FFmpegTask.h"

using namespace kvtest;

namespace {

const std::string NoResources =
    "The task's resources were released or never created; reset the task before using it again";

class TaskLifetimeTest : public ::testing::Test {
protected:
    void SetUp() override { LoadSystemLibraries(); }

    // The message of what Operation raises, or "" when it raises nothing.
    static std::string Raised(const std::function<void()>& Operation)
    {
        try {
            Operation();
        } catch (const kv::Exception& e) {
            return e.what();
        }
        return "";
    }

    // Every set-up step that uses the option store or the prepared files refuses with NoResources.
    void ExpectEveryStepRefused(kv::TFFmpeg& Task, const std::string& Situation)
    {
        SCOPED_TRACE(Situation);
        const std::string output = out.Path + "/out.mp4";
        EXPECT_EQ(Task.OpenOutputFile(output), -1);
        EXPECT_EQ(Task.ErrorText(), NoResources);
        EXPECT_FALSE(Task.OpenInputFile(Fixture("video_audio.avi")));
        EXPECT_EQ(Task.ErrorText(), NoResources);

        kv::TOutputOptions record;
        kv::ResetOutputOptions(record);
        record.VideoBitrate = 800000;
        const struct {
            const char* Step;
            std::function<void()> Operation;
        } steps[] = {
            {"generic option", [&] { Task.SetOption("bufsize", "1000000"); }},
            {"bit rate option", [&] { Task.SetOption("b", "800000"); }},
            {"new-stream line", [&] { Task.ApplyOptionLines("newvideo", true); }},
            {"new stream", [&] { Task.NewAudioStream(0); }},
            {"output record", [&] { Task.ApplyOutputOptions(record); }},
            {"target preset", [&] { Task.ApplyTargetOptions(record); }},
            {"input format", [&] { Task.ApplyInputFormat("avi"); }},
        };
        for (const auto& step : steps)
            EXPECT_EQ(Raised(step.Operation), NoResources) << step.Step;
    }

    TempFolder out{"lifetime"};
};

TEST_F(TaskLifetimeTest, AnOutputForATaskWhoseStartFailedIsRefusedWithAClearMessage)
{
    kv::TDIdezuDOR component;
    for (const bool withRecord : {false, true}) {
        const int index = component.AddTask(Fixture("video_audio.avi"));
        ASSERT_GE(index, 0) << component.LastError();
        // Without an output the start fails, and the failure releases what the task holds.
        component.StartConvert(0);
        ASSERT_TRUE(component.Tasks(index).Terminated());

        kv::TOutputOptions record;
        kv::ResetOutputOptions(record);
        record.VideoCodec = "mpeg4";
        EXPECT_FALSE(component.SetOutputFile(index, out.Path + "/late.mp4", withRecord ? &record : nullptr));
        EXPECT_EQ(component.LastError(), NoResources) << "with record: " << withRecord;
        ExpectEveryStepRefused(component.Tasks(index), "after a failed start");
        component.ClearTasks();
    }
}

TEST_F(TaskLifetimeTest, ATaskUsedWithoutResetIsRefusedAndResetMakesItUsable)
{
    auto task = std::make_unique<kv::TFFmpeg>();
    ExpectEveryStepRefused(*task, "never reset");

    task->ResetTask();
    ASSERT_TRUE(task->OpenInputFile(Fixture("video_audio.avi"))) << task->ErrorText();
    EXPECT_EQ(task->OpenOutputFile(out.Path + "/after_reset.mp4"), 1) << task->ErrorText();

    // Released by a start that fails (an input but no output), usable again after another reset.
    task->ResetTask();
    ASSERT_TRUE(task->OpenInputFile(Fixture("video_audio.avi"))) << task->ErrorText();
    task->StartTask(false, kv::tpNormal);
    ASSERT_TRUE(task->ExitWithError());
    ExpectEveryStepRefused(*task, "after the start failed");
    task->ResetTask();
    EXPECT_TRUE(task->OpenInputFile(Fixture("video_audio.avi"))) << task->ErrorText();
}

// A task with state of its own that its run uses until the very end, as a conversion's own state.
class MemberTask : public kv::TFFmpeg {
public:
    static constexpr int Alive = 0x600D;
    static constexpr int Destroyed = 0xDEAD;

    explicit MemberTask(std::shared_ptr<std::atomic<int>> Seen) : m_seen(std::move(Seen)) {}
    ~MemberTask() override { m_sentinel = Destroyed; }

    std::atomic<bool> Running{false};

protected:
    void Transcode() override
    {
        Running = true;
        while (CheckPause())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        // Winding down after the stop request still uses the task's own members.
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        const int sum = std::accumulate(m_samples.begin(), m_samples.end(), 0);
        m_seen->store(sum == static_cast<int>(m_samples.size()) ? m_sentinel.load() : -1);
    }

private:
    std::shared_ptr<std::atomic<int>> m_seen;
    std::atomic<int> m_sentinel{Alive};
    std::vector<int> m_samples = std::vector<int>(4096, 1);
};

TEST_F(TaskLifetimeTest, FreeingARunningDerivedTaskWaitsBeforeAnyOfItsMembersGo)
{
    const struct {
        const char* Owner;
        bool Resumed;
    } cases[] = {{"TFFmpeg owner, running", true},
                 {"TCustomFFmpeg owner, running", true},
                 {"TFFmpeg owner, worker never resumed", false}};
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        auto seen = std::make_shared<std::atomic<int>>(0);
        auto task = std::make_unique<MemberTask>(seen);
        std::atomic<bool>& running = task->Running;
        task->ResetTask();
        task->Files().NbInputFiles = task->Files().NbOutputFiles = 1;
        std::shared_ptr<kv::TFFmpegThread> worker = task->StartTask(true, kv::tpNormal);
        ASSERT_NE(worker, nullptr);
        if (c.Resumed) {
            worker->Resume();
            ASSERT_TRUE(WaitUntil([&] { return running.load(); }));
        }

        if (i == 1) {
            std::unique_ptr<kv::TCustomFFmpeg> owner(task.release());
            owner.reset();
        } else {
            std::unique_ptr<kv::TFFmpeg> owner(task.release());
            owner.reset();
        }
        EXPECT_EQ(seen->load(), MemberTask::Alive) << c.Owner;
    }
}

}  // namespace
