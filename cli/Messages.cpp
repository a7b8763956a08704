// The lines kelvane-cli writes on standard error.
#include "cli/Messages.h"

#include <cstdio>
#include <utility>

#include "media/TextFormat.h"

namespace kv::cli {

namespace {

std::vector<std::string> GGivenValues;

}  // namespace

void SetGivenValues(std::vector<std::string> Values) { GGivenValues = std::move(Values); }

std::string OneLine(const std::string& Text) { return OneLineMessage(Text, GGivenValues); }

void PrintError(const std::string& Message) { std::fprintf(stderr, "error: %s\n", OneLine(Message).c_str()); }

void PrintLog(TLogLevel Level, const std::string& Text)
{
    static const char* const names[] = {"quiet", "error", "info", "debug", "all"};
    std::fprintf(stderr, "[%s] %s\n", names[Level], OneLine(Text).c_str());
}

}  // namespace kv::cli
