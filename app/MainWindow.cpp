#include "app/MainWindow.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QToolButton>

#include "app/AboutDialog.h"
#include "app/BatchController.h"
#include "app/DBusNotifier.h"
#include "app/DBusSleepInhibitor.h"
#include "app/LanguageMenu.h"
#include "app/PreviewWindow.h"
#include "app/QtMainThreadBridge.h"
#include "app/QtPorts.h"
#include "app/WidgetTexts.h"
#include "app/logic/ProfileChoices.h"

namespace kv::app {

namespace {

const QString WindowCaption = QStringLiteral("Kelvane V1.3");

}  // namespace

TMainWindow::TMainWindow(const TWindowPaths& Paths, const TPorts& Ports)
    : m_qtPorts(std::make_unique<TQtPorts>(this)),
      m_notifier(std::make_unique<TDBusNotifier>()),
      m_sleepInhibitor(std::make_unique<TDBusSleepInhibitor>()),
      m_ports(Ports)
{
    const TPorts qt = m_qtPorts->Ports();
    if (!m_ports.Messages)
        m_ports.Messages = qt.Messages;
    if (!m_ports.FolderBrowser)
        m_ports.FolderBrowser = qt.FolderBrowser;
    if (!m_ports.OpenFileDialog)
        m_ports.OpenFileDialog = qt.OpenFileDialog;
    if (!m_ports.PowerOff)
        m_ports.PowerOff = qt.PowerOff;
    if (!m_ports.Desktop)
        m_ports.Desktop = qt.Desktop;
    if (!m_ports.PowerOffCountdown)
        m_ports.PowerOffCountdown = qt.PowerOffCountdown;
    if (!m_ports.Notifier)
        m_ports.Notifier = m_notifier.get();
    if (!m_ports.SleepInhibitor)
        m_ports.SleepInhibitor = m_sleepInhibitor.get();
    m_logic = std::make_unique<TWindowLogic>(m_ports, Paths);
    m_language =
        std::make_unique<TLanguageSwitch>(m_logic->Paths().ProgramFolder, m_logic->ConfigFile(), m_ports.Messages);
    m_language->Install(ReadLanguage(m_logic->ConfigFile()));
    m_language->OnChanged = [this] { Retranslate(); };

    // Fixed size, with the system menu and the minimise button only.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowTitle(WindowCaption);
    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("client"));
    m_client->setFixedSize(ClientAreaSize);
    setCentralWidget(m_client);
    m_controls = BuildMainWindowControls(*m_client);
    BuildMenu();
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    m_engine.SetMainThreadBridge(std::make_shared<TQtMainThreadBridge>(this));
    // A task's live preview shows in a small tool window of ours.
    m_engine.SetPreviewWindows(QtPreviewWindows());
    m_logic->Create(m_engine);
    m_logic->OnAnalysisDone = [this] { Sync(); };

    const TSkinChoice skin = m_logic->Skin();
    m_skin = MakeSkin(skin.Name, {skin.Saturation, skin.HueOffset});
    ApplySkin(*this, m_skin);

    Sync();
    Connect();
    m_batch = std::make_unique<TBatchController>(*this, m_controls, m_engine, *m_logic, m_ports);
}

TMainWindow::~TMainWindow() = default;

void TMainWindow::BuildMenu()
{
    m_fileMenu = menuBar()->addMenu(QString());
    SetSourceText(m_fileMenu, QT_TRANSLATE_NOOP("kv::app::TMainWindow", "文件"));
    QAction* exit = m_fileMenu->addAction(QString());
    SetSourceText(exit, QT_TRANSLATE_NOOP("kv::app::TMainWindow", "退出"));
    connect(exit, &QAction::triggered, this, &QWidget::close);
    m_languageMenu = m_language->AddMenu(*menuBar());
    m_helpMenu = menuBar()->addMenu(QString());
    SetSourceText(m_helpMenu, QT_TRANSLATE_NOOP("kv::app::TMainWindow", "帮助"));
    QAction* about = m_helpMenu->addAction(QString());
    SetSourceText(about, QT_TRANSLATE_NOOP("kv::app::TMainWindow", "关于"));
    connect(about, &QAction::triggered, this, &TMainWindow::ShowAbout);
    // Kept for skins chosen from the menu; the skin comes from the settings for now.
    m_skinMenu = menuBar()->addMenu(QString());
    SetSourceText(m_skinMenu, QT_TRANSLATE_NOOP("kv::app::TMainWindow", "换皮肤"));
    m_skinMenu->menuAction()->setVisible(false);
}

