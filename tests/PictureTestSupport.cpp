#include "PictureTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "MediaFixtures.h"
#include "TestSupport.h"

namespace kvtest {

TPictureRun::TPictureRun()
{
    LoadSystemLibraries();
    m_component.SetMainThreadBridge(m_bridge);
    m_component.OnLog = [this](int, kv::TLogLevel, const std::string& Text) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_log.push_back(Text);
    };
    m_component.OnTerminate = [this](int Index, bool Finished, bool Failed, const std::string& Message) {
        if (Index < 0)
            return;
        std::lock_guard<std::mutex> guard(m_lock);
        if (static_cast<size_t>(Index) >= m_ends.size())
            m_ends.resize(static_cast<size_t>(Index) + 1);
        m_ends[static_cast<size_t>(Index)] = {Finished, Failed, Message};
        ++m_ended;
    };
}

bool TPictureRun::Queue(const std::string& Input, const std::string& Output,
                        const std::vector<std::string>& OutputLines,
                        const std::function<void(kv::TOutputOptions&)>& Configure,
                        const std::vector<std::string>& InputLines)
{
    kv::TInputOptions input;
    kv::ResetInputOptions(input);
    for (const std::string& line : InputLines)
        input.ExtOptions += line + "\n";
    kv::TOutputOptions output;
    kv::ResetOutputOptions(output);
    output.DisableAudio = true;
    for (const std::string& line : OutputLines)
        output.ExtOptions += line + "\n";
    if (Configure)
        Configure(output);
    const int index = m_component.AddTask(Input, &input);
    if (index < 0 || !m_component.SetOutputFile(index, Output, &output)) {
        ADD_FAILURE() << "cannot queue " << Output << ": " << m_component.LastError();
        return false;
    }
    return true;
}

bool TPictureRun::Run(std::chrono::seconds Timeout)
{
    const int tasks = m_component.TaskCount();
    m_component.StartConvert(tasks);
    const auto deadline = std::chrono::steady_clock::now() + Timeout;
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            if (m_ended >= tasks)
                return true;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            ADD_FAILURE() << "the conversions did not end";
            m_component.StopConvert();
            return false;
        }
        m_bridge->PumpFor(std::chrono::milliseconds(5));
    }
}

std::vector<TPictureRun::TEnd> TPictureRun::Ends()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_ends;
}

std::vector<std::string> TPictureRun::Log()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_log;
}

std::vector<std::string> TPictureRun::LogLines(const std::string& Prefix)
{
    std::vector<std::string> lines;
    for (const std::string& line : Log())
        if (line.rfind(Prefix, 0) == 0)
            lines.push_back(line);
    return lines;
}

std::vector<std::vector<uint8_t>> LumaPlanes(const std::string& File, int Width, int Height)
{
    // The raw pictures go to a folder of this call's own: fixtures are shared by tests running at once.
    const TempFolder folder("luma");
    const std::string raw = folder.Path + "/pictures.yuv";
    std::string output;
    const int status = RunCommand("ffmpeg -nostdin -v error -y -i '" + File + "' -f rawvideo -pix_fmt yuv420p -s " +
                                      std::to_string(Width) + "x" + std::to_string(Height) + " '" + raw + "'",
                                  output);
    EXPECT_EQ(status, 0) << output;
    std::ifstream in(raw, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t luma = static_cast<size_t>(Width) * static_cast<size_t>(Height);
    const size_t picture = luma + 2 * (static_cast<size_t>((Width + 1) / 2) * static_cast<size_t>((Height + 1) / 2));
    std::vector<std::vector<uint8_t>> planes;
    for (size_t at = 0; at + picture <= bytes.size(); at += picture)
        planes.emplace_back(bytes.begin() + static_cast<ptrdiff_t>(at),
                            bytes.begin() + static_cast<ptrdiff_t>(at + luma));
    return planes;
}

}  // namespace kvtest
