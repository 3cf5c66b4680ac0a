#include "Platform/BrowserCertificateStores.h"

#include "Foundation/ClientPaths.h"
#include "Foundation/ProcessRunner.h"
#include "Platform/SystemLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSslCertificate>

using namespace Qt::StringLiterals;

namespace Vetron::BrowserCertificateStores {
namespace {

void report(const LogFunction &log, const QString &line)
{
    if (log)
        log(line);
    else
        Platform::writeSystemLog(line);
}

QString chromiumDatabase()
{
    const QString legacy = QDir::homePath() + u"/.pki/nssdb"_s;
    return QFileInfo(legacy).isDir() ? legacy : QDir::homePath() + u"/.local/share/pki/nssdb"_s;
}

bool holdsDatabase(const QString &folder)
{
    return QFileInfo(folder + u"/cert9.db"_s).isFile();
}

QStringList firefoxRoots()
{
    const QString home = QDir::homePath();
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!QDir::isAbsolutePath(config))
        config = home + u"/.config"_s;
    return { home + u"/.mozilla/firefox"_s, config + u"/mozilla/firefox"_s,
        home + u"/snap/firefox/common/.mozilla/firefox"_s,
        home + u"/.var/app/org.mozilla.firefox/.mozilla/firefox"_s };
}

// The profile folders the "profiles.ini" in `root` lists. Read line by line: QSettings would
// take a path holding a comma for a list and a backslash for an escape.
QStringList listedProfiles(const QString &root)
{
    QFile file(root + u"/profiles.ini"_s);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    struct Entry
    {
        QString path;
        bool relative = false;
    };
    QList<Entry> entries;
    bool inProfile = false;
    for (const QByteArray &raw : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(u'[')) {
            inProfile = line.startsWith(u"[Profile"_s);
            if (inProfile)
                entries.append(Entry {});
        } else if (inProfile && line.startsWith(u"Path="_s)) {
            entries.last().path = line.mid(5);
        } else if (inProfile && line.startsWith(u"IsRelative="_s)) {
            entries.last().relative = line.mid(11) == u"1"_s;
        }
    }
    QStringList profiles;
    for (const Entry &entry : entries) {
        if (entry.path.isEmpty())
            continue;
        if (entry.relative)
            profiles << QDir::cleanPath(root + u'/' + entry.path);
        else if (QDir::isAbsolutePath(entry.path))
            profiles << QDir::cleanPath(entry.path);
    }
    return profiles;
}

QCoro::Task<ProcessOutput> runCertutil(QString certutil, QString database, QStringList arguments)
{
    // An empty password file: a database with a primary password refuses the change instead of
    // asking for the password on whatever terminal the client was started from.
    arguments << u"-d"_s << u"sql:"_s + database << u"-f"_s << u"/dev/null"_s;
    co_return co_await ProcessRunner::run(certutil, arguments, QByteArray());
}

// What `database` files under the nickname; nothing when it has nothing there or cannot be read.
QCoro::Task<QList<QSslCertificate>> filed(QString certutil, QString database)
{
    const QStringList arguments { u"-L"_s, u"-a"_s, u"-n"_s, nickname() };
    QList<QSslCertificate> certificates;
    try {
        const ProcessOutput output = co_await runCertutil(certutil, database, arguments);
        certificates = QSslCertificate::fromData(output.standardOutput, QSsl::Pem);
    } catch (const Error &) {
    }
    co_return certificates;
}

// Whether the certificate under the nickname is a trusted authority for websites there.
QCoro::Task<bool> trustedThere(QString certutil, QString database)
{
    const QStringList arguments { u"-V"_s, u"-u"_s, u"L"_s, u"-n"_s, nickname() };
    bool trusted = true;
    try {
        co_await runCertutil(certutil, database, arguments);
    } catch (const Error &) {
        trusted = false;
    }
    co_return trusted;
}

// certutil deletes one certificate of a nickname per run: `count` runs take out all it holds.
QCoro::Task<> removeFrom(QString certutil, QString database, qsizetype count)
{
    const QStringList arguments { u"-D"_s, u"-n"_s, nickname() };
    for (qsizetype run = 0; run < count; ++run)
        co_await runCertutil(certutil, database, arguments);
}

