// Whatever a task's set-up raises stops at the component's boundary: AddTask answers -1 and
// SetOutputFile False with the message in LastError, for the standard exception family as for the
// engine's own.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "ControlledTask.h"
#include "TestSupport.h"

using namespace kvtest;

namespace {

// A task whose option lines or output preparation raise what the test says.
class RaisingTask : public ControlledTask {
public:
    std::function<void()> OnOptionLines;
    std::function<void()> OnOutput;

    void ApplyOptionLines(const std::string& Text, bool NewStreamPass) override
    {
        if (OnOptionLines)
            OnOptionLines();
        ControlledTask::ApplyOptionLines(Text, NewStreamPass);
    }
    int OpenOutputFile(const std::string& FileName) override
    {
        if (OnOutput)
            OnOutput();
        return ControlledTask::OpenOutputFile(FileName);
    }
};

class RaisingComponent : public ControlledComponent {
public:
    std::function<void()> Raise;  // given to each new task's option lines

    RaisingTask& Raising(int Index) { return static_cast<RaisingTask&>(Tasks(Index)); }

protected:
    std::unique_ptr<kv::TFFmpeg> CreateTask() override
    {
        auto task = std::make_unique<RaisingTask>();
        task->OnOptionLines = Raise;
        return task;
    }
};

TEST(ComponentBoundaryTest, SetUpFailuresOfEveryExceptionKindAreReportedNotRaised)
{
    LoadSystemLibraries();
    const struct {
        const char* Name;
        std::function<void()> Raise;
        std::string Message;
    } cases[] = {
        {"out of memory", [] { throw std::bad_alloc(); }, std::bad_alloc().what()},
        {"a standard runtime error", [] { throw std::runtime_error("the disk went away"); }, "the disk went away"},
        {"a standard logic error", [] { throw std::length_error("too long a line"); }, "too long a line"},
        {"the engine's own", [] { throw kv::FFmpegException("Unknown input format: x"); }, "Unknown input format: x"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        RaisingComponent component;
        component.Queue(1, true);

        component.Raise = c.Raise;
        kv::TInputOptions input;
        input.ExtOptions = "threads=2";
        EXPECT_EQ(component.AddTask("clip.avi", &input), -1);
        EXPECT_EQ(component.LastError(), c.Message);
        EXPECT_EQ(component.TaskCount(), 1) << "the half-built task is not queued";

        component.Raising(0).OnOutput = c.Raise;
        EXPECT_FALSE(component.SetOutputFile(0, "again.mp4"));
        EXPECT_EQ(component.LastError(), c.Message);
        EXPECT_EQ(component.TaskCount(), 1) << "the task stays queued";
    }
}

}  // namespace
