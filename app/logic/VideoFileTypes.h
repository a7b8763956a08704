// The kinds of video file the window takes: the open dialog's filter and the MIME types the desktop entry
// offers the program for (packaging/io.github.kelvane.Kelvane.desktop) are both read from this one table.
#pragma once

#include <QString>
#include <QStringList>
#include <span>

namespace kv::app {

struct TVideoFileType {
    const char* Extension;  // upper case, as the filter writes it
    const char* MimeTypes;  // the freedesktop MIME types of the extension, ';' between them; '' for none
};

// Every kind, in the order the filter lists them.
std::span<const TVideoFileType> VideoFileTypes();

// "Video Files|*.AVI;*.AVM;...": one pattern per kind, in the table's order.
QString VideoFileFilterText();

// The MIME types of every kind, each named once, in the table's order.
QStringList VideoMimeTypes();

}  // namespace kv::app
