// The saved file list: what is kept of the file list between runs of the program (each row's file, its
// facts, what became of it and what its batch left behind), as a JSON document with a version, written
// at once or not at all.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

#include "app/logic/FileList.h"
#include "app/logic/LeftoverCleanup.h"
#include "app/logic/RowState.h"

namespace kv::app {

struct TSavedRow {
    QString Path;
    TFileFacts Facts;
    TRowState State = TRowState::Waiting;
    QString Output;              // Done: the converted file
    QString Message;             // Failed: why
    QList<TLeftover> Leftovers;  // not done: what its batch left while converting
    bool operator==(const TSavedRow&) const = default;
};

// The document's version; a document of another version is not read.
inline constexpr int SavedListVersion = 1;

// Some row is not done: the list was neither cleared nor converted.
bool Unfinished(const QList<TSavedRow>& Rows);

QByteArray SavedListDocument(const QList<TSavedRow>& Rows);
// The rows of a document; none when it is damaged, with Error saying how.
std::optional<QList<TSavedRow>> ParseSavedList(const QByteArray& Document, QString& Error);

// The saved list's file. Load: none when there is no file (Error empty) or it cannot be read or is damaged
// (Error says why). Save writes through a temporary file renamed over the old one, so a save that is cut
// short leaves the previous list as it was; false with Error when the file cannot be written.
std::optional<QList<TSavedRow>> LoadSavedList(const QString& File, QString& Error);
bool SaveSavedList(const QString& File, const QList<TSavedRow>& Rows, QString& Error);
// Renames a damaged file beside itself ("NAME.damaged", then "NAME.damaged-2", ...); the new name, '' when
// it could not be renamed.
QString SetAsideSavedList(const QString& File);

}  // namespace kv::app
