#include "Protection/ReconnectBackoff.h"

#include <QRandomGenerator>

#include <algorithm>

namespace Vetron {

ReconnectBackoff::ReconnectBackoff(const TunnelTimings &timings)
    : m_initial(timings.initialReconnectDelay)
    , m_maximum(timings.maxReconnectDelay)
    , m_delay(timings.initialReconnectDelay)
{
}

std::chrono::milliseconds ReconnectBackoff::takeWait()
{
    const double delay = m_delay;
    m_delay = std::min(2 * delay, m_maximum);
    const double factor = 0.8 + 0.4 * QRandomGenerator::global()->generateDouble();
    return std::chrono::milliseconds(qRound64(delay * factor * 1000));
}

} // namespace Vetron
