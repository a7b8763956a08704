// The file list: the videos of the batch, one row each, with their type, resolution, duration and
// conversion progress. Every row keeps the full path of its file. The facts of a file are read on a
// thread of their own, so a file that takes long to read (or on which the media-information library never
// returns) does not hold the window up; rows appear on the window's thread, in the order they were asked
// for.
#pragma once

#include <QList>
#include <QPair>
#include <QSet>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "app/logic/WindowThreadQueue.h"

namespace kv::app {

// What the list needs to know about a file.
struct TFileFacts {
    bool Readable = false;  // the engine's probe opened it; a file it cannot open is not listed
    QString FormatName;     // the probe's input format ("image2" for a still picture)
    int VideoStreams = 0;
    int Width = 0;  // first video stream, 0 without one
    int Height = 0;
    qint64 DurationUs = -1;  // the probe's duration; -1 when the container names none
    qint64 PlayTimeMs = 0;   // the play time the row shows
    bool operator==(const TFileFacts&) const = default;
};

// Reads the facts of one file. Called on a thread of the list's own, never on the window's thread.
using TFactsReader = std::function<TFileFacts(const QString& Path)>;

// The reader of the program: the engine's probe opens the file; the resolution and play time come from the
// media-information helper (Helper: the kelvane-cli to run, '' for the one beside the program) when it
// answers within TimeoutMs, else from the probe.
TFactsReader MakeFactsReader(const QString& Helper = QString(), int TimeoutMs = 5000);

struct TListRow {
    QString Path;        // full path, as it was added
    QString Caption;     // file name without folder and extension
    QString Type;        // ".AVI": the extension with its dot, ASCII letters upper-cased
    QString Resolution;  // "1280 X 720"
    QString Duration;    // FormatDuration of the play time
    QString Progress;    // '' / "37%" / "100%"
    TFileFacts Facts;
};

// The files of one Add call that were not listed, and why.
struct TNotAdded {
    QStringList NotAccepted;  // the filter does not take their type
    QStringList Missing;      // no such file
    QStringList Unreadable;   // the probe could not open them
    bool Empty() const { return NotAccepted.isEmpty() && Missing.isEmpty() && Unreadable.isEmpty(); }
};

// " hh:nn:ss" of a play time in milliseconds; a video of a day or more counts its hours on (" 25:00:00").
QString FormatDuration(qint64 Ms);

// Whether the file's name matches one of the patterns of an open-file dialog filter written
// "Description|*.AVI;*.MP4;...", in any letter case.
bool MatchesFilter(const QString& Path, const QString& Filter);

class TFileList {
public:
    explicit TFileList(TFactsReader Reader = MakeFactsReader());
    // Waits for the reads in progress; their rows are not added.
    ~TFileList();
    TFileList(const TFileList&) = delete;
    // Files whose facts are read at once while adding.
    static constexpr size_t ParallelReads = 4;
    TFileList& operator=(const TFileList&) = delete;

    // Adds the files the open-file dialog (or a drop) gave, in that order. A path that names a file already
    // listed or being read is passed over; one whose name does not match Filter (when one is given), that
    // does not exist, or that the probe cannot open is told in OnNotAdded. The facts are read in the
    // background; a row is added when its file's facts are in. Returns how many files are being read.
    int Add(const QStringList& Paths, const QString& Filter = QString());
    // Reads are in progress.
    bool Reading() const { return !m_pending.empty(); }
    // Adds rows whose facts are known already (a list kept from an earlier run), at once and in that
    // order; a path listed already is passed over. Told like an Add call's rows, then OnAddFinished.
    void AddKnown(const QList<QPair<QString, TFileFacts>>& Files);

    int Count() const { return static_cast<int>(m_rows.size()); }
    const TListRow& Row(int Index) const { return m_rows.at(Index); }
    QStringList Paths() const;
    // Whether Path names a listed file (or one being read).
    bool Contains(const QString& Path) const;

    // Deletes one row. False when there is no such row.
    bool Delete(int Index);
    // Deletes every row and drops the reads in progress.
    void Clear();
    void SetProgress(int Index, const QString& Text);

    // Told on the window's thread.
    std::function<void(int Index)> OnRowAdded;
    std::function<void(int Index)> OnRowChanged;
    std::function<void()> OnRowsRemoved;
    // The reads of one Add call are all done (whether or not they gave rows).
    std::function<void()> OnAddFinished;
    // Just before OnAddFinished, when files of that call were passed over for another reason than being
    // listed already. Not told for reads that a Clear dropped.
    std::function<void(const TNotAdded&)> OnNotAdded;
    // After rows were added or removed (not when a progress cell changes).
    std::function<void()> OnListChanged;

private:
    struct TJob;
    static QString Key(const QString& Path);
    void Arrived(unsigned Generation, const QString& Path, const TFileFacts& Facts);
    void AddRow(const QString& Path, const TFileFacts& Facts);
    void ListChanged();
    void Finished(unsigned Generation, const TNotAdded& NotAdded);

    TFactsReader m_reader;
    std::vector<TListRow> m_rows;
    // The key of each row's file as it was listed, in row order, and all of them for a quick lookup: a list
    // of thousands of rows answers Contains without going through them.
    std::vector<QString> m_rowKeys;
    QSet<QString> m_listedKeys;
    QSet<QString> m_pending;  // keys of files being read
    unsigned m_generation = 0;
    TWindowThreadQueue m_window;  // the results go to the window's thread through it
    std::shared_ptr<std::atomic<bool>> m_cancel = std::make_shared<std::atomic<bool>>(false);
    std::mutex m_threadsLock;
    std::vector<std::thread> m_threads;
};

}  // namespace kv::app
