// Which task a library log line belongs to and whether it is delivered: a run on the caller's thread
// gives that thread back when it ends, and one task's verbosity neither lets other tasks' lines through
// nor stays in force after the task is gone.
#include <gtest/gtest.h>

#include "ControlledTask.h"
#include "LogCapture.h"
#include "TestSupport.h"
#include "component/Logging.h"
#include "media/LibraryBindings.h"

using namespace kvtest;

namespace {

class LogAttributionTest : public ::testing::Test {
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

TEST_F(LogAttributionTest, ARunOnTheCallersThreadGivesTheThreadBackWhenItEnds)
{
    component.Prepare = [](ControlledTask& task) {
        task.OnRunStep = [](ControlledTask& running) {
            kv::lav::av_log(nullptr, AV_LOG_ERROR, "during %d\n", running.TaskIndex.load());
            running.Release = true;
        };
    };
    component.Queue(2, false);

    component.StartConvert(0);
    kv::lav::av_log(nullptr, AV_LOG_ERROR, "after the batch\n");

    EXPECT_EQ(lines.Lines(),
              (std::vector<LogLine>{
                  {0, kv::llError, "during 0"}, {1, kv::llError, "during 1"}, {-1, kv::llError, "after the batch"}}));
    EXPECT_EQ(component.Task(0).ThreadId.load(), 0);
    EXPECT_EQ(component.Task(1).ThreadId.load(), 0);
}

TEST_F(LogAttributionTest, ATasksVerbosityDecidesOnlyItsOwnLines)
{
    component.SetLogLevel(kv::llError);
    component.Prepare = [](ControlledTask& task) { task.RealOptions = true; };
    kv::TInputOptions verbose;
    verbose.ExtOptions = "v=2";
    ASSERT_EQ(component.AddTask("verbose.avi", &verbose), 0) << component.LastError();
    ASSERT_EQ(component.AddTask("plain.avi"), 1) << component.LastError();
    EXPECT_EQ(component.Task(0).LogLevel(), 2);
    EXPECT_EQ(component.Task(1).LogLevel(), 0);
    EXPECT_EQ(kv::lav::av_log_get_level(), AV_LOG_DEBUG) << "the libraries log as much as the most verbose task asks";

    const struct {
        const char* Name;
        int Task;  // the task that runs on the logging thread, -1 none
        int LibraryLevel;
        bool Delivered;
        kv::TLogLevel As;
    } cases[] = {
        {"debug line of no task, component at error level", -1, AV_LOG_DEBUG, false, kv::llDebug},
        {"error line of no task", -1, AV_LOG_ERROR, true, kv::llError},
        {"debug line of the task without v", 1, AV_LOG_DEBUG, false, kv::llDebug},
        {"error line of the task without v", 1, AV_LOG_ERROR, true, kv::llError},
        {"debug line of the task with v=2", 0, AV_LOG_DEBUG, true, kv::llDebug},
        {"trace line of the task with v=2", 0, AV_LOG_TRACE, false, kv::llAll},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        for (int i = 0; i < 2; ++i)
            component.Task(i).ThreadId = i == c.Task ? kv::CurrentThreadId() : 0;
        lines.Clear();
        kv::lav::av_log(nullptr, c.LibraryLevel, "line\n");
        if (c.Delivered)
            EXPECT_EQ(lines.Lines(), (std::vector<LogLine>{{c.Task, c.As, "line"}}));
        else
            EXPECT_EQ(lines.Lines(), std::vector<LogLine>{});
    }

    // Once the verbose task is gone, the libraries go back to what the rest ask for.
    component.RemoveTask(0);
    EXPECT_EQ(kv::lav::av_log_get_level(), AV_LOG_ERROR);
    EXPECT_EQ(kv::LogThreshold(), 0);
}

TEST_F(LogAttributionTest, EachComponentFiltersLinesOfNoTaskByItsOwnLevel)
{
    ControlledComponent verbose;
    LogCapture verboseLines;
    verboseLines.Attach(verbose);
    verbose.SetLogLevel(kv::llDebug);
    component.SetLogLevel(kv::llError);

    kv::lav::av_log(nullptr, AV_LOG_DEBUG, "detail\n");
    kv::lav::av_log(nullptr, AV_LOG_ERROR, "failure\n");

    EXPECT_EQ(lines.Lines(), (std::vector<LogLine>{{-1, kv::llError, "failure"}}));
    EXPECT_EQ(verboseLines.Lines(), (std::vector<LogLine>{{-1, kv::llDebug, "detail"}, {-1, kv::llError, "failure"}}));
}

}  // namespace
