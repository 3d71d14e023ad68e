#include "ribbon/ImageList.h"

namespace k27 {

bool ImageList::contains(int index) const
{
    return index >= 1 && index <= count() && !m_pictures[index - 1].isNull();
}

QPixmap ImageList::picture(int index) const
{
    return index >= 1 && index <= count() ? m_pictures[index - 1] : QPixmap();
}

int ImageList::add(const QPixmap& picture)
{
    m_pictures.append(picture);
    return count();
}

void ImageList::set(int index, const QPixmap& picture)
{
    if (index < 1)
        return;
    while (count() < index)
        m_pictures.append(QPixmap());
    m_pictures[index - 1] = picture;
}

QString ImageList::programLogoPath()
{
    return QStringLiteral(":/k27/ribbon/logo.png");
}

QString ImageList::programLogoLargePath()
{
    return QStringLiteral(":/k27/ribbon/logo64.png");
}

QPixmap ImageList::programLogo()
{
    return QPixmap(programLogoPath());
}

ImageList ImageList::withProgramLogo()
{
    ImageList list;
    list.set(ProgramLogoIndex, programLogo());
    return list;
}

} // namespace k27
