#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

QString run(const QString &tool, const QStringList &arguments)
{
    QProcess process;
    process.start(QString::fromUtf8(VETRON_STANDIN_DIR "/") + tool, arguments);
    if (!process.waitForFinished(30'000) || process.exitStatus() != QProcess::NormalExit)
        return u"did not finish: "_s + process.errorString();
    return QString::number(process.exitCode()) + u": "_s
        + QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class UpdateStandInsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_state.emplace().isValid());
        qputenv("VETRON_STANDIN_STATE", QFile::encodeName(m_state->path()));
    }

    void attachedImageShowsItsContentUntilDetached()
    {
        const QString image = path(u"Vetron.dmg"_s), mount = path(u"mnt"_s), payload = path(u"payload"_s);
        QVERIFY(QDir().mkpath(payload) && QDir().mkpath(mount));
        QVERIFY(writeFile(payload + u"/Vetron.pkg"_s, "package") && writeFile(payload + u"/.hidden"_s, "x"));
        QCOMPARE(QProcess::execute(u"/bin/tar"_s, { u"-cf"_s, image, u"-C"_s, payload, u"."_s }), 0);
        const QStringList attach { u"attach"_s, image, u"-mountpoint"_s, mount, u"-nobrowse"_s };
        QCOMPARE(run(u"hdiutil"_s, attach), u"0: /dev/disk4s1\tApple_HFS\t%1\n"_s.arg(mount));
        QCOMPARE(readFile(mount + u"/Vetron.pkg"_s), "package");
        QCOMPARE(state(u"hdiutil.json"_s).object(), (QJsonObject { { mount, image } }));
        const QStringList detach { u"detach"_s, mount, u"-force"_s };
        QCOMPARE(run(u"hdiutil"_s, detach), u"0: \"disk4\" ejected.\n"_s);
        QVERIFY(QDir(mount).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
        QCOMPARE(run(u"hdiutil"_s, detach), u"1: hdiutil: detach failed - No such file or directory\n"_s);
    }

    void imageThatIsNoArchiveIsNotAttached()
    {
        const QString image = path(u"broken.dmg"_s), mount = path(u"mnt"_s);
        QVERIFY(writeFile(image, QByteArray(4096, 'x')));
        const QStringList attach { u"attach"_s, image, u"-noverify"_s, u"-mountpoint"_s, mount };
        QCOMPARE(run(u"hdiutil"_s, attach), u"1: hdiutil: attach failed - No such file or directory\n"_s);
        QVERIFY(QDir().mkpath(mount));
        QCOMPARE(run(u"hdiutil"_s, attach), u"1: hdiutil: attach failed - image not recognized\n"_s);
        QCOMPARE(state(u"hdiutil.json"_s).object(), QJsonObject());
    }

    void installerRecordsPackageAndTargetOfExistingPackagesUnlessToldToFail()
    {
        const QString pkg = path(u"Vetron 2.pkg"_s), missing = path(u"gone.pkg"_s);
        QVERIFY(writeFile(pkg, "package"));
        const QStringList install { u"-target"_s, u"/"_s, u"-pkg"_s, pkg };
        QCOMPARE(run(u"installer"_s, install),
            u"0: installer: Package name is Vetron\ninstaller: Installing at base path /\n"
            "installer: The install was successful.\n"_s);
        QCOMPARE(run(u"installer"_s, { u"-pkg"_s, missing, u"-target"_s, u"/"_s }),
            u"1: installer: Error - the package path specified was invalid: '%1'.\n"_s.arg(missing));
        QVERIFY(writeFile(path(u"installer.fail"_s), "yes\n"));
        QCOMPARE(run(u"installer"_s, install), u"1: installer: The install failed.\n"_s);
        const QJsonObject installed { { u"package"_s, pkg }, { u"target"_s, u"/"_s } };
        QCOMPARE(state(u"installer.json"_s).array(), QJsonArray { installed });
        QCOMPARE(readFile(path(u"installer.log"_s)).count('\n'), 3); // failed calls are logged too
    }

    void openRecordsAnExistingPathExactlyAsGiven()
    {
        const QString app = path(u"Bob's Apps/Vetron.app"_s);
        QVERIFY(QDir().mkpath(app));
        QCOMPARE(run(u"open"_s, { app }), u"0: "_s);
        QCOMPARE(run(u"open"_s, { app + u"x"_s }), u"1: The file %1x does not exist.\n"_s.arg(app));
        QCOMPARE(state(u"open.json"_s).array(), QJsonArray { app });
    }

private:
    QString path(const QString &name) const { return m_state->filePath(name); }
    QJsonDocument state(const QString &name) const { return QJsonDocument::fromJson(readFile(path(name))); }
    std::optional<QTemporaryDir> m_state;
};

QTEST_GUILESS_MAIN(UpdateStandInsTest)
#include "tst_UpdateStandIns.moc"
