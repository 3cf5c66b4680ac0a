#include "App/PreviewRenderer.h"

#include "App/LicenseAgreement.h"
#include "Foundation/ServerAddresses.h"
#include "Foundation/SystemErrorTexts.h"
#include "Views/PreviewMode.h"
#include "Views/QmlModule.h"
#include "Views/Theme.h"

#include <QCoreApplication>
#include <QFile>
#include <QImageWriter>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSaveFile>
#include <QStringDecoder>
#include <QtMath>

#include <cstdio>
#include <filesystem>

using namespace Qt::StringLiterals;

namespace Vetron::PreviewRenderer {
namespace {

constexpr char licenseFileVariable[] = "VETRON_LICENSE_FILE";
const QString fallbackVersion = u"0.9.0"_s;

void writeLine(std::FILE *stream, const QString &line)
{
    std::fputs((line + u'\n').toUtf8().constData(), stream);
    std::fflush(stream);
}

// The whole file as UTF-8, or nothing when it cannot be read or is not UTF-8.
std::optional<QString> readUtf8(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder(file.readAll());
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

MacReleaseManifest previewManifest(const QString &version)
{
    MacReleaseManifest manifest;
    manifest.version = bumpedPatch(version);
    manifest.url
        = ServerAddresses::withPath(ServerAddresses().portalBase, u"static/releases/Vetron-macOS.dmg"_s)
              .toString();
    manifest.title = u"Ветрон "_s + manifest.version;
    manifest.notes = QStringList {
        u"Главный экран приведён к виду версии для Windows: разделы открываются иконками в шапке."_s,
        u"Вокруг знака защиты появились расходящиеся кольца, как на Windows."_s,
        u"Кнопка «Как это работает» — внизу карточки, рядом с предупреждением о рисках."_s,
    };
    return manifest;
}

// A window that is never shown, holding one view: the software renderer draws it on request, and
// every drawing lays the items out first.
class Stage
{
public:
    explicit Stage(std::unique_ptr<QQuickItem> view)
        : m_view(view.release())
    {
        m_window.setColor(Theme::appBg());
        if (m_view) {
            m_view->setParent(&m_window);
            m_view->setParentItem(m_window.contentItem());
        }
    }
    ~Stage() { delete m_view; } // before the window it stands in

    // The view at `width` × `height` points, or at the content's own height when there is no
    // `height`; null when there is no view. Wrapped text settles its height only once laid out
    // at its width, so a natural height is measured, applied and measured again until it stays.
    // Measuring a flattened screen while it is made leaves some nested layouts arranged for a
    // width they no longer have, and Qt's layouts arrange again only when their own size
    // changes: one pass a point wider first makes every one of them arrange afresh.
    QImage draw(int width, std::optional<int> height)
    {
        if (!m_view)
            return {};
        settle(width + 1, height);
        return settle(width, height);
    }

private:
    QImage settle(int width, std::optional<int> height)
    {
        frame(width, height.value_or(m_window.height() > 0 ? m_window.height() : 800));
        QImage image = m_window.grabWindow();
        for (int pass = 0; !height && pass < 10; ++pass) {
            const int natural = qCeil(m_view->implicitHeight());
            if (natural <= 0 || natural == m_window.height())
                break;
            frame(width, natural);
            image = m_window.grabWindow();
        }
        return image;
    }

    void frame(int width, int height)
    {
        m_window.resize(width, height);
        m_view->setSize(QSizeF(width, height));
    }

    QQuickWindow m_window;
    QQuickItem *m_view; // owned by the window
};

// Makes views and writes their pictures into one directory, remembering whether every one was
// written.
class Renderer
{
public:
    explicit Renderer(const QString &directory)
        : m_directory(directory)
    {
        prepareQmlEngine(m_engine);
    }

    bool succeeded() const { return m_succeeded; }

    // qrc:/Vetron/<file>.qml made with `properties`; null (its errors on standard error) when it
    // does not load.
    std::unique_ptr<QQuickItem> view(const QString &file, const QVariantMap &properties)
    {
        QQmlComponent component(&m_engine, QUrl(u"qrc:/Vetron/%1.qml"_s.arg(file)));
        std::unique_ptr<QObject> object(component.createWithInitialProperties(properties));
        if (!qobject_cast<QQuickItem *>(object.get())) {
            writeLine(stderr, component.errorString().trimmed());
            return {};
        }
        return std::unique_ptr<QQuickItem>(static_cast<QQuickItem *>(object.release()));
    }

    // Draws the view of `stage` (see Stage::draw) and writes it as <name>.png.
    void shot(const QString &name, int width, std::optional<int> height, Stage &stage)
    {
        const QImage image = stage.draw(width, height);
        if (image.isNull()) {
            fail(u"preview: %1 — ImageRenderer вернул пустой кадр"_s.arg(name));
            return;
        }
        const QString path = QDir(m_directory).filePath(name + u".png"_s);
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly)) {
            fail(u"preview: %1 — не удалось открыть %2 на запись"_s.arg(name, path));
            return;
        }
        QImageWriter writer(&file, "png");
        if (!writer.write(image) || !file.commit()) {
            fail(u"preview: %1 — не удалось записать PNG"_s.arg(name));
            return;
        }
        writeLine(stdout, u"preview: %1.png %2x%3"_s.arg(name).arg(image.width()).arg(image.height()));
    }

private:
    void fail(const QString &message)
    {
        writeLine(stderr, message);
        m_succeeded = false;
    }

