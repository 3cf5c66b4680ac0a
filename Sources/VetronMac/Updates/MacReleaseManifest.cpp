#include "Updates/MacReleaseManifest.h"

using namespace Qt::StringLiterals;

namespace Vetron {

MacReleaseManifest MacReleaseManifest::decode(const JsonReader &r)
{
    MacReleaseManifest manifest {
        .version = r.required<QString>(u"version"),
        .url = r.required<QString>(u"url"),
        .sha256 = r.required<QString>(u"sha256"),
        .signature = r.required<QString>(u"signature"),
        .title = r.optional<QString>(u"title"),
        .notes = r.optional<QStringList>(u"notes"),
    };
    const QUrl address(manifest.url, QUrl::StrictMode);
    if (!address.isValid() || address.isRelative())
        throw DecodingError(u"url"_s, u"должно быть абсолютным адресом"_s);
    return manifest;
}

QJsonObject MacReleaseManifest::toJson() const
{
    return JsonWriter()
        .put(u"version"_s, version)
        .put(u"url"_s, url)
        .put(u"sha256"_s, sha256)
        .put(u"signature"_s, signature)
        .put(u"title"_s, title)
        .put(u"notes"_s, notes)
        .object();
}

} // namespace Vetron
