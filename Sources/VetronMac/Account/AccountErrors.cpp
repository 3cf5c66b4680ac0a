#include "Account/AccountErrors.h"

using namespace Qt::StringLiterals;

namespace Vetron {

QString describe(AccountErrorCase which)
{
    switch (which) {
    case AccountErrorCase::credentialExpired:
        return u"Привязка этого компьютера устарела."_s;
    case AccountErrorCase::serverFailure:
        return u"Не удалось получить информацию с сервера."_s;
    }
    return {};
}

QString describe(DeviceCredentialErrorCase which)
{
    switch (which) {
    case DeviceCredentialErrorCase::notFound:
        return u"Токен этого устройства не найден."_s;
    case DeviceCredentialErrorCase::invalidValue:
        return u"Сервер вернул некорректный токен устройства."_s;
    }
    return {};
}

QString describe(ActivationErrorCase which)
{
    switch (which) {
    case ActivationErrorCase::invalidCode:
        return u"Введите ключ из личного кабинета целиком."_s;
    case ActivationErrorCase::rejected:
        return u"Ключ недействителен, уже использован или истёк."_s;
    case ActivationErrorCase::randomFailure:
        return u"Не удалось создать локальный ключ шифрования."_s;
    case ActivationErrorCase::alreadyActivated:
        return u"Ветрон уже активирован на этом устройстве."_s;
    case ActivationErrorCase::missingCredential:
        return u"Сервер не выдал токен устройства. Попробуйте активировать Ветрон ещё раз."_s;
    case ActivationErrorCase::unusableAnswer:
        return u"Сервер активации прислал непригодные данные подключения. Попробуйте позже или обратитесь в поддержку."_s;
    }
    return {};
}

} // namespace Vetron
