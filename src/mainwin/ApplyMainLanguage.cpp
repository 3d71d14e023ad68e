#include "ApplyMainLanguage.h"

#include "startup/AppContext.h"
#include "startup/Captions.h"

#include <QComboBox>
#include <QWidget>

namespace k27 {

QString mainWindowTitle(int language)
{
    switch (language) {
    case 2: return QStringLiteral("K27 Center Entrance Guard Management System");
    case 1: return QStringLiteral("K27中心髮卡門禁管理系統");
    default: return QStringLiteral("K27中心发卡门禁管理系统");
    }
}

void ApplyMainLanguage(QWidget* window, QComboBox* genderList, QComboBox* rangeList, const AppContext& context)
{
    ApplyCaptions(window, context.language);
    const int language = context.settings.language;
    genderList->clear();
    const bool english = language == 2;
    if (english)
        genderList->addItems({QStringLiteral("man"), QStringLiteral("woman")});
    else
        genderList->addItems({QStringLiteral("男"), QStringLiteral("女")});
    const QString from = english ? QStringLiteral("到") : QStringLiteral("-");
    const QString to = english ? QStringLiteral("-") : QStringLiteral("到");
    for (int i = 0; i < rangeList->count(); ++i)
        rangeList->setItemText(i, rangeList->itemText(i).replace(from, to));
    window->setWindowTitle(mainWindowTitle(language));
}

} // namespace k27
