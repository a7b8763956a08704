// The records of a conversion chosen as the window chooses it: a file type's preset, a device, or the
// facts of a video that already plays where it should (the analysis tab's rule), resolved for the input by
// the preset layer the window uses, with the output named as the window names it.
#pragma once

#include <string>

#include "engine/OptionRecords.h"

namespace kv::cli {

enum class TChoiceKind { Preset, Device, Like };

struct TChoiceRequest {
    TChoiceKind Kind = TChoiceKind::Preset;
    std::string Name;  // "TYPE/N", "BRAND/MODEL", or the video to follow
    std::string InputFile;
    std::string InputFormat;  // the input format given with -i f=..., "" = detected
    std::string OutputFolder;
};

// The records and the output's names.
struct TChoiceRecords {
    TInputOptions Input;
    TOutputOptions Output;  // FileName: the window's name, never that of an existing file
    std::string FirstName;  // the name the input's first output gets ("_(new)"), taken or not
};

// Resolves Request; "" or the reason it cannot, with Status the exit status for it (a name the catalog does
// not hold: a usage error; an input or a video to follow that cannot be read: an input error).
std::string ResolveChoice(const TChoiceRequest& Request, TChoiceRecords& Records, int& Status);

// The program's folder: the catalog finds profiles/ beside it, or in its prefix's share/kelvane/ when it is
// installed, as the window's does.
std::string ProfileProgramFolder();

}  // namespace kv::cli
