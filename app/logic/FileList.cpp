#include "app/logic/FileList.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <condition_variable>
#include <optional>

#include "component/MediaFacts.h"
#include "media/AVProbe.h"

namespace kv::app {

TFactsReader MakeFactsReader(const QString& Helper, int TimeoutMs)
{
    auto helper = std::make_shared<const TMediaFactsReader>(Helper.toStdString(), std::chrono::milliseconds(TimeoutMs));
    return [helper](const QString& Path) {
        TFileFacts facts;
        const std::string name = Path.toStdString();
        TAVProbe probe;
        if (!probe.OpenFile(name))
            return facts;
        facts.Readable = true;
        facts.FormatName = QString::fromStdString(probe.GetFormatName());
        facts.VideoStreams = probe.VideoStreamCount > 0 ? probe.VideoStreamCount : 0;
        TFileStreamInfo info;
        probe.GetFileStreamInfo(info);
        facts.DurationUs = info.Duration;
        std::string error;
        const TMediaFacts media = ReadMediaFactsOrProbe(*helper, name, &probe, error);
        facts.Width = media.Width;
        facts.Height = media.Height;
        facts.PlayTimeMs = media.PlayTime;
        return facts;
    };
}

QString FormatDuration(qint64 Ms)
{
    const qint64 seconds = Ms > 0 ? Ms / 1000 : 0;
    return QStringLiteral(" %1:%2:%3")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

bool MatchesFilter(const QString& Path, const QString& Filter)
{
    const QString patterns = Filter.section(QLatin1Char('|'), 1);
    const QString name = QFileInfo(Path).fileName();
    for (const QString& pattern : patterns.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QRegularExpression match(QRegularExpression::wildcardToRegularExpression(pattern.trimmed()),
                                       QRegularExpression::CaseInsensitiveOption);
        if (match.match(name).hasMatch())
            return true;
    }
    return false;
}

namespace {

QString AsciiUpper(const QString& Text)
{
    QString upper = Text;
    for (QChar& c : upper)
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            c = QChar(c.unicode() - 'a' + 'A');
    return upper;
}

}  // namespace

TFileList::TFileList(TFactsReader Reader) : m_reader(std::move(Reader)) {}

TFileList::~TFileList()
{
    *m_cancel = true;
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> guard(m_threadsLock);
        threads.swap(m_threads);
    }
    for (std::thread& thread : threads)
        thread.join();
}

QString TFileList::Key(const QString& Path)
{
    const QFileInfo info(Path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

bool TFileList::Contains(const QString& Path) const
{
    const QString key = Key(Path);
    return m_pending.contains(key) || m_listedKeys.contains(key);
}

QStringList TFileList::Paths() const
{
    QStringList paths;
    for (const TListRow& row : m_rows)
        paths << row.Path;
    return paths;
}

int TFileList::Add(const QStringList& Paths, const QString& Filter)
{
    QStringList accepted;
    TNotAdded notAdded;
    for (const QString& path : Paths) {
        if (path.isEmpty() || Contains(path))
            continue;
        if (!Filter.isEmpty() && !MatchesFilter(path, Filter))
            notAdded.NotAccepted << path;
        else if (!QFileInfo::exists(path))
            notAdded.Missing << path;
        else {
            m_pending.insert(Key(path));
            accepted << path;
        }
    }
    if (accepted.isEmpty()) {
        Finished(m_generation, notAdded);
        return 0;
    }
    const unsigned generation = m_generation;
    std::lock_guard<std::mutex> guard(m_threadsLock);
    m_threads.emplace_back([this, accepted, passedOver = notAdded, generation, cancel = m_cancel, reader = m_reader] {
        TNotAdded notAdded = passedOver;
        // Most of a file's reading is waiting for the facts helper, so a few files are read at once; the
        // rows still arrive in the order the files were given.
        const size_t count = static_cast<size_t>(accepted.size());
        std::vector<std::optional<TFileFacts>> results(count);
        std::mutex resultsLock;
        std::condition_variable resultArrived;
        std::atomic<size_t> next{0};
        std::vector<std::thread> readers;
        for (size_t k = 0; k < std::min<size_t>(ParallelReads, count); ++k)
            readers.emplace_back([&] {
                for (size_t i = next++; i < count && !*cancel; i = next++) {
                    TFileFacts facts = reader(accepted[static_cast<qsizetype>(i)]);
                    std::lock_guard<std::mutex> guard(resultsLock);
                    results[i] = std::move(facts);
                    resultArrived.notify_all();
                }
            });
        for (size_t i = 0; i < count; ++i) {
            std::unique_lock<std::mutex> guard(resultsLock);
            // Cancelling stops the readers taking new files; the ones they hold still end.
            while (!results[i] && !*cancel)
                resultArrived.wait_for(guard, std::chrono::milliseconds(50));
            if (!results[i])
                break;
            const QString path = accepted[static_cast<qsizetype>(i)];
            const TFileFacts facts = *results[i];
            guard.unlock();
            if (!facts.Readable)
                notAdded.Unreadable << path;
            m_window.Post([this, generation, path, facts] { Arrived(generation, path, facts); });
        }
        for (std::thread& thread : readers)
            thread.join();
        if (*cancel)
            return;
        const std::thread::id self = std::this_thread::get_id();
        m_window.Post([this, self, generation, notAdded] {
            std::thread done;
            {
                std::lock_guard<std::mutex> guard(m_threadsLock);
                for (auto it = m_threads.begin(); it != m_threads.end(); ++it)
                    if (it->get_id() == self) {
                        done = std::move(*it);
                        m_threads.erase(it);
                        break;
                    }
            }
            if (done.joinable())
                done.join();
            Finished(generation, notAdded);
        });
    });
    return static_cast<int>(accepted.size());
}

void TFileList::Finished(unsigned Generation, const TNotAdded& NotAdded)
{
    if (Generation == m_generation && !NotAdded.Empty() && OnNotAdded)
        OnNotAdded(NotAdded);
    if (OnAddFinished)
        OnAddFinished();
}

void TFileList::Arrived(unsigned Generation, const QString& Path, const TFileFacts& Facts)
{
    if (Generation != m_generation)
        return;  // the list was cleared while the file was read
    const QString key = Key(Path);
    m_pending.remove(key);
    if (!Facts.Readable)
        return;
    AddRow(Path, Facts);
}

void TFileList::AddKnown(const QList<QPair<QString, TFileFacts>>& Files)
{
    for (const auto& [path, facts] : Files)
        if (!path.isEmpty() && !Contains(path))
            AddRow(path, facts);
    if (OnAddFinished)
        OnAddFinished();
}

void TFileList::ListChanged()
{
    if (OnListChanged)
        OnListChanged();
}

void TFileList::AddRow(const QString& Path, const TFileFacts& Facts)
{
    const QString key = Key(Path);
    const QFileInfo info(Path);
    TListRow row;
    row.Path = Path;
    row.Caption = info.completeBaseName();
    row.Type = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + AsciiUpper(info.suffix());
    row.Resolution = QStringLiteral("%1 X %2").arg(Facts.Width).arg(Facts.Height);
    row.Duration = FormatDuration(Facts.PlayTimeMs);
    row.Facts = Facts;
    m_rows.push_back(std::move(row));
    m_rowKeys.push_back(key);
    m_listedKeys.insert(key);
    if (OnRowAdded)
        OnRowAdded(Count() - 1);
    ListChanged();
}

bool TFileList::Delete(int Index)
{
    if (Index < 0 || Index >= Count())
        return false;
    m_rows.erase(m_rows.begin() + Index);
    m_listedKeys.remove(m_rowKeys[static_cast<size_t>(Index)]);
    m_rowKeys.erase(m_rowKeys.begin() + Index);
    if (OnRowsRemoved)
        OnRowsRemoved();
    ListChanged();
    return true;
}

void TFileList::Clear()
{
    ++m_generation;
    m_pending.clear();
    m_rows.clear();
    m_rowKeys.clear();
    m_listedKeys.clear();
    if (OnRowsRemoved)
        OnRowsRemoved();
    ListChanged();
}

void TFileList::SetProgress(int Index, const QString& Text)
{
    if (Index < 0 || Index >= Count() || m_rows[Index].Progress == Text)
        return;
    m_rows[Index].Progress = Text;
    if (OnRowChanged)
        OnRowChanged(Index);
}

}  // namespace kv::app