    QString m_directory;
    QQmlEngine m_engine;
    bool m_succeeded = true;
};

} // namespace

void prepareProcess()
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_SCALE_FACTOR", "2");
    // Nothing of the session may change the scale of the pictures.
    qunsetenv("QT_SCREEN_SCALE_FACTORS");
    qunsetenv("QT_ENABLE_HIGHDPI_SCALING");
    qunsetenv("QT_USE_PHYSICAL_DPI");
}

std::optional<QString> licenseText(const QDir &workingDirectory, const QProcessEnvironment &environment)
{
    QStringList candidates;
    if (environment.contains(QLatin1StringView(licenseFileVariable)))
        candidates << environment.value(QLatin1StringView(licenseFileVariable));
    candidates << u"../portal/installer/LICENSE-RU.template.txt"_s
               << u"../src-native/Vetron.App/Assets/License-RU.txt"_s;
    for (const QString &candidate : std::as_const(candidates)) {
        // An empty name would be the working directory itself, which reads as nothing.
        if (candidate.isEmpty())
            continue;
        const std::optional<QString> text = readUtf8(workingDirectory.filePath(candidate));
        if (text && !text->isEmpty())
            return text;
    }
    return std::nullopt;
}

QString repoVersion(const QDir &workingDirectory)
{
    const QString version = readUtf8(workingDirectory.filePath(u"VERSION"_s)).value_or(QString()).trimmed();
    return version.isEmpty() ? fallbackVersion : version;
}

QString bumpedPatch(const QString &version)
{
    QList<qlonglong> numbers;
    for (const QString &piece : version.split(u'.', Qt::SkipEmptyParts)) {
        bool decimal = false;
        const qlonglong number = piece.toLongLong(&decimal, 10);
        if (decimal && piece.trimmed() == piece)
            numbers.append(number);
    }
    if (numbers.size() != 3)
        return version;
    return u"%1.%2.%3"_s.arg(numbers[0]).arg(numbers[1]).arg(numbers[2] + 1);
}

QList<ProtectedSession> previewSessions(const QDateTime &now)
{
    const double seconds = double(now.toMSecsSinceEpoch()) / 1000;
    const auto session = [seconds](QString id, QString kind, QString title, double createdAgo, double usedAgo,
                             qint64 requests, qint64 replacements, bool bypass) {
        ProtectedSession made;
        made.id = std::move(id);
        made.kind = std::move(kind);
        made.title = std::move(title);
        made.createdAt = seconds - createdAgo;
        made.lastUsedAt = seconds - usedAgo;
        made.requests = requests;
        made.replacements = replacements;
        made.bypass = bypass;
        return made;
    };
    QList<ProtectedSession> sessions {
        session(u"s1"_s, u"code"_s, {}, 7200, 300, 0, 0, true),
        session(u"s2"_s, u"code"_s, u"Что тут?"_s, 90000, 3600, 1, 58, false),
        session(u"s3"_s, u"web"_s, {}, 180000, 90000, 12, 214, false),
    };
    for (int n = 4; n <= 23; ++n) {
        sessions.append(session(u"s%1"_s.arg(n), n % 3 == 0 ? u"web"_s : u"code"_s,
            n % 4 == 0 ? u"Черновик письма %1"_s.arg(n) : QString(), 200000 + n * 86400.0,
            190000 + n * 86400.0, n, 7 * n, false));
    }
    return sessions;
}

