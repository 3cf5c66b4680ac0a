#include "Updates/ReleaseChecks.h"

#include <QCryptographicHash>
#include <QRegularExpression>

#include <memory>
#include <optional>

#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

using namespace Qt::StringLiterals;

namespace Vetron::UpdateService {
namespace {

std::optional<QByteArray> strictBase64(const QByteArray &text)
{
    auto decoded = QByteArray::fromBase64Encoding(text, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return std::nullopt;
    return *decoded;
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

} // namespace

int numericCompare(QStringView a, QStringView b)
{
    // Only ASCII digits make runs: with other scripts' digits (which sort among letters) the
    // comparison would not be transitive.
    const auto isDigit = [](QChar c) { return c >= u'0' && c <= u'9'; };
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            qsizetype endA = i, endB = j;
            while (endA < a.size() && isDigit(a[endA]))
                ++endA;
            while (endB < b.size() && isDigit(b[endB]))
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

bool verify(const MacReleaseManifest &manifest, const QString &releaseKey)
{
    const auto keyBytes
        = strictBase64(releaseKey.toLatin1().replace('\n', QByteArray()).replace('\r', QByteArray()));
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
    const QString digest
        = QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
    return digest.compare(sha256, Qt::CaseInsensitive) == 0;
}

} // namespace Vetron::UpdateService
