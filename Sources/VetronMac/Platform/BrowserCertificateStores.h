#pragma once

#include <QCoroTask>
#include <QString>
#include <QStringList>

#include <functional>

// The certificate stores the browsers of a Linux desktop read: NSS databases, one per user for
// Chromium and one per profile for Firefox, changed with certutil under the user's own rights.
// The protection server's authority sits in each under one fixed nickname, trusted for
// websites. A database that cannot be changed (a primary password, a read-only or damaged
// file) is reported through the log and skipped, so that one such profile never keeps the
// others from working.
namespace Vetron::BrowserCertificateStores {

// Receives one line per database that could not be changed; the system log when empty.
using LogFunction = std::function<void(const QString &line)>;

// The nickname of the authority in every database. It has no colon: certutil would read the
// part before one as the name of a token.
QString nickname();

// The database folders: the one Chromium reads ("~/.pki/nssdb" when that folder exists, else
// "~/.local/share/pki/nssdb") when it holds a database, then every Firefox profile listed in a
// "profiles.ini" under the usual roots (the home folder, XDG_CONFIG_HOME, Snap, Flatpak) that
// already has one; Firefox makes a profile's database on its first run.
QStringList databases();

// Trusts the authority in the PEM file `certificate` for websites in every database that does
// not trust exactly it yet, making Chromium's database first when it has none. What a database
// held under the nickname before is replaced; a database that already trusts it is not written.
// Throws Error when, afterwards, no database trusts it.
QCoro::Task<> trust(QString certificate, QString certutil, LogFunction log);

// Takes the authority out of every database that holds it. Never fails; a database that keeps
// it is reported through the log.
QCoro::Task<> remove(QString certutil, LogFunction log);

} // namespace Vetron::BrowserCertificateStores
