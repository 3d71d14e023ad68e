#include "platform/FileFolders.h"

#include "platform/UserSettings.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace k27 {

namespace {

QString key(Dialogs::FileKind kind)
{
    switch (kind) {
    case Dialogs::FileKind::Photo: return QStringLiteral("Folders/photo");
    case Dialogs::FileKind::Workbook: return QStringLiteral("Folders/workbook");
    case Dialogs::FileKind::RecordFile: return QStringLiteral("Folders/records");
    case Dialogs::FileKind::Export: return QStringLiteral("Folders/export");
    case Dialogs::FileKind::Other: break;
    }
    return QStringLiteral("Folders/other");
}

} // namespace

QString FileFolders::startFolder(Dialogs::FileKind kind)
{
    const QString folder = openUserSettings()->value(key(kind)).toString();
    if (!folder.isEmpty() && QFileInfo(folder).isDir())
        return folder;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

void FileFolders::remember(Dialogs::FileKind kind, const QString& chosenFile)
{
    if (chosenFile.isEmpty())
        return;
    openUserSettings()->setValue(key(kind), QFileInfo(chosenFile).absolutePath());
}

} // namespace k27
