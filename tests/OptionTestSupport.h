// A task with the codec libraries loaded and its log captured, for the option tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "TestSupport.h"
#include "engine/FFmpegException.h"
#include "engine/FFmpegTask.h"
#include "media/OptionValues.h"

namespace kvtest {

class OptionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        LoadSystemLibraries();
        task.ResetTask();
        task.LogSlot = [this](kv::TCustomFFmpeg*, int Level, const std::string& Text) {
            logs.emplace_back(Level, Text);
        };
    }

    // The message of the exception SetOption raises, or "" when it succeeds.
    std::string Refusal(const std::string& Name, const std::string& Value)
    {
        try {
            task.SetOption(Name, Value);
        } catch (const kv::Exception& e) {
            return e.what();
        }
        return "";
    }
    std::string LinesRefusal(const std::string& Text, bool NewStreamPass = false)
    {
        try {
            task.ApplyOptionLines(Text, NewStreamPass);
        } catch (const kv::Exception& e) {
            return e.what();
        }
        return "";
    }
    int64_t CodecOption(AVMediaType Type, const char* Name)
    {
        int64_t value = 0;
        EXPECT_GE(kv::lav::av_opt_get_int(task.OptionStore().CodecOptions[Type].get(), Name, 0, &value), 0) << Name;
        return value;
    }
    size_t LogsWith(const std::string& Text) const
    {
        size_t count = 0;
        for (const auto& [level, text] : logs)
            count += text == Text;
        return count;
    }

    kv::TFFmpeg task;
    std::vector<std::pair<int, std::string>> logs;
};

}  // namespace kvtest
