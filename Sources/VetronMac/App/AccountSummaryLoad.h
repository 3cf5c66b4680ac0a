#pragma once

#include "App/ClientEnvironment.h"
#include "Foundation/Cancellation.h"
#include "Foundation/Models.h"

#include <QCoroTask>
#include <QPointer>

#include <optional>

namespace Vetron {

class PortalAccountClient;

// What one load of the account screen ended with: the summary, or the text that says why not.
struct AccountSummaryOutcome
{
    std::optional<DeviceSummary> summary;
    QString message;
};

// Claims a device credential where the Mac has none yet, asks the portal for the summary, and
// when the portal refuses the stored credential as stale, claims a new one and asks once more.
// A cancelled `token` stops the load at its next step with the cancellation's text; so does the
// client going away. Never fails.
QCoro::Task<AccountSummaryOutcome> loadAccountSummary(QPointer<PortalAccountClient> client,
    ClientEnvironment environment, std::shared_ptr<CancellationToken> token);

} // namespace Vetron
