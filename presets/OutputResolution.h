// Turning the choice on the four output tabs into the two option records of one conversion task for the
// file the preview probe holds: container (by an extension text), encoders, frame size, bitrates, frame
// rate, the letterbox or pillarbox padding that keeps the source's shape, the clip range and the output
// file name.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/OptionRecords.h"
#include "presets/OutputTab.h"

namespace kv::presets {

// The current output parameter set. It lives as long as the window: a step that does not assign a field
// leaves the value of an earlier resolution.
struct TOutputParams {
    std::string Ext;     // ".mp4", ".3gp", ".psp", ".rm20" ...
    std::string Size;    // target frame size "320x240"
    std::string VCodec;  // "mpeg4", "h263", "wmv2", "flv", "avc"
    int VBitrate = 0;
    int Fps = 0;
    std::string ACodec;
    std::string FittedSize;  // picture size after fitting, "320X180"
    bool PadVertical = false;
    // A frame rate that is not a whole number ("30000/1001"), in the place of Fps; "" when Fps counts.
    std::string FrameRate;
    // The encoder's and muxer's own options of a quality-based preset, as option lines.
    std::string OptionLines;
    // The source's frame rate (at most 60) and a picture never larger than the source's.
    bool FollowSource = false;
    // The audio encoder was chosen by the tab (the analysed file's codec), not by the audio label.
    bool AudioChosen = false;
};

// One row of the file list as far as fitting is concerned.
struct TFileRowInfo {
    std::string Caption;     // the file's name without extension
    std::string Resolution;  // "1280 X 720"
};

// What the window's controls say at the moment a record is built.
struct TOutputChoice {
    int Tab = otPreset;
    // Tab 0: file type and preset; tab 1: brand and model; tab 2: unused; tab 3: custom type and 0.
    int Index1 = 0;
    int Index2 = 0;

    // Custom tab: the panel is shown, and its four edits as typed.
    bool CustomPanelShown = false;
    std::string CustomWidth, CustomHeight, CustomBitrate, CustomFps;

    // The audio codec of the profile or analysis whose information is shown ("AAC"), whichever tab that
    // belongs to.
    std::string AudioCodec;

    // Clip range: the check box, the track bar's selection and the clip in milliseconds.
    bool ClipEnabled = false;
    bool ClipChecked = false;
    int SelStart = 0;
    int SelEnd = 0;
    int ClipStartMs = 0;
    int ClipLengthMs = 0;

    std::string OutputFolder;        // the output folder edit's text
    std::string ProbeFileName;       // the file the preview probe holds, as it was opened
    std::string ProbeFormat;         // the input format the probe was opened with ('' = detected)
    std::vector<TFileRowInfo> Rows;  // the file list's rows
    // The index in Rows of the probe's own file; -1 when not known, and then the last row whose caption is
    // the file's base name stands for it.
    int ProbeRow = -1;
    std::string ExtFilePath;  // "extfile.ini" of the analysis tab
};

// Shows a message to the user (the window: a message box captioned "KelvaneV1.3" with the error icon).
using TErrorMessage = std::function<void(const std::string& Text)>;

class TOutputResolver {
public:
    explicit TOutputResolver(TErrorMessage ShowError = {});

    const TOutputParams& Params() const { return m_params; }
    TOutputParams& Params() { return m_params; }

    // Sets the parameters from the active tab. An index pair without a table entry, a custom tab that is
    // hidden or has an empty edit (reported through ShowError) leave them unchanged.
    void ResolveOutputPreset(const TOutputChoice& Choice);

    // Fits the source of the row whose caption is BaseName into the target size "WxH": sets FittedSize
    // and PadVertical and returns the pad for each side (before rounding to even). Nothing when it cannot
    // compute (no row of that name, a 0 X 0 source or one too narrow to have a shape, no or a broken target
    // size); the parameters are then left alone.
    std::optional<int> ComputeLetterbox(const std::string& BaseName, const std::string& TargetSize,
                                        const std::vector<TFileRowInfo>& Rows);
    // The same for the source of one given row.
    std::optional<int> ComputeLetterbox(const TFileRowInfo& Row, const std::string& TargetSize);

    // The source's size of Row made even ("320X180") when it is no larger than TargetSize ("WxH") in either
    // direction: a preset that never enlarges keeps it as it is. Nothing when it is larger (the picture is
    // then fitted into the target) or when either size is unknown.
    static std::optional<std::string> SourceSizeWithin(const TFileRowInfo& Row, const std::string& TargetSize);

    // The output record for the probe's file, resolving the active tab first. When the picture cannot
    // be fitted it gets the plain target size without padding; an audio encoder the container cannot hold
    // is replaced by one it can.
    kv::TOutputOptions BuildOutputOptions(const TOutputChoice& Choice);
    // The input record for the probe's file.
    kv::TInputOptions BuildInputOptions(const TOutputChoice& Choice) const;

    // The output base name of a file: its name without folder and extension, ASCII letters upper-cased.
    static std::string OutputBaseName(const std::string& FilePath);
    // Folder + "/" + Base + "_(new)" + Suffix, or "_(new_N)" with the smallest N >= 1 when that file
    // exists: never the name of an existing file.
    static std::string OutputFileName(const std::string& Folder, const std::string& Base, const std::string& Suffix);

private:
    static bool ClipApplies(const TOutputChoice& Choice);

    TErrorMessage m_showError;
    TOutputParams m_params;
};

}  // namespace kv::presets
