#include "App/LicenseAcceptance.h"

#include "App/LicenseAgreement.h"

#include <set>

namespace Vetron {
namespace {

// The live instances; all on the interface thread.
std::set<LicenseAcceptance *> &instances()
{
    static std::set<LicenseAcceptance *> all;
    return all;
}

} // namespace

LicenseAcceptance::LicenseAcceptance(QObject *parent)
    : QObject(parent)
    , m_accepted(LicenseAgreement::isAccepted())
{
    instances().insert(this);
}

LicenseAcceptance::~LicenseAcceptance()
{
    instances().erase(this);
}

QString LicenseAcceptance::text() const
{
    return LicenseAgreement::text();
}

void LicenseAcceptance::accept()
{
    LicenseAgreement::accept();
}

void LicenseAcceptance::refreshAll()
{
    // A copy: a handler of the change may destroy instances.
    const std::set<LicenseAcceptance *> all = instances();
    for (LicenseAcceptance *instance : all) {
        if (instances().contains(instance))
            instance->refresh();
    }
}

void LicenseAcceptance::refresh()
{
    const bool accepted = LicenseAgreement::isAccepted();
    if (accepted == m_accepted)
        return;
    m_accepted = accepted;
    Q_EMIT acceptedChanged();
}

} // namespace Vetron
