#pragma once

#include "Foundation/Error.h"

namespace Vetron {

class TunnelError : public Error
{
public:
    enum class Case {
        notActivated,         // "Ветрон не активирован."
        sshStopped,           // "SSH-туннель завершился."
        serverUnavailable,    // "Сервер защиты не ответил."
        portBusy,             // "Локальный порт занят другой программой."
        invalidConfiguration, // a port outside 1–65535 or an unusable unlock host
    };

    explicit TunnelError(Case which);

    Case which() const noexcept { return m_case; }

private:
    Case m_case;
};

} // namespace Vetron
