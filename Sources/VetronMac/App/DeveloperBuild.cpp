#include "App/DeveloperBuild.h"

#include "BuildConstants.h"
#include "Views/UpdateLook.h"

#include <QCoroSignal>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSslCertificate>
#include <QSslConfiguration>

using namespace Qt::StringLiterals;

namespace Vetron::DeveloperBuild {

Constants fromBuild()
{
    return { QString::fromUtf8(BuildConstants::developerCaFile),
        QString::fromUtf8(BuildConstants::developerToolDir), {}, {} };
}

std::optional<Constants> fromStackFolder(const QString &folder, QString *problem)
{
    const QString path = QDir(folder).filePath(QLatin1StringView(stackFileName));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *problem = u"не удалось прочитать %1: %2"_s.arg(path, file.errorString());
        return std::nullopt;
    }
    const QJsonObject values = QJsonDocument::fromJson(file.readAll()).object();
    Constants constants { values.value(u"certificateAuthority"_s).toString(),
        values.value(u"toolFolder"_s).toString(), QUrl(values.value(u"serverBase"_s).toString()),
        values.value(u"hostKey"_s).toString(), values.value(u"desktop"_s).toBool(),
        values.value(u"installedClient"_s).toString() };
    if (constants.certificateAuthorityFile.isEmpty() || constants.toolFolder.isEmpty()
        || !constants.serverBase.isValid() || constants.serverBase.isRelative()
        || constants.hostKey.isEmpty()) {
        *problem = u"в %1 нет адреса служб, сертификата, ключа узла или папки инструментов"_s.arg(path);
        return std::nullopt;
    }
    return constants;
}

bool apply(const Constants &constants, ClientEnvironment &environment, QString *problem)
{
    if (!constants.serverBase.isEmpty()) {
        environment.servers.enrollmentBase = constants.serverBase;
        environment.servers.portalBase = constants.serverBase;
    }
    if (!constants.hostKey.isEmpty())
        environment.pinnedHostKey = constants.hostKey;
    if (!constants.toolFolder.isEmpty()) {
        environment.tools = ToolPaths::withStandIns(constants.toolFolder);
        environment.system = constants.desktop ? SystemBackend::desktop : SystemBackend::tools;
    }
    if (!constants.installedClient.isEmpty())
        environment.installedClient = constants.installedClient;
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

void echoUpdates(AppModel &model, std::function<void(const QString &line)> write)
{
    QObject::connect(&model, &AppModel::updateStateChanged, &model, [&model, write = std::move(write)]() {
        const UpdateScreenState &state = model.updateState();
        QString text;
        switch (state.kind) {
        case UpdateScreenState::Kind::available:
            text = UpdateLook::releaseHeading(*state.manifest);
            break;
        case UpdateScreenState::Kind::downloading:
        case UpdateScreenState::Kind::downloaded:
            text = UpdateLook::releaseFooterText(state.kind);
            break;
        case UpdateScreenState::Kind::current:
            text = UpdateLook::statusTitle(state.kind);
            break;
        case UpdateScreenState::Kind::failed:
            text = state.message;
            break;
        case UpdateScreenState::Kind::idle:
        case UpdateScreenState::Kind::checking:
            return;
        }
        write(u"Ветрон: обновления — "_s + text);
    });
}

QCoro::Task<> installOfferedUpdate(QPointer<AppModel> model)
{
    while (model && model->state() != ProtectionState::protected_)
        co_await qCoro(model.data(), &AppModel::stateChanged);
    if (!model)
        co_return;
    co_await model->checkUpdates();
    if (!model || model->updateState().kind != UpdateScreenState::Kind::available)
        co_return;
    const MacReleaseManifest release = *model->updateState().manifest;
    co_await model->installUpdate(release);
}

} // namespace Vetron::DeveloperBuild