void TMainWindow::Retranslate()
{
    RetranslateTexts(*this);
    Sync();
    m_batch->Retranslate();
}

void TMainWindow::Connect()
{
    const TMainWindowControls& c = m_controls;
    // "activated" comes from the user only; the program's own changes go through Sync.
    connect(c.FileType, &QComboBox::activated, this, [this](int Index) {
        if (Index != m_logic->FileTypeIndex())
            m_logic->FileTypeChanged(Index, true);
        Sync();
    });
    connect(c.Preset, &QComboBox::activated, this, [this](int Index) {
        m_logic->PresetChanged(Index, true);
        Sync();
    });
    connect(c.Brand, &QComboBox::activated, this, [this](int Index) {
        if (Index != m_logic->BrandIndex())
            m_logic->BrandChanged(Index, true);
        Sync();
    });
    connect(c.Model, &QComboBox::activated, this, [this](int Index) {
        m_logic->ModelChanged(Index, true);
        Sync();
    });
    connect(c.CustomType, &QComboBox::activated, this, [this](int Index) {
        m_logic->FileTypeClicked();
        m_logic->CustomTypeChanged(Index);
        Sync();
    });
    connect(c.OutputTabs, &QTabWidget::currentChanged, this, [this](int Index) {
        ShowInfoPanelOn(m_controls, Index);
        if (m_syncing)
            return;
        m_logic->TabChanged(Index);
        Sync();
    });
    connect(c.Analyse, &QPushButton::clicked, this, [this] {
        m_logic->AnalyseClicked();
        Sync();
    });
    connect(c.ShowCustom, &QPushButton::clicked, this, [this] {
        m_logic->CustomButtonClicked();
        Sync();
    });
    const std::pair<QLineEdit*, TCustomField> customEdits[] = {
        {c.CustomWidth, TCustomField::Width},
        {c.CustomHeight, TCustomField::Height},
        {c.CustomBitrate, TCustomField::Bitrate},
        {c.CustomFrameRate, TCustomField::FrameRate},
    };
    for (const auto& entry : customEdits) {
        QLineEdit* edit = entry.first;
        const TCustomField field = entry.second;
        edit->setMaxLength(TWindowLogic::CustomMaxLength(field));
        edit->installEventFilter(this);
        connect(edit, &QLineEdit::textEdited, this, [this, edit, field](const QString& Text) {
            const QString accepted = m_logic->CustomEdited(field, Text);
            if (accepted != Text)
                edit->setText(accepted);
            Sync();  // the custom tab's labels show the edits
        });
    }
    connect(c.OutputFolder, &QLineEdit::textEdited, this,
            [this](const QString& Text) { m_logic->OutputFolderEdited(Text); });
    connect(c.BrowseFolder, &QToolButton::clicked, this, [this] {
        m_logic->BrowseClicked();
        Sync();
    });
    connect(c.OpenFolder, &QToolButton::clicked, this, [this] { m_logic->OpenFolderClicked(); });
}

void TMainWindow::SyncCombo(QComboBox* Combo, const QStringList& Items, int Current)
{
    QStringList shown;
    for (int i = 0; i < Combo->count(); ++i)
        shown << Combo->itemText(i);
    if (shown != Items) {
        Combo->clear();
        const bool fileTypes = Combo == m_controls.FileType || Combo == m_controls.CustomType;
        for (int i = 0; i < Items.size(); ++i)
            Combo->addItem(SmallImage(fileTypes ? i : ProfileImage), Items[i]);
    }
    Combo->setCurrentIndex(Current >= 0 && Current < Combo->count() ? Current : -1);
}

