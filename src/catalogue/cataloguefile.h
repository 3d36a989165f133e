#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <vector>

// newsgroups.dat, the catalogue kept in the save directory: CP932 text, one
// name per line, each line ended by CR LF, in the list's order.
namespace CatalogueFile {

QString fileName(); // "newsgroups.dat"
// The save directory as stored, a separator, the file name.
QString path(const QString &saveDir);

// The entries of the file's text: fields separated by commas and line ends
// (CR LF, LF or CR); spaces before a field are skipped; a field that starts
// with a double quote runs to the closing quote (or the end of the text) and
// loses its quotes, and whatever follows it up to the next separator is
// dropped. A line end after the last field ends the text without adding an
// empty entry; an empty line is an empty entry.
QStringList parse(QStringView text);

// The file's bytes for these names.
QByteArray encode(const std::vector<QString> &names);

struct LoadResult {
    enum Status { Loaded, Missing, Failed };
    Status status = Missing;
    QStringList names; // in file order
    QString error;     // Failed: what to tell the user
};
// Missing: the directory exists but the file does not. Any other failure to
// read (no such directory, no permission, not a file) is Failed.
LoadResult load(const QString &path);

// Writes the whole file through a temporary file that replaces the old one,
// so a failed write leaves the old catalogue as it was. false, with *error
// set to what to tell the user, when it failed.
bool save(const QString &path, const std::vector<QString> &names, QString *error);

} // namespace CatalogueFile
