#include "app/logic/CustomTab.h"

#include "app/logic/WindowLogic.h"

namespace kv::app {

bool CustomKeyAccepted(const QString& KeyText)
{
    if (KeyText.isEmpty() || KeyText == QStringLiteral("\t"))
        return true;
    if (KeyText.size() != 1)
        return false;
    const QChar key = KeyText.front();
    return (key >= u'0' && key <= u'9') || key == u'\b';
}

QString CustomEditText(const QString& Text, int MaxLength)
{
    QString kept;
    for (const QChar c : Text)
        if (c >= u'0' && c <= u'9' && kept.size() < MaxLength)
            kept += c;
    return kept;
}

TCustomTab::TCustomTab() { Reset(); }

void TCustomTab::Reset()
{
    m_visible = false;
    m_typeIndex = 0;
    m_texts[int(TCustomField::Width)] = QStringLiteral("220");
    m_texts[int(TCustomField::Height)] = QStringLiteral("176");
    m_texts[int(TCustomField::Bitrate)] = QStringLiteral("38400");
    m_texts[int(TCustomField::FrameRate)] = QStringLiteral("15");
}

int TCustomTab::MaxLength(TCustomField Field)
{
    switch (Field) {
    case TCustomField::Width:
    case TCustomField::Height: return 4;
    case TCustomField::Bitrate: return 7;
    case TCustomField::FrameRate: return 2;
    }
    return 0;
}

QString TCustomTab::Edit(TCustomField Field, const QString& Text)
{
    m_texts[int(Field)] = CustomEditText(Text, MaxLength(Field));
    return m_texts[int(Field)];
}

}  // namespace kv::app
