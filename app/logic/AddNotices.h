// What the window says when videos cannot be added: the codec libraries that did not load, and the files of
// an add that were not listed.
#pragma once

#include <QString>
#include <vector>

#include "app/logic/FileList.h"
#include "media/FFmpegLoader.h"

namespace kv::app {

// The codec libraries could not be loaded: names each one with the reason and the packages that install
// them. LibraryFolder: the folder searched first ('' when there is none).
QString MissingLibrariesMessage(const std::vector<kv::TLoadFailure>& Failures, const QString& LibraryFolder);

// The files an add passed over, by reason; Filter is the open-file dialog's, whose types are named. Each
// reason lists at most MaxNamed files and says how many more there are.
QString NotAddedMessage(const TNotAdded& NotAdded, const QString& Filter);
constexpr int MaxNamed = 10;

// Files dropped or opened while a batch runs.
inline const char* const AddWhileConvertingMessage =
    QT_TRANSLATE_NOOP("kv::app::AddNotices", "正在转换，请在转换结束后再添加文件。");

}  // namespace kv::app
