#pragma once

#include <QString>

namespace k27 {

// Owner-only access for the database, its copies and the folders that hold them. The
// database key is the same in every installation, so the file modes are what keeps the
// other local users away from the cardholders.

// Creates the folder (and missing parents) when needed, then gives it mode 0700.
bool makePrivateFolder(const QString& path);

// Takes every group and other bit from an existing file or folder (0644 becomes 0600,
// 0755 becomes 0700); the owner's bits stay. True when there was nothing to do.
bool tightenMode(const QString& path);

// Gives `copy` the mode bits that both it and an existing `target` have (the stricter of
// the two); nothing when there is no target.
bool keepStricterMode(const QString& copy, const QString& target);

// At start-up: the program's Data folder, Data/img, Data/Data.kvd and the automatic
// backups, and the manual backup folder with its copy, lose every group and other bit.
void tightenDataFiles(const QString& programFolder, const QString& userDataFolder);

} // namespace k27
