#include "Platform/GnomeProxySettings.h"

#include <QCoreApplication>
#include <QCoroThread>
#include <QThread>

// GIO's headers use "signals" as a name, which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#define G_SETTINGS_ENABLE_BACKEND
#include <gio/gio.h>
#include <gio/gsettingsbackend.h>
#pragma pop_macro("signals")

using namespace Qt::StringLiterals;

namespace Vetron {
namespace {

constexpr const char *schemaId = "org.gnome.system.proxy";

// Owns one reference of a GObject.
template<class T> struct Unref
{
    void operator()(T *object) const
    {
        if (object)
            g_object_unref(object);
    }
};
template<class T> using GPointer = std::unique_ptr<T, Unref<T>>;

struct VariantUnref
{
    void operator()(GVariant *value) const
    {
        if (value)
            g_variant_unref(value);
    }
};
using VariantPointer = std::unique_ptr<GVariant, VariantUnref>;

QString printed(GVariant *value)
{
    gchar *text = g_variant_print(value, FALSE);
    const QString result = QString::fromUtf8(text);
    g_free(text);
    return result;
}

// The child ("", "http" or "https") and the key's own name within it.
std::pair<QByteArray, QByteArray> splitKey(const QString &key)
{
    const qsizetype slash = key.indexOf(u'/');
    if (slash < 0)
        return { {}, key.toUtf8() };
    return { key.left(slash).toUtf8(), key.mid(slash + 1).toUtf8() };
}

} // namespace

struct GnomeProxySettings::Handles
{
    GPointer<GSettings> root;
    GPointer<GSettings> http;
    GPointer<GSettings> https;
    std::function<void()> changed;
    std::unique_ptr<QObject> context = std::make_unique<QObject>(); // ends queued change calls

    GSettings *settingsFor(const QByteArray &child) const
    {
        if (child.isEmpty())
            return root.get();
        return child == "http" ? http.get() : https.get();
    }

    ~Handles()
    {
        for (GSettings *settings : { root.get(), http.get(), https.get() }) {
            if (settings)
                g_signal_handlers_disconnect_by_data(settings, this);
        }
    }
};

const QStringList &GnomeProxySettings::keys()
{
    static const QStringList keys { u"mode"_s, u"http/host"_s, u"http/port"_s, u"https/host"_s,
        u"https/port"_s };
    return keys;
}

std::unique_ptr<GnomeProxySettings> GnomeProxySettings::open(QString *problem)
{
    GSettingsSchemaSource *source = g_settings_schema_source_get_default();
    GSettingsSchema *schema = source ? g_settings_schema_source_lookup(source, schemaId, TRUE) : nullptr;
    if (!schema) {
        *problem = u"схема настроек прокси org.gnome.system.proxy не установлена"_s;
        return nullptr;
    }
    GPointer<GSettingsBackend> backend(g_settings_backend_get_default());
    const QByteArray backendName = backend ? G_OBJECT_TYPE_NAME(backend.get()) : "";
    g_settings_schema_unref(schema);
    if (backendName != "DConfSettingsBackend") {
        *problem = u"настройки сохраняются не в dconf, их не прочтёт ни одна программа"_s;
        return nullptr;
    }
    auto handles = std::make_unique<Handles>();
    handles->root.reset(g_settings_new(schemaId));
    handles->http.reset(g_settings_get_child(handles->root.get(), "http"));
    handles->https.reset(g_settings_get_child(handles->root.get(), "https"));
    return std::unique_ptr<GnomeProxySettings>(new GnomeProxySettings(std::move(handles)));
}

GnomeProxySettings::GnomeProxySettings(std::unique_ptr<Handles> handles)
    : m_handles(std::move(handles))
{
}

GnomeProxySettings::~GnomeProxySettings() = default;

bool GnomeProxySettings::isWritable(const QString &key) const
{
    const auto [child, name] = splitKey(key);
    return g_settings_is_writable(m_handles->settingsFor(child), name.constData());
}

QString GnomeProxySettings::value(const QString &key) const
{
    const auto [child, name] = splitKey(key);
    const VariantPointer value(g_settings_get_value(m_handles->settingsFor(child), name.constData()));
    return printed(value.get());
}

std::optional<QString> GnomeProxySettings::userValue(const QString &key) const
{
    const auto [child, name] = splitKey(key);
    const VariantPointer value(g_settings_get_user_value(m_handles->settingsFor(child), name.constData()));
    if (!value)
        return std::nullopt;
    return printed(value.get());
}

bool GnomeProxySettings::write(const QList<Change> &changes, QString *problem)
{
    // Every value is checked before anything is written.
    std::vector<std::pair<std::pair<QByteArray, QByteArray>, VariantPointer>> parsed;
    for (const auto &[key, text] : changes) {
        auto split = splitKey(key);
        VariantPointer value;
        if (text) {
            GSettingsSchema *schema = nullptr;
            g_object_get(m_handles->settingsFor(split.first), "settings-schema", &schema, nullptr);
            GSettingsSchemaKey *schemaKey
                = schema && g_settings_schema_has_key(schema, split.second.constData())
                ? g_settings_schema_get_key(schema, split.second.constData())
                : nullptr;
            if (schemaKey) {
                const QByteArray utf8 = text->toUtf8();
                value.reset(g_variant_parse(g_settings_schema_key_get_value_type(schemaKey), utf8.constData(),
                    nullptr, nullptr, nullptr));
                g_settings_schema_key_unref(schemaKey);
            }
            if (schema)
                g_settings_schema_unref(schema);
            if (!value) {
                *problem = u"значение %1 для ключа %2 не подходит"_s.arg(*text, key);
                return false;
            }
            g_variant_ref_sink(value.get());
        }
        parsed.emplace_back(std::move(split), std::move(value));
    }

    // One delayed batch: the children made after the delay share it, so one apply writes all.
    GPointer<GSettings> batch(g_settings_new(schemaId));
    g_settings_delay(batch.get());
    GPointer<GSettings> http(g_settings_get_child(batch.get(), "http"));
    GPointer<GSettings> https(g_settings_get_child(batch.get(), "https"));
    for (const auto &[split, value] : parsed) {
        GSettings *settings = split.first.isEmpty() ? batch.get()
            : split.first == "http"                 ? http.get()
                                                    : https.get();
        if (value)
            g_settings_set_value(settings, split.second.constData(), value.get());
        else
            g_settings_reset(settings, split.second.constData());
    }
    g_settings_apply(batch.get());
    return true;
}

void GnomeProxySettings::watch(std::function<void()> changed)
{
    Handles *handles = m_handles.get();
    if (!handles->changed) {
        const auto onChanged = +[](GSettings *, gchar *, gpointer data) {
            auto *handles = static_cast<Handles *>(data);
            QMetaObject::invokeMethod(
                handles->context.get(),
                [handles]() {
                    if (handles->changed)
                        handles->changed();
                },
                Qt::QueuedConnection);
        };
        for (GSettings *settings : { handles->root.get(), handles->http.get(), handles->https.get() })
            g_signal_connect(settings, "changed", G_CALLBACK(onChanged), handles);
    }
    handles->changed = std::move(changed);
}

QCoro::Task<> GnomeProxySettings::sync()
{
    // Should the caller go away first, the thread is waited for: it only waits for dconf's answer.
    const auto finish = [](QThread *thread) {
        thread->wait();
        delete thread;
    };
    std::unique_ptr<QThread, decltype(finish)> thread(QThread::create([]() { g_settings_sync(); }), finish);
    thread->start();
    co_await qCoro(thread.get()).waitForFinished();
}

} // namespace Vetron
