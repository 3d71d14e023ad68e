#pragma once

#include <QString>

class QComboBox;
class QWidget;

namespace k27 {

class AppContext;

// The language part of the main window's language switch: captions of every control,
// the gender list Combo1, the window title and the terminal range texts of CmbNo.
// (The grid headers follow separately, with the closing of the serial port.)
void ApplyMainLanguage(QWidget* window, QComboBox* genderList, QComboBox* rangeList, const AppContext& context);

// The window title of a language field.
QString mainWindowTitle(int language);

} // namespace k27
