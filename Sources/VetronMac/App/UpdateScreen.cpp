#include "App/UpdateScreen.h"

namespace Vetron {

UpdateScreen::UpdateScreen(QObject *parent)
    : QObject(parent)
{
}

void UpdateScreen::setModel(AppModel *model)
{
    if (model == m_model)
        return;
    m_model = model;
    Q_EMIT modelChanged();
}

void UpdateScreen::setAgreementShown(bool shown)
{
    if (shown == m_agreementShown)
        return;
    m_agreementShown = shown;
    Q_EMIT agreementShownChanged();
}

void UpdateScreen::askToInstall()
{
    if (!m_model || !m_model->updateState().manifest)
        return;
    m_pending = m_model->updateState().manifest;
    setAgreementShown(true);
}

void UpdateScreen::acceptAgreement()
{
    setAgreementShown(false);
    const std::optional<MacReleaseManifest> release = std::exchange(m_pending, std::nullopt);
    if (release && m_model)
        m_model->startInstallUpdate(*release);
}

void UpdateScreen::declineAgreement()
{
    setAgreementShown(false);
    m_pending.reset();
}

} // namespace Vetron
