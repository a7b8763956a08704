// The translations the window installs and the language menu that switches them.
#include "app/LanguageMenu.h"

#include <QAction>
#include <QActionGroup>
#include <QCoreApplication>
#include <QMenu>
#include <QMenuBar>

#include "app/QtTranslations.h"
#include "app/logic/Ports.h"

namespace kv::app {

namespace {

constexpr const char* LanguageProperty = "kvLanguage";

}  // namespace

TLanguageSwitch::TLanguageSwitch(QString ProgramFolder, QString ConfigFile, IMessageBoxes* Messages)
    : m_programFolder(std::move(ProgramFolder)), m_configFile(std::move(ConfigFile)), m_messages(Messages)
{}

TLanguageSwitch::~TLanguageSwitch() { RemoveTranslators(); }

void TLanguageSwitch::RemoveTranslators()
{
    if (m_program)
        QCoreApplication::removeTranslator(m_program.get());
    m_program.reset();
    if (m_qtInstalled)
        QCoreApplication::removeTranslator(&m_qt);
    m_qtInstalled = false;
}

bool TLanguageSwitch::Install(TLanguage Language)
{
    const TLanguageEntry& entry = LanguageEntry(Language);
    // Loaded aside first: a file that cannot be read leaves the current language in place.
    auto program = std::make_unique<QTranslator>();
    QString problem;
    if (!LoadProgramTranslation(*program, Language, m_programFolder, problem)) {
        if (m_messages)
            m_messages->Error(problem);
        return false;
    }
    RemoveTranslators();
    if (!program->isEmpty() && QCoreApplication::installTranslator(program.get()))
        m_program = std::move(program);
    // Without Qt's Chinese translations Qt's buttons stay in English; LoadQtTranslations says so.
    if (entry.QtChinese && LoadQtTranslations(m_qt))
        m_qtInstalled = QCoreApplication::installTranslator(&m_qt);
    m_current = Language;
    ShowChecks();
    return true;
}

void TLanguageSwitch::Choose(TLanguage Language)
{
    if (Language != m_current && Install(Language) && !WriteLanguage(m_configFile, Language) && m_messages)
        m_messages->Error(
            QCoreApplication::translate("kv::app::TLanguageSwitch", "未能写入 %1 文件！").arg(m_configFile));
    ShowChecks();
    if (OnChanged)
        OnChanged();
}

QMenu* TLanguageSwitch::AddMenu(QMenuBar& Bar)
{
    QMenu* menu = Bar.addMenu(LanguageMenuTitle);
    menu->setObjectName(QStringLiteral("mnuLanguage"));
    m_entries = new QActionGroup(menu);
    m_entries->setExclusive(true);
    for (const TLanguageEntry& entry : Languages()) {
        QAction* action = menu->addAction(QString::fromUtf8(entry.MenuCaption));
        action->setCheckable(true);
        action->setProperty(LanguageProperty, static_cast<int>(entry.Language));
        m_entries->addAction(action);
        const TLanguage language = entry.Language;
        QObject::connect(action, &QAction::triggered, menu, [this, language] { Choose(language); });
    }
    ShowChecks();
    return menu;
}

void TLanguageSwitch::ShowChecks()
{
    if (!m_entries)
        return;
    for (QAction* action : m_entries->actions())
        action->setChecked(action->property(LanguageProperty).toInt() == static_cast<int>(m_current));
}

}  // namespace kv::app
