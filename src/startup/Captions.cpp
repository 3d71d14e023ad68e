#include "Captions.h"

#include "startup/LanguageTable.h"
#include "startup/TextUtil.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QVariant>
#include <QWidget>
#include <optional>

namespace k27 {

int controlIndex(const QWidget* control)
{
    const QVariant index = control->property("index");
    return index.isValid() ? index.toInt() : -1;
}

bool setCaption(QWidget* control, const QString& text)
{
    if (control->metaObject()->indexOfProperty("caption") >= 0)
        return control->setProperty("caption", text);
    if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        button->setText(text);
        return true;
    }
    if (auto* label = qobject_cast<QLabel*>(control)) {
        if (label->pixmap().isNull())
            label->setText(text);
        return true;
    }
    if (auto* box = qobject_cast<QGroupBox*>(control)) {
        box->setTitle(text);
        return true;
    }
    if (control->isWindow()) {
        control->setWindowTitle(text);
        return true;
    }
    return false;
}

QString caption(const QWidget* control)
{
    if (control->metaObject()->indexOfProperty("caption") >= 0)
        return control->property("caption").toString();
    if (auto* button = qobject_cast<const QAbstractButton*>(control))
        return button->text();
    if (auto* label = qobject_cast<const QLabel*>(control))
        return label->text();
    if (auto* box = qobject_cast<const QGroupBox*>(control))
        return box->title();
    if (control->isWindow())
        return control->windowTitle();
    return {};
}

// The text a caption pair gives one control, or nothing when the pair is for another
// member of the same array.
static std::optional<QString> captionFor(const QWidget* control, const QString& text)
{
    if (text.isEmpty() || !text[0].isDigit())
        return text;
    const qsizetype slash = text.indexOf(u'/');
    const QString rest = slash < 0 ? text : text.mid(slash + 1);
    const int index = controlIndex(control);
    if (index < 0)
        return rest;
    if (leadingNumber(text) == double(index))
        return rest;
    return std::nullopt;
}

void ApplyCaptions(QWidget* form, const LanguageTable& language)
{
    QHash<QString, QList<qsizetype>> byKey;
    const auto& pairs = language.captions();
    for (qsizetype i = 0; i < pairs.size(); ++i)
        byKey[pairs[i].first].append(i);
    if (byKey.isEmpty())
        return;

    QList<QWidget*> controls{form};
    controls += form->findChildren<QWidget*>();
    for (QWidget* control : std::as_const(controls)) {
        const auto found = byKey.constFind(control->objectName());
        if (found == byKey.constEnd())
            continue;
        for (qsizetype i : *found) { // list order: the last pair that applies wins
            if (auto text = captionFor(control, pairs[i].second))
                setCaption(control, *text);
        }
    }
}

} // namespace k27
