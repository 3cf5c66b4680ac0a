#pragma once

// The tests' name for the local stack's developer certificates, made in a temporary directory.
#include "AccountServer.h"
#include "DeveloperCertificates.h"

#include <memory>

namespace Vetron::Test {

using TestCertificates = LocalStack::DeveloperCertificates;

// The certificates of this test process, made on first use and trusted by it from then on.
const TestCertificates &trustedCertificates();

// A local HTTPS account server with those certificates on a port the system picked; null when it
// does not listen.
std::unique_ptr<Tools::AccountServer> startAccountServer();

} // namespace Vetron::Test
