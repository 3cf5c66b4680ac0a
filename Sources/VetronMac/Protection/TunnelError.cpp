#include "Protection/TunnelError.h"

using namespace Qt::StringLiterals;

namespace Vetron {
namespace {

QString describe(TunnelError::Case which)
{
    switch (which) {
    case TunnelError::Case::notActivated:
        return u"Ветрон не активирован."_s;
    case TunnelError::Case::sshStopped:
        return u"SSH-туннель завершился."_s;
    case TunnelError::Case::serverUnavailable:
        return u"Сервер защиты не ответил."_s;
    case TunnelError::Case::portBusy:
        return u"Локальный порт занят другой программой."_s;
    case TunnelError::Case::invalidConfiguration:
        return u"Настройки защищённого соединения повреждены. Активируйте Ветрон заново."_s;
    }
    return {};
}

} // namespace

TunnelError::TunnelError(Case which)
    : Error(describe(which))
    , m_case(which)
{
}

} // namespace Vetron
