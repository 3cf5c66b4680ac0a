#include "TestSupport/TestCertificates.h"

namespace Vetron::Test {

const TestCertificates &trustedCertificates()
{
    static const TestCertificates certificates;
    [[maybe_unused]] static const bool trusted = (certificates.trustInThisProcess(), true);
    return certificates;
}

std::unique_ptr<Tools::AccountServer> startAccountServer()
{
    auto server = std::make_unique<Tools::AccountServer>();
    const TestCertificates &certificates = trustedCertificates();
    if (!server->listen(certificates.serverCertificate(), certificates.serverKey()))
        return {};
    return server;
}

} // namespace Vetron::Test
