// Preparing an output never destroys what is already there: an existing file, what a link names, a
// device. Only a file the task created itself, still empty at the end, is removed again; a conversion
// that starts writing overwrites.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <algorithm>
#include <filesystem>
#include <vector>

#include "MediaFixtures.h"
#include "TestSupport.h"
#include "component/DIdezuDOR.h"
#include "engine/FFmpegTask.h"

using namespace kvtest;

namespace {

const std::string Precious = "precious bytes that nothing converted may destroy\n";

std::string Contents(const std::string& Path)
{
    std::ifstream in(Path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void Write(const std::string& Path, const std::string& Text)
{
    std::ofstream(Path, std::ios::binary | std::ios::trunc) << Text;
}

bool Exists(const std::string& Path)
{
    struct stat status {};
    return ::lstat(Path.c_str(), &status) == 0;
}

class OutputSafetyTest : public ::testing::Test {
protected:
    void SetUp() override { LoadSystemLibraries(); }

    // A reset task with the fixture as its input and Output prepared (an AVI with its default codecs).
    std::unique_ptr<kv::TFFmpeg> Prepared(const std::string& Output)
    {
        auto task = std::make_unique<kv::TFFmpeg>();
        task->ResetTask();
        EXPECT_TRUE(task->OpenInputFile(Fixture("video_audio.avi"))) << task->ErrorText();
        EXPECT_EQ(task->OpenOutputFile(Output), 1) << task->ErrorText();
        return task;
    }

    TempFolder dir{"output_safety"};
};

TEST_F(OutputSafetyTest, ATaskFreedWithoutRunningLeavesExistingFilesAsTheyWere)
{
    const std::string existing = dir.Path + "/existing.avi";
    const std::string target = dir.Path + "/target.avi";
    const std::string link = dir.Path + "/link.avi";
    Write(existing, Precious);
    Write(target, Precious);
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);

    for (const std::string& output : {existing, link}) {
        Prepared(output).reset();
        EXPECT_EQ(Contents(output), Precious) << output;
    }
    struct stat status {};
    ASSERT_EQ(::lstat(link.c_str(), &status), 0) << "the link is still there";
    EXPECT_TRUE(S_ISLNK(status.st_mode));
    EXPECT_EQ(Contents(target), Precious);
}

TEST_F(OutputSafetyTest, ADeviceGivenAsOutputIsNeverRemoved)
{
    // A node of the null device of our own, so that a fault here cannot take the system's away.
    const std::string device = dir.Path + "/null.avi";
    ASSERT_EQ(::mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0)
        << "making a device node needs root: " << std::strerror(errno);
    Prepared(device).reset();
    struct stat status {};
    ASSERT_EQ(::lstat(device.c_str(), &status), 0) << "the device is still there";
    EXPECT_TRUE(S_ISCHR(status.st_mode));
}

TEST_F(OutputSafetyTest, ANewOutputIsCreatedAtOnceAndRemovedWhenNothingWasWritten)
{
    const std::string fresh = dir.Path + "/fresh.avi";
    std::unique_ptr<kv::TFFmpeg> task = Prepared(fresh);
    EXPECT_TRUE(Exists(fresh)) << "the name is taken as soon as the output is prepared";
    EXPECT_EQ(Contents(fresh), "");
    task.reset();
    EXPECT_FALSE(Exists(fresh));

    // Replaced by someone else after the task created it: not the task's file any more.
    task = Prepared(fresh);
    Write(fresh + ".new", "");
    ASSERT_EQ(::rename((fresh + ".new").c_str(), fresh.c_str()), 0);
    task.reset();
    EXPECT_TRUE(Exists(fresh));
}

TEST_F(OutputSafetyTest, WritingStartsByOverwritingAndKeepsWhatWasWritten)
{
    const std::string existing = dir.Path + "/overwritten.avi";
    Write(existing, Precious);
    const std::string fresh = dir.Path + "/written.avi";
    for (const std::string& output : {existing, fresh}) {
        std::unique_ptr<kv::TFFmpeg> task = Prepared(output);
        task->OpenOutputForWriting(0);
        ASSERT_NE(task->Files().OutputFiles[0]->pb, nullptr);
        EXPECT_EQ(Contents(output), "") << "an existing output is overwritten when the run starts";
        Write(output, "converted");
        task.reset();
        EXPECT_EQ(Contents(output), "converted") << output;
    }
}

TEST_F(OutputSafetyTest, AnOutputThatCannotBeWrittenIsRefusedAtPreparation)
{
    auto task = std::make_unique<kv::TFFmpeg>();
    task->ResetTask();
    ASSERT_TRUE(task->OpenInputFile(Fixture("video_audio.avi"))) << task->ErrorText();
    const std::string folder = dir.Path + "/folder.avi";
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    const std::string missingFolder = dir.Path + "/missing/out.avi";
    for (const std::string& output : {folder, missingFolder}) {
        EXPECT_EQ(task->OpenOutputFile(output), -1) << output;
        EXPECT_EQ(task->ErrorText(), "Could not open '" + output + "'");
    }
    EXPECT_EQ(task->Files().NbOutputFiles, 0);
    struct stat status {};
    ASSERT_EQ(::stat(folder.c_str(), &status), 0);
    EXPECT_TRUE(S_ISDIR(status.st_mode));
}

// The names in Folder, sorted.
std::vector<std::string> Names(const std::string& Folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(Folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// With temporary outputs the component writes each output under a hidden name beside it and moves it to
// its name only when the run keeps it; without (the default) the output is written at its name.
TEST_F(OutputSafetyTest, ATemporaryOutputTakesItsNameOnlyWhenTheRunKeepsIt)
{
    EXPECT_FALSE(kv::TDIdezuDOR().OutputPolicy().Temporary) << "off unless asked for";
    enum TEnd { Run, Stop, Discard };
    const struct {
        std::string Name;
        bool Temporary;
        TEnd End;
        bool Finished;
        bool Kept;
    } cases[] = {
        {"finished", true, Run, true, true},
        {"stopped", true, Stop, false, true},
        {"discarded", true, Discard, false, false},
        {"plain_finished", false, Run, true, true},
        {"plain_discarded", false, Discard, false, true},  // only temporary outputs are removed
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const TempFolder folder("output_safety");
        const std::string output = folder.Path + "/out.mp4";
        kv::TDIdezuDOR component;
        component.SetOutputPolicy(kv::TOutputPolicy{c.Temporary, false});
        component.SetProgressInterval(0);
        std::vector<std::string> during;
        bool ended = false, finished = false;
        component.OnProgress = [&](int, int, int, int, float, float, int64_t, int) {
            if (!during.empty())
                return;
            during = Names(folder.Path);
            if (c.End == Stop)
                component.StopConvert();
            else if (c.End == Discard)
                component.DiscardConvert();
        };
        component.OnTerminate = [&](int AIndex, bool AFinished, bool, const std::string&) {
            if (AIndex >= 0)
                ended = true, finished = AFinished;
        };
        ASSERT_TRUE(component.LoadLibraries(""));
        kv::TOutputOptions record;
        record.ExtOptions = "vcodec=mpeg4";
        // A run that is stopped reads at the input's own pace, so that it is still running at its first report.
        kv::TInputOptions input;
        input.ExtOptions = c.End == Run ? "" : "re";
        const int index = component.AddTask(Fixture("long_av.mkv"), &input);
        ASSERT_GE(index, 0) << component.LastError();
        ASSERT_TRUE(component.SetOutputFile(index, output, &record)) << component.LastError();
        component.StartConvert(0);
        ASSERT_TRUE(ended);
        EXPECT_EQ(finished, c.Finished);
        ASSERT_EQ(during.size(), 1u);
        if (c.Temporary) {
            EXPECT_EQ(during[0].rfind(".out.kvtmp-", 0), 0u) << during[0];
            EXPECT_EQ(during[0].substr(during[0].size() - 4), ".mp4") << "the suffix is kept";
        } else {
            EXPECT_EQ(during[0], "out.mp4");
        }
        EXPECT_EQ(Names(folder.Path), c.Kept ? std::vector<std::string>{"out.mp4"} : std::vector<std::string>{});
        if (c.Kept) {
            EXPECT_EQ(Probe(output)["streams.stream.0.codec_name"], "mpeg4");
        }
    }

    // Refused at set-up: the hidden file goes with the task.
    const TempFolder folder("output_safety");
    kv::TDIdezuDOR component;
    component.SetOutputPolicy(kv::TOutputPolicy{true, false});
    ASSERT_TRUE(component.LoadLibraries(""));
    kv::TOutputOptions record;
    record.ExtOptions = "vcodec=nosuchcodec";
    const int index = component.AddTask(Fixture("video_audio.avi"));
    EXPECT_FALSE(component.SetOutputFile(index, folder.Path + "/out.mp4", &record));
    EXPECT_EQ(component.LastFailure(), kv::TTaskFailure::Settings);
    component.ClearTasks();
    EXPECT_EQ(Names(folder.Path), std::vector<std::string>{});
}

// Holding the name: while an output is written under its hidden name, an empty file of the task's own
// holds the output's name, so that the next output named from it takes another name. The kept output
// takes the holder's place; an output that is not kept takes the holder with it; a file put in the
// holder's place meanwhile stays, and the conversion gives way to it.
TEST_F(OutputSafetyTest, AHeldNameIsTakenOverByTheKeptOutputOnly)
{
    enum TEnd { Run, Discard, ReplaceHolder, RemoveHolder, NeverRun };
    const struct {
        std::string Name;
        TEnd End;
        bool Finished;
        std::vector<std::string> After;
        bool Converted;  // out.mp4 holds the conversion (else, when there, the file put in its place)
    } cases[] = {
        {"finished", Run, true, {"out.mp4"}, true},
        {"discarded", Discard, false, {}, false},
        {"holder replaced", ReplaceHolder, false, {"out.mp4"}, false},
        {"holder removed", RemoveHolder, true, {"out.mp4"}, true},
        {"never run", NeverRun, false, {}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const TempFolder folder("output_safety");
        const std::string output = folder.Path + "/out.mp4";
        kv::TDIdezuDOR component;
        component.SetOutputPolicy(kv::TOutputPolicy{.Temporary = true, .Replace = false, .HoldName = true});
        component.SetProgressInterval(0);
        std::vector<std::string> during;
        off_t heldSize = -1;
        bool ended = false, finished = false;
        kv::TTaskFailure failure = kv::TTaskFailure::None;
        component.OnProgress = [&](int, int, int, int, float, float, int64_t, int) {
            if (!during.empty())
                return;
            during = Names(folder.Path);
            struct stat status {};
            if (::stat(output.c_str(), &status) == 0)
                heldSize = status.st_size;
            if (c.End == Discard)
                component.DiscardConvert();
            if (c.End == ReplaceHolder || c.End == RemoveHolder)
                ::unlink(output.c_str());
            if (c.End == ReplaceHolder)
                Write(output, Precious);
        };
        component.OnTerminate = [&](int AIndex, bool AFinished, bool, const std::string&) {
            if (AIndex < 0)
                return;
            ended = true, finished = AFinished;
            failure = component.TaskPin(AIndex)->FailureKind();
        };
        ASSERT_TRUE(component.LoadLibraries(""));
        kv::TOutputOptions record;
        record.ExtOptions = "vcodec=mpeg4";
        kv::TInputOptions input;
        input.ExtOptions = c.End == Discard ? "re" : "";
        const int index = component.AddTask(Fixture("long_av.mkv"), &input);
        ASSERT_GE(index, 0) << component.LastError();
        ASSERT_TRUE(component.SetOutputFile(index, output, &record)) << component.LastError();
        // Held from the moment the output is prepared.
        const std::vector<std::string> waiting = Names(folder.Path);
        ASSERT_EQ(waiting.size(), 2u);
        EXPECT_EQ(waiting[0].rfind(".out.kvtmp-", 0), 0u) << waiting[0];
        EXPECT_EQ(waiting[1], "out.mp4");
        EXPECT_EQ(Contents(output), "");
        if (c.End == NeverRun) {
            component.ClearTasks();
        } else {
            component.StartConvert(0);
            ASSERT_TRUE(ended);
            EXPECT_EQ(heldSize, 0) << "the name is held by an empty file while the output is written";
            EXPECT_EQ(during, waiting);
        }
        EXPECT_EQ(finished, c.Finished);
        EXPECT_EQ(Names(folder.Path), c.After);
        if (c.End == ReplaceHolder) {
            EXPECT_EQ(Contents(output), Precious);
            EXPECT_EQ(failure, kv::TTaskFailure::OutputExists);
        }
        if (c.Converted) {
            EXPECT_EQ(Probe(output)["streams.stream.0.codec_name"], "mpeg4");
        }
    }
}

}  // namespace
