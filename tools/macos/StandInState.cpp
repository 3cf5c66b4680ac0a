#include "StandInState.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QProcess>
#include <QSaveFile>

#include <cstdio>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace Vetron::StandIn {

QStringList arguments(int argc, char **argv)
{
    QStringList result;
    for (int i = 1; i < argc; ++i)
        result.append(QString::fromUtf8(argv[i]));
    return result;
}

std::optional<QString> stateDirectory()
{
    const QString directory = qEnvironmentVariable("VETRON_STANDIN_STATE");
    if (directory.isEmpty() || !QDir::isAbsolutePath(directory)) {
        printError(u"VETRON_STANDIN_STATE must name the stand-in state directory by an absolute path.\n"_s);
        return std::nullopt;
    }
    return QDir::cleanPath(directory);
}

int runStandIn(int argc, char **argv, const QString &tool,
    const std::function<int(const QString &stateDirectory, const QStringList &arguments)> &run, CallLog log)
{
    // Taken before QCoreApplication, which would remove arguments it understands itself.
    const QStringList arguments = StandIn::arguments(argc, argv);
    // Some stand-ins run processes; QProcess wants an application object.
    const QCoreApplication application(argc, argv);
    const std::optional<QString> directory = stateDirectory();
    if (!directory)
        return brokenStateExitCode;
    if (log == CallLog::arguments)
        appendLogLine(callLogPath(*directory, tool), compactJson(QJsonArray::fromStringList(arguments)));
    return run(*directory, arguments);
}

QString callLogPath(const QString &stateDirectory, const QString &tool)
{
    return stateDirectory + u'/' + tool + u".log"_s;
}

void appendLogLine(const QString &path, const QByteArray &json)
{
    // Unbuffered, so the whole line goes to the kernel in one write(2) on an O_APPEND descriptor.
    QFile log(path);
    if (!log.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        printError(u"Cannot open %1: %2\n"_s.arg(path, log.errorString()));
        return;
    }
    if (log.write(json + '\n') != json.size() + 1)
        printError(u"Cannot write %1: %2\n"_s.arg(path, log.errorString()));
}

QByteArray compactJson(const QJsonArray &array)
{
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

QByteArray compactJson(const QString &text)
{
    // QJsonDocument only writes arrays and objects: write ["text"] and take the brackets off.
    const QByteArray wrapped = compactJson(QJsonArray { text });
    return wrapped.sliced(1, wrapped.size() - 2);
}

namespace {

// The JSON document in `path`; `missing` when the file does not exist, nothing (with a message on
// stderr) when it cannot be read or does not hold JSON of the kind `missing` is.
std::optional<QJsonDocument> readJsonDocument(const QString &path, const QJsonDocument &missing)
{
    QFile file(path);
    if (!file.exists())
        return missing;
    if (!file.open(QIODevice::ReadOnly)) {
        printError(u"Cannot read %1: %2\n"_s.arg(path, file.errorString()));
        return std::nullopt;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || document.isObject() != missing.isObject()) {
        printError(u"%1 does not hold a JSON %2: %3\n"_s.arg(
            path, missing.isObject() ? u"object"_s : u"array"_s, error.errorString()));
        return std::nullopt;
    }
    return document;
}

bool writeJsonDocument(const QString &path, const QJsonDocument &document)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        printError(u"Cannot write %1: %2\n"_s.arg(path, file.errorString()));
        return false;
    }
    file.write(document.toJson(QJsonDocument::Indented));
    if (!file.commit()) {
        printError(u"Cannot write %1: %2\n"_s.arg(path, file.errorString()));
        return false;
    }
    return true;
}

} // namespace

std::optional<QJsonObject> readJsonObject(const QString &path)
{
    const std::optional<QJsonDocument> document = readJsonDocument(path, QJsonDocument(QJsonObject()));
    return document ? std::optional(document->object()) : std::nullopt;
}

bool writeJsonObject(const QString &path, const QJsonObject &object)
{
    return writeJsonDocument(path, QJsonDocument(object));
}

bool appendToJsonArray(const QString &path, const QString &lockPath, const QJsonValue &value)
{
    const StateLock lock(lockPath);
    const std::optional<QJsonDocument> document = readJsonDocument(path, QJsonDocument(QJsonArray()));
    if (!document)
        return false;
    QJsonArray array = document->array();
    array.append(value);
    return writeJsonDocument(path, QJsonDocument(array));
}

bool extractArchive(const QString &archive, const QString &directory)
{
    QProcess tar;
    tar.setStandardInputFile(QProcess::nullDevice());
    tar.start(u"/bin/tar"_s, { u"-xf"_s, archive, u"-C"_s, directory });
    return tar.waitForFinished(-1) && tar.exitStatus() == QProcess::NormalExit && tar.exitCode() == 0;
}

QStringList readLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines;
    const QList<QByteArray> rawLines = file.readAll().split('\n');
    for (const QByteArray &raw : rawLines) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (!line.isEmpty())
            lines.append(line);
    }
    return lines;
}

void printOut(const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, bytes.size(), stdout);
}

void printOut(const QString &text)
{
    printOut(text.toUtf8());
}

void printError(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, bytes.size(), stderr);
}

StateLock::StateLock(const QString &path)
    : m_descriptor(::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600))
{
    if (m_descriptor < 0 || ::flock(m_descriptor, LOCK_EX) != 0)
        printError(u"Cannot lock %1; going on without the lock.\n"_s.arg(path));
}

StateLock::~StateLock()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
}

} // namespace Vetron::StandIn
