// The window's language: the translations it installs (the program's own and Qt's) and the menu
// "语言 / Language" that switches between them while the program runs and remembers the choice.
#pragma once

#include <QString>
#include <QTranslator>
#include <functional>
#include <memory>

#include "app/logic/Language.h"

class QActionGroup;
class QMenu;
class QMenuBar;

namespace kv::app {

class IMessageBoxes;

class TLanguageSwitch {
public:
    // ProgramFolder: where the translation files are looked up from; ConfigFile keeps the choice;
    // Messages (may be null) shows why a language could not be installed.
    TLanguageSwitch(QString ProgramFolder, QString ConfigFile, IMessageBoxes* Messages);
    ~TLanguageSwitch();
    TLanguageSwitch(const TLanguageSwitch&) = delete;
    TLanguageSwitch& operator=(const TLanguageSwitch&) = delete;

    TLanguage Current() const { return m_current; }
    // Installs Language's translations in place of the current ones. When its file cannot be read, says so
    // and keeps the current language; false then.
    bool Install(TLanguage Language);
    // The language chosen by the user: installed and, when it was, remembered in config.ini; then
    // OnChanged is called so that the window shows its texts again.
    void Choose(TLanguage Language);
    std::function<void()> OnChanged;

    // Adds the menu, one checkable entry per language, to Bar.
    QMenu* AddMenu(QMenuBar& Bar);

private:
    void RemoveTranslators();
    void ShowChecks();

    QString m_programFolder;
    QString m_configFile;
    IMessageBoxes* m_messages;
    TLanguage m_current = TLanguage::Chinese;
    std::unique_ptr<QTranslator> m_program;  // installed while it is there
    QTranslator m_qt;
    bool m_qtInstalled = false;
    QActionGroup* m_entries = nullptr;  // owned by the menu
};

}  // namespace kv::app
