#include "Updates/UpdateService.h"

#include "Foundation/AtomicFile.h"
#include "Foundation/ProcessRunner.h"
#include "Foundation/ScriptQuoting.h"
#include "Foundation/WebExchange.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QUuid>

#include <memory>

using namespace Qt::StringLiterals;

namespace Vetron::UpdateService {
namespace {

const QString checkUnanswered = u"Сервер обновлений не ответил. Попробуйте позже."_s;
const QString downloadCancelled = u"Обновление отменено."_s;
const QString downloadFailedTryLater = u"Не удалось скачать обновление. Попробуйте позже."_s;
const QString installFailedTryLater = u"Не удалось установить обновление. Попробуйте позже."_s;

bool isCancelled(const std::shared_ptr<CancellationToken> &cancel)
{
    return cancel && cancel->isCancelled();
}

// Unmounts the image; a failure changes nothing for the outcome.
QCoro::Task<> detach(QString mountPoint, ToolPaths tools)
{
    const QStringList arguments { u"detach"_s, mountPoint, u"-force"_s };
    try {
        co_await ProcessRunner::run(tools.hdiutil, arguments);
    } catch (const Error &) {
    }
}

// Hands the verified Debian package to the system's package installer through the desktop's
// authentication prompt, or, without a prompt, opens its folder and says how to install it.
QCoro::Task<UpdateInstallOutcome> installPackage(
    QByteArray package, QString workDirectory, ToolPaths tools, QString installedClient)
{
    // apt reads the file as its own unprivileged user: the folder and the file are readable by all.
    const QString file = workDirectory + u"/vetron-update.deb"_s;
    try {
        if (!QDir().mkpath(workDirectory))
            throw FileError(u"Не удалось создать папку"_s, workDirectory, {});
        QFile::setPermissions(workDirectory,
            QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
                | QFile::ReadOther | QFile::ExeOther);
        AtomicFile::write(file, package, AtomicFile::readableByAll);
    } catch (const Error &) {
        co_return UpdateInstallOutcome::failed(downloadFailedTryLater);
    }

    int status = 0;
    try {
        const QStringList arguments { tools.aptGet, u"install"_s, u"--yes"_s, file };
        co_await ProcessRunner::run(tools.pkexec, arguments, QByteArray());
    } catch (const ProcessError &error) {
        status = error.status();
    } catch (const Error &) {
        status = noPrompt; // no pkexec at all
    }
    if (status == 0)
        co_return UpdateInstallOutcome::relaunching(
            installedClient.isEmpty() ? QCoreApplication::applicationFilePath() : installedClient);
    if (status == promptDismissed)
        co_return UpdateInstallOutcome::failed(
            u"Обновление не установлено: запрос пароля администратора отменён."_s);
    if (status != noPrompt)
        co_return UpdateInstallOutcome::failed(installFailedTryLater);
    try {
        const QStringList folder { workDirectory };
        co_await ProcessRunner::run(tools.xdgOpen, folder, QByteArray());
    } catch (const Error &) {
        // The message names the folder all the same.
    }
    co_return UpdateInstallOutcome::failed(
        u"Установить обновление автоматически нельзя: нет запроса пароля администратора (pkexec). "
        u"Проверенный пакет лежит в папке «%1». Установите его командой "
        u"«sudo apt install %2», затем запустите Ветрон снова."_s.arg(workDirectory, file));
}

} // namespace

QCoro::Task<UpdateScreenState> check(
    QString current, Options options, std::shared_ptr<CancellationToken> cancel)
{
    const bool desktop = options.system == SystemBackend::desktop;
    const auto client = WebExchange::directClient(options.timeout);
    const QNetworkRequest request(ServerAddresses::withPath(options.servers.portalBase,
        desktop ? u"api/v1/releases/linux/stable"_s : u"api/v1/releases/macos/stable"_s));
    WebAnswer answer;
    try {
        answer = co_await WebExchange::send(*client, request, "GET", {}, cancel);
    } catch (const NetworkError &) {
        co_return isCancelled(cancel) ? UpdateScreenState::of(UpdateScreenState::Kind::idle)
                                      : UpdateScreenState::failed(checkUnanswered);
    }
    if (answer.status == 0)
        co_return UpdateScreenState::failed(u"Сервер обновлений недоступен."_s);
    if (answer.status == 404)
        co_return UpdateScreenState::failed(desktop ? u"Обновления для Linux пока не опубликованы."_s
                                                    : u"Обновления для macOS пока не опубликованы."_s);
    if (answer.status != 200)
        co_return UpdateScreenState::failed(u"Не удалось проверить обновления."_s);

    MacReleaseManifest manifest;
    try {
        manifest = decodeJson<MacReleaseManifest>(answer.body);
    } catch (const DecodingError &) {
        co_return isCancelled(cancel) ? UpdateScreenState::of(UpdateScreenState::Kind::idle)
                                      : UpdateScreenState::failed(checkUnanswered);
    }
    if (!verify(manifest, options.releaseKey))
        co_return UpdateScreenState::failed(u"Обновление отклонено: неверная подпись."_s);
    if (isUpgrade(manifest.version, current))
        co_return UpdateScreenState::withManifest(UpdateScreenState::Kind::available, manifest);
    co_return UpdateScreenState::of(UpdateScreenState::Kind::current);
}

QCoro::Task<UpdateInstallOutcome> install(
    MacReleaseManifest manifest, Options options, std::shared_ptr<CancellationToken> cancel)
{
    const QString workDirectory = QDir::tempPath() + u"/vetron-update-"_s
        + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();

    const auto client = WebExchange::directClient(options.timeout);
    WebAnswer answer;
    try {
        answer = co_await WebExchange::send(*client, QNetworkRequest(manifest.address()), "GET", {}, cancel,
            WebExchange::releaseBodyLimit, options.downloadDeadline);
    } catch (const NetworkError &) {
        co_return UpdateInstallOutcome::failed(
            isCancelled(cancel) ? downloadCancelled : downloadFailedTryLater);
    }
    if (answer.status != 200)
        co_return UpdateInstallOutcome::failed(u"Не удалось скачать обновление."_s);
    if (!digestMatches(answer.body, manifest.sha256))
        co_return UpdateInstallOutcome::failed(u"Обновление отклонено: файл повреждён."_s);

    if (options.system == SystemBackend::desktop) {
        const UpdateInstallOutcome outcome
            = co_await installPackage(answer.body, workDirectory, options.tools, options.installedClient);
        co_return outcome;
    }

    const QString image = workDirectory + u"/Vetron.dmg"_s;
    const QString mountPoint = workDirectory + u"/mount"_s;
    try {
        if (!QDir().mkpath(workDirectory))
            throw FileError(u"Не удалось создать папку"_s, workDirectory, {});
        AtomicFile::write(image, answer.body, AtomicFile::readableByAll);
        if (!QDir().mkpath(mountPoint))
            throw FileError(u"Не удалось создать папку"_s, mountPoint, {});
        const QStringList attach { u"attach"_s, image, u"-nobrowse"_s, u"-readonly"_s, u"-noverify"_s,
            u"-mountpoint"_s, mountPoint };
        co_await ProcessRunner::run(options.tools.hdiutil, attach);
    } catch (const Error &) {
        co_return UpdateInstallOutcome::failed(
            isCancelled(cancel) ? downloadCancelled : downloadFailedTryLater);
    }

    const QString package = mountPoint + u"/Vetron.pkg"_s;
    if (!QFileInfo::exists(package)) {
        co_await detach(mountPoint, options.tools);
        co_return UpdateInstallOutcome::failed(u"В образе обновления не найден установочный пакет."_s);
    }
    bool installed = true;
    try {
        const QStringList arguments { u"-pkg"_s, package, u"-target"_s, u"CurrentUserHomeDirectory"_s };
        co_await ProcessRunner::run(options.tools.installer, arguments);
    } catch (const Error &) {
        installed = false;
    }
    co_await detach(mountPoint, options.tools);
    if (!installed)
        co_return UpdateInstallOutcome::failed(installFailedTryLater);
    co_return UpdateInstallOutcome::relaunching(QDir::homePath() + u"/Applications/Ветрон.app"_s);
}

QString relaunchScript(qint64 pid, const QString &bundle, const ToolPaths &tools, SystemBackend system)
{
    const QString start = system == SystemBackend::desktop
        ? u"exec "_s + ScriptQuoting::shellQuoted(bundle)
        : tools.open + u' ' + ScriptQuoting::shellQuoted(bundle);
    return u"while %1 -0 %2 2>/dev/null; do %3 0.2; done; %4"_s.arg(
        tools.kill, QString::number(pid), tools.sleep, start);
}

void scheduleRelaunch(const QString &bundle, const ToolPaths &tools, SystemBackend system)
{
    const QStringList arguments { u"-c"_s,
        relaunchScript(QCoreApplication::applicationPid(), bundle, tools, system) };
    QProcess::startDetached(tools.sh, arguments);
}

} // namespace Vetron::UpdateService
