#pragma once

#include "Platform/SystemBackend.h"

#include <QCoroTask>
#include <QObject>

namespace Vetron {

// The system's web proxies as protection switches them: pointed at 127.0.0.1 and the tunnel's
// local port, and the user's own settings put back. The user's settings are saved to a file
// before the first change, so that a client that crashed while protected restores them at its
// next switch-off; an ownership file marks the switch as ours and names the port.
class SystemProxy : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Does nothing when the proxies already point at `port` and the ownership file names it.
    virtual QCoro::Task<> enable(quint16 port) = 0;
    // Puts the saved settings back and removes both files; does nothing when neither exists.
    // Without a readable backup, only the proxies that point at our port are switched off.
    virtual QCoro::Task<> restore() = 0;
};

} // namespace Vetron
