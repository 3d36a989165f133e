#pragma once

#include <QString>

// Names for the file system made from header text. None touches the file
// system except SaveDirCheck.

// The name used when a file name cannot be trusted.
QString unknownFileName(); // "不明.tmp"

// The attachment's file name from the text after a "begin" line's mode or
// after "name=": decoded, "?" -> 不明.tmp, one quote stripped at each end,
// blanks trimmed, the part after the last "/" or "\". May be empty.
QString FileNameCheck(const QString &text);
// Whether a name may be used unchanged as a directory name.
bool DirNameCheck(const QString &name);
// The name with the characters file names may not hold replaced by their
// full-width forms ("\" by "￥"), cut to its last 75 characters.
QString FileNameChange(const QString &name);
// True when the save directory is NOT usable (missing, not a directory, not
// writable, hidden).
bool SaveDirCheck(const QString &saveDir);

// The last guard before a name becomes one level of a path under the save
// directory: a name that is empty, "." or "..", or that still holds a path
// separator, NUL or another control character, can never name anything
// outside the directory it is joined to.
// A directory level: such a name is replaced as the function documents.
QString safeDirLevel(const QString &name);
// A file name: such a name becomes unknownFileName().
QString safeFileName(const QString &name);
