#pragma once

#include <QString>

namespace k27 {

// The photo file of a cardholder: <imageFolder>/<name><phone>.JPG, each part trimmed of
// blanks, so the stored name's trailing blank and the typed name find the same file.
// Characters that would reach outside the image folder ("/", "\", control characters)
// and "%" are written as %XX, so every name stays one file inside the folder and two
// different names never share a photo.
QString PhotoPath(const QString& imageFolder, const QString& name, const QString& phone);

// The file name part of PhotoPath (without folder).
QString photoFileName(const QString& name, const QString& phone);

} // namespace k27
