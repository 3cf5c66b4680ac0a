#pragma once

#include <QtGlobal>

namespace Vetron::Test {

// A loopback port where nothing answers, held for the object's lifetime: a TCP socket bound to
// 127.0.0.1 that never listens, so every connection to it is refused and no other program can
// start listening there meanwhile (as it could on a port that was only probed and let go).
class DeadPort
{
public:
    DeadPort();
    ~DeadPort();
    DeadPort(const DeadPort &) = delete;
    DeadPort &operator=(const DeadPort &) = delete;

    // 0 when no port could be bound.
    quint16 port() const { return m_port; }

private:
    int m_descriptor = -1;
    quint16 m_port = 0;
};

// Points the application proxy and the proxy variables of the environment at `port` on
// 127.0.0.1 for the object's lifetime, as a system whose proxies lead to a dead tunnel would.
class DeadSystemProxy
{
public:
    explicit DeadSystemProxy(quint16 port);
    ~DeadSystemProxy();
    DeadSystemProxy(const DeadSystemProxy &) = delete;
    DeadSystemProxy &operator=(const DeadSystemProxy &) = delete;
};

} // namespace Vetron::Test
