#include "Protection/DesktopProxyService.h"

#include "Foundation/AtomicFile.h"
#include "Foundation/ClientPaths.h"
#include "Platform/SystemLog.h"
#include "Protection/ProxyBackup.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace Vetron {
namespace {

using Change = GnomeProxySettings::Change;

const QString loopback = u"'127.0.0.1'"_s;
const QString backupGroup = u"gsettings"_s;

// The saved value of every key (none for a key the user never set), or nothing when the file is
// missing, unreadable or lacks a key.
std::optional<QList<Change>> readBackup()
{
    QFile file(ClientPaths::desktopProxyBackup());
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QJsonObject saved = QJsonDocument::fromJson(file.readAll()).object().value(backupGroup).toObject();
    QList<Change> changes;
    for (const QString &key : GnomeProxySettings::keys()) {
        const QJsonValue value = saved.value(key);
        if (value.isString())
            changes.append({ key, value.toString() });
        else if (value.isNull())
            changes.append({ key, std::nullopt });
        else
            return std::nullopt;
    }
    return changes;
}

QByteArray backupOf(const GnomeProxySettings &settings)
{
    QJsonObject saved;
    for (const QString &key : GnomeProxySettings::keys()) {
        const std::optional<QString> value = settings.userValue(key);
        saved.insert(key, value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null));
    }
    return QJsonDocument(QJsonObject { { backupGroup, saved } }).toJson();
}

// Whether the settings now hold exactly `changes`: a value where one was written, the user's
// value absent where a key was reset.
bool holds(const GnomeProxySettings &settings, const QList<Change> &changes)
{
    return std::all_of(changes.begin(), changes.end(), [&](const Change &change) {
        return change.second ? settings.value(change.first) == *change.second
                             : !settings.userValue(change.first).has_value();
    });
}

} // namespace

DesktopProxyService::DesktopProxyService(QObject *parent, LogFunction log)
    : SystemProxy(parent)
    , m_log(std::move(log))
{
}

DesktopProxyService::~DesktopProxyService()
{
    m_alive->cancel();
}

QList<GnomeProxySettings::Change> DesktopProxyService::ourValues(quint16 port)
{
    const QString number = QString::number(port);
    return { { u"mode"_s, u"'manual'"_s }, { u"http/host"_s, loopback }, { u"http/port"_s, number },
        { u"https/host"_s, loopback }, { u"https/port"_s, number } };
}

GnomeProxySettings &DesktopProxyService::settings()
{
    if (!m_settings) {
        QString problem;
        m_settings = GnomeProxySettings::open(&problem);
        if (!m_settings)
            throw Error(problem);
        m_settings->watch([this]() { takeBack(); });
    }
    return *m_settings;
}

bool DesktopProxyService::holdsOurs(quint16 port) const
{
    return m_settings && holds(*m_settings, ourValues(port));
}

QCoro::Task<> DesktopProxyService::enable(quint16 port)
{
    m_held.reset();
    const quint64 turn = ++m_turn;
    GnomeProxySettings *desktop = nullptr;
    try {
        desktop = &settings();
    } catch (const Error &error) {
        throw Error(u"Настройки прокси этого рабочего стола нельзя изменить автоматически (%1). "
                    u"Укажите в настройках сети вручную прокси HTTP и HTTPS: 127.0.0.1, порт %2."_s
                        .arg(error.description())
                        .arg(port));
    }
    QStringList locked;
    for (const QString &key : GnomeProxySettings::keys()) {
        if (!desktop->isWritable(key))
            locked << key;
    }
    if (!locked.isEmpty())
        throw Error(
            u"Настройки прокси заблокированы администратором (%1), Ветрон не может их изменить."_s.arg(
                locked.join(u", "_s)));

    if (ownershipPort(ClientPaths::desktopProxyOwned()) == QString::number(port) && holdsOurs(port)) {
        m_held = port;
        co_return;
    }
    // A backup already there is the user's, from a switch-on that a crash interrupted; the
    // settings may be ours by now.
    ClientPaths::prepare();
    if (!readBackup() && !holdsOurs(port))
        AtomicFile::write(ClientPaths::desktopProxyBackup(), backupOf(*desktop), AtomicFile::ownerOnly);
    AtomicFile::write(ClientPaths::desktopProxyOwned(), QByteArray::number(port), AtomicFile::ownerOnly);

    if (!co_await writeAndSync(ourValues(port)))
        throw CancelledError();
    if (!holdsOurs(port))
        throw Error(u"Рабочий стол не сохранил настройки прокси."_s);
    if (turn == m_turn)
        m_held = port;
}

