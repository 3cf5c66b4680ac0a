#pragma once

// The tests' name for the local stack's developer certificates, made in a temporary directory.
#include "AccountServer.h"
#include "DeveloperCertificates.h"

#include <chrono>
#include <memory>

namespace Vetron::Test {

using TestCertificates = LocalStack::DeveloperCertificates;

// The certificates of this test process, made on first use and trusted by it from then on.
const TestCertificates &trustedCertificates();

// A local HTTPS account server with those certificates on a port the system picked; null when it
// does not listen.
std::unique_ptr<Tools::AccountServer> startAccountServer();

// The shortest time limit a test gives a whole exchange with that server: room for the TLS
// handshake of a slow machine under the sanitizers, where a few hundred milliseconds are not.
inline constexpr std::chrono::milliseconds httpsExchangeLimit { 5000 };

} // namespace Vetron::Test
