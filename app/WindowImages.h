// The window's images: the file-type and profile icons of the combo boxes, the tab icons, the buttons'
// icons and the picture the preview shows before a file is loaded.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>

namespace kv::app {

// The small images: 0 to 8 the nine file types, 9 a preset, brand or model.
QIcon SmallImage(int Index);
inline constexpr int ProfileImage = 9;
// The tab images: 0 to 3 the four tabs when not active, 4 to 7 the same tabs when active.
QIcon TabImage(int Index);
// The picture the preview shows before a file is loaded.
QPixmap PreviewPlaceholder(QSize Size);

// The buttons' icons.
enum class TButtonImage {
    AddPanel,
    Add,
    Delete,
    Clear,
    Analyse,
    ShowCustom,
    BrowseFolder,
    OpenFolder,
    Start,
    Pause,
    Resume,
    Stop,
    Count
};
QIcon ButtonImage(TButtonImage Image);

}  // namespace kv::app