QCoro::Task<> DesktopProxyService::restore()
{
    m_held.reset();
    ++m_turn;
    if (!QFile::exists(ClientPaths::desktopProxyOwned()) && !QFile::exists(ClientPaths::desktopProxyBackup()))
        co_return;
    GnomeProxySettings *desktop = nullptr;
    try {
        desktop = &settings();
    } catch (const Error &error) {
        throw Error(u"настройки прокси рабочего стола недоступны (%1)."_s.arg(error.description()));
    }

    QList<Change> changes;
    QString note;
    if (const std::optional<QList<Change>> saved = readBackup()) {
        QStringList locked;
        for (const Change &change : *saved) {
            if (desktop->isWritable(change.first))
                changes << change;
            else
                locked << change.first;
        }
        if (!locked.isEmpty())
            note = u"Ветрон: заблокированные администратором ключи прокси не восстановлены: %1"_s.arg(
                locked.join(u", "_s));
    } else if (const std::optional<quint16> port = ourProxyPort(ClientPaths::desktopProxyOwned())) {
        // Without the user's values only what points at our port is switched off.
        const QString number = QString::number(*port);
        bool anyLeft = false;
        for (const QString &scheme : { u"http"_s, u"https"_s }) {
            if (desktop->value(scheme + u"/host"_s) == loopback
                && desktop->value(scheme + u"/port"_s) == number)
                changes << Change { scheme + u"/host"_s, std::nullopt }
                        << Change { scheme + u"/port"_s, std::nullopt };
            else
                anyLeft = anyLeft || desktop->value(scheme + u"/host"_s) != u"''"_s;
        }
        if (!changes.isEmpty() && !anyLeft)
            changes.prepend({ u"mode"_s, std::nullopt });
        note
            = u"Ветрон: сохранённые настройки прокси рабочего стола не прочитаны; выключены только прокси на порт %1"_s
                  .arg(number);
    } else {
        note
            = u"Ветрон: сохранённые настройки прокси рабочего стола не прочитаны, порт Ветрона неизвестен; настройки не изменены"_s;
    }

    if (!changes.isEmpty()) {
        if (!co_await writeAndSync(changes))
            co_return;
        if (!holds(*desktop, changes))
            throw Error(u"рабочий стол не принял прежние настройки прокси."_s);
    }
    QFile::remove(ClientPaths::desktopProxyOwned());
    QFile::remove(ClientPaths::desktopProxyBackup());
    if (!note.isEmpty())
        log(note);
}

QCoro::Task<bool> DesktopProxyService::writeAndSync(QList<GnomeProxySettings::Change> changes)
{
    const quint64 turn = m_turn;
    const std::shared_ptr<CancellationToken> alive = m_alive;
    QString problem;
    if (!settings().write(changes, &problem))
        throw Error(problem);
    co_await GnomeProxySettings::sync();
    co_return !alive->isCancelled() && turn == m_turn;
}

void DesktopProxyService::takeBack()
{
    if (!m_held || holdsOurs(*m_held))
        return;
    log(u"Ветрон: настройки прокси рабочего стола изменены другой программой; снова направлены на 127.0.0.1:%1"_s
            .arg(*m_held));
    QString problem;
    if (!m_settings->write(ourValues(*m_held), &problem))
        log(problem);
}

void DesktopProxyService::log(const QString &line) const
{
    if (m_log)
        m_log(line);
    else
        Platform::writeSystemLog(line);
}

} // namespace Vetron
