#pragma once

#include "platform/Dialogs.h"

#include <QString>

namespace k27 {

// The folder each kind of file was last chosen from, kept per user (QSettings, so it
// survives the run). A dialog starts there; a folder that has gone since falls back to
// the user's documents, never to the program folder.
class FileFolders
{
public:
    // The folder a dialog for `kind` starts in.
    static QString startFolder(Dialogs::FileKind kind);
    // Remembers the folder of a chosen file; an empty name (cancelled) changes nothing.
    static void remember(Dialogs::FileKind kind, const QString& chosenFile);
};

} // namespace k27
