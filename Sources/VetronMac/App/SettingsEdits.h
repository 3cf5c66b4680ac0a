#pragma once

#include "Foundation/Models.h"

#include <QCoroTask>
#include <QObject>
#include <QPointer>

#include <optional>

namespace Vetron {

class TunnelService;

// The protection settings as the settings screen edits them: the values shown and sent, what
// the server last sent or accepted, and whether the latest read succeeded. A read that answers
// while edits are pending keeps the edits.
class SettingsEdits : public QObject
{
    Q_OBJECT

public:
    explicit SettingsEdits(TunnelService *tunnel, QObject *parent = nullptr);

    const ProtectionSettings &settings() const { return m_settings; }
    void setSettings(ProtectionSettings settings);
    // True once the latest read succeeded; false while one runs and after a failed one.
    bool loaded() const { return m_loaded; }
    // Settings as if the server had just sent them.
    void setLoadedSettings(ProtectionSettings settings);
    // Puts back the settings the server last sent or accepted, dropping the edits made since.
    void revert();

    // Reads the server's settings: an empty text, or the failure's description.
    QCoro::Task<QString> load();
    // Sends the settings shown: "Настройки сохранены.", or the failure's description.
    QCoro::Task<QString> save();

Q_SIGNALS:
    void settingsChanged();
    void loadedChanged();

private:
    void setLoaded(bool loaded);
    // The settings differ from what the server last sent or accepted.
    bool hasPendingEdits() const;

    QPointer<TunnelService> m_tunnel;
    ProtectionSettings m_settings;
    // What the server last sent or accepted; `m_settings` differs from it while edits are pending.
    std::optional<ProtectionSettings> m_serverSettings;
    bool m_loaded = false;
    quint64 m_loads = 0; // reads started, so that only the latest one sets `loaded`
};

} // namespace Vetron
