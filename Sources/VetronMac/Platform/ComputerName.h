#pragma once

#include <QString>

namespace Vetron::Platform {

// The computer's user-visible name ("Анна's MacBook Air"), or an empty text when the system
// reports none.
QString computerName();

} // namespace Vetron::Platform
