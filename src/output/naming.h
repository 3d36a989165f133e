#pragma once

#include <QString>

// Names for the file system made from header text. None touches the file
// system except SaveDirCheck.

// The name used when a file name cannot be trusted.
QString unknownFileName(); // "不明.tmp"

// The attachment's file name from the text after a "begin" line's mode or
// after "name=": decoded, "?" -> 不明.tmp, one quote stripped at each end,
// blanks trimmed, the part after the last "/" or "\". May be empty, ".", "..".
QString FileNameCheck(const QString &text);
// Whether a name may be used unchanged as a directory name.
bool DirNameCheck(const QString &name);
// The name with the characters file names may not hold replaced by their
// full-width forms ("\" by "￥"), cut to its last 75 characters (code points;
// a surrogate pair is never split). A leading "." and an empty name stay.
QString FileNameChange(const QString &name);
// True when the save directory is NOT usable: missing, not a directory, not
// readable, writable and searchable by us, or hidden (its last path component
// starts with "."). False for a plain usable directory.
bool SaveDirCheck(const QString &saveDir);

// The last guard before a name becomes one level of a path under the save
// directory: whatever it holds, the result names something directly inside
// the directory it is joined to, and fits Linux's 255-byte name limit
// (longer names lose characters at the front, as FileNameChange does).
//
// A directory level: "/" becomes "／", "\" becomes "￥", a control character
// (U+0000..U+001F, U+007F) or one the file system's name encoding cannot
// hold (a lone surrogate) becomes "_", every leading "." becomes "．"
// (U+FF0E, so ".." -> "．．" and no level is hidden), and an empty name
// becomes "_".
QString safeDirLevel(const QString &name);
// A file name: a name that is empty, "." or "..", or that holds "/", "\",
// NUL or another control character, or text the file system's name encoding
// cannot hold, becomes unknownFileName().
QString safeFileName(const QString &name);

// The longest tail of name that is at most maxBytes bytes in UTF-8, cut
// between characters (a lone surrogate counts as the 3 bytes of U+FFFD).
QString keepLastUtf8Bytes(const QString &name, qsizetype maxBytes);
// Linux's limit on one path component, in bytes.
constexpr qsizetype kMaxNameBytes = 255;
