#include "Protection/DesktopProxyService.h"

#include "Foundation/AtomicFile.h"
#include "Foundation/ClientPaths.h"
#include "Platform/SystemLog.h"
#include "Protection/ProxyBackup.h"
#include "Protection/ProxyOwnership.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace Vetron {
namespace {

using Change = GnomeProxySettings::Change;

const QString loopback = u"'127.0.0.1'"_s;
const QString gsettingsGroup = u"gsettings"_s;
const QString kdeGroup = u"kde"_s;

// What the user had: every GSettings key, and Plasma's keys when they were saved.
struct Backup
{
    QList<Change> gsettings;
    std::optional<QList<KdeProxySettings::Change>> kde;
};

// A group's saved values (none for a key that was not set), or nothing when it lacks a key.
std::optional<QList<Change>> savedGroup(const QJsonObject &saved, const QStringList &keys)
{
    QList<Change> changes;
    for (const QString &key : keys) {
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

QJsonObject groupOf(const QList<Change> &changes)
{
    QJsonObject group;
    for (const auto &[key, value] : changes)
        group.insert(key, value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null));
    return group;
}

// The backup, or nothing when the file is missing, unreadable or its GSettings group incomplete.
std::optional<Backup> readBackup()
{
    QFile file(ClientPaths::desktopProxyBackup());
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QJsonObject saved = QJsonDocument::fromJson(file.readAll()).object();
    std::optional<QList<Change>> gsettings
        = savedGroup(saved.value(gsettingsGroup).toObject(), GnomeProxySettings::keys());
    if (!gsettings)
        return std::nullopt;
    return Backup { *gsettings, savedGroup(saved.value(kdeGroup).toObject(), KdeProxySettings::keys()) };
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

DesktopProxyService::DesktopProxyService(ToolPaths tools, bool plasma, QObject *parent, LogFunction log)
    : SystemProxy(parent)
    , m_log(std::move(log))
    , m_kde(std::move(tools))
    , m_plasma(plasma)
{
}

DesktopProxyService::~DesktopProxyService()
{
    m_alive->cancel();
}

bool DesktopProxyService::sessionIsPlasma()
{
    return qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(u':').contains(u"KDE"_s, Qt::CaseInsensitive);
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
    const std::shared_ptr<CancellationToken> alive = m_alive;
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

    const bool plasmaOurs = m_plasma ? co_await m_kde.holds(KdeProxySettings::ourValues(port)) : true;
    if (alive->isCancelled() || turn != m_turn)
        throw CancelledError();
    if (plasmaOurs && ownershipPort(ClientPaths::desktopProxyOwned()) == QString::number(port)
        && holdsOurs(port)) {
        m_held = port;
        co_return;
    }

    std::exception_ptr failure;
    bool overtaken = false;
    try {
        co_await switchOn(port);
    } catch (const CancelledError &) {
        failure = std::current_exception();
        overtaken = true;
    } catch (...) {
        failure = std::current_exception();
    }
    if (alive->isCancelled())
        std::rethrow_exception(failure ? failure : std::make_exception_ptr(CancelledError()));
    if (failure) {
        // What was written already goes back; should that fail too, the files stay for the
        // switch-off.
        if (turn == m_turn && !overtaken) {
            try {
                co_await putBack();
            } catch (...) {
            }
        }
        std::rethrow_exception(failure);
    }
    if (turn == m_turn)
        m_held = port;
}

QCoro::Task<> DesktopProxyService::switchOn(quint16 port)
{
    const quint64 turn = m_turn;
    const std::shared_ptr<CancellationToken> alive = m_alive;
    // A backup already there is the user's, from a switch-on that a crash interrupted; the
    // settings may be ours by now.
    ClientPaths::prepare();
    if (!readBackup() && !holdsOurs(port)) {
        QJsonObject saved { { gsettingsGroup, QJsonObject() } };
        QList<Change> users;
        for (const QString &key : GnomeProxySettings::keys())
            users.append({ key, m_settings->userValue(key) });
        saved.insert(gsettingsGroup, groupOf(users));
        if (m_plasma) {
            QList<KdeProxySettings::Change> plasma;
            for (const QString &key : KdeProxySettings::keys()) {
                const std::optional<QString> value = co_await m_kde.read(key);
                plasma.append({ key, value });
            }
            if (alive->isCancelled() || turn != m_turn)
                throw CancelledError();
            saved.insert(kdeGroup, groupOf(plasma));
        }
        AtomicFile::write(
            ClientPaths::desktopProxyBackup(), QJsonDocument(saved).toJson(), AtomicFile::ownerOnly);
    }
    AtomicFile::write(ClientPaths::desktopProxyOwned(), QByteArray::number(port), AtomicFile::ownerOnly);

    if (m_plasma) {
        co_await m_kde.write(KdeProxySettings::ourValues(port));
        KdeProxySettings::announceChange();
        if (alive->isCancelled() || turn != m_turn)
            throw CancelledError();
    }
    const bool current = co_await writeAndSync(ourValues(port));
    if (!current)
        throw CancelledError();
    const bool plasmaOurs = m_plasma ? co_await m_kde.holds(KdeProxySettings::ourValues(port)) : true;
    if (alive->isCancelled() || turn != m_turn)
        throw CancelledError();
    if (!holdsOurs(port) || !plasmaOurs)
        throw Error(u"Рабочий стол не сохранил настройки прокси."_s);
}

QCoro::Task<> DesktopProxyService::restore()
{
    m_held.reset();
    ++m_turn;
    if (!QFile::exists(ClientPaths::desktopProxyOwned()) && !QFile::exists(ClientPaths::desktopProxyBackup()))
        co_return;
    co_await putBack();
}

QCoro::Task<> DesktopProxyService::putBack()
{
    const quint64 turn = m_turn;
    const std::shared_ptr<CancellationToken> alive = m_alive;
    // A switch-off never fails for good: what cannot be put back now is named in the log, and
    // both files stay, so that the next switch-off tries again.
    QStringList notes;
    bool complete = true;
    GnomeProxySettings *desktop = nullptr;
    try {
        desktop = &settings();
    } catch (const Error &error) {
        // Then no program reads these keys, ours included.
        notes
            << u"настройки прокси GSettings недоступны (%1), они будут возвращены при следующем выключении"_s
                   .arg(error.description());
        complete = false;
    }

    const std::optional<Backup> backup = readBackup();
    const std::optional<quint16> port = ourProxyPort(ClientPaths::desktopProxyOwned());
    QList<Change> changes;
    if (!desktop) {
    } else if (backup) {
        QStringList locked;
        for (const Change &change : backup->gsettings) {
            if (holds(*desktop, { change }))
                continue;
            if (desktop->isWritable(change.first))
                changes << change;
            else
                locked << change.first;
        }
        if (!locked.isEmpty())
            notes << u"заблокированные администратором ключи прокси не восстановлены: %1"_s.arg(
                locked.join(u", "_s));
    } else if (port) {
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
        notes << u"сохранённые настройки прокси не прочитаны; выключены только прокси на порт %1"_s.arg(
            number);
    } else {
        notes
            << u"сохранённые настройки прокси не прочитаны, порт Ветрона неизвестен; настройки не изменены"_s;
    }

    if (m_plasma) {
        QList<KdeProxySettings::Change> plasma;
        if (backup && backup->kde) {
            for (const KdeProxySettings::Change &change : *backup->kde) {
                const std::optional<QString> now = co_await m_kde.read(change.first);
                if (now != change.second)
                    plasma << change;
            }
        } else if (port) {
            const QList<KdeProxySettings::Change> ours = KdeProxySettings::ourValues(*port);
            for (const KdeProxySettings::Change &change : ours) {
                const std::optional<QString> now = co_await m_kde.read(change.first);
                if (now == change.second)
                    plasma.append({ change.first, std::nullopt });
            }
        }
        if (alive->isCancelled() || turn != m_turn)
            co_return;
        if (!plasma.isEmpty()) {
            try {
                co_await m_kde.write(plasma);
            } catch (const Error &error) {
                notes
                    << u"настройки прокси KDE не возвращены (%1), они будут возвращены при следующем выключении"_s
                           .arg(error.description());
                complete = false;
            }
            KdeProxySettings::announceChange();
            if (alive->isCancelled() || turn != m_turn)
                co_return;
        }
    }

    if (!changes.isEmpty()) {
        const bool current = co_await writeAndSync(changes);
        if (!current)
            co_return;
        if (!holds(*desktop, changes))
            throw Error(u"рабочий стол не принял прежние настройки прокси."_s);
    }
    if (complete) {
        QFile::remove(ClientPaths::desktopProxyOwned());
        QFile::remove(ClientPaths::desktopProxyBackup());
    }
    for (const QString &note : std::as_const(notes))
        log(u"Ветрон: "_s + note);
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
