#pragma once

#include <QList>
#include <QPixmap>
#include <QString>

namespace k27 {

// A 1-based list of pictures the ribbon takes its logo and button pictures from.
// An index holds a picture when it lies in 1..count() and its entry is not null.
class ImageList
{
public:
    // The index at which the main window keeps the program logo.
    static constexpr int ProgramLogoIndex = 9;

    int count() const { return static_cast<int>(m_pictures.size()); }
    bool contains(int index) const;
    QPixmap picture(int index) const; // null when the index holds none

    int add(const QPixmap& picture);             // appends; returns its index
    void set(int index, const QPixmap& picture); // grows the list with empty entries as needed

    // The program logo (32 x 32, our own artwork) and a 64 x 64 copy for window icons.
    static QString programLogoPath();
    static QString programLogoLargePath();
    static QPixmap programLogo();
    // A list holding only the program logo, at ProgramLogoIndex.
    static ImageList withProgramLogo();

private:
    QList<QPixmap> m_pictures;
};

} // namespace k27
