#include "Account/AccountErrors.h"

using namespace Qt::StringLiterals;

namespace Vetron {

AccountError::AccountError(Case which)
    : Error(which == Case::credentialExpired ? u"Привязка этого компьютера устарела."_s
                                             : u"Не удалось получить информацию с сервера."_s)
    , m_case(which)
{
}

DeviceCredentialError::DeviceCredentialError(Case which)
    : Error(which == Case::notFound ? u"Токен этого устройства не найден."_s
                                    : u"Сервер вернул некорректный токен устройства."_s)
    , m_case(which)
{
}

namespace {

QString describe(ActivationError::Case which)
{
    switch (which) {
    case ActivationError::Case::invalidCode:
        return u"Введите ключ из личного кабинета целиком."_s;
    case ActivationError::Case::rejected:
        return u"Ключ недействителен, уже использован или истёк."_s;
    case ActivationError::Case::randomFailure:
        return u"Не удалось создать локальный ключ шифрования."_s;
    case ActivationError::Case::alreadyActivated:
        return u"Ветрон уже активирован на этом устройстве."_s;
    case ActivationError::Case::missingCredential:
        return u"Сервер не выдал токен устройства. Попробуйте активировать Ветрон ещё раз."_s;
    case ActivationError::Case::unusableAnswer:
        return u"Сервер активации прислал непригодные данные подключения. Попробуйте позже или обратитесь в поддержку."_s;
    }
    return {};
}

} // namespace

ActivationError::ActivationError(Case which)
    : Error(describe(which))
    , m_case(which)
{
}

} // namespace Vetron
