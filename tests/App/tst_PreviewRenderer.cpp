#include "App/PreviewRenderer.h"
#include "TestSupport/TestProfile.h"
#include "TestSupport/ViewHarness.h"
#include "Views/PreviewMode.h"

#include <QImageReader>
#include <QProcess>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Vetron;

namespace {

struct Run
{
    int exitCode = -1;
    QStringList lines; // standard output
    QString errors;
};

// The built client with the switch, started in `workingDirectory` with this test's own profile.
Run render(const QString &directory, const QString &workingDirectory)
{
    QProcess process;
    process.setWorkingDirectory(workingDirectory);
    QSignalSpy finished(&process, &QProcess::finished);
    process.start(QStringLiteral(VETRON_EXECUTABLE), { u"--render-previews"_s, directory });
    if (!finished.wait(120'000))
        return {};
    return { process.exitCode(),
        QString::fromUtf8(process.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts),
        QString::fromUtf8(process.readAllStandardError()) };
}

void writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
}

const QStringList pictures { u"main"_s, u"how"_s, u"settings"_s, u"account"_s, u"updates"_s, u"activation"_s,
    u"license"_s };

} // namespace

class PreviewRendererTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void bumpedPatch_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("bumped");
        QTest::addRow("two numbers stay") << u"1.4"_s << u"1.4"_s;
        QTest::addRow("empty and other pieces skipped") << u"1..4.beta.9"_s << u"1.4.10"_s;
        QTest::addRow("four numbers stay") << u"1.4.2.7"_s << u"1.4.2.7"_s;
    }

    void bumpedPatch()
    {
        QFETCH(QString, version);
        QFETCH(QString, bumped);
        QCOMPARE(PreviewRenderer::bumpedPatch(version), bumped);
    }

    // A version file is read trimmed (the screens test below); none, or a blank one, is 0.9.0.
    void repoVersionFallsBackToTheDefault()
    {
        QTemporaryDir work;
        QCOMPARE(PreviewRenderer::repoVersion(QDir(work.path())), u"0.9.0"_s);
        writeFile(work.filePath(u"VERSION"_s), "\n \n");
        QCOMPARE(PreviewRenderer::repoVersion(QDir(work.path())), u"0.9.0"_s);
    }

    void licenseTextTakesTheFirstNonEmptyCandidate_data()
    {
        QTest::addColumn<QByteArray>("named");  // the file $VETRON_LICENSE_FILE names; null: unset
        QTest::addColumn<QByteArray>("portal"); // ../portal/installer/…; null: absent
        QTest::addColumn<QString>("text");      // null: none
        QTest::addRow("named file first") << QByteArray("Своё") << QByteArray("Шаблон") << u"Своё"_s;
        QTest::addRow("empty named file passes on") << QByteArray("") << QByteArray("Шаблон") << u"Шаблон"_s;
        QTest::addRow("nothing readable") << QByteArray() << QByteArray("") << QString();
    }

    void licenseTextTakesTheFirstNonEmptyCandidate()
    {
        QFETCH(QByteArray, named);
        QFETCH(QByteArray, portal);
        QFETCH(QString, text);
        QTemporaryDir root;
        QVERIFY(QDir(root.path()).mkdir(u"repo"_s));
        if (!portal.isNull())
            writeFile(root.filePath(u"portal/installer/LICENSE-RU.template.txt"_s), portal);
        QProcessEnvironment environment;
        if (!named.isNull()) {
            writeFile(root.filePath(u"named.txt"_s), named);
            environment.insert(u"VETRON_LICENSE_FILE"_s, u"../named.txt"_s);
        }
        const auto found = PreviewRenderer::licenseText(QDir(root.filePath(u"repo"_s)), environment);
        QCOMPARE(found.value_or(QString()), text);
        QCOMPARE(found.has_value(), !text.isNull());
    }

    // The repository's version reaches the footer and the offered release; the settings show the
    // first page of the 23 sample sessions. Nothing is loaded on the way.
    void sampleModelOnTheScreens()
    {
        QTemporaryDir work;
        writeFile(work.filePath(u"VERSION"_s), "1.4.2\n");
        const QString previous = QDir::currentPath();
        QDir::setCurrent(work.path());
        const auto model = PreviewRenderer::previewModel(QDateTime::currentDateTimeUtc());
        QDir::setCurrent(previous);

        QTest::failOnWarning(QRegularExpression(u".*"_s));
        PreviewMode::setFlattenScrolls(true);
        Test::ViewHarness harness;
        QStringList seen;
        for (const MainSection section :
            { MainSection::updates, MainSection::settings, MainSection::account }) {
            model->setSection(section);
            const auto window
                = harness.show(u"MainView"_s, { { u"model"_s, QVariant::fromValue(model.get()) } });
            seen << Test::ViewHarness::shownTexts(*window);
        }
        PreviewMode::setFlattenScrolls(false);
        QVERIFY(seen.contains(u"Версия 1.4.2"_s));
        QVERIFY(seen.contains(u"Доступна версия 1.4.3"_s));
        QVERIFY(seen.contains(u"Страница 1 из 3 · сессий: 23"_s));
        QVERIFY(seen.contains(u"Черновик письма 8"_s));   // the tenth row
        QVERIFY(!seen.contains(u"Черновик письма 12"_s)); // the second page
        QVERIFY(seen.contains(u"MacBook Pro · macOS"_s));
        QVERIFY(model->accountLoaded());
    }

    // Seven pictures at twice their points, natural heights where they have no fixed one; nothing
    // of the profile is written.
    void rendersTheSevenPictures()
    {
        QTemporaryDir work;
        const QString target = work.filePath(u"new/pictures"_s);
        const Run first = render(target, work.path());
        QCOMPARE(first.errors, QString());
        QCOMPARE(first.exitCode, 0);
        QCOMPARE(QDir(target).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size(), pictures.size());
        QCOMPARE(first.lines.size(), pictures.size());
        const QStringList sizes { u"1240x1600"_s, u"880x"_s, u"1240x"_s, u"1240x"_s, u"1240x"_s,
            u"1240x1600"_s, u"1240x1360"_s }; // twice the points; no height: natural
        for (qsizetype index = 0; index < pictures.size(); ++index) {
            const QSize size = QImageReader(QDir(target).filePath(pictures[index] + u".png"_s)).size();
            const QString line
                = u"preview: %1.png %2x%3"_s.arg(pictures[index]).arg(size.width()).arg(size.height());
            QCOMPARE(first.lines[index], line);
            QVERIFY2(line.contains(u' ' + sizes[index]), qPrintable(line));
        }
        QVERIFY(QImageReader(QDir(target).filePath(u"how.png"_s)).size().height() > 2 * 640);
        QVERIFY(QImageReader(QDir(target).filePath(u"settings.png"_s)).size().height() > 2 * 800);
        for (const char *folder : { "/.config", "/.local/share" })
            QVERIFY(QDir(Test::temporaryHome() + QLatin1StringView(folder)).isEmpty());
    }

    void uncreatableDirectoryEndsAtOnce()
    {
        QTemporaryDir work;
        writeFile(work.filePath(u"file"_s), "x");
        const QString target = work.filePath(u"file/pictures"_s);
        const Run run = render(target, work.path());
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(
            run.errors, u"preview: не удалось создать %1: Часть пути не является папкой.\n"_s.arg(target));
        QVERIFY(run.lines.isEmpty());
    }

    void unwritablePictureIsReportedAndTheOthersWritten()
    {
        QTemporaryDir work;
        QVERIFY(QDir(work.path()).mkpath(u"how.png"_s));
        const Run run = render(work.path(), work.path());
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.errors,
            u"preview: how — не удалось открыть %1 на запись\n"_s.arg(work.filePath(u"how.png"_s)));
        QCOMPARE(run.lines.size(), pictures.size() - 1);
        QVERIFY(run.lines.last().startsWith(u"preview: license.png "_s));
    }
};

QTEST_MAIN(PreviewRendererTest)
#include "tst_PreviewRenderer.moc"
