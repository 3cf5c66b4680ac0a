#include "App/SettingsEdits.h"

#include "Foundation/Error.h"
#include "Protection/TunnelService.h"

using namespace Qt::StringLiterals;

namespace Vetron {

SettingsEdits::SettingsEdits(TunnelService *tunnel, QObject *parent)
    : QObject(parent)
    , m_tunnel(tunnel)
{
}

void SettingsEdits::setSettings(ProtectionSettings settings)
{
    m_settings = std::move(settings);
    Q_EMIT settingsChanged();
}

void SettingsEdits::setLoaded(bool loaded)
{
    if (loaded == m_loaded)
        return;
    m_loaded = loaded;
    Q_EMIT loadedChanged();
}

void SettingsEdits::setLoadedSettings(ProtectionSettings settings)
{
    m_serverSettings = settings;
    setSettings(std::move(settings));
    setLoaded(true);
}

bool SettingsEdits::hasPendingEdits() const
{
    return m_serverSettings && m_settings != *m_serverSettings;
}

void SettingsEdits::revert()
{
    if (hasPendingEdits())
        setSettings(*m_serverSettings);
}

QCoro::Task<QString> SettingsEdits::load()
{
    QPointer self(this);
    const quint64 load = ++m_loads;
    setLoaded(false);
    QString outcome;
    try {
        const ProtectionSettings answer = co_await m_tunnel->settings();
        if (self) {
            // The user's pending edits stay what the screen shows and what a save sends.
            const bool edited = hasPendingEdits();
            m_serverSettings = answer;
            if (!edited)
                setSettings(answer);
            setLoaded(load == m_loads);
        }
    } catch (...) {
        outcome = describeError(std::current_exception());
    }
    co_return outcome;
}

QCoro::Task<QString> SettingsEdits::save()
{
    QPointer self(this);
    const ProtectionSettings sent = m_settings;
    QString outcome = u"Настройки сохранены."_s;
    try {
        co_await m_tunnel->save(sent);
        if (self)
            m_serverSettings = sent;
    } catch (...) {
        outcome = describeError(std::current_exception());
    }
    co_return outcome;
}

} // namespace Vetron
