#include "Platform/Fonts.h"

#include <QFontDatabase>
#include <QUrl>

#import <AppKit/AppKit.h>
#import <CoreText/CoreText.h>

using namespace Qt::StringLiterals;

namespace Vetron::Platform {
namespace {

// The family under which Qt draws `font`, or `fallback` when there is no font. The system's own
// families are hidden (their names begin with a dot) and cannot be found by name everywhere Qt
// looks, the offscreen platform included: such a font's file is registered with Qt instead.
QString familyForQt(CTFontRef font, const QString &fallback)
{
    if (!font)
        return fallback;
    CFStringRef name = CTFontCopyFamilyName(font);
    const QString family = name ? QString::fromCFString(name) : QString();
    if (name)
        CFRelease(name);
    if (!family.isEmpty() && !family.startsWith(u'.'))
        return family;
    QString path;
    if (auto url = static_cast<CFURLRef>(CTFontCopyAttribute(font, kCTFontURLAttribute))) {
        path = QUrl::fromCFURL(url).toLocalFile();
        CFRelease(url);
    }
    const int id = path.isEmpty() ? -1 : QFontDatabase::addApplicationFont(path);
    const QStringList registered = QFontDatabase::applicationFontFamilies(id);
    if (!registered.isEmpty())
        return registered.first();
    return family.isEmpty() ? fallback : family;
}

// The family of one of the system's interface fonts.
QString interfaceFamily(CTFontUIFontType type, const QString &fallback)
{
    CTFontRef font = CTFontCreateUIFontForLanguage(type, 0, nullptr);
    const QString family = familyForQt(font, fallback);
    if (font)
        CFRelease(font);
    return family;
}

} // namespace

// Asked of CoreText, not of Qt's theme: under the offscreen platform (pictures, tests) the theme
// names "Sans Serif" and "monospace". Each is worked out once: registering a file twice would
// add it twice.
QString systemFontFamily()
{
    static const QString family = interfaceFamily(
        kCTFontUIFontSystem, QFontDatabase::systemFont(QFontDatabase::GeneralFont).family());
    return family;
}

// The serif design of the system font ("New York"), which no family name reaches on a stock Mac.
QString serifFontFamily()
{
    static const QString family = [] {
        @autoreleasepool {
            NSFontDescriptor *system = [NSFont systemFontOfSize:0].fontDescriptor;
            NSFontDescriptor *serif = [system fontDescriptorWithDesign:NSFontDescriptorSystemDesignSerif];
            NSFont *font = serif ? [NSFont fontWithDescriptor:serif size:0] : nil;
            // NSFont and CTFont are one object (toll-free bridged).
            return familyForQt((CTFontRef)font, u"New York"_s);
        }
    }();
    return family;
}

QString monospacedFontFamily()
{
    static const QString family = interfaceFamily(
        kCTFontUIFontUserFixedPitch, QFontDatabase::systemFont(QFontDatabase::FixedFont).family());
    return family;
}

} // namespace Vetron::Platform
