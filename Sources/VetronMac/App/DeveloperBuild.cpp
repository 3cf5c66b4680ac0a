#include "App/DeveloperBuild.h"

#include "BuildConstants.h"

#include <QSslCertificate>
#include <QSslConfiguration>

using namespace Qt::StringLiterals;

namespace Vetron::DeveloperBuild {

Constants fromBuild()
{
    return { QString::fromUtf8(BuildConstants::developerCaFile), QString::fromUtf8(BuildConstants::developerToolDir) };
}

bool apply(const Constants &constants, AppModelOptions &options, QString *problem)
{
    if (!constants.toolFolder.isEmpty()) {
        options.tools = ToolPaths::withStandIns(constants.toolFolder);
        options.tunnel.tools = options.tools;
    }
    if (constants.certificateAuthorityFile.isEmpty())
        return true;
    const QList<QSslCertificate> authority = QSslCertificate::fromPath(constants.certificateAuthorityFile);
    if (authority.isEmpty()) {
        *problem = u"нет сертификата в %1"_s.arg(constants.certificateAuthorityFile);
        return false;
    }
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.addCaCertificates(authority);
    QSslConfiguration::setDefaultConfiguration(configuration);
    return true;
}

void echoProtectionState(AppModel &model, std::function<void(const QString &line)> write)
{
    // A report sets the state, then the text: the text's signal sees both.
    QObject::connect(&model, &AppModel::detailChanged, &model, [&model, write = std::move(write)]() {
        write(u"Ветрон: %1 — %2"_s.arg(model.stateText(), model.detail()));
    });
}

} // namespace Vetron::DeveloperBuild
