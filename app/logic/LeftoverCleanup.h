// The files a batch leaves behind while it converts: the empty file that holds an output's name and the
// hidden file the output is written to. They are recorded as the program created them, so that after the
// program ended in the middle of a batch they can be removed again without touching any other file.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <optional>

namespace kv::app {

struct TLeftover {
    QString Path;
    quint64 Device = 0;
    quint64 Inode = 0;
    // What it held when recorded; none for a file that grows as it is written (the hidden output).
    std::optional<qint64> Size;
    bool operator==(const TLeftover&) const = default;
};

// The regular file at Path as it is now (Size recorded when KeepSize), or none when there is no regular
// file there.
std::optional<TLeftover> RecordLeftover(const QString& Path, bool KeepSize);

// Whether the file at the leftover's path is still the one recorded: a regular file (not a link) on the
// same device with the same inode and, where recorded, the same size.
bool IsStillRecorded(const TLeftover& Leftover);

// Removes each leftover that is still the file recorded and leaves every other file alone. Returns the
// paths removed.
QStringList RemoveLeftovers(const QList<TLeftover>& Leftovers);

}  // namespace kv::app
