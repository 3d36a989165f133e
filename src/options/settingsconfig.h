#pragma once

#include <QList>
#include <QString>

#include <optional>

class SettingsStore;

// Reading and writing single settings outside the dialogs (kaplo-cli config):
// the keys of sections SERVER, SAVE and REMOTE, the value the program uses
// for each, and the checks a value passes before it is stored.
//
// A value is checked the way the dialog that edits it would check it if the
// user changed only that field and pressed OK: a limit box is checked when
// its limit is the stored SEIGEN (and choosing a limit checks the stored box
// of that limit), the watch interval must be numeric, and server values are
// stored unchecked, except that a user name or password cannot hold a line
// end (a single-line box cannot either), TIMEOUT must be a whole number of
// at least 1 and PIPELINE one from 1 to 64. Values the dialogs can only produce
// in one form (the TRUE/FALSE flags, SSL and MODEREADER among them, SEIGEN
// "0"-"3", an absolute directory) are brought to it or refused.
namespace SettingsConfig {

struct Key {
    QString section;
    QString key;
};

// Every known key, in the order the program loads them.
const QList<Key> &knownKeys();
bool isKnown(const QString &section, const QString &key);
// Values not to be shown in listings.
bool isSecret(const QString &section, const QString &key);

// The stored value, or the default the program would use. Empty for an
// unknown key.
QString currentValue(const SettingsStore &store, const QString &section, const QString &key);

struct Checked {
    QString value;                  // what to store
    std::optional<QString> refusal; // the message when the value is refused
};
Checked check(const SettingsStore &store, const QString &section, const QString &key,
              const QString &value);

} // namespace SettingsConfig
