#pragma once

// The tests' name for the local stack's developer certificates, made in a temporary directory.
#include "DeveloperCertificates.h"

namespace Vetron::Test {
using TestCertificates = LocalStack::DeveloperCertificates;
} // namespace Vetron::Test