std::unique_ptr<AppModel> previewModel(const QDateTime &now)
{
    const QString version = repoVersion();
    auto model = std::make_unique<AppModel>(false);
    model->setActivated(true);
    model->setState(ProtectionState::protected_, u"Личные данные под защитой"_s);
    model->setVersionOverride(version);
    model->setLoadedSettings(ProtectionSettings());

    UsageResponse usage;
    usage.requests = 12;
    usage.maskedEntities = 214;
    usage.blocked = 3;
    model->setUsage(usage);

    DeviceInfo device;
    device.name = u"MacBook Pro"_s;
    device.platform = u"macos"_s;
    device.status = u"active"_s;
    model->setDevice(device);

    SubscriptionInfo subscription;
    subscription.status = u"active"_s;
    subscription.periodEnd = now.addSecs(1'814'400);
    model->setSubscription(subscription);

    model->setAccountLoaded(true);
    model->setSessions(previewSessions(now));
    model->setUpdateState(
        UpdateScreenState::withManifest(UpdateScreenState::Kind::available, previewManifest(version)));
    return model;
}

bool renderAll(const QString &directory)
{
    std::error_code error;
    std::filesystem::create_directories(
        std::filesystem::path(QFile::encodeName(directory).toStdString()), error);
    if (error) {
        writeLine(stderr,
            u"preview: не удалось создать %1: %2"_s.arg(
                directory, SystemErrorTexts::forErrno(error.value())));
        return false;
    }

    LicenseAgreement::setTextOverride(licenseText());
    PreviewMode::setFlattenScrolls(true);
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);

    const std::unique_ptr<AppModel> model = previewModel(QDateTime::currentDateTimeUtc());
    Renderer renderer(directory);

    const auto mainScreen = [&](MainSection section) {
        model->setSection(section);
        return std::make_unique<Stage>(
            renderer.view(u"MainView"_s, { { u"model"_s, QVariant::fromValue(model.get()) } }));
    };
    renderer.shot(u"main"_s, 620, 800, *mainScreen(MainSection::protection));
    Stage how(renderer.view(u"HowItWorksView"_s, { { u"renderFullHeight"_s, true } }));
    renderer.shot(u"how"_s, 440, std::nullopt, how);
    renderer.shot(u"settings"_s, 620, std::nullopt, *mainScreen(MainSection::settings));
    renderer.shot(u"account"_s, 620, std::nullopt, *mainScreen(MainSection::account));
    renderer.shot(u"updates"_s, 620, std::nullopt, *mainScreen(MainSection::updates));

    AppModel notEnrolled(false);
    notEnrolled.setActivated(false);
    notEnrolled.setVersionOverride(repoVersion());
    Stage activation(
        renderer.view(u"ActivationView"_s, { { u"model"_s, QVariant::fromValue(&notEnrolled) } }));
    renderer.shot(u"activation"_s, 620, 800, activation);

    // Accepting does nothing more here; declining ends the application, as it does in the window.
    std::unique_ptr<QQuickItem> agreementView = renderer.view(u"LicenseAgreementView"_s, {});
    if (agreementView && QCoreApplication::instance())
        QObject::connect(agreementView.get(), SIGNAL(declined()), QCoreApplication::instance(), SLOT(quit()));
    Stage agreement(std::move(agreementView));
    renderer.shot(u"license"_s, 620, 680, agreement);

    return renderer.succeeded();
}

} // namespace Vetron::PreviewRenderer
