#pragma once

#include <QObject>

namespace Vetron {

// Tells when the computer has woken from sleep: the workspace notification on macOS, logind's
// PrepareForSleep(false) on the system bus elsewhere. Tests emit `systemDidWake` themselves.
class WakeNotifier : public QObject
{
    Q_OBJECT

public:
    explicit WakeNotifier(QObject *parent = nullptr);

    // Starts listening to the system for the rest of the process; false when the system offers
    // no such notification here (no system bus, say), which is not an error.
    bool subscribeToSystem();

Q_SIGNALS:
    void systemDidWake();

private Q_SLOTS:
    void prepareForSleep(bool goingToSleep);
};

} // namespace Vetron
