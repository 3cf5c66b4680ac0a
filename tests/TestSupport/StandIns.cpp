#include "TestSupport/StandIns.h"

#include <QFile>
#include <QJsonDocument>

using namespace Qt::StringLiterals;

namespace Vetron::Test {
namespace {

QList<QByteArray> logLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll().split('\n');
}

void writeOrRemove(const QString &path, const QByteArray &contents, bool present)
{
    if (!present) {
        QFile::remove(path);
        return;
    }
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(contents);
}

} // namespace

StandIns::StandIns()
{
    qputenv("VETRON_STANDIN_STATE", QFile::encodeName(m_state.path()));
}

ToolPaths StandIns::tools() const
{
    return ToolPaths::withStandIns(QStringLiteral(VETRON_STANDIN_DIR));
}

void StandIns::setServices(const QJsonArray &services) const
{
    writeOrRemove(m_state.filePath(u"networksetup.json"_s),
        QJsonDocument(QJsonObject { { u"services"_s, services } }).toJson(), true);
}

QJsonArray StandIns::services() const
{
    QFile file(m_state.filePath(u"networksetup.json"_s));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object().value(u"services"_s).toArray();
}

QJsonObject StandIns::serviceNamed(const QString &name) const
{
    for (const QJsonValue &value : services()) {
        if (value.toObject().value(u"name"_s).toString() == name)
            return value.toObject();
    }
    return {};
}

QList<QStringList> StandIns::calls(const QString &tool) const
{
    QList<QStringList> calls;
    for (const QByteArray &line : logLines(m_state.filePath(tool + u".log"_s))) {
        if (line.isEmpty())
            continue;
        QStringList call;
        for (const QJsonValue &argument : QJsonDocument::fromJson(line).array())
            call << argument.toString();
        calls << call;
    }
    return calls;
}

QStringList StandIns::privilegedScripts() const
{
    QStringList scripts;
    for (const QByteArray &line : logLines(m_state.filePath(u"osascript.log"_s))) {
        if (!line.isEmpty())
            scripts << QJsonDocument::fromJson("[" + line + "]").array().first().toString();
    }
    return scripts;
}

void StandIns::setPasswordRefused(bool refused) const
{
    writeOrRemove(m_state.filePath(u"osascript.refuse"_s), "refuse", refused);
}

void StandIns::setPasswordDialogHeld(bool held) const
{
    writeOrRemove(m_state.filePath(u"osascript.hold"_s), "hold", held);
}

void StandIns::setInstallerHeld(bool held) const
{
    writeOrRemove(m_state.filePath(u"installer.hold"_s), "hold", held);
}

void StandIns::setFailingOptions(const QString &tool, const QStringList &options) const
{
    writeOrRemove(
        m_state.filePath(tool + u".fail"_s), options.join(u'\n').toUtf8() + '\n', !options.isEmpty());
}

QJsonObject StandIns::securityState() const
{
    QFile file(m_state.filePath(u"security.json"_s));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

QJsonObject StandIns::endpoint(bool enabled, const QString &server, int port)
{
    return { { u"enabled"_s, enabled }, { u"server"_s, server }, { u"port"_s, port } };
}

QJsonObject StandIns::service(const QString &name, bool enabled, const QJsonObject &web,
    const QJsonObject &secure, const QStringList &bypass)
{
    return { { u"name"_s, name }, { u"enabled"_s, enabled }, { u"web"_s, web }, { u"secure"_s, secure },
        { u"bypass"_s, QJsonArray::fromStringList(bypass) } };
}

} // namespace Vetron::Test
