// Keeps the file list between runs of the program. Every change of the list and of each row's state
// (waiting, converting, done with its output, failed with its message, stopped) is written to the saved
// list at once, under the state folder. At start, after a run that ended with the list neither cleared nor
// converted, what that run's batch left behind (the empty files holding outputs' names, the hidden files
// being written) is removed where it is still the program's own, and the user is asked whether to list
// the rows again; Start on a list brought back converts only its rows not done.
#pragma once

#include <QHash>
#include <QList>
#include <QString>

#include "app/logic/LeftoverCleanup.h"
#include "app/logic/Ports.h"
#include "app/logic/RowState.h"
#include "app/logic/SavedList.h"

namespace kv {
class TCustomDIdezuDOR;
}

namespace kv::app {

class TBatchDriver;
class TFileList;

// The texts the user sees.
inline const QString RestoreQuestion = QStringLiteral("上次的文件列表尚未转换完，是否恢复？");
// Files of the saved list that are gone, one a line.
QString MissingFilesMessage(const QStringList& Files);
// The saved list File was damaged; SetAside: where it was moved ('' when it could not be).
QString DamagedListMessage(const QString& File, const QString& SetAside);
// The list cannot be kept in Folder, for Reason.
QString ListNotKeptMessage(const QString& Folder, const QString& Reason);

class TListKeeper {
public:
    // The saved list goes to StateHome/kelvane/ ('' keeps none). Takes the list's OnListChanged and the
    // driver's ConvertsRow and OnRowState; everything must outlive the keeper's use of them.
    TListKeeper(TFileList& List, TBatchDriver& Driver, kv::TCustomDIdezuDOR& Engine, const TPorts& Ports,
                const QString& StateHome);
    TListKeeper(const TListKeeper&) = delete;
    TListKeeper& operator=(const TListKeeper&) = delete;

    // At start, before the user changes the list: sets a damaged saved list aside, removes what an
    // unfinished one's batch left, asks whether to bring it back and does so on yes (files gone are named
    // and left out). From here on every change is saved. Where the folder cannot be written, says once
    // that the list will not be kept, and the program runs as before.
    void Start();

    // The saved list's file ('' when none is kept).
    QString File() const { return m_file; }
    // The list was brought back and some of its rows are not done yet: Start skips the done ones.
    bool Restored() const { return m_restored; }
    // What became of the row of the list at Index.
    TRowState State(int Index) const;

private:
    struct TRecord {
        TRowState State = TRowState::Waiting;
        QString Output;
        QString Message;
        QList<TLeftover> Leftovers;
    };
    void ListChanged();
    void RowState(int Row, TRowState State, int Task, const QString& Detail);
    // The row's output and the files its queued task prepared.
    void RecordQueued(TRecord& Record, int Task) const;
    void Save();
    void TellNotKept(const QString& Reason);

    TFileList& m_list;
    TBatchDriver& m_driver;
    kv::TCustomDIdezuDOR& m_engine;
    TPorts m_ports;
    QString m_folder;
    QString m_file;
    QHash<QString, TRecord> m_records;  // by the row's path; a row without one is waiting
    bool m_saving = false;              // Start has run and the folder takes the list
    bool m_told = false;                // the user has heard that the list will not be kept
    bool m_restored = false;
};

}  // namespace kv::app
