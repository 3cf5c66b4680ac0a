#pragma once

#include "App/AppModel.h"

#include <QObject>
#include <QPointer>
#include <QtQmlIntegration/qqmlintegration.h>

#include <optional>

namespace Vetron {

// The updates screen's own state: installing a release always goes through the user agreement,
// shown as a sheet, and only its acceptance installs, the release that was offered when the user
// chose to install, even when a check offers another while the sheet is open. The screen creates
// one each time it is shown.
class UpdateScreen : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(Vetron::AppModel *model READ model WRITE setModel NOTIFY modelChanged REQUIRED)
    Q_PROPERTY(bool agreementShown READ agreementShown NOTIFY agreementShownChanged)

public:
    explicit UpdateScreen(QObject *parent = nullptr);

    AppModel *model() const { return m_model; }
    void setModel(AppModel *model);
    bool agreementShown() const { return m_agreementShown; }

    // "Скачать и установить": remembers the release offered now and shows the agreement; without
    // an offered release nothing happens.
    Q_INVOKABLE void askToInstall();
    // The agreement was accepted: it goes away and the remembered release is installed.
    Q_INVOKABLE void acceptAgreement();
    // The agreement was declined: it goes away, nothing is installed and the offer stays.
    Q_INVOKABLE void declineAgreement();

Q_SIGNALS:
    void modelChanged();
    void agreementShownChanged();

private:
    void setAgreementShown(bool shown);

    QPointer<AppModel> m_model;
    bool m_agreementShown = false;
    std::optional<MacReleaseManifest> m_pending;
};

} // namespace Vetron
