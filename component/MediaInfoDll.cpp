#include "component/MediaInfoDll.h"

#include <locale.h>

#include <cstdint>

#include "media/OptionValues.h"

// The library's own loader header: it opens libmediainfo.so.0 with dlopen and binds the functions of the
// narrow-character interface into static pointers of this file. It defines helpers we do not call.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wunused-variable"
#include <MediaInfoDLL/MediaInfoDLL.h>
#pragma GCC diagnostic pop

namespace kv {

int64_t ParseIntText(const std::string& Text, int64_t Default)
{
    std::string text = Text.substr(0, Text.find('.'));
    text = TrimText(text.substr(0, text.find('/')));
    int64_t value = 0;
    return !text.empty() && TryStrToInt64(text, value) ? value : Default;
}

double ParseFloatText(const std::string& Text, double Default)
{
    const std::string text = TrimText(Text.substr(0, Text.find('/')));
    double value = 0.0;
    return !text.empty() && TryStrToFloat(text, value) ? value : Default;
}

namespace {

// The narrow interface converts file names and answers with the C library's multibyte functions, so
// under the "C" locale (the command-line program, LANG=C) a name with any non-ASCII character cannot be
// opened. Calls into the library therefore run with a UTF-8 character locale for the calling thread
// only; the process locale is left alone. Its other categories are "C", so numbers come with ".".
locale_t Utf8Locale()
{
    static const locale_t utf8 = [] {
        for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"})
            if (const locale_t locale = ::newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(nullptr)))
                return locale;
        return static_cast<locale_t>(nullptr);
    }();
    return utf8;
}

class TUtf8Calls {
public:
    TUtf8Calls()
    {
        if (Utf8Locale())
            m_previous = ::uselocale(Utf8Locale());
    }
    ~TUtf8Calls()
    {
        if (m_previous)
            ::uselocale(m_previous);
    }
    TUtf8Calls(const TUtf8Calls&) = delete;
    TUtf8Calls& operator=(const TUtf8Calls&) = delete;

private:
    locale_t m_previous = nullptr;
};

// Loads the library on first use; it stays loaded for the life of the process. The loader header keeps
// its state in unguarded statics, so the first uses on several threads must not race.
bool LibraryLoaded()
{
    static const bool loaded = MediaInfoDLL_Load() == 1;
    return loaded;
}

// MediaInfo's format names that the rest of the program knows by a shorter name. An entry without a
// profile applies to every profile of its format; formats not listed keep MediaInfo's name.
struct TCodecName {
    const char* Format;
    const char* Profile;
    const char* Name;
};

const TCodecName CodecNames[] = {
    {"AC-3", "", "AC3"},
    {"MPEG Audio", "Layer 1", "MP1"},
    {"MPEG Audio", "Layer 2", "MP2"},
    {"MPEG Audio", "Layer 3", "MP3"},
};

int Low32(int64_t Value) { return static_cast<int>(static_cast<uint32_t>(Value)); }

}  // namespace

TMediaInfoDll::TMediaInfoDll(const std::string& FileName)
{
    // A name with a NUL in it would examine whichever file its first part names.
    if (!LibraryLoaded() || FileName.find('\0') != std::string::npos)
        return;
    TUtf8Calls utf8;
    m_handle = MediaInfo_New();
    if (!m_handle)
        return;
    // A file the library cannot read leaves every answer empty; that is all a failed open means here.
    MediaInfo_Open(m_handle, FileName.c_str());
    // The short information set. The setting belongs to the whole library; made through the handle, its
    // answer goes to the handle's buffer, which is freed with it (the library never frees the buffer of
    // calls made without a handle).
    MediaInfo_Option(m_handle, "Complete", "");
}

TMediaInfoDll::~TMediaInfoDll()
{
    if (!m_handle)
        return;
    MediaInfo_Close(m_handle);
    MediaInfo_Delete(m_handle);
}

std::string TMediaInfoDll::Get(int Kind, int Stream, const char* Parameter) const
{
    if (!m_handle || Stream < 0)
        return {};
    std::lock_guard<std::mutex> lock(m_lock);
    TUtf8Calls utf8;
    const char* answer = MediaInfo_Get(m_handle, static_cast<MediaInfo_stream_C>(Kind), static_cast<size_t>(Stream),
                                       Parameter, MediaInfo_Info_Text, MediaInfo_Info_Name);
    return answer ? answer : "";
}

int TMediaInfoDll::GetInt(int Kind, const char* Parameter) const
{
    return Low32(ParseIntText(Get(Kind, 0, Parameter), 0));
}

std::string TMediaInfoDll::CodecName(int Kind, int Stream) const
{
    const std::string format = Get(Kind, Stream, "Format");
    if (format.empty())
        return {};
    const std::string profile = Get(Kind, Stream, "Format_Profile");
    for (const TCodecName& entry : CodecNames)
        if (format == entry.Format && (!*entry.Profile || profile == entry.Profile))
            return entry.Name;
    return format;
}

double TMediaInfoDll::GetFrameRate() const
{
    const std::string text = Get(MediaInfo_Stream_Video, 0, "FrameRate");
    return TrimText(text).empty() ? 0.0 : StrToFloat(text);
}

std::string TMediaInfoDll::GetAudioCodec(int Index) const { return CodecName(MediaInfo_Stream_Audio, Index); }

int TMediaInfoDll::GetPlayTime() const { return GetInt(MediaInfo_Stream_General, "Duration"); }

std::string TMediaInfoDll::GetFileExtension() const { return Get(MediaInfo_Stream_General, 0, "FileExtension"); }

int TMediaInfoDll::GetHeight() const { return GetInt(MediaInfo_Stream_Video, "Height"); }

std::string TMediaInfoDll::GetVideoCodec() const { return CodecName(MediaInfo_Stream_Video, 0); }

int TMediaInfoDll::GetWidth() const { return GetInt(MediaInfo_Stream_Video, "Width"); }

double TMediaInfoDll::GetBitRate() const { return ParseFloatText(Get(MediaInfo_Stream_Video, 0, "BitRate"), 0.0); }

int TMediaInfoDll::AudioStreamCount() const
{
    if (!m_handle)
        return 0;
    std::lock_guard<std::mutex> lock(m_lock);
    TUtf8Calls utf8;
    return static_cast<int>(MediaInfo_Count_Get(m_handle, MediaInfo_Stream_Audio, static_cast<size_t>(-1)));
}

}  // namespace kv
