// Texts set from their Chinese source and set again when the language changes.
#include "app/WidgetTexts.h"

#include <QAbstractButton>
#include <QAction>
#include <QByteArrayList>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QTabWidget>
#include <QTreeWidget>
#include <functional>

namespace kv::app {

namespace {

// The properties that keep the sources.
constexpr const char* TextSource = "kvTextSource";
constexpr const char* ToolTipSource = "kvToolTipSource";
constexpr const char* TabSource = "kvTabSource";  // on a tab's page
constexpr const char* HeaderSources = "kvHeaderSources";

// How each kind of object takes its text; the first that fits is used.
const std::function<bool(QObject*, const QString&)> TextSetters[] = {
    [](QObject* Object, const QString& Text) {
        auto* label = qobject_cast<QLabel*>(Object);
        return label && (label->setText(Text), true);
    },
    [](QObject* Object, const QString& Text) {
        auto* button = qobject_cast<QAbstractButton*>(Object);
        return button && (button->setText(Text), true);
    },
    [](QObject* Object, const QString& Text) {
        auto* group = qobject_cast<QGroupBox*>(Object);
        return group && (group->setTitle(Text), true);
    },
    [](QObject* Object, const QString& Text) {
        auto* menu = qobject_cast<QMenu*>(Object);
        return menu && (menu->setTitle(Text), true);
    },
    [](QObject* Object, const QString& Text) {
        auto* action = qobject_cast<QAction*>(Object);
        return action && (action->setText(Text), true);
    },
};

void ApplyText(QObject* Object, const QString& Text)
{
    for (const auto& setter : TextSetters)
        if (setter(Object, Text))
            return;
}

QByteArray SourceOf(const QObject* Object, const char* Property) { return Object->property(Property).toByteArray(); }

void Retranslate(QObject* Object)
{
    if (const QByteArray source = SourceOf(Object, TextSource); !source.isEmpty())
        ApplyText(Object, WindowText(source.constData()));
    auto* widget = qobject_cast<QWidget*>(Object);
    if (!widget)
        return;
    if (const QByteArray source = SourceOf(Object, ToolTipSource); !source.isEmpty())
        widget->setToolTip(WindowText(source.constData()));
    if (auto* tabs = qobject_cast<QTabWidget*>(widget)) {
        for (int tab = 0; tab < tabs->count(); ++tab)
            if (const QByteArray source = SourceOf(tabs->widget(tab), TabSource); !source.isEmpty())
                tabs->setTabText(tab, WindowText(source.constData()));
    }
    if (auto* list = qobject_cast<QTreeWidget*>(widget)) {
        const QByteArrayList sources = list->property(HeaderSources).value<QByteArrayList>();
        QStringList headers;
        for (const QByteArray& source : sources)
            headers << WindowText(source.constData());
        if (!headers.isEmpty())
            list->setHeaderLabels(headers);
    }
}

}  // namespace

QString WindowText(const char* Source) { return QCoreApplication::translate(WindowTexts, Source); }

void SetSourceText(QObject* Object, const char* Source)
{
    Object->setProperty(TextSource, QByteArray(Source));
    ApplyText(Object, WindowText(Source));
}

void SetSourceToolTip(QWidget* Widget, const char* Source)
{
    Widget->setProperty(ToolTipSource, QByteArray(Source));
    Widget->setToolTip(WindowText(Source));
}

void SetSourceTabText(QTabWidget* Tabs, int Tab, const char* Source)
{
    Tabs->widget(Tab)->setProperty(TabSource, QByteArray(Source));
    Tabs->setTabText(Tab, WindowText(Source));
}

void SetSourceHeaders(QTreeWidget* List, std::initializer_list<const char*> Sources)
{
    QByteArrayList sources;
    for (const char* source : Sources)
        sources << QByteArray(source);
    List->setProperty(HeaderSources, QVariant::fromValue(sources));
    Retranslate(List);
}

void RetranslateTexts(QObject& Root)
{
    Retranslate(&Root);
    for (QObject* child : Root.findChildren<QObject*>())
        Retranslate(child);
}

}  // namespace kv::app
