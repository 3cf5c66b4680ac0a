#pragma once

#include <chrono>

namespace Vetron {

// Intervals and limits of the tunnel. The defaults are the product's; tests shorten them.
struct TunnelTimings
{
    std::chrono::milliseconds canaryInterval { 500 };
    int canaryTries = 30;
    std::chrono::milliseconds canaryTimeout { 2000 };
    std::chrono::milliseconds mapStateTimeout { 3000 };
    std::chrono::milliseconds clientTimeout { 8000 }; // client limit of unlock and control requests
    std::chrono::milliseconds requestLimit { 60000 }; // their own per-request limit
    std::chrono::milliseconds monitorInterval { 10000 };
    std::chrono::milliseconds portBusyRetry { 30000 };
    std::chrono::milliseconds stopCheckInterval { 100 };
    int stopChecks = 30;
    double initialReconnectDelay = 2.0; // seconds
    double maxReconnectDelay = 60.0;    // seconds
};

} // namespace Vetron
