#pragma once

#include <QFileDevice>
#include <QNetworkReply>
#include <QProcess>
#include <QString>

// Russian sentences for the failures of the operating system and of Qt that can reach the
// user: the client's own words, so that a description never depends on installed translations
// or on the system's language. Anything without a sentence of its own gets a generic one.
namespace Vetron::SystemErrorTexts {

// An errno value.
QString forErrno(int code);

// A network failure of a QNetworkReply.
QString forNetwork(QNetworkReply::NetworkError code);

// A failure of a QFile or QFileDevice. `code` is the errno value seen right after the failed
// call; it tells what the coarse kind cannot (a missing file from a forbidden one), and is
// used when it has a sentence of its own.
QString forFile(QFileDevice::FileError error, int code = 0);

// A failure of a QProcess.
QString forProcess(QProcess::ProcessError error);

} // namespace Vetron::SystemErrorTexts
