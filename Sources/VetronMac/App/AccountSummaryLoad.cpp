#include "App/AccountSummaryLoad.h"

#include "Account/AccountErrors.h"
#include "Account/DeviceCredentialMigration.h"
#include "Account/DeviceCredentialStore.h"
#include "Account/PortalAccountClient.h"
#include "Foundation/Error.h"

using namespace Qt::StringLiterals;

namespace Vetron {
namespace {

const QString accountUnavailable
    = u"Не удалось автоматически получить сведения о подписке. Защита продолжает работать — "
      u"повторно вводить ключ не нужно."_s;
const QString accountStale
    = u"Привязка этого Mac устарела. Защита продолжает работать — повторно вводить ключ не нужно."_s;

AccountSummaryOutcome failed(const QString &message)
{
    return { std::nullopt, message };
}

} // namespace

QCoro::Task<AccountSummaryOutcome> loadAccountSummary(QPointer<PortalAccountClient> client,
    ClientEnvironment environment, std::shared_ptr<CancellationToken> token)
{
    const ServerAddresses &servers = environment.servers;
    const ToolPaths &tools = environment.tools;
    const auto stopped = [&client, &token]() { return !client || token->isCancelled(); };
    const QString cancelled = CancelledError().description();

    const bool migrated = co_await DeviceCredentialMigration::migrateIfNeeded(servers, tools);
    if (stopped())
        co_return failed(cancelled);
    if (!migrated)
        co_return failed(accountUnavailable);
    std::exception_ptr failure;
    try {
        DeviceSummary summary = co_await client->summary();
        co_return stopped() ? failed(cancelled) : AccountSummaryOutcome { std::move(summary), {} };
    } catch (...) {
        failure = std::current_exception();
    }
    if (errorCase<AccountError>(failure) != AccountError::Case::credentialExpired)
        co_return failed(describeError(failure));

    // The stored credential is stale: one new claim, one more try.
    if (stopped())
        co_return failed(cancelled);
    co_await DeviceCredentialStore::remove();
    const bool claimed = co_await DeviceCredentialMigration::migrateIfNeeded(servers, tools);
    if (stopped())
        co_return failed(cancelled);
    if (!claimed)
        co_return failed(accountStale);
    try {
        DeviceSummary summary = co_await client->summary();
        co_return stopped() ? failed(cancelled) : AccountSummaryOutcome { std::move(summary), {} };
    } catch (...) {
        co_return failed(describeError(std::current_exception()));
    }
}

} // namespace Vetron
