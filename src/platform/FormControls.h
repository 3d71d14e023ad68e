#pragma once

// Small builders for the controls of the pages: each control gets its
// form name as objectName (and the "index" property for control-array members) and its
// design caption, so the caption list of the language file can replace it later.

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QString>
#include <QVariant>
#include <initializer_list>

namespace k27::form {

// Every command button of the pages has the same size, whatever its caption.
inline constexpr int ButtonWidth = 96;
inline constexpr int ButtonHeight = 30;
inline constexpr int FieldHeight = 26;

template <typename W>
W* named(W* w, const QString& name, int index = -1)
{
    w->setObjectName(name);
    if (index >= 0)
        w->setProperty("index", index);
    return w;
}

inline QPushButton* button(QWidget* parent, const QString& name, const QString& caption)
{
    auto* b = named(new QPushButton(caption, parent), name);
    b->setFixedSize(ButtonWidth, ButtonHeight);
    b->setAutoDefault(false);
    return b;
}

inline QLabel* label(QWidget* parent, const QString& name, const QString& caption)
{
    auto* l = named(new QLabel(caption, parent), name);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return l;
}

inline QLineEdit* lineEdit(QWidget* parent, const QString& name, int maxLength = 0)
{
    auto* e = named(new QLineEdit(parent), name);
    e->setMinimumHeight(FieldHeight);
    if (maxLength > 0)
        e->setMaxLength(maxLength);
    return e;
}

// A combo box used as a free-text box (the search fields), or as a list.
inline QComboBox* combo(QWidget* parent, const QString& name, int index = -1, bool editable = true)
{
    auto* c = named(new QComboBox(parent), name, index);
    c->setEditable(editable);
    c->setMinimumHeight(FieldHeight);
    c->setInsertPolicy(QComboBox::NoInsert);
    return c;
}

inline QGroupBox* frame(QWidget* parent, const QString& name, const QString& caption)
{
    return named(new QGroupBox(caption, parent), name);
}

inline QRadioButton* option(QWidget* parent, const QString& name, const QString& caption)
{
    return named(new QRadioButton(caption, parent), name);
}

inline QCheckBox* check(QWidget* parent, const QString& name, const QString& caption)
{
    return named(new QCheckBox(caption, parent), name);
}

// Tab visits the controls in this order (the layout's reading order, not the order in which
// they happened to be made).
inline void tabChain(std::initializer_list<QWidget*> order)
{
    QWidget* previous = nullptr;
    for (QWidget* w : order) {
        if (previous)
            QWidget::setTabOrder(previous, w);
        previous = w;
    }
}

} // namespace k27::form
