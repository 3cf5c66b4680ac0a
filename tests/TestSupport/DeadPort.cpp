#include "TestSupport/DeadPort.h"

#include <QByteArray>
#include <QNetworkProxy>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace Vetron::Test {

namespace {

constexpr const char *proxyVariables[]
    = { "http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy" };

} // namespace

DeadPort::DeadPort()
{
    m_descriptor = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_descriptor < 0)
        return;
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (::bind(m_descriptor, reinterpret_cast<const sockaddr *>(&address), length) != 0
        || ::getsockname(m_descriptor, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return;
    m_port = ntohs(address.sin_port);
}

DeadPort::~DeadPort()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
}

DeadSystemProxy::DeadSystemProxy(quint16 port)
{
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::HttpProxy, u"127.0.0.1"_s, port));
    const QByteArray url = "http://127.0.0.1:" + QByteArray::number(port);
    for (const char *variable : proxyVariables)
        qputenv(variable, url);
}

DeadSystemProxy::~DeadSystemProxy()
{
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
    for (const char *variable : proxyVariables)
        qunsetenv(variable);
}

} // namespace Vetron::Test
