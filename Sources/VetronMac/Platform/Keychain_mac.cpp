#include "Platform/Keychain.h"

#include <Security/Security.h>

namespace Vetron::Platform {
namespace {

// A query for the generic-password items of `service` and `account`, in the file-based login
// keychain or, with `dataProtection`, in the data-protection keychain.
CFMutableDictionaryRef itemQuery(const QString &service, const QString &account, bool dataProtection)
{
    CFMutableDictionaryRef query = CFDictionaryCreateMutable(
        kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    const CFStringRef serviceText = service.toCFString();
    const CFStringRef accountText = account.toCFString();
    CFDictionarySetValue(query, kSecClass, kSecClassGenericPassword);
    CFDictionarySetValue(query, kSecAttrService, serviceText);
    CFDictionarySetValue(query, kSecAttrAccount, accountText);
    if (dataProtection)
        CFDictionarySetValue(query, kSecUseDataProtectionKeychain, kCFBooleanTrue);
    CFRelease(serviceText);
    CFRelease(accountText);
    return query;
}

std::optional<QByteArray> readItem(const QString &service, const QString &account)
{
    for (const bool dataProtection : { false, true }) {
        CFMutableDictionaryRef query = itemQuery(service, account, dataProtection);
        CFDictionarySetValue(query, kSecReturnData, kCFBooleanTrue);
        CFDictionarySetValue(query, kSecMatchLimit, kSecMatchLimitOne);
        CFTypeRef result = nullptr;
        const OSStatus status = SecItemCopyMatching(query, &result);
        CFRelease(query);
        if (status == errSecSuccess && result && CFGetTypeID(result) == CFDataGetTypeID()) {
            const QByteArray data = QByteArray::fromCFData(static_cast<CFDataRef>(result));
            CFRelease(result);
            return data;
        }
        if (result)
            CFRelease(result);
    }
    return std::nullopt;
}

void removeItems(const QString &service, const QString &account)
{
    for (const bool dataProtection : { false, true }) {
        CFMutableDictionaryRef query = itemQuery(service, account, dataProtection);
        // The file-based keychain may delete one match per call: repeat, bounded.
        for (int attempt = 0; attempt < 16 && SecItemDelete(query) == errSecSuccess; ++attempt) { }
        CFRelease(query);
    }
}

} // namespace

Keychain Keychain::system()
{
    return Keychain { .read = readItem, .removeAll = removeItems };
}

} // namespace Vetron::Platform
