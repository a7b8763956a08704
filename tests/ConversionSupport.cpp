#include "ConversionSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdlib>

#include "MediaFixtures.h"
#include "TestSupport.h"

namespace kvtest {

namespace {
std::string Lines(const std::vector<std::string>& Lines)
{
    std::string text;
    for (const std::string& line : Lines)
        text += line + "\n";
    return text;
}
}  // namespace

TConversion::TConversion(const std::string& Input, const std::string& Output,
                         const std::vector<std::string>& InputLines, const std::vector<std::string>& OutputLines)
{
    LoadSystemLibraries();
    m_component.OnLog = [this](int, kv::TLogLevel, const std::string& Text) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_result.Log.push_back(Text);
    };
    m_component.OnProgress = [this](int, int Frame, int FPS, int Duration, float Quality, float BitRate, int64_t Size,
                                    int Total) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_result.Progress.push_back({Frame, FPS, Duration, Quality, BitRate, Size, Total});
        m_changed.notify_all();
    };
    m_component.OnTerminate = [this](int Index, bool Finished, bool Failed, const std::string& Message) {
        if (Index < 0)
            return;
        std::lock_guard<std::mutex> guard(m_lock);
        m_result.Ended = true;
        m_result.Finished = Finished;
        m_result.Failed = Failed;
        m_result.Message = Message;
        m_changed.notify_all();
    };
    kv::TInputOptions input;
    kv::ResetInputOptions(input);
    input.ExtOptions = Lines(InputLines);
    kv::TOutputOptions output;
    kv::ResetOutputOptions(output);
    // The record's own fields stand above its option lines: the switches and sync methods go there.
    std::vector<std::string> lines;
    for (const std::string& line : OutputLines) {
        if (line == "vn")
            output.DisableVideo = true;
        else if (line == "an")
            output.DisableAudio = true;
        else if (line == "sn")
            output.DisableSubtitle = true;
        else if (line.rfind("async=", 0) == 0)
            output.AudioSyncMethod = std::stoi(line.substr(6));
        else if (line.rfind("vsync=", 0) == 0)
            output.VideoSyncMethod = std::stoi(line.substr(6));
        else
            lines.push_back(line);
    }
    output.ExtOptions = Lines(lines);
    m_result.Queued = m_component.AddTask(Input, &input) == 0 && m_component.SetOutputFile(0, Output, &output);
    if (!m_result.Queued)
        m_result.SetupError = m_component.LastError();
}

bool TConversion::Start(int CodecThreads)
{
    if (!m_result.Queued)
        return false;
    m_component.SetCodecThreads(CodecThreads);
    m_component.StartConvert(1);
    return true;
}

bool TConversion::WaitForEnd(std::chrono::seconds Timeout)
{
    std::unique_lock<std::mutex> guard(m_lock);
    return m_changed.wait_for(guard, Timeout, [this] { return m_result.Ended; });
}

bool TConversion::WaitForProgress(size_t Count, std::chrono::seconds Timeout)
{
    std::unique_lock<std::mutex> guard(m_lock);
    return m_changed.wait_for(guard, Timeout, [&] { return m_result.Progress.size() >= Count || m_result.Ended; }) &&
           m_result.Progress.size() >= Count;
}

TConversionResult TConversion::Result()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_result;
}

TConversionResult Convert(const std::string& Input, const std::string& Output,
                          const std::vector<std::string>& InputLines, const std::vector<std::string>& OutputLines)
{
    TConversion conversion(Input, Output, InputLines, OutputLines);
    if (conversion.Start()) {
        EXPECT_TRUE(conversion.WaitForEnd()) << "the conversion into " << Output << " did not end";
    }
    return conversion.Result();
}

bool ReferenceConvert(const std::string& Input, const std::string& Arguments, const std::string& Output)
{
    std::string output;
    const int status =
        RunCommand("ffmpeg -nostdin -v error -y -i '" + Input + "' " + Arguments + " '" + Output + "'", output);
    EXPECT_EQ(status, 0) << output;
    return status == 0;
}

double Psnr(const std::string& A, const std::string& B, const std::string& Area)
{
    std::string output;
    if (RunCommand("ffmpeg -nostdin -hide_banner -i '" + A + "' -i '" + B + "' -lavfi '[0:v]" + Area + "[a];[1:v]" +
                       Area + "[b];[a][b]psnr' -f null -",
                   output) != 0)
        return -1;
    const size_t at = output.rfind("average:");
    if (at == std::string::npos)
        return -1;
    const std::string value = output.substr(at + 8, output.find(' ', at) - at - 8);
    return value == "inf" ? 1000 : std::atof(value.c_str());
}

std::string DecodeErrors(const std::string& File)
{
    std::string output;
    const int status = RunCommand("ffmpeg -nostdin -v error -i '" + File + "' -f null -", output);
    return status == 0 ? output : "exit status " + std::to_string(status) + ": " + output;
}

double Fact(const std::string& File, const std::string& Key)
{
    const auto facts = Probe(File);
    auto it = facts.find(Key);
    return it == facts.end() || it->second == "N/A" ? NAN : std::atof(it->second.c_str());
}

std::string FactText(const std::string& File, const std::string& Key)
{
    const auto facts = Probe(File);
    auto it = facts.find(Key);
    return it == facts.end() ? std::string() : it->second;
}

int64_t SizeOf(const std::string& Path)
{
    struct stat info {};
    return ::stat(Path.c_str(), &info) == 0 ? static_cast<int64_t>(info.st_size) : -1;
}

}  // namespace kvtest
