#include "Protection/TunnelError.h"

using namespace Qt::StringLiterals;

namespace Vetron {

QString describe(TunnelErrorCase which)
{
    switch (which) {
    case TunnelErrorCase::notActivated:
        return u"Ветрон не активирован."_s;
    case TunnelErrorCase::sshStopped:
        return u"SSH-туннель завершился."_s;
    case TunnelErrorCase::serverUnavailable:
        return u"Сервер защиты не ответил."_s;
    case TunnelErrorCase::portBusy:
        return u"Локальный порт занят другой программой."_s;
    case TunnelErrorCase::invalidConfiguration:
        return u"Настройки защищённого соединения повреждены. Активируйте Ветрон заново."_s;
    }
    return {};
}

} // namespace Vetron
