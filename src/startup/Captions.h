#pragma once

#include <QString>

class QWidget;

namespace k27 {

class LanguageTable;

// Sets the captions of a form and its controls from the caption list. A control is found
// by its objectName; a member of a control array also carries the int property "index".
void ApplyCaptions(QWidget* form, const LanguageTable& language);

// The caption of a control: a button's or label's text, a frame's title, a window's title,
// or a widget's own "caption" property. Returns false for controls without a caption.
bool setCaption(QWidget* control, const QString& text);
QString caption(const QWidget* control);

// The "index" property of a control-array member, or -1.
int controlIndex(const QWidget* control);

} // namespace k27
