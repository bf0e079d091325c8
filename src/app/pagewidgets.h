#pragma once
// Small makers of the window's controls, each named (tests and the bindings find them by
// name) and started in the state the window opens in.
#include <QBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QToolButton>
#include <QTreeWidget>

namespace tessaly::app {

template <class W>
inline W* named(W* widget, const char* name, const QString& tip = QString()) {
    widget->setObjectName(QString::fromLatin1(name));
    if (!tip.isEmpty()) widget->setToolTip(tip);
    return widget;
}

inline QPushButton* button(const char* name, const QString& caption, const QString& tip = QString(), bool enabled = false) {
    auto* b = named(new QPushButton(caption), name, tip);
    b->setEnabled(enabled);
    return b;
}

// The flat toolbar-style buttons of the window chrome.
inline QToolButton* flatbutton(const char* name, const QString& caption, const QString& tip = QString(), bool enabled = false) {
    auto* b = named(new QToolButton, name, tip);
    b->setText(caption);
    b->setAutoRaise(true);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    b->setEnabled(enabled);
    return b;
}

inline QToolButton* togglebutton(const char* name, const QString& caption, const QString& tip, bool down) {
    auto* b = flatbutton(name, caption, tip, false);
    b->setCheckable(true);
    b->setChecked(down);
    return b;
}

inline QTreeWidget* listview(const char* name, const QStringList& columns) {
    auto* v = named(new QTreeWidget, name);
    v->setColumnCount(static_cast<int>(columns.size()));
    v->setHeaderLabels(columns);
    v->setRootIsDecorated(false);
    v->setSelectionMode(QAbstractItemView::ExtendedSelection);
    v->setEditTriggers(QAbstractItemView::NoEditTriggers);
    v->setUniformRowHeights(true);
    return v;
}

inline QLabel* wrapped(const char* name, const QString& text) {
    auto* l = named(new QLabel(text), name);
    l->setWordWrap(true);
    return l;
}


// A settings row: its caption, a field that takes the spare width, and the field's button.
inline void fieldrow(QVBoxLayout* rows, const QString& caption, QWidget* field, QWidget* button) {
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(caption));
    row->addWidget(field, 1);
    row->addWidget(button);
    rows->addLayout(row);
}

} // namespace tessaly::app