void TMainWindow::Sync()
{
    if (m_syncing)
        return;
    m_syncing = true;
    const TMainWindowControls& c = m_controls;
    SyncCombo(c.FileType, TWindowLogic::FileTypeItems(), m_logic->FileTypeIndex());
    SyncCombo(c.Preset, m_logic->PresetItems(), m_logic->PresetIndex());
    SyncCombo(c.Brand, m_logic->BrandItems(), m_logic->BrandIndex());
    SyncCombo(c.Model, m_logic->ModelItems(), m_logic->ModelIndex());

    const TInfoLabels labels = m_logic->Labels();
    c.FrameSizeLabel->setText(labels.FrameSize);
    c.VideoCodecLabel->setText(labels.VideoCodec);
    c.VideoBitrateLabel->setText(labels.VideoBitrate);
    c.FrameRateLabel->setText(labels.FrameRate);
    c.AudioCodecLabel->setText(labels.AudioCodec);

    const int active = m_logic->ActiveTab();
    c.OutputTabs->setCurrentIndex(active);
    ShowInfoPanelOn(c, active);
    for (int tab = 0; tab < c.OutputTabs->count(); ++tab)
        c.OutputTabs->setTabIcon(tab, TabImage(TWindowLogic::TabImage(tab, active)));

    const TCustomPanelState custom = m_logic->CustomPanel();
    SyncCombo(c.CustomType, CustomTypeCaptions(), custom.TypeIndex);
    const std::pair<QLineEdit*, QString> customTexts[] = {
        {c.CustomWidth, custom.Width},
        {c.CustomHeight, custom.Height},
        {c.CustomBitrate, custom.Bitrate},
        {c.CustomFrameRate, custom.FrameRate},
    };
    for (const auto& [edit, text] : customTexts) {
        if (edit->text() != text)
            edit->setText(text);
    }
    c.CustomPanel->setVisible(custom.Visible);
    if (custom.Visible)
        c.CustomPanel->raise();
    c.Analyse->setEnabled(!m_logic->Analysing());

    if (c.OutputFolder->text() != m_logic->OutputFolderText())
        c.OutputFolder->setText(m_logic->OutputFolderText());
    m_syncing = false;
}

void TMainWindow::showEvent(QShowEvent* Event)
{
    QMainWindow::showEvent(Event);
    // A restore from the task bar is not a new showing.
    if (Event->spontaneous())
        return;
    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
    m_logic->Show();
    Sync();
    setWindowTitle(WindowCaption);
}

bool TMainWindow::eventFilter(QObject* Watched, QEvent* Event)
{
    const TMainWindowControls& c = m_controls;
    const bool customEdit = Watched == c.CustomWidth || Watched == c.CustomHeight || Watched == c.CustomBitrate ||
                            Watched == c.CustomFrameRate;
    if (customEdit && Event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(Event);
        QString text = key->text();
        if (key->key() == Qt::Key_Backspace)
            text = QStringLiteral("\b");
        else if (text.isEmpty() || !text.at(0).isPrint() || key->modifiers().testFlag(Qt::ControlModifier))
            return QMainWindow::eventFilter(Watched, Event);  // moves, shortcuts and the like
        if (!m_logic->CustomKeyPressed(text))
            return true;
    }
    return QMainWindow::eventFilter(Watched, Event);
}

void TMainWindow::ShowAbout()
{
    const TSkinChoice skin = m_logic->Skin();
    TAboutDialog about(this, MakeSkin(skin.Name, {skin.Saturation, skin.HueOffset}), *m_ports.Desktop);
    about.exec();
}

}  // namespace kv::app
