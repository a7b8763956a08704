// A task whose set-up steps and run the test controls, and a component that queues it. The component
// under test only sees a TFFmpeg.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "component/DIdezuDOR.h"
#include "engine/FFmpegException.h"

namespace kvtest {

class ControlledTask : public kv::TFFmpeg {
public:
    // Set-up behaviour. With RealOptions the option steps do their real work after being recorded.
    bool InputOpens = true;
    bool RealOptions = false;
    // Run behaviour: the run goes on until Release is set or a stop is requested, stepping and checking
    // for pause in between; then fails with FailWith when that is set.
    std::atomic<bool> Release{false};
    std::string FailWith;
    std::function<void(ControlledTask&)> OnRunStep;

    // What happened.
    std::atomic<bool> Started{false};
    std::atomic<int> Steps{0};
    std::atomic<int> RunThread{0};
    std::vector<std::string> Calls;  // set-up steps in order

    bool OpenInputFile(const std::string& FileName) override
    {
        Calls.push_back("OpenInputFile " + FileName);
        if (!InputOpens) {
            SetErrorText(FileName + ": cannot be opened");
            return false;
        }
        Files().NbInputFiles = 1;
        return true;
    }
    int OpenOutputFile(const std::string& FileName) override
    {
        Calls.push_back("OpenOutputFile " + FileName);
        Files().NbOutputFiles = 1;
        return 1;
    }
    void ApplyOptionLines(const std::string& Text, bool NewStreamPass) override
    {
        Calls.push_back("ApplyOptionLines " + Text + (NewStreamPass ? " new" : ""));
        if (RealOptions)
            TFFmpeg::ApplyOptionLines(Text, NewStreamPass);
    }
    void ApplyInputFormat(const std::string& FormatName) override
    {
        Calls.push_back("ApplyInputFormat " + FormatName);
        if (RealOptions)
            TFFmpeg::ApplyInputFormat(FormatName);
    }
    void ApplyTargetOptions(const kv::TOutputOptions& Options) override
    {
        Calls.push_back("ApplyTargetOptions " + std::to_string(Options.Target));
        if (RealOptions)
            TFFmpeg::ApplyTargetOptions(Options);
    }
    void ApplyOutputOptions(const kv::TOutputOptions& Options) override
    {
        Calls.push_back("ApplyOutputOptions");
        if (RealOptions)
            TFFmpeg::ApplyOutputOptions(Options);
    }

    void Progress(int Frame)
    {
        if (ProgressSlot)
            ProgressSlot(this, Frame, 25, Frame * 40, 2.0f, 800.0f, Frame * 1000, 10000);
    }

protected:
    void Transcode() override
    {
        RunThread = kv::CurrentThreadId();
        Started = true;
        while (!Release && CheckPause()) {
            ++Steps;
            if (OnRunStep)
                OnRunStep(*this);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (!FailWith.empty())
            throw kv::FFmpegException(FailWith);
        SetFinished(!StopRequested());
    }
};

// Queues ControlledTasks; Prepare runs on each new task before the component sets it up.
class ControlledComponent : public kv::TDIdezuDOR {
public:
    std::function<void(ControlledTask&)> Prepare;

    ControlledTask& Task(int Index) { return static_cast<ControlledTask&>(Tasks(Index)); }

    // Queues Count tasks with an output each; Release: whether their runs end at once.
    void Queue(int Count, bool Release)
    {
        for (int i = 0; i < Count; ++i) {
            const int index = AddTask("in" + std::to_string(i) + ".avi");
            SetOutputFile(index, "out" + std::to_string(i) + ".mp4");
            Task(index).Release = Release;
        }
    }

protected:
    std::unique_ptr<kv::TFFmpeg> CreateTask() override
    {
        auto task = std::make_unique<ControlledTask>();
        if (Prepare)
            Prepare(*task);
        return task;
    }
};

struct TerminateEvent {
    int Index;
    bool Finished;
    bool Exception;
    std::string Message;
    int Thread;
};

// Records OnTerminate events (thread-safe).
class TerminateRecorder {
public:
    void Attach(kv::TCustomDIdezuDOR& Component)
    {
        Component.OnTerminate = [this](int AIndex, bool AFinished, bool AException, const std::string& AMessage) {
            std::lock_guard<std::mutex> guard(m_lock);
            m_events.push_back({AIndex, AFinished, AException, AMessage, kv::CurrentThreadId()});
        };
    }
    std::vector<TerminateEvent> Events() const
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_events;
    }
    std::vector<int> Indices() const
    {
        std::vector<int> indices;
        for (const TerminateEvent& e : Events())
            indices.push_back(e.Index);
        return indices;
    }
    size_t Count() const { return Events().size(); }
    bool BatchEnded() const
    {
        for (const TerminateEvent& e : Events())
            if (e.Index == -1)
                return true;
        return false;
    }

private:
    mutable std::mutex m_lock;
    std::vector<TerminateEvent> m_events;
};

}  // namespace kvtest
