#pragma once

#include <QCoroTask>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace Vetron {

// The desktop's proxy settings in GSettings: the schema "org.gnome.system.proxy" and its "http"
// and "https" children, which GNOME and its relatives, Firefox on every desktop and Chromium read.
// Reached through GIO and the session's dconf, never through the "gsettings" tool. A key is named
// "mode", "http/host", "http/port", "https/host" or "https/port"; a value is GVariant text
// ("'manual'", "'127.0.0.1'", "8080"), so that what is saved is put back with its exact type.
class GnomeProxySettings
{
public:
    // The keys a switch changes, in the order it writes them.
    static const QStringList &keys();

    // None, with `problem` set, when the schema is not installed or the settings go to GLib's
    // memory or keyfile store instead of dconf (nothing else would read what is written there).
    static std::unique_ptr<GnomeProxySettings> open(QString *problem);
    ~GnomeProxySettings();
    GnomeProxySettings(const GnomeProxySettings &) = delete;
    GnomeProxySettings &operator=(const GnomeProxySettings &) = delete;

    // False for a key an administrator has locked.
    bool isWritable(const QString &key) const;
    // The value as every program sees it, the default when nobody set one.
    QString value(const QString &key) const;
    // The user's own value, none when the user never set the key.
    std::optional<QString> userValue(const QString &key) const;

    // Sets each key to its value, or resets it to the default for none, all in one batch that
    // other programs see at once. False, with `problem` set and nothing written, when a value is
    // not GVariant text of the key's type.
    using Change = std::pair<QString, std::optional<QString>>;
    bool write(const QList<Change> &changes, QString *problem);

    // Calls `changed` from the event loop after any of the keys changed, by whoever; until this
    // object is gone.
    void watch(std::function<void()> changed);

    // Suspends until every write of this process has reached dconf or failed there; a failed one
    // reads as the stored value again afterwards. Runs off the event loop's thread.
    static QCoro::Task<> sync();

private:
    struct Handles;
    explicit GnomeProxySettings(std::unique_ptr<Handles> handles);
    std::unique_ptr<Handles> m_handles;
};

} // namespace Vetron
