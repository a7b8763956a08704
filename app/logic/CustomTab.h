// The tab "自己定义": a type, a frame size, a video bitrate and a frame rate typed by the user, on a panel
// that is shown only after the button "自定义" was pressed.
#pragma once

#include <QString>

namespace kv::app {

enum class TCustomField;

// Whether a key that types KeyText may reach a custom edit: digits and backspace may; keys that type
// nothing (the arrows, Delete) and Tab are not filtered here.
bool CustomKeyAccepted(const QString& KeyText);

// The text an edit keeps of Text: its digits, at most MaxLength of them.
QString CustomEditText(const QString& Text, int MaxLength);

class TCustomTab {
public:
    TCustomTab();

    bool Visible() const { return m_visible; }
    int TypeIndex() const { return m_typeIndex; }
    const QString& Text(TCustomField Field) const { return m_texts[int(Field)]; }
    static int MaxLength(TCustomField Field);

    // Hidden, the first type, 220 x 176, 38400, 15.
    void Reset();
    void ShowPanel() { m_visible = true; }
    void HidePanel() { m_visible = false; }
    void SetTypeIndex(int Index) { m_typeIndex = Index; }
    // Returns the text kept.
    QString Edit(TCustomField Field, const QString& Text);

private:
    bool m_visible = false;
    int m_typeIndex = 0;
    QString m_texts[4];  // by TCustomField
};

}  // namespace kv::app
