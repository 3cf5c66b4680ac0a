// Stand-in for macOS security: the certificate-trust commands of the real tool, on the
// certificates in <state>/security.json. Every call is logged to <state>/security.log as a
// JSON array of its arguments; commands listed in <state>/security.fail fail on purpose.

#include "StandInState.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <functional>

using namespace Qt::StringLiterals;
using namespace Vetron::StandIn;

namespace {

constexpr int failureExitCode = 1;
constexpr int usageExitCode = 2;
constexpr int keychainNotFoundExitCode = 50;

// A command's arguments split the way getopt(3) splits them: single-letter options up to the
// first operand or "--", then the operands.
struct Options
{
    QHash<QChar, QString> values;
    QString flags;
    QStringList operands;

    bool has(QChar letter) const { return values.contains(letter) || flags.contains(letter); }
};

using Action = std::function<int(QJsonObject &state, const Options &options)>;

struct Command
{
    QString name;
    QString synopsis;
    QString valueOptions; // letters of the options that take a value
    QString flagOptions;
    QString requiredOptions;
    qsizetype minimumOperands;
    qsizetype maximumOperands; // -1: no limit
    Action action;
};

std::optional<Options> parseOptions(const Command &command, const QStringList &arguments)
{
    Options options;
    qsizetype i = 0;
    for (; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == u"--"_s) {
            ++i;
            break;
        }
        if (!argument.startsWith(u'-') || argument.size() == 1)
            break;
        const QChar letter = argument.at(1);
        if (argument.size() == 2 && command.flagOptions.contains(letter))
            options.flags += letter;
        else if (argument.size() == 2 && command.valueOptions.contains(letter) && i + 1 < arguments.size())
            options.values.insert(letter, arguments.at(++i));
        else
            return std::nullopt;
    }
    options.operands = arguments.sliced(i);
    const qsizetype count = options.operands.size();
    if (count < command.minimumOperands || (command.maximumOperands >= 0 && count > command.maximumOperands))
        return std::nullopt;
    const bool complete = std::all_of(command.requiredOptions.cbegin(), command.requiredOptions.cend(),
        [&](QChar letter) { return options.has(letter); });
    return complete ? std::optional(options) : std::nullopt;
}

// Removes the objects of `array` that `matches` accepts and returns how many there were.
qsizetype removeMatching(QJsonArray &array, const std::function<bool(const QJsonObject &)> &matches)
{
    qsizetype removed = 0;
    for (qsizetype i = array.size() - 1; i >= 0; --i) {
        if (matches(array.at(i).toObject())) {
            array.removeAt(i);
            ++removed;
        }
    }
    return removed;
}

// The keychain path made absolute, or nothing (after the tool's message) when its folder is
// missing; the keychain file itself may not exist yet.
std::optional<QString> keychainPath(const QString &path)
{
    const QFileInfo info(path);
    if (!info.absoluteDir().exists()) {
        printError(u"security: SecKeychainOpen %1: The specified keychain could not be found.\n"_s.arg(path));
        return std::nullopt;
    }
    return QDir::cleanPath(info.absoluteFilePath());
}

// Whether `der` is exactly one DER SEQUENCE, as every X.509 certificate is.
bool isSingleDerSequence(const QByteArray &der)
{
    if (der.size() < 2 || quint8(der.at(0)) != 0x30)
        return false;
    const quint8 first = quint8(der.at(1));
    if (first < 0x80)
        return der.size() == 2 + first;
    const int lengthBytes = first & 0x7f;
    if (lengthBytes == 0 || lengthBytes > 4 || der.size() < 2 + lengthBytes)
        return false;
    qint64 length = 0;
    for (int i = 0; i < lengthBytes; ++i)
        length = (length << 8) | quint8(der.at(2 + i));
    return der.size() == 2 + lengthBytes + length;
}

struct Certificate
{
    QByteArray pem;
    QByteArray der;
};

// The first PEM certificate block in the file at `path`.
std::optional<Certificate> readPemCertificate(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray text = file.readAll();
    const QByteArray begin = "-----BEGIN CERTIFICATE-----";
    const QByteArray end = "-----END CERTIFICATE-----";
    const qsizetype start = text.indexOf(begin);
    const qsizetype stop = start < 0 ? -1 : text.indexOf(end, start + begin.size());
    if (stop < 0)
        return std::nullopt;
    const QByteArray body = text.sliced(start + begin.size(), stop - start - begin.size())
                                .simplified()
                                .replace(' ', QByteArray());
    const QByteArray::FromBase64Result der
        = QByteArray::fromBase64Encoding(body, QByteArray::AbortOnBase64DecodingErrors);
    if (!der || !isSingleDerSequence(*der))
        return std::nullopt;
    return Certificate { text.sliced(start, stop + end.size() - start) + '\n', *der };
}

