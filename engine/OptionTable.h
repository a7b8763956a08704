// The engine's option vocabulary: every name a task takes in its option lines, in the order names are
// tested, with the kind of its value and where it goes.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "engine/OptionHandlers.h"

namespace kv {

enum class TOptionKind {
    NoEffect,  // logged, nothing else
    Handler,   // the handler checks and stores the value
    Integer,
    Int64,
    Float,
    Flag,  // True unless the value is "0"
    Text,
    SetTrue,  // the value is not looked at; the field becomes True
};

using TOptionTarget = std::variant<std::monostate, TOptionHandler, int TTaskOptions::*, int64_t TTaskOptions::*,
                                   float TTaskOptions::*, bool TTaskOptions::*, std::string TTaskOptions::*>;

struct TOptionEntry {
    const char* Name;
    TOptionKind Kind;
    TOptionTarget Target;
};

// The entry of Name, or nullptr for names the generic path takes.
const TOptionEntry* FindOption(const std::string& Name);
// Number of names in the vocabulary.
size_t OptionCount();

// Option lines as (name, value): the whole text trimmed, CR LF, CR and LF each one line break, a line
// without "=" a name with an empty value.
std::vector<std::pair<std::string, std::string>> SplitOptionLines(const std::string& Text);

}  // namespace kv
