#include "Updates/UpdateService.h"

#include "Foundation/AtomicFile.h"
#include "Foundation/ProcessRunner.h"
#include "Foundation/WebExchange.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QRegularExpression>
#include <QUuid>

#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <memory>

using namespace Qt::StringLiterals;

namespace Vetron::UpdateService {
namespace {

const QString checkUnanswered = u"Сервер обновлений не ответил. Попробуйте позже."_s;
const QString downloadCancelled = u"Обновление отменено."_s;
const QString downloadFailedTryLater = u"Не удалось скачать обновление. Попробуйте позже."_s;

bool isCancelled(const std::shared_ptr<CancellationToken> &cancel)
{
    return cancel && cancel->isCancelled();
}

std::optional<QByteArray> strictBase64(const QByteArray &text)
{
    auto decoded = QByteArray::fromBase64Encoding(text, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return std::nullopt;
    return *decoded;
}

// Digit runs compare by value, everything else character by character, with no locale.
int numericCompare(QStringView a, QStringView b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            qsizetype endA = i, endB = j;
            while (endA < a.size() && a[endA].isDigit())
                ++endA;
            while (endB < b.size() && b[endB].isDigit())
                ++endB;
            QStringView runA = a.mid(i, endA - i), runB = b.mid(j, endB - j);
            while (runA.size() > 1 && runA.front() == u'0')
                runA = runA.mid(1);
            while (runB.size() > 1 && runB.front() == u'0')
                runB = runB.mid(1);
            if (runA.size() != runB.size())
                return runA.size() < runB.size() ? -1 : 1;
            if (const int order = runA.compare(runB); order != 0)
                return order < 0 ? -1 : 1;
            i = endA;
            j = endB;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j] ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size())
        return 1;
    return j < b.size() ? -1 : 0;
}

std::optional<QList<qint64>> versionNumbers(const QString &version)
{
    static const QRegularExpression decimal(u"^[+-]?[0-9]+$"_s);
    QList<qint64> numbers;
    for (const QString &piece : version.split(u'.', Qt::SkipEmptyParts)) {
        bool fits = false;
        const qint64 number = piece.toLongLong(&fits);
        if (!decimal.match(piece).hasMatch() || !fits)
            return std::nullopt;
        numbers << number;
    }
    return numbers;
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

} // namespace

QCoro::Task<UpdateScreenState> check(QString current, Options options, std::shared_ptr<CancellationToken> cancel)
{
    const auto client = WebExchange::directClient(options.timeout);
    const QNetworkRequest request(ServerAddresses::withPath(options.servers.portalBase, u"api/v1/releases/macos/stable"_s));
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
        co_return UpdateScreenState::failed(u"Обновления для macOS пока не опубликованы."_s);
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

bool verify(const MacReleaseManifest &manifest, const QString &releaseKey)
{
    const auto keyBytes = strictBase64(releaseKey.toLatin1().replace('\n', QByteArray()).replace('\r', QByteArray()));
    const auto signature = strictBase64(manifest.signature.toLatin1());
    if (!keyBytes || !signature || keyBytes->isEmpty() || signature->isEmpty())
        return false;

    const auto *cursor = reinterpret_cast<const unsigned char *>(keyBytes->constData());
    const std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
        d2i_PublicKey(EVP_PKEY_RSA, nullptr, &cursor, long(keyBytes->size())), &EVP_PKEY_free);
    if (!key || EVP_PKEY_get_bits(key.get()) != 3072)
        return false;

    const QByteArray message
        = (manifest.version + u'\n' + manifest.url + u'\n' + manifest.sha256.toLower()).toUtf8();
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    EVP_PKEY_CTX *keyContext = nullptr;
    if (!context || EVP_DigestVerifyInit(context.get(), &keyContext, EVP_sha256(), nullptr, key.get()) != 1
        || EVP_PKEY_CTX_set_rsa_padding(keyContext, RSA_PKCS1_PADDING) != 1)
        return false;
    return EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char *>(signature->constData()),
                            size_t(signature->size()), reinterpret_cast<const unsigned char *>(message.constData()),
                            size_t(message.size()))
        == 1;
}

bool isUpgrade(const QString &candidate, const QString &installed)
{
    const auto offered = versionNumbers(candidate);
    const auto running = versionNumbers(installed);
    if (!offered || !running || offered->size() < 2 || running->size() < 2)
        return false;
    // A 0.9.x release is offered over any 1.x or later.
    if (offered->at(0) == 0 && offered->at(1) == 9 && running->at(0) >= 1)
        return true;
    return numericCompare(candidate, installed) > 0;
}

bool digestMatches(const QByteArray &bytes, const QString &sha256)
{
    const QString digest = QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
    return digest.compare(sha256, Qt::CaseInsensitive) == 0;
}

QCoro::Task<UpdateInstallOutcome> install(MacReleaseManifest manifest, Options options,
                                          std::shared_ptr<CancellationToken> cancel)
{
    const QString workDirectory = QDir::tempPath() + u"/vetron-update-"_s
        + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();

    const auto client = WebExchange::directClient(options.timeout);
    WebAnswer answer;
    try {
        answer = co_await WebExchange::send(*client, QNetworkRequest(manifest.address()), "GET", {}, cancel,
                                            WebExchange::releaseBodyLimit, options.downloadDeadline);
    } catch (const NetworkError &) {
        co_return UpdateInstallOutcome::failed(isCancelled(cancel) ? downloadCancelled : downloadFailedTryLater);
    }
    if (answer.status != 200)
        co_return UpdateInstallOutcome::failed(u"Не удалось скачать обновление."_s);
    if (!digestMatches(answer.body, manifest.sha256))
        co_return UpdateInstallOutcome::failed(u"Обновление отклонено: файл повреждён."_s);

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
        co_return UpdateInstallOutcome::failed(isCancelled(cancel) ? downloadCancelled : downloadFailedTryLater);
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
        co_return UpdateInstallOutcome::failed(u"Не удалось установить обновление. Попробуйте позже."_s);
    co_return UpdateInstallOutcome::relaunching(QDir::homePath() + u"/Applications/Ветрон.app"_s);
}

QString relaunchScript(qint64 pid, const QString &bundle, const ToolPaths &tools)
{
    const QString quoted = u'\'' + QString(bundle).replace(u"'"_s, u"'\\''"_s) + u'\'';
    return u"while %1 -0 %2 2>/dev/null; do %3 0.2; done; %4 %5"_s.arg(tools.kill, QString::number(pid), tools.sleep,
                                                                         tools.open, quoted);
}

void scheduleRelaunch(const QString &bundle, const ToolPaths &tools)
{
    const QStringList arguments { u"-c"_s, relaunchScript(QCoreApplication::applicationPid(), bundle, tools) };
    QProcess::startDetached(tools.sh, arguments);
}

} // namespace Vetron::UpdateService
