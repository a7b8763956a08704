// Text helpers for UTF-8 strings: blanks trimmed as the window trims them (Unicode white space), names
// compared without regard to letter case, the order folder entries are listed in, and the part of a text
// before a delimiter.
#pragma once

#include <string>
#include <string_view>

namespace kv::presets {

// True when Bytes are well-formed UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF).
bool IsUtf8(std::string_view Bytes);

// The text as UTF-16 code units; a malformed byte gives U+FFFD.
std::u16string Utf16(std::string_view Text);

// Text without the white space (ASCII blanks and line ends, U+0085, U+00A0, U+3000 and the other Unicode
// space separators) at either end.
std::string Trimmed(std::string_view Text);

// Text with the ASCII letters a-z upper-cased; everything else as it is.
std::string AsciiUpper(std::string_view Text);

// <0, 0 or >0 as A sorts before, with or after B when letter case does not count: the texts' UTF-16 code
// units compared after simple case folding, a text that is a prefix of the other first.
int CompareIgnoringCase(std::string_view A, std::string_view B);
inline bool EqualIgnoringCase(std::string_view A, std::string_view B) { return CompareIgnoringCase(A, B) == 0; }

// The order profile folders are listed in: by name ignoring letter case; names equal but for case by
// their UTF-16 code units, so that the order is fixed.
bool NameBefore(std::string_view A, std::string_view B);

// The part of Text before the first Delimiter; the whole text when it does not occur (or is empty).
std::string TextBefore(std::string_view Text, std::string_view Delimiter);

}  // namespace kv::presets
