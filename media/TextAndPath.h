// Small text and path helpers shared by the loader, the option parser and the log assembly.
#pragma once

#include <cstdint>
#include <string>

namespace kv {

// Head := the part of Text before the first Delimiter (the whole text when it does not occur). With
// Remove, Text := the part after the delimiter ('' when it does not occur).
void SplitHead(std::string& Text, const std::string& Delimiter, bool Remove, std::string& Head);

// Path with "/" appended unless it already ends with one. An empty path stays empty.
std::string IncludeTrailingDelimiter(const std::string& Path);
// The part up to and including the last "/"; '' when there is none.
std::string FolderOf(const std::string& Name);
// The part after the last "/".
std::string NameOf(const std::string& Name);

// True when Name exists and is not a folder.
bool FileExistsW(const std::string& Name);
// The size of an existing regular file, -1 when it does not exist or cannot be examined.
int64_t FileSizeW(const std::string& Name);
// The folder of the running program, with a trailing "/".
std::string ProgramFolder();
// The folder the codec libraries are looked up in first: "LibAV" in ProgramFolder (which ends with "/"),
// by default the running program's.
std::string LibraryFolder(const std::string& ProgramFolder);
std::string LibraryFolder();

// The value of an environment variable, '' when it is not set.
std::string GetEnvW(const std::string& Name);

}  // namespace kv