QCoro::Task<> trustIn(QString certutil, QString database, QString certificate, QSslCertificate authority)
{
    const QList<QSslCertificate> present = co_await filed(certutil, database);
    if (present == QList { authority }) {
        const bool trusted = co_await trustedThere(certutil, database);
        if (trusted)
            co_return;
    } else {
        // Another certificate under the nickname (an earlier server's) would make certutil
        // refuse ours.
        co_await removeFrom(certutil, database, present.size());
    }

    const QStringList arguments { u"-A"_s, u"-n"_s, nickname(), u"-t"_s, u"C,,"_s, u"-i"_s, certificate };
    std::exception_ptr failure;
    try {
        co_await runCertutil(certutil, database, arguments);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!failure)
        co_return;
    // certutil files the certificate before it sets the trust, which a primary password refuses:
    // the untrusted copy goes again.
    const QList<QSslCertificate> left = co_await filed(certutil, database);
    try {
        co_await removeFrom(certutil, database, left.size());
    } catch (const Error &) {
    }
    std::rethrow_exception(failure);
}

// Chromium makes its database on its first run; a browser installed later, or one that has not
// run yet, finds the authority there already.
QCoro::Task<> makeChromiumDatabase(QString certutil)
{
    const QString folder = chromiumDatabase();
    if (holdsDatabase(folder))
        co_return;
    ClientPaths::createPrivateDirectory(folder, true);
    const QStringList arguments { u"-N"_s, u"--empty-password"_s, u"-d"_s, u"sql:"_s + folder };
    co_await ProcessRunner::run(certutil, arguments, QByteArray());
}

QString failureLine(const QString &database, const QString &reason)
{
    return u"Ветрон: хранилище сертификатов %1 не изменено — %2"_s.arg(database, reason.trimmed());
}

} // namespace

QString nickname()
{
    return u"Ветрон — сервер защиты"_s;
}

QStringList databases()
{
    QStringList found;
    QStringList seen; // the same folder may be reached through a link
    const auto add = [&](const QString &folder) {
        const QString canonical = QFileInfo(folder).canonicalFilePath();
        if (holdsDatabase(folder) && !seen.contains(canonical)) {
            seen << canonical;
            found << folder;
        }
    };
    add(chromiumDatabase());
    for (const QString &root : firefoxRoots()) {
        for (const QString &profile : listedProfiles(root))
            add(profile);
    }
    return found;
}

QCoro::Task<> trust(QString certificate, QString certutil, LogFunction log)
{
    const QList<QSslCertificate> read = QSslCertificate::fromPath(certificate, QSsl::Pem);
    if (read.size() != 1)
        throw Error(u"Сертификат сервера защиты в файле %1 не удалось прочитать."_s.arg(certificate));

    QString lastReason = u"хранилищ нет"_s;
    try {
        co_await makeChromiumDatabase(certutil);
    } catch (const Error &error) {
        lastReason = error.description();
        report(log, failureLine(chromiumDatabase(), lastReason));
    }

    int trusting = 0;
    for (const QString &database : databases()) {
        try {
            co_await trustIn(certutil, database, certificate, read.first());
            ++trusting;
        } catch (const Error &error) {
            lastReason = error.description();
            report(log, failureLine(database, lastReason));
        }
    }
    if (trusting == 0)
        throw Error(
            u"Сертификат сервера защиты не удалось добавить ни в одно хранилище сертификатов браузеров: %1"_s
                .arg(lastReason.trimmed()));
}

QCoro::Task<> remove(QString certutil, LogFunction log)
{
    for (const QString &database : databases()) {
        const QList<QSslCertificate> present = co_await filed(certutil, database);
        try {
            co_await removeFrom(certutil, database, present.size());
        } catch (const Error &error) {
            report(log, failureLine(database, error.description()));
        }
    }
}

} // namespace Vetron::BrowserCertificateStores
