#pragma once

#include "ribbon/RibbonError.h"

#include <QColor>
#include <QPixmap>
#include <QString>

namespace k27 {

// Text colours of one theme.
struct RibbonThemeColours
{
    QColor titulo;        // caption, first part
    QColor titulo2;       // caption, part after " - "
    QColor catCaption;    // category captions
    QColor tabUnselected; // tab captions
    QColor tabSelected;   // caption of the selected tab
    QColor buttonCaption; // large button captions
};

// The three built-in looks of the ribbon bar: BLACK (0), BLUE (1), SILVER (2).
// Any other value is drawn as BLACK. Pictures live in the program's resources as
// :/k27/ribbon/<NAME>/<ID>.gif (ID 101..140, see RibbonPicture).
class RibbonTheme
{
public:
    static QString name(int theme);
    static RibbonThemeColours colours(int theme);
    static QString resourcePath(int id, const QString& format);
    // Decodes picture `id` of resource type `format` (a theme name) straight from the
    // resources. On failure returns a null pixmap and fills `error`/`detail`.
    static QPixmap loadResPicture(int id, const QString& format, RibbonError* error = nullptr,
                                  QString* detail = nullptr);
};

} // namespace k27
