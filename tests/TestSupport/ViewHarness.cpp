#include "TestSupport/ViewHarness.h"

#include "Views/QmlModule.h"
#include "Views/Theme.h"

#include <QDir>
#include <QQmlComponent>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace Vetron::Test {

ViewHarness::ViewHarness()
{
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    prepareQmlEngine(m_engine);
}

std::unique_ptr<QQuickWindow> ViewHarness::show(
    const QString &view, const QVariantMap &properties, QSize size)
{
    QQmlComponent component(&m_engine, QUrl(u"qrc:/Vetron/%1.qml"_s.arg(view)));
    return present(component, properties, size);
}

std::unique_ptr<QQuickWindow> ViewHarness::showSource(const QString &source, QSize size)
{
    QQmlComponent component(&m_engine);
    component.setData(source.toUtf8(), QUrl(u"qrc:/test-source.qml"_s));
    return present(component, {}, size);
}

std::unique_ptr<QQuickWindow> ViewHarness::present(
    QQmlComponent &component, const QVariantMap &properties, QSize size)
{
    std::unique_ptr<QObject> object(component.createWithInitialProperties(properties));
    auto *item = qobject_cast<QQuickItem *>(object.get());
    if (!item)
        qFatal("the view does not load: %s", qPrintable(component.errorString()));
    auto window = std::make_unique<QQuickWindow>();
    window->setColor(Theme::appBg());
    window->resize(size);
    item->setParentItem(window->contentItem());
    object.release()->setParent(window.get());
    const auto fit = [item, window = window.get()] { item->setSize(window->size()); };
    fit();
    QObject::connect(window.get(), &QWindow::widthChanged, item, fit);
    QObject::connect(window.get(), &QWindow::heightChanged, item, fit);

    QSignalSpy drawn(window.get(), &QQuickWindow::frameSwapped);
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()) || (drawn.isEmpty() && !drawn.wait()))
        qFatal("the view's window was never drawn");
    return window;
}

std::unique_ptr<AppModel> ViewHarness::makeModel(AppModel::Options options, const QUrl &servers)
{
    static WakeNotifier wake;
    options.wake = &wake;
    options.environment.servers = { servers, servers };
    return std::make_unique<AppModel>(false, options);
}

QQuickItem *ViewHarness::find(QQuickWindow &window, const QString &name)
{
    if (window.contentItem()->objectName() == name)
        return window.contentItem();
    // The view itself is a child of the window (not of its content item) in the object tree.
    return window.findChild<QQuickItem *>(name);
}

QQuickItem *ViewHarness::item(QQuickWindow &window, const QString &name)
{
    QQuickItem *found = find(window, name);
    if (!found)
        qFatal("no item %s", qPrintable(name));
    return found;
}

QList<QQuickItem *> ViewHarness::items(QQuickItem *root, const QString &name)
{
    QList<QQuickItem *> found;
    if (root->objectName() == name)
        found.append(root);
    for (QQuickItem *child : root->childItems())
        found.append(items(child, name));
    return found;
}

bool ViewHarness::shown(QQuickWindow &window, const QString &name)
{
    const QQuickItem *found = find(window, name);
    return found && found->isVisible();
}

QString ViewHarness::text(QQuickWindow &window, const QString &name)
{
    const QQuickItem *found = find(window, name);
    return found ? found->property("text").toString() : u"(no %1)"_s.arg(name);
}

QStringList ViewHarness::shownTexts(QQuickWindow &window)
{
    QStringList texts;
    const std::function<void(QQuickItem *)> collect = [&](QQuickItem *item) {
        if (!item->isVisible())
            return;
        if (item->inherits("QQuickText"))
            texts << item->property("text").toString();
        for (QQuickItem *child : item->childItems())
            collect(child);
    };
    collect(window.contentItem());
    return texts;
}

void ViewHarness::click(QQuickWindow &window, const QQuickItem &item)
{
    const QPointF centre = item.mapToScene(QPointF(item.width() / 2, item.height() / 2));
    QTest::mouseClick(&window, Qt::LeftButton, {}, centre.toPoint());
}

QColor ViewHarness::colourAt(QQuickWindow &window, const QQuickItem &item, QPointF point)
{
    const QPointF pixel = item.mapToScene(point) * window.devicePixelRatio();
    return window.grabWindow().pixelColor(pixel.toPoint());
}

bool ViewHarness::containsColour(const QImage &picture, const QColor &colour)
{
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    const QRgb wanted = colour.rgb();
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (line[x] == wanted)
                return true;
        }
    }
    return false;
}

void ViewHarness::keepPicture(QQuickWindow &window, const QString &name)
{
    const QString directory = qEnvironmentVariable("VETRON_TEST_PICTURES");
    if (directory.isEmpty())
        return;
    QString file = name;
    if (QTest::currentDataTag())
        file += u'-' + QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-');
    QDir().mkpath(directory);
    window.grabWindow().save(QDir(directory).filePath(file + u".png"_s));
}

} // namespace Vetron::Test
