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

// Why a folder or file that holds the register (or a copy of it) is not used. Another local
// user who can write the folder above it could have put a link or a folder of his own there:
// following it would hand him the copy, or bring his register back in place of ours.
enum class PathProblem {
    None,
    Missing,      // nothing there (and it was not to be made)
    Link,         // a link (the program follows none it did not make)
    DanglingLink, // a link to something that does not exist
    WrongKind,    // a file where a folder belongs, or the other way round
    OtherOwner,   // another user's
    OpenToOthers, // other users may read or change it
    CannotUse,    // cannot be made, opened or made owner-only
};

struct PathRefusal
{
    QString path;
    PathProblem problem = PathProblem::None;
};

// Makes sure `path` is a real folder of this user, reached without following a link in its
// last part, with mode 0700 (given to it when it had another). `create` makes a missing
// one (and its missing parents) first. None when it may hold the register.
PathProblem securePrivateFolder(const QString& path, bool create);

// A file to read a register from: an ordinary file of this user, not a link, that no other
// user may read or change (0600). It is looked at through a descriptor opened without
// following a link.
PathProblem checkPrivateFile(const QString& path);

// A link in place of a file, seen without following it (a database path that is a link
// must not make the program create or change a file behind it).
bool isLink(const QString& path);
bool isDanglingLink(const QString& path);

// The message that explains a problem to the operator.
int messageFor(PathProblem problem);

} // namespace k27
