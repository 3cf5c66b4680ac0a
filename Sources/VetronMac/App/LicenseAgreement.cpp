#include "App/LicenseAgreement.h"

#include "App/LicenseAcceptance.h"
#include "Platform/Preferences.h"

#include <QFile>

using namespace Qt::StringLiterals;

namespace Vetron::LicenseAgreement {
namespace {

std::optional<QString> &textOverride()
{
    static std::optional<QString> text;
    return text;
}

} // namespace

bool isAccepted()
{
    const QVariant stored = Platform::Preferences().value(QLatin1StringView(preferenceKey));
    return stored.typeId() == QMetaType::QString && stored.toString() == QLatin1StringView(currentVersion);
}

void accept()
{
    Platform::Preferences().setValue(QLatin1StringView(preferenceKey), QString::fromLatin1(currentVersion));
    LicenseAcceptance::refreshAll();
}

QString text()
{
    if (textOverride())
        return *textOverride();
    return textAt(u":/Vetron/License-RU.txt"_s);
}

QString textAt(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return u"Не удалось загрузить пользовательское соглашение. Переустановите Ветрон."_s;
    return QString::fromUtf8(file.readAll());
}

void setTextOverride(std::optional<QString> text)
{
    textOverride() = std::move(text);
}

} // namespace Vetron::LicenseAgreement
