// Loading and unloading while other threads work: the libraries are not unloaded under a task, the
// loader's texts can be read during a load, and a thread that sees a library loaded sees its functions.
// The last two are races that the thread sanitizer build reports when the loader does not order them.
#include <gtest/gtest.h>

#include <fstream>
#include <latch>
#include <thread>

#include "ControlledTask.h"
#include "TestSupport.h"
#include "media/FFmpegLoader.h"
#include "media/LibraryBindings.h"

using namespace kvtest;

namespace {

class LoaderSafetyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        LoadSystemLibraries();
        ASSERT_EQ(kv::FFLoader().Users(), 0) << "a task of an earlier test is still alive";
    }
    // Leaves the component's libraries loaded from the system, as the other tests expect.
    void TearDown() override
    {
        kv::FFLoader().SetLibraryPath("");
        LoadSystemLibraries();
    }
};

TEST_F(LoaderSafetyTest, LibrariesStayLoadedWhileATaskLives)
{
    const kv::TLibrarySet set = kv::ComponentLibrarySet();
    enum TState { Queued, Running, RemovedButPinned };
    const struct {
        const char* Name;
        TState State;
    } cases[] = {
        {"a queued task", Queued}, {"a running task", Running}, {"a removed task still in use", RemovedButPinned}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        {
            ControlledComponent component;
            TerminateRecorder recorder;
            recorder.Attach(component);
            component.Queue(1, false);
            kv::TFFmpegPin pin;
            if (c.State == Running) {
                component.StartConvert(1);
                ASSERT_TRUE(WaitUntil([&] { return component.Task(0).Started.load(); }));
            } else if (c.State == RemovedButPinned) {
                pin = component.TaskPin(0);
                component.RemoveTask(0);
            }

            EXPECT_FALSE(kv::FFLoader().UnloadLibs(set));
            EXPECT_FALSE(kv::FFLoader().UnloadLib(kv::libAVCodec));
            EXPECT_NE(kv::FFLoader().LastLoadError().find("still use the libraries"), std::string::npos)
                << kv::FFLoader().LastLoadError();
            EXPECT_TRUE(kv::FFLoader().LibsLoaded(set));
            EXPECT_NE(kv::lav::avcodec_open2, nullptr);
            EXPECT_NE(kv::lav::av_log, nullptr);

            if (c.State == Running) {
                component.Task(0).Release = true;
                ASSERT_TRUE(WaitUntil([&] { return recorder.BatchEnded(); }));
            }
        }
        EXPECT_EQ(kv::FFLoader().Users(), 0);
        EXPECT_TRUE(kv::FFLoader().UnloadLibs(set)) << "once every task is freed";
        EXPECT_FALSE(kv::FFLoader().LibsLoaded(set));
        LoadSystemLibraries();
    }
}

TEST_F(LoaderSafetyTest, TheErrorTextAndFolderCanBeReadWhileAnotherThreadLoads)
{
    const TempFolder temp("loader-reading");
    std::ofstream(temp.Path + "/libswscale.so.6") << "not a library";
    ASSERT_TRUE(kv::FFLoader().UnloadLib(kv::libSWScale));
    std::latch start(2);
    std::atomic<bool> done{false};
    std::atomic<size_t> read{0};
    std::thread reader([&] {
        start.arrive_and_wait();
        while (!done)
            read += kv::FFLoader().LastLoadError().size() + kv::FFLoader().LibraryPath().size();
    });
    start.arrive_and_wait();
    // At least 200 loads, and on until the reader has read during them, however the threads are scheduled.
    for (int i = 0; i < 200 || (read == 0 && i < 1000000); ++i) {
        kv::FFLoader().SetLibraryPath(i % 2 ? temp.Path : temp.Path + "/");
        EXPECT_FALSE(kv::FFLoader().LoadLib(kv::libSWScale));
    }
    done = true;
    reader.join();
    EXPECT_EQ(kv::FFLoader().LastLoadError().rfind("Load library " + temp.Path + "/libswscale.so.6 error: ", 0), 0u)
        << kv::FFLoader().LastLoadError();
    EXPECT_GT(read, 0u);
}

TEST_F(LoaderSafetyTest, AThreadThatSeesALibraryLoadedSeesItsFunctions)
{
    ASSERT_TRUE(kv::FFLoader().UnloadLib(kv::libAVUtil));
    ASSERT_EQ(kv::lav::av_strdup, nullptr);
    std::latch start(2);
    std::string copied;
    std::thread user([&] {
        start.arrive_and_wait();
        while (!kv::FFLoader().IsLibLoaded(kv::libAVUtil)) {
        }
        char* copy = kv::lav::av_strdup("bound");
        copied = copy;
        kv::lav::av_free(copy);
    });
    start.arrive_and_wait();
    ASSERT_TRUE(kv::FFLoader().LoadLib(kv::libAVUtil)) << kv::FFLoader().LastLoadError();
    user.join();
    EXPECT_EQ(copied, "bound");
}

}  // namespace
