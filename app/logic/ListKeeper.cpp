// The file list kept between runs: the saved list written at each change, and brought back at start.
#include "app/logic/ListKeeper.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

#include "app/logic/BatchDriver.h"
#include "app/logic/FileList.h"
#include "component/DIdezuDOR.h"

namespace kv::app {

namespace {

const QString SavedListName = QStringLiteral("filelist.json");

QString FromLibraryName(const std::string& Name) { return QFile::decodeName(QByteArray::fromStdString(Name)); }

}  // namespace

QString MissingFilesMessage(const QStringList& Files)
{
    return QStringLiteral("以下文件已不存在，未能恢复：\n") + Files.join(QLatin1Char('\n'));
}

QString DamagedListMessage(const QString& File, const QString& SetAside)
{
    if (SetAside.isEmpty())
        return QStringLiteral("保存的文件列表已损坏，无法读取：\n%1\n本次以空列表开始。").arg(File);
    return QStringLiteral("保存的文件列表已损坏，无法读取，已改名为：\n%1\n本次以空列表开始。").arg(SetAside);
}

QString ListNotKeptMessage(const QString& Folder, const QString& Reason)
{
    return QStringLiteral("无法在以下文件夹保存文件列表：\n%1\n%2\n程序退出后，文件列表不会保留。").arg(Folder, Reason);
}

TListKeeper::TListKeeper(TFileList& List, TBatchDriver& Driver, kv::TCustomDIdezuDOR& Engine, const TPorts& Ports,
                         const QString& StateHome)
    : m_list(List), m_driver(Driver), m_engine(Engine), m_ports(Ports)
{
    if (!StateHome.isEmpty()) {
        m_folder = QDir::cleanPath(StateHome + QStringLiteral("/kelvane"));
        m_file = m_folder + QLatin1Char('/') + SavedListName;
    }
    m_list.OnListChanged = [this] { ListChanged(); };
    m_driver.ConvertsRow = [this](int Row) { return !m_restored || State(Row) != TRowState::Done; };
    m_driver.OnRowState = [this](int Row, TRowState State, int Task, const QString& Detail) {
        RowState(Row, State, Task, Detail);
    };
}

TRowState TListKeeper::State(int Index) const
{
    if (Index < 0 || Index >= m_list.Count())
        return TRowState::Waiting;
    const auto record = m_records.constFind(m_list.Row(Index).Path);
    return record == m_records.constEnd() ? TRowState::Waiting : record->State;
}

void TListKeeper::TellNotKept(const QString& Reason)
{
    if (m_told)
        return;
    m_told = true;
    if (m_ports.Messages)
        m_ports.Messages->Warning(ListNotKeptMessage(m_folder, Reason));
}

void TListKeeper::Start()
{
    if (m_file.isEmpty())
        return;
    if (!QDir().mkpath(m_folder) || !QFileInfo(m_folder).isWritable()) {
        TellNotKept(QStringLiteral("该文件夹无法创建或写入。"));
        return;
    }
    QString error;
    QList<TSavedRow> saved = LoadSavedList(m_file, error).value_or(QList<TSavedRow>{});
    if (!error.isEmpty()) {
        const QString aside = SetAsideSavedList(m_file);
        if (m_ports.Messages)
            m_ports.Messages->Warning(DamagedListMessage(m_file, aside));
        saved.clear();
    }
    if (Unfinished(saved)) {
        // Whatever the answer: what the unfinished rows' batch left is not a converted file.
        QList<TLeftover> leftovers;
        for (const TSavedRow& row : saved)
            if (row.State != TRowState::Done)
                leftovers << row.Leftovers;
        RemoveLeftovers(leftovers);
        if (m_ports.Messages && m_ports.Messages->Question(RestoreQuestion)) {
            QStringList missing;
            QList<QPair<QString, TFileFacts>> files;
            for (const TSavedRow& row : saved) {
                if (!QFileInfo(row.Path).isFile()) {
                    missing << row.Path;
                    continue;
                }
                // A row that was under way when the program ended starts again.
                const bool converting = row.State == TRowState::Converting;
                m_records.insert(row.Path,
                                 TRecord{converting ? TRowState::Waiting : row.State, row.Output, row.Message, {}});
                files.append({row.Path, row.Facts});
            }
            m_list.AddKnown(files);
            for (int index = 0; index < m_list.Count(); ++index)
                if (State(index) == TRowState::Done)
                    m_list.SetProgress(index, QStringLiteral("100%"));
            m_restored = std::any_of(files.begin(), files.end(), [&](const auto& File) {
                return m_records.value(File.first).State != TRowState::Done;
            });
            if (!missing.isEmpty() && m_ports.Messages)
                m_ports.Messages->Warning(MissingFilesMessage(missing));
        }
    }
    m_saving = true;
    // What the user decided is what the next start finds.
    Save();
}

void TListKeeper::ListChanged()
{
    if (m_list.Count() == 0)
        m_restored = false;
    Save();
}

void TListKeeper::RecordQueued(TRecord& Record, int Task) const
{
    Record.Output.clear();
    Record.Leftovers.clear();
    const kv::TFFmpegPin task = m_engine.TaskPin(Task);
    if (!task)
        return;
    const kv::TPreparedFiles& files = task->Files();
    for (int k = 0; k < files.NbOutputFiles; ++k) {
        const kv::TOutputTarget& target = files.OutputTargets[k];
        const bool hidden = !target.FinalPath.empty();
        const QString path = FromLibraryName(target.Path);
        if (Record.Output.isEmpty())
            Record.Output = hidden ? FromLibraryName(target.FinalPath) : path;
        if (hidden && target.Holding)
            Record.Leftovers << TLeftover{FromLibraryName(target.FinalPath), static_cast<quint64>(target.HoldDevice),
                                          static_cast<quint64>(target.HoldInode), qint64(0)};
        // The hidden file grows as it is written: its size is not known when the program ends.
        if (target.Created && !path.isEmpty())
            Record.Leftovers << TLeftover{path, static_cast<quint64>(target.Device), static_cast<quint64>(target.Inode),
                                          hidden ? std::nullopt : std::optional<qint64>(0)};
    }
}

void TListKeeper::RowState(int Row, TRowState State, int Task, const QString& Detail)
{
    if (Row < 0 || Row >= m_list.Count())
        return;
    TRecord& record = m_records[m_list.Row(Row).Path];
    if (State == TRowState::Converting && record.State == TRowState::Converting)
        return;  // told at every report: saved once
    record.State = State;
    record.Message = State == TRowState::Failed ? Detail : QString();
    if (State == TRowState::Waiting)
        RecordQueued(record, Task);
    else if (State != TRowState::Converting)
        record.Leftovers.clear();  // the task has settled its files
    if (State == TRowState::Failed && Task < 0)
        record.Output.clear();
    if (m_restored && State == TRowState::Done) {
        bool allDone = true;
        for (int index = 0; index < m_list.Count() && allDone; ++index)
            allDone = this->State(index) == TRowState::Done;
        m_restored = !allDone;
    }
    Save();
}

void TListKeeper::Save()
{
    if (!m_saving)
        return;
    QList<TSavedRow> rows;
    QHash<QString, TRecord> kept;
    for (int index = 0; index < m_list.Count(); ++index) {
        const TListRow& listed = m_list.Row(index);
        const TRecord record = m_records.value(listed.Path);
        kept.insert(listed.Path, record);
        rows << TSavedRow{listed.Path, listed.Facts, record.State, record.Output, record.Message, record.Leftovers};
    }
    // The records of rows that left the list go with them.
    m_records.swap(kept);
    QString error;
    if (!SaveSavedList(m_file, rows, error))
        TellNotKept(error);
}

}  // namespace kv::app
