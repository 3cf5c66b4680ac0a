#pragma once

#include "Protection/ProxyBackup.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QStringView>

// Readers of what networksetup prints for the read-only queries the proxy switch makes.
namespace Vetron::NetworksetupOutput {

// Key-colon-value lines of a query's output; the key is untrimmed, the value trimmed of
// blanks and tabs. Lines without a colon are skipped; a repeated key keeps its last value.
QHash<QString, QString> dictionary(QStringView text);

// The enabled services of -listallnetworkservices: its heading and the disabled services
// (marked with an asterisk) are left out.
QStringList serviceNames(QStringView text);

// Every service of -listallnetworkservices, the disabled ones too, without their asterisk.
QStringList existingServiceNames(QStringView text);

// The proxy of -getwebproxy or -getsecurewebproxy. A port that is missing, unreadable or
// outside 1–65535 reads as 0: the restore script hands it back to networksetup.
ProxyEndpoint endpoint(QStringView text);

// The domains of -getproxybypassdomains, one a line; none when the tool says there are none.
QStringList bypassDomains(QStringView text);

} // namespace Vetron::NetworksetupOutput
