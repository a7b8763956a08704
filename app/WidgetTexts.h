// The window's fixed texts. Each is set from its Chinese source text through these functions, which keep
// the source on the object it was set on, so that RetranslateTexts can set every one again in the language
// installed since. Sources are marked for the translation tools where they are written, with
// QT_TRANSLATE_NOOP("kv::app::TMainWindow", ...).
#pragma once

#include <QString>
#include <initializer_list>

class QObject;
class QTabWidget;
class QTreeWidget;
class QWidget;

namespace kv::app {

// The translation context of the main window's texts.
inline constexpr const char* WindowTexts = "kv::app::TMainWindow";

// Source in the language installed now.
QString WindowText(const char* Source);

// The text of a label or a button (check boxes included), the title of a group box or a menu, the text of
// an action.
void SetSourceText(QObject* Object, const char* Source);
void SetSourceToolTip(QWidget* Widget, const char* Source);
void SetSourceTabText(QTabWidget* Tabs, int Tab, const char* Source);
void SetSourceHeaders(QTreeWidget* List, std::initializer_list<const char*> Sources);

// Sets every text set through the functions above on Root and everything under it again.
void RetranslateTexts(QObject& Root);

}  // namespace kv::app
