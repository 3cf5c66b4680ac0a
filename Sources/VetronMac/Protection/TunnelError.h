#pragma once

#include "Foundation/Error.h"

namespace Vetron {

enum class TunnelErrorCase {
    notActivated,         // "Ветрон не активирован."
    sshStopped,           // "SSH-туннель завершился."
    serverUnavailable,    // "Сервер защиты не ответил."
    portBusy,             // "Локальный порт занят другой программой."
    invalidConfiguration, // a port outside 1–65535 or an unusable unlock host
};
QString describe(TunnelErrorCase which);
using TunnelError = CaseError<TunnelErrorCase>;

} // namespace Vetron