int addTrustedCertificate(QJsonObject &state, const Options &options)
{
    const QString trust = options.values.value(u'r', u"trustRoot"_s);
    const QStringList results { u"trustRoot"_s, u"trustAsRoot"_s, u"deny"_s, u"unspecified"_s };
    if (!results.contains(trust)) {
        printError(u"security: unknown result type \"%1\"\n"_s.arg(trust));
        return usageExitCode;
    }
    const std::optional<QString> keychain = keychainPath(options.values.value(u'k'));
    if (!keychain)
        return keychainNotFoundExitCode;
    const std::optional<Certificate> certificate = readPemCertificate(options.operands.first());
    if (!certificate) {
        printError(u"SecCertificateCreateFromData: Unknown format in import.\n"_s);
        return failureExitCode;
    }
    const QString sha1 = QString::fromLatin1(
        QCryptographicHash::hash(certificate->der, QCryptographicHash::Sha1).toHex().toUpper());
    QJsonArray certificates = state.value(u"certificates"_s).toArray();
    removeMatching(certificates, [&](const QJsonObject &entry) {
        return entry.value(u"keychain"_s).toString() == *keychain
            && entry.value(u"sha1"_s).toString() == sha1;
    });
    certificates.append(QJsonObject { { u"keychain"_s, *keychain }, { u"sha1"_s, sha1 },
        { u"pem"_s, QString::fromLatin1(certificate->pem) }, { u"trust"_s, trust } });
    state.insert(u"certificates"_s, certificates);
    return 0;
}

int deleteCertificate(QJsonObject &state, const Options &options)
{
    const std::optional<QString> keychain = keychainPath(options.operands.first());
    if (!keychain)
        return keychainNotFoundExitCode;
    const QString sha1 = options.values.value(u'Z');
    QJsonArray certificates = state.value(u"certificates"_s).toArray();
    const qsizetype removed = removeMatching(certificates, [&](const QJsonObject &entry) {
        return entry.value(u"keychain"_s).toString() == *keychain
            && entry.value(u"sha1"_s).toString().compare(sha1, Qt::CaseInsensitive) == 0;
    });
    if (removed == 0) {
        printError(u"Unable to delete certificate matching \"%1\"\n"_s.arg(sha1));
        return failureExitCode;
    }
    state.insert(u"certificates"_s, certificates);
    return 0;
}

QList<Command> commands()
{
    return {
        { u"add-trusted-cert"_s, u"[-r resultType] -k keychain certFile"_s, u"rk"_s, QString(), u"k"_s, 1, 1,
            addTrustedCertificate },
        { u"delete-certificate"_s, u"-Z hash [-t] keychain"_s, u"Z"_s, u"t"_s, u"Z"_s, 1, 1,
            deleteCertificate },
    };
}

QString usageLine(const Command &command)
{
    return u"Usage: security "_s + command.name + u' ' + command.synopsis + u'\n';
}

int printUsage(const QList<Command> &known)
{
    QString text;
    for (const Command &command : known)
        text += usageLine(command);
    printError(text);
    return usageExitCode;
}

int run(const QString &stateDirectory, const QStringList &arguments)
{
    const QList<Command> known = commands();
    if (arguments.isEmpty())
        return printUsage(known);
    const QString name = arguments.first();
    if (readLines(stateDirectory + u"/security.fail"_s).contains(name)) {
        printError(u"security: simulated failure\n"_s);
        return failureExitCode;
    }
    const auto command
        = std::find_if(known.cbegin(), known.cend(), [&](const Command &c) { return c.name == name; });
    if (command == known.cend())
        return printUsage(known);
    const std::optional<Options> options = parseOptions(*command, arguments.sliced(1));
    if (!options) {
        printError(usageLine(*command));
        return usageExitCode;
    }

    const QString statePath = stateDirectory + u"/security.json"_s;
    const StateLock lock(stateDirectory + u"/security.lock"_s);
    const std::optional<QJsonObject> original = readJsonObject(statePath);
    if (!original)
        return brokenStateExitCode;
    QJsonObject state = *original;
    const int exitCode = command->action(state, *options);
    if (state != *original && !writeJsonObject(statePath, state))
        return brokenStateExitCode;
    return exitCode;
}

} // namespace

int main(int argc, char **argv)
{
    return runStandIn(argc, argv, u"security"_s, run);
}
