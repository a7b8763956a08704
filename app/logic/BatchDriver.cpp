#include "app/logic/BatchDriver.h"

#include <QCoreApplication>
#include <chrono>
#include <exception>
#include <mutex>

#include "component/DIdezuDOR.h"

namespace kv::app {

QString ProgressText(qint64 CurrentMs, qint64 TotalMs)
{
    if (TotalMs <= 0)
        return QString();
    return QString::number(CurrentMs * 100 / TotalMs) + QLatin1Char('%');
}

QString CustomFieldsProblem(const QString& TypeText, const QString& Width, const QString& Height,
                            const QString& Bitrate, const QString& FrameRate)
{
    if (TypeText.isEmpty())
        return QCoreApplication::translate("kv::app::BatchDriver", "请选择视频要转换的类型！");
    if (Width.trimmed().isEmpty() || Height.trimmed().isEmpty())
        return QCoreApplication::translate("kv::app::BatchDriver", "请输入视频尺寸！");
    if (Bitrate.trimmed().isEmpty())
        return QCoreApplication::translate("kv::app::BatchDriver", "请输入视频比特率！");
    if (FrameRate.trimmed().isEmpty())
        return QCoreApplication::translate("kv::app::BatchDriver", "请输入视频帧速率！");
    return QString();
}

QString BatchEndMessage(int Converted, const QStringList& Failed, int Stopped)
{
    if (Failed.isEmpty() && Stopped == 0)
        return QCoreApplication::translate("kv::app::BatchDriver", BatchDoneMessage);
    QString text =
        QCoreApplication::translate("kv::app::BatchDriver", "转换结束：%1 个视频转换成功，%2 个失败，%3 个已停止。")
            .arg(Converted)
            .arg(Failed.size())
            .arg(Stopped);
    if (!Failed.isEmpty())
        text += QCoreApplication::translate("kv::app::BatchDriver", "\n\n转换失败的视频：\n") +
                Failed.join(QLatin1Char('\n'));
    return text;
}

QString PowerOffFailedMessage(const QString& Reason)
{
    QString text = QCoreApplication::translate("kv::app::BatchDriver", "无法自动关机！");
    if (!Reason.isEmpty())
        text += QLatin1Char('\n') + Reason;
    return text;
}

TBatchDriver::TBatchDriver(kv::TCustomDIdezuDOR& Engine, TFileList& List, const TPorts& Ports)
    : m_engine(Engine), m_list(List), m_ports(Ports)
{
    // A row's output reaches its name only once it is complete (or stopped): until then it is written under
    // a hidden name, and an empty file holds its own name so that the rows after it are named around it.
    m_engine.SetOutputPolicy(kv::TOutputPolicy{.Temporary = true, .Replace = false, .HoldName = true});
    // Raised on worker threads under the component's event lock: only hand the figures over. One event per
    // wake-up, so that a message box opened by one lets the next ones through in order.
    m_engine.OnProgress = [this](int AIndex, int, int, int ACurrentDuration, float, float, int64_t,
                                 int ATotalOutputDuration) {
        m_events.Post([this, AIndex, ACurrentDuration, ATotalOutputDuration] {
            Progress(AIndex, ACurrentDuration, ATotalOutputDuration);
        });
    };
    m_engine.OnTerminate = [this](int AIndex, bool AFinished, bool AException, const std::string& AMessage) {
        m_events.Post([this, AIndex, AFinished, AException, AMessage] {
            Terminate(AIndex, AFinished, AException, QString::fromStdString(AMessage));
        });
    };
}

TBatchDriver::~TBatchDriver()
{
    ReleaseAwake();
    // Under the lock the events are raised under: a worker raising one now finishes its hand-over first.
    const std::lock_guard<kv::TEventLock> guard(m_engine.EventLock());
    m_engine.OnProgress = nullptr;
    m_engine.OnTerminate = nullptr;
}

void TBatchDriver::SetButtons(const TBatchButtons& Buttons)
{
    m_buttons = Buttons;
    if (OnButtons)
        OnButtons();
}

int TBatchDriver::RowOf(int TaskIndex) const
{
    if (TaskIndex < 0 || TaskIndex >= static_cast<int>(m_taskRows.size()))
        return -1;
    const int row = m_taskRows[TaskIndex];
    return row < m_list.Count() ? row : -1;
}

int TBatchDriver::OverallPercent() const
{
    if (!m_running || m_percent.empty())
        return -1;
    qint64 sum = 0;
    for (const int percent : m_percent)
        sum += percent;
    return static_cast<int>(sum / static_cast<qint64>(m_percent.size()));
}

qint64 TBatchDriver::Now() const
{
    if (Clock)
        return Clock();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void TBatchDriver::HoldAwake()
{
    if (m_ports.SleepInhibitor)
        m_ports.SleepInhibitor->Hold();
}

void TBatchDriver::ReleaseAwake()
{
    if (m_ports.SleepInhibitor)
        m_ports.SleepInhibitor->Release();
}

void TBatchDriver::TimesLeftChanged()
{
    if (OnTimesLeft)
        OnTimesLeft();
}

void TBatchDriver::RowStateChanged(int Row, TRowState State, int Task, const QString& Detail)
{
    if (OnRowState && Row >= 0)
        OnRowState(Row, State, Task, Detail);
}

void TBatchDriver::SampleBatch(qint64 NowMs)
{
    // Each task weighs what its output lasts; one whose length is not known yet weighs the mean of the
    // known ones (all the same when none is known).
    qint64 known = 0;
    int knownCount = 0;
    for (const qint64 length : m_lengths)
        if (length > 0) {
            known += length;
            ++knownCount;
        }
    const double unknownWeight = knownCount > 0 ? static_cast<double>(known) / knownCount : 1.0;
    double done = 0;
    double total = 0;
    for (std::size_t task = 0; task < m_done.size(); ++task) {
        const double weight = m_lengths[task] > 0 ? static_cast<double>(m_lengths[task]) : unknownWeight;
        done += weight * m_done[task];
        total += weight;
    }
    // In millionths of the whole.
    constexpr double Scale = 1000000;
    if (total > 0)
        m_batchTime.Sample(NowMs, static_cast<qint64>(done / total * Scale), static_cast<qint64>(Scale));
}

std::optional<qint64> TBatchDriver::RowTimeLeftMs(int Row) const
{
    if (!m_running)
        return std::nullopt;
    for (std::size_t task = 0; task < m_taskRows.size() && task < m_taskTimes.size(); ++task)
        if (m_taskRows[task] == Row)
            return m_taskTimes[task].RemainingMs();
    return std::nullopt;
}

std::optional<qint64> TBatchDriver::BatchTimeLeftMs() const
{
    if (!m_running)
        return std::nullopt;
    return m_batchTime.RemainingMs();
}

int TBatchDriver::QueueTask(kv::TInputOptions& Input, kv::TOutputOptions& Output)
{
    const int index = m_engine.AddTask(Input.FileName, &Input);
    if (index < 0) {
        m_queueError = QString::fromStdString(m_engine.LastError());
        return -1;
    }
    if (!m_engine.SetOutputFile(index, Output.FileName, &Output)) {
        m_queueError = QString::fromStdString(m_engine.LastError());
        m_engine.RemoveTask(index);
        return -1;
    }
    return index;
}

void TBatchDriver::Start()
{
    if (m_running)
        return;
    if (m_list.Count() == 0) {
        if (m_ports.Messages)
            m_ports.Messages->Error(QCoreApplication::translate("kv::app::BatchDriver", NoFilesMessage));
        return;
    }
    if (CheckSettings && !CheckSettings())
        return;
    m_engine.SetLogLevel(llInfo);
    m_engine.SetThreadPriority(tpLower);
    SetButtons({.Start = false, .Pause = true, .Resume = false, .Stop = true, .ListButtons = false});

    // Whatever was queued before is dropped (with the empty outputs it made): each row gets one fresh
    // task, in row order, with the settings in force now.
    m_engine.ClearTasks();
    m_taskRows.clear();
    m_percent.clear();
    m_done.clear();
    m_lengths.clear();
    m_taskTimes.clear();
    m_batchTime.Reset();
    m_taskFiles.clear();
    m_taskEnds.clear();
    m_notQueued.clear();
    const int rows = m_list.Count();
    for (int row = 0; row < rows && row < m_list.Count(); ++row) {
        // Keep the window painted while inputs open; the buttons wait until the batch runs.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        if (ConvertsRow && !ConvertsRow(row))
            continue;
        const TListRow file = m_list.Row(row);
        kv::TInputOptions input;
        kv::TOutputOptions output;
        if (BuildRecords && !BuildRecords(file, input, output)) {
            m_notQueued << file.Path;
            RowStateChanged(row, TRowState::Failed, -1);
            continue;
        }
        if (input.FileName.empty())
            input.FileName = file.Path.toStdString();
        const int task = QueueTask(input, output);
        if (task < 0) {
            // The row would otherwise stay blank under a batch announced as converted.
            if (m_ports.Messages)
                m_ports.Messages->Warning(file.Path + QLatin1Char('\n') + m_queueError);
            m_notQueued << file.Path;
            RowStateChanged(row, TRowState::Failed, -1, m_queueError);
            continue;
        }
        RowStateChanged(row, TRowState::Waiting, task);
        m_taskRows.push_back(row);
        m_percent.push_back(0);
        m_done.push_back(0);
        m_lengths.push_back(qMax(qint64(0), file.Facts.DurationUs / 1000));
        m_taskTimes.emplace_back();
        m_taskFiles.push_back(file.Path);
        m_taskEnds.push_back(TTaskEnd::Pending);
    }
    if (m_taskRows.empty()) {
        // No task means no end of batch from the component: back to idle here.
        m_engine.ClearTasks();
        SetButtons({});
        if (m_ports.Messages)
            m_ports.Messages->Error(QCoreApplication::translate("kv::app::BatchDriver", NothingQueuedMessage));
        return;
    }
    m_running = true;
    m_quiet = false;
    m_stopped = false;
    // The batch's pace is measured from here, opening the inputs included.
    m_batchTime.Sample(Now(), 0, 1);
    HoldAwake();
    m_engine.StartConvert(TasksAtOnce ? qMax(1, TasksAtOnce()) : 1);
}

void TBatchDriver::Pause()
{
    TBatchButtons buttons = m_buttons;
    buttons.Pause = false;
    buttons.Resume = true;
    SetButtons(buttons);
    m_engine.PauseConvert();
    const qint64 now = Now();
    m_batchTime.Pause(now);
    for (TTimeLeft& times : m_taskTimes)
        times.Pause(now);
    ReleaseAwake();
}

void TBatchDriver::Resume()
{
    TBatchButtons buttons = m_buttons;
    buttons.Pause = true;
    buttons.Resume = false;
    SetButtons(buttons);
    m_engine.ResumeConvert();
    const qint64 now = Now();
    m_batchTime.Resume(now);
    for (TTimeLeft& times : m_taskTimes)
        times.Resume(now);
    if (m_running)
        HoldAwake();
}

void TBatchDriver::Stop()
{
    TBatchButtons buttons = m_buttons;
    buttons.Stop = false;
    SetButtons(buttons);
    if (m_running)
        m_stopped = true;
    ReleaseAwake();
    m_engine.StopConvert();
}

void TBatchDriver::StopQuietly()
{
    m_quiet = true;
    Stop();
}

void TBatchDriver::Progress(int TaskIndex, qint64 CurrentMs, qint64 TotalMs)
{
    try {
        const int row = RowOf(TaskIndex);
        if (row < 0)
            return;
        // The overall figure first: the row's change redraws the window's title from it.
        if (TotalMs > 0 && TaskIndex < static_cast<int>(m_percent.size())) {
            m_percent[TaskIndex] = static_cast<int>(qBound(qint64(0), CurrentMs * 100 / TotalMs, qint64(100)));
            m_done[TaskIndex] = qBound(0.0, static_cast<double>(CurrentMs) / static_cast<double>(TotalMs), 1.0);
            m_lengths[TaskIndex] = TotalMs;
            const qint64 now = Now();
            m_taskTimes[TaskIndex].Sample(now, CurrentMs, TotalMs);
            SampleBatch(now);
        }
        m_list.SetProgress(row, ProgressText(CurrentMs, TotalMs));
        RowStateChanged(row, TRowState::Converting, TaskIndex);
    } catch (const std::exception&) {
        TBatchButtons buttons = m_buttons;
        buttons.Start = true;
        buttons.Pause = buttons.Resume = buttons.Stop = false;
        SetButtons(buttons);
    }
}

void TBatchDriver::Terminate(int TaskIndex, bool Finished, bool Failed, const QString& Message)
{
    if (TaskIndex < 0) {
        EndBatch();
        return;
    }
    if (TaskIndex < static_cast<int>(m_taskEnds.size())) {
        m_taskEnds[TaskIndex] = Failed ? TTaskEnd::Failed : Finished ? TTaskEnd::Finished : TTaskEnd::Stopped;
        // An ended task needs no more time: it no longer delays the batch either.
        m_taskTimes[TaskIndex].Reset();
        m_done[TaskIndex] = 1;
    }
    const int row = RowOf(TaskIndex);
    if (Finished && row >= 0) {
        m_percent[TaskIndex] = 100;
        m_list.SetProgress(row, QStringLiteral("100%"));
    }
    TimesLeftChanged();
    RowStateChanged(row,
                    Failed     ? TRowState::Failed
                    : Finished ? TRowState::Done
                               : TRowState::Stopped,
                    TaskIndex, Failed ? Message : QString());
    if (Failed && m_ports.Messages)
        m_ports.Messages->Warning(Message);
}

void TBatchDriver::EndBatch()
{
    if (!m_running)
        return;
    m_running = false;
    ReleaseAwake();
    m_taskTimes.clear();
    m_batchTime.Reset();
    TimesLeftChanged();
    // The tasks go before the message box: while it is open the window is idle and a new Start must find
    // nothing of this batch left in the queue.
    m_engine.ClearTasks();
    for (std::size_t task = 0; task < m_taskEnds.size(); ++task)
        if (m_taskEnds[task] == TTaskEnd::Pending)
            RowStateChanged(RowOf(static_cast<int>(task)), TRowState::Stopped, static_cast<int>(task));
    SetButtons({});
    const bool quiet = m_quiet;
    m_quiet = false;
    if (!quiet)
        AnnounceEnd();
    if (OnBatchEnded)
        OnBatchEnded();
}

void TBatchDriver::AnnounceEnd()
{
    int converted = 0;
    int stopped = 0;
    QStringList failed = m_notQueued;
    for (std::size_t task = 0; task < m_taskEnds.size(); ++task) {
        switch (m_taskEnds[task]) {
        case TTaskEnd::Finished: ++converted; break;
        case TTaskEnd::Failed: failed << m_taskFiles[task]; break;
        case TTaskEnd::Pending:  // never ran: Stop came first
        case TTaskEnd::Stopped: ++stopped; break;
        }
    }
    const QString text = BatchEndMessage(converted, failed, stopped);
    // A user busy in another window hears of the end there too, before any box waits for an answer.
    if (m_ports.Notifier && !(WindowActive && WindowActive()))
        m_ports.Notifier->Notify(text);

    // A stopped batch did not complete: the computer stays on whatever the check box says. One that ran to
    // its end counts down instead of waiting for a message nobody may be there to close.
    if (!m_stopped && PowerOffChecked && PowerOffChecked() && m_ports.PowerOff && m_ports.PowerOffCountdown) {
        if (!m_ports.PowerOffCountdown->PowerOffCountdown(PowerOffSeconds))
            return;
        QString reason;
        if (!m_ports.PowerOff->PowerOff(reason) && m_ports.Messages)
            m_ports.Messages->Error(PowerOffFailedMessage(reason));
        return;
    }
    if (!m_ports.Messages)
        return;
    if (failed.isEmpty())
        m_ports.Messages->Information(text);
    else
        m_ports.Messages->Warning(text);
}

}  // namespace kv::app
