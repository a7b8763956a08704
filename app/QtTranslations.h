// Qt's own texts (the standard buttons OK, Yes, No, Cancel, the file dialogs) in the window's language:
// the Chinese translations of Qt that the system installs beside Qt.
#pragma once

class QTranslator;

namespace kv::app {

// Loads Qt's Simplified Chinese translations into Translator; false, with a warning on standard error that
// names the missing file and the package that brings it, when they are not installed.
bool LoadQtTranslations(QTranslator& Translator);

}  // namespace kv::app
