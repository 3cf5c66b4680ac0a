#pragma once

#include "Protection/TunnelTimings.h"

#include <chrono>

namespace Vetron {

// The waits between reconnect attempts: each is the current delay with ±20 % jitter, after which
// the delay doubles up to its maximum; a working tunnel sets it back to the initial delay.
class ReconnectBackoff
{
public:
    explicit ReconnectBackoff(const TunnelTimings &timings);

    std::chrono::milliseconds takeWait();
    void reset() { m_delay = m_initial; }
    double delay() const { return m_delay; } // seconds

private:
    double m_initial;
    double m_maximum;
    double m_delay;
};

} // namespace Vetron
