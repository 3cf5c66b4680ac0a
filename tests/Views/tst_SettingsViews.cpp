#include "App/AppModel.h"
#include "App/OperationTask.h"
#include "App/SettingsScreen.h"
#include "BuildConstants.h"
#include "TestSupport/AwaitTask.h"
#include "TestSupport/TestProfile.h"
#include "TestSupport/TunnelFixture.h"
#include "TestSupport/ViewHarness.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Vetron;
using Vetron::Test::awaitTask;
using Vetron::Test::TunnelFixture;
using Vetron::Test::ViewHarness;

namespace {

QStringList capturedLog;

void captureMessage(QtMsgType, const QMessageLogContext &, const QString &message)
{
    capturedLog.append(message);
}

} // namespace

// The settings, session and explainer screens loaded for real, against a protection server
// reached through a real tunnel.
class SettingsViewsTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<TunnelFixture> m_fixture;
    std::unique_ptr<AppModel> m_model;
    ViewHarness m_harness;

    // A model whose tunnel is up, with the account counted as loaded so no portal is asked.
    bool startModel(const QJsonArray &sessions)
    {
        m_fixture = std::make_unique<TunnelFixture>();
        if (!m_fixture->start()) {
            qWarning() << m_fixture->error();
            return false;
        }
        m_fixture->server().setSessions(sessions);
        AppModel::Options options;
        // No health checks: a settings read that a test holds or fails would end the tunnel.
        TunnelTimings timings = TunnelFixture::fastTimings();
        timings.monitorInterval = std::chrono::hours(1);
        m_fixture->prepare(options, timings);
        m_model = ViewHarness::makeModel(options);
        m_model->setAccountLoaded(true);
        return awaitTask(TunnelFixture::tunnelOf(*m_model).enable()).finished
            && QTest::qWaitFor([this] { return m_model->state() == ProtectionState::protected_; });
    }

    // Tall enough that every control of the screen can be clicked without scrolling.
    std::unique_ptr<QQuickWindow> show(const QString &view)
    {
        return m_harness.show(view, { { u"model"_s, QVariant::fromValue(m_model.get()) } }, QSize(620, 2400));
    }

    QList<Tools::ProtectionServer::Request> requestsTo(const char *host) const
    {
        QList<Tools::ProtectionServer::Request> found;
        for (const auto &request : m_fixture->server().requests()) {
            if (request.url.host() == QLatin1StringView(host))
                found.append(request);
        }
        return found;
    }

    static QQuickItem *item(QQuickWindow &window, const QString &name)
    {
        return ViewHarness::items(window.contentItem(), name).value(0);
    }

    // Clicks a button of the open confirmation `dialogName`.
    static bool answer(QQuickWindow &window, const QString &dialogName, const QString &button)
    {
        QObject *confirmation = window.findChild<QObject *>(dialogName);
        if (!confirmation || !QTest::qWaitFor([&] { return confirmation->property("opened").toBool(); }))
            return false;
        auto *target = ViewHarness::items(confirmation->property("contentItem").value<QQuickItem *>(), button)
                           .value(0);
        if (!target)
            return false;
        ViewHarness::click(window, *target);
        return QTest::qWaitFor([&] { return !confirmation->property("visible").toBool(); });
    }

    // Every operation `owner` started has ended.
    static bool idle(const QObject *owner)
    {
        return owner && QTest::qWaitFor([&] {
            const auto tasks = owner->findChildren<OperationTask *>();
            return std::none_of(tasks.begin(), tasks.end(), [](auto *task) { return task->running(); });
        });
    }

    static bool screenIdle(QQuickWindow &window) { return idle(window.findChild<SettingsScreen *>()); }

    // The texts below `root` that would read markup in what they show. Qt's own tooltips and
    // field placeholders are left out: they show only fixed texts of ours.
    static QStringList textsReadAsMarkup(QQuickItem *root)
    {
        QStringList found;
        if (root->inherits("QQuickPopupItem") || root->inherits("QQuickPlaceholderText"))
            return found;
        if ((root->inherits("QQuickText") || root->inherits("QQuickTextEdit"))
            && root->property("textFormat").toInt() != Qt::PlainText)
            found << root->property("text").toString();
        for (QQuickItem *child : root->childItems())
            found << textsReadAsMarkup(child);
        return found;
    }

private Q_SLOTS:
    void init() { QTest::failOnWarning(QRegularExpression(u".*"_s)); }

    void cleanup()
    {
        if (m_model && m_fixture)
            awaitTask(TunnelFixture::tunnelOf(*m_model).disable());
        m_model.reset();
        m_fixture.reset();
    }

    void renameShowsTheTitleTheServerListsAfterwards()
    {
        QVERIFY(startModel({ TunnelFixture::session(u"s1"_s, u"Договор"_s) }));
        QVERIFY(awaitTask(m_model->loadSessions()).finished);
        m_model->setSelectedSession(m_model->sessions().first());
        // The server files the new name its own way; the screen must show its version.
        connect(&m_fixture->server(), &Tools::ProtectionServer::requestReceived, this, [this] {
            const auto last = m_fixture->server().requests().last();
            if (last.method == "GET" && last.url.host() == QLatin1StringView(BuildConstants::sessionsHost))
                m_fixture->server().setSessions({ TunnelFixture::session(u"s1"_s, u"Иск (архив)"_s) });
        });
        const auto window = show(u"SessionsView"_s);
        auto *field = item(*window, u"renameField"_s);
        QCOMPARE(field->property("text").toString(), u"Договор"_s);
        field->setProperty("text", u" \t "_s);
        QVERIFY(!item(*window, u"renameButton"_s)->isEnabled());
        field->setProperty("text", u"Иск"_s);
        ViewHarness::click(*window, *item(*window, u"renameButton"_s));
        QTRY_COMPARE(item(*window, u"sessionTitle"_s)->property("text").toString(), u"Иск (архив)"_s);
    }

    // Confirmed, the deletion leaves the session screen for the settings with the server's list.
    void deletionReturnsToSettingsWithTheRefreshedList()
    {
        QVERIFY(startModel(
            { TunnelFixture::session(u"s1"_s, u"Договор"_s), TunnelFixture::session(u"s2"_s, u"Иск"_s) }));
        QVERIFY(awaitTask(m_model->loadSessions()).finished);
        m_model->setSection(MainSection::sessions);
        m_model->setSelectedSession(m_model->sessions().first());
        const auto window = show(u"SessionsView"_s);
        ViewHarness::click(*window, *item(*window, u"deleteSessionButton"_s));
        QVERIFY(answer(*window, u"sessionDeleteDialog"_s, u"confirmDialogConfirm"_s));
        QTRY_COMPARE(m_model->section(), MainSection::settings);
        QVERIFY(!m_model->selectedSession());
        QCOMPARE(m_model->sessions().size(), 1);
        QCOMPARE(m_model->sessions().first().id, u"s2"_s);
    }

    void revealShowsTheBusyLabelThenTheEmptyTable()
    {
        QVERIFY(startModel({ TunnelFixture::session(u"s1"_s, u"Договор"_s) }));
        QVERIFY(awaitTask(m_model->loadSessions()).finished);
        m_model->setSelectedSession(m_model->sessions().first());
        m_fixture->server().setOverride(QLatin1StringView(BuildConstants::sessionHost), 0, {}, 1000);
        const auto window = show(u"SessionsView"_s);
        auto *reveal = item(*window, u"revealButton"_s);
        auto *remove = item(*window, u"deleteSessionButton"_s);
        QCOMPARE(reveal->property("text").toString(), u"Показать данные"_s);
        QVERIFY(!item(*window, u"emptyMappingText"_s)->isVisible());

        ViewHarness::click(*window, *reveal);
        QTRY_COMPARE(reveal->property("text").toString(), u"Расшифровываем…"_s);
        QVERIFY(!remove->isEnabled());
        QTRY_VERIFY(item(*window, u"emptyMappingText"_s)->isVisible());
        QCOMPARE(item(*window, u"emptyMappingText"_s)->property("text").toString(),
            u"В этой сессии сохранённых замен нет."_s);
        QVERIFY(remove->isEnabled());
        ViewHarness::keepPicture(*window, u"session-revealed"_s);
    }

    void revealedOriginalsStayOffDiskAndOutOfTheLog()
    {
        const QString original = u"Лжеименов Вениамин, +7 000 555-44-33"_s;
        QVERIFY(startModel({ TunnelFixture::session(u"s1"_s, u"Договор"_s,
            { QJsonObject { { u"placeholder"_s, u"PERSON_1"_s }, { u"original"_s, original } } }) }));
        QVERIFY(awaitTask(m_model->loadSessions()).finished);
        m_model->setSelectedSession(m_model->sessions().first());
        capturedLog.clear();
        const QtMessageHandler previous = qInstallMessageHandler(captureMessage);
        {
            const auto window = show(u"SessionsView"_s);
            ViewHarness::click(*window, *item(*window, u"revealButton"_s));
            QTRY_VERIFY(item(*window, u"mappingOriginal"_s));
            QCOMPARE(item(*window, u"mappingOriginal"_s)->property("text").toString(), original);
            ViewHarness::click(*window, *item(*window, u"backToListButton"_s));
            QCOMPARE(m_model->section(), MainSection::settings);
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        qInstallMessageHandler(previous);
        QVERIFY(!capturedLog.join(u'\n').contains(original));

        QDirIterator files(Test::temporaryHome(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        int searched = 0;
        while (files.hasNext()) {
            QFile file(files.next());
            if (file.open(QIODevice::ReadOnly)) {
                ++searched;
                QVERIFY2(!file.readAll().contains(original.toUtf8()), qPrintable(file.fileName()));
            }
        }
        QVERIFY(searched > 0); // the data directory's files at least
    }

    void failedSessionDeletionIsSilentAndTheRowStays()
    {
        QVERIFY(startModel({ TunnelFixture::session(u"s1"_s, u"Договор"_s) }));
        m_model->open(MainSection::settings);
        QVERIFY(idle(m_model.get()));
        const auto window = show(u"SettingsView"_s);
        m_fixture->server().setOverride(QLatin1StringView(BuildConstants::sessionHost), 500);
        ViewHarness::click(*window, *item(*window, u"sessionDeleteButton"_s));
        QVERIFY(answer(*window, u"sessionDeleteDialog"_s, u"confirmDialogConfirm"_s));
        QVERIFY(screenIdle(*window));
        QCOMPARE(requestsTo(BuildConstants::sessionHost).size(), 1);
        QCOMPARE(item(*window, u"sessionRowTitle"_s)->property("text").toString(), u"Договор"_s);
        QVERIFY(!item(*window, u"sessionsNotice"_s)->isVisible());
        QCOMPARE(m_model->message(), QString());
    }

    // Over the list: why it is missing, or that it is still empty; the pager steps a page at a
    // time and stops at both ends.
    void sessionListNoticeAndPager()
    {
        m_model = ViewHarness::makeModel();
        m_model->setAccountLoaded(true);
        const auto window = show(u"SettingsView"_s);
        const auto shown
            = [&](const char *name) { return item(*window, QLatin1StringView(name))->isVisible(); };
        const auto pager = [&] { return item(*window, u"pagerText"_s)->property("text").toString(); };
        QCOMPARE(item(*window, u"sessionsNotice"_s)->property("text").toString(),
            u"Сессии появятся после первого защищённого запроса."_s);

        QList<ProtectedSession> sessions(23);
        for (qsizetype index = 0; index < sessions.size(); ++index)
            sessions[index].id = QString::number(index);
        m_model->setSessions(sessions, u"Сервер защиты не ответил."_s);
        QCOMPARE(
            item(*window, u"sessionsNotice"_s)->property("text").toString(), u"Сервер защиты не ответил."_s);
        QVERIFY(!shown("sessionsPager") && !item(*window, u"sessionRowTitle"_s));

        m_model->setSessions(sessions);
        QVERIFY(!shown("sessionsNotice") && shown("sessionsPager"));
        QCOMPARE(ViewHarness::items(window->contentItem(), u"sessionRowTitle"_s).size(), 10);
        auto *back = item(*window, u"pagerBackButton"_s);
        auto *forward = item(*window, u"pagerForwardButton"_s);
        QVERIFY(!back->isEnabled() && forward->isEnabled());
        ViewHarness::click(*window, *forward);
        ViewHarness::click(*window, *forward);
        QCOMPARE(pager(), u"Страница 3 из 3 · сессий: 23"_s);
        QVERIFY(back->isEnabled() && !forward->isEnabled());
        ViewHarness::click(*window, *forward);
        QCOMPARE(pager(), u"Страница 3 из 3 · сессий: 23"_s);
        ViewHarness::click(*window, *back);
        QCOMPARE(pager(), u"Страница 2 из 3 · сессий: 23"_s);
    }

    void purgeAsksFirstAndCancelSendsNothing()
    {
        QVERIFY(startModel({}));
        const auto window = show(u"SettingsView"_s);
        ViewHarness::click(*window, *item(*window, u"purgeButton"_s));
        QVERIFY(answer(*window, u"purgeDialog"_s, u"confirmDialogCancel"_s));
        QCOMPARE(m_model->message(), QString());

        // Confirmed, exactly one request goes out: none came from the cancelled dialog.
        ViewHarness::click(*window, *item(*window, u"purgeButton"_s));
        QVERIFY(answer(*window, u"purgeDialog"_s, u"confirmDialogConfirm"_s));
        QTRY_COMPARE(m_model->message(), u"Карта замен удалена."_s);
        QCOMPARE(requestsTo(BuildConstants::purgeHost).size(), 1);
    }

    // Opened from the header, the screen's settings read must have answered before anything can
    // be edited or saved: otherwise a save would write the defaults over the server's settings.
    void settingsAreSavedOnlyOverTheServersOwn_data()
    {
        QTest::addColumn<int>("readStatus"); // 0 for the usual answer
        QTest::addRow("read answered") << 0;
        QTest::addRow("read failed") << 500;
    }

    void settingsAreSavedOnlyOverTheServersOwn()
    {
        QFETCH(int, readStatus);
        const bool answered = readStatus == 0;
        QVERIFY(startModel({}));
        // "Never" and a category this client does not know: a save must keep both.
        const QJsonObject stored { { u"retention_days"_s, 0 }, { u"cross_session"_s, true },
            { u"disabled_categories"_s, QJsonArray { u"faces"_s, u"secrets"_s } } };
        m_fixture->server().setSettings(stored);
        m_fixture->server().setOverride(QLatin1StringView(BuildConstants::statusHost), readStatus);
        m_fixture->server().clearRequests();
        const auto window = show(u"MainView"_s);
        const QStringList editors { u"settingsSaveButton"_s, u"categoryToggle_network"_s,
            u"retentionPicker"_s, u"crossSessionToggle"_s };
        QStringList enabledWhileReading;
        QObject reading;
        connect(&m_fixture->server(), &Tools::ProtectionServer::requestReceived, &reading, [&] {
            if (m_fixture->server().requests().last().url.host()
                != QLatin1StringView(BuildConstants::statusHost))
                return;
            for (const QString &name : editors) {
                if (item(*window, name)->isEnabled())
                    enabledWhileReading << name;
            }
        });
        ViewHarness::click(*window, *item(*window, u"settingsSectionButton"_s));
        QVERIFY(idle(m_model.get()) && screenIdle(*window));
        QCOMPARE(requestsTo(BuildConstants::statusHost).size(), 1);
        QCOMPARE(enabledWhileReading, QStringList());
        for (const QString &name : editors)
            QVERIFY2(item(*window, name)->isEnabled() == answered, qPrintable(name));

        ViewHarness::click(*window, *item(*window, u"categoryToggle_network"_s));
        ViewHarness::click(*window, *item(*window, u"crossSessionToggle"_s));
        if (answered) // a choice from the picker's list, as its popup reports one: "7 дней"
            QMetaObject::invokeMethod(item(*window, u"retentionPicker"_s), "activated", Q_ARG(int, 0));
        QVERIFY(requestsTo(BuildConstants::configHost).isEmpty());
        ViewHarness::click(*window, *item(*window, u"settingsSaveButton"_s));
        // A save the clicks started has had its answer once the model is idle.
        QVERIFY(idle(m_model.get()));
        QCOMPARE(requestsTo(BuildConstants::configHost).size(), answered ? 1 : 0);
        QJsonObject expected = stored;
        if (answered) {
            QCOMPARE(m_model->message(), u"Настройки сохранены."_s);
            expected[u"disabled_categories"_s] = QJsonArray { u"faces"_s, u"secrets"_s, u"network"_s };
            expected[u"cross_session"_s] = false;
            expected[u"retention_days"_s] = 7;
        }
        QCOMPARE(m_fixture->server().settings(), expected);
    }

    // Edits wait for "Сохранить": opening the section again reads the settings anew but keeps
    // them; "Отмена" drops them.
    void editsOutliveAReadUntilCancelled()
    {
        QVERIFY(startModel({}));
        m_fixture->server().clearRequests();
        const auto window = show(u"MainView"_s);
        const auto openSettings = [&] {
            ViewHarness::click(*window, *item(*window, u"settingsSectionButton"_s));
            return idle(m_model.get()) && m_model->settingsLoaded();
        };
        const auto networkReplaced
            = [&] { return item(*window, u"categoryToggle_network"_s)->property("checked").toBool(); };
        QVERIFY(openSettings());
        ViewHarness::click(*window, *item(*window, u"categoryToggle_network"_s));
        ViewHarness::click(*window, *item(*window, u"sectionBackButton"_s));
        QVERIFY(openSettings());
        QCOMPARE(requestsTo(BuildConstants::statusHost).size(), 2);
        QVERIFY(!networkReplaced());

        ViewHarness::click(*window, *item(*window, u"settingsCancelButton"_s));
        QCOMPARE(m_model->section(), MainSection::protection);
        QVERIFY(openSettings());
        QVERIFY(networkReplaced());
        QVERIFY(requestsTo(BuildConstants::configHost).isEmpty());
    }

    // Markup in a title or message is shown as the characters it is made of: read as rich text,
    // an image it names would be fetched straight from the network, outside the proxies.
    void serverTextIsShownAsPlainText_data()
    {
        QTest::addColumn<QString>("view");
        QTest::addColumn<QString>("shownBy");
        QTest::addRow("session list") << u"SettingsView"_s << u"sessionRowTitle"_s;
        QTest::addRow("session detail") << u"SessionsView"_s << u"sessionTitle"_s;
        QTest::addRow("footer message") << u"MainView"_s << u"mainFooterMessage"_s;
    }

    void serverTextIsShownAsPlainText()
    {
        QFETCH(QString, view);
        QFETCH(QString, shownBy);
        // Notes what was asked for and answers every request with "not found".
        QTcpServer images;
        QVERIFY(images.listen(QHostAddress::LocalHost));
        QByteArray received;
        connect(&images, &QTcpServer::newConnection, &images, [&] {
            while (QTcpSocket *socket = images.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, &images, [&, socket] {
                    const QByteArray request = socket->property("request").toByteArray() + socket->readAll();
                    socket->setProperty("request", request);
                    if (!request.endsWith("\r\n\r\n"))
                        return;
                    received += request;
                    socket->write("HTTP/1.1 404 Not Found\r\nConnection: close\r\nContent-Length: 0\r\n\r\n");
                    socket->disconnectFromHost();
                });
            }
        });
        const auto image = [&](const char *name) {
            return u"http://127.0.0.1:%1/%2"_s.arg(images.serverPort()).arg(QLatin1StringView(name));
        };
        const QString hostile = u"<img src=\"%1\">"_s.arg(image("title.png"));
        m_model = ViewHarness::makeModel();
        m_model->setAccountLoaded(true);
        ProtectedSession session;
        session.id = u"s1"_s;
        session.title = hostile;
        m_model->setSessions({ session });
        m_model->setSelectedSession(session);
        m_model->setMessage(hostile);

        const auto window = show(view);
        QCOMPARE(item(*window, shownBy)->property("text").toString(), hostile);
        QCOMPARE(textsReadAsMarkup(window->contentItem()).join(u" | "_s), QString());
        // A picture from the same server, asked for the way rich text asks for one: once its
        // answer has come, a fetch the view started would have arrived before it.
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"proof\\.png.*Not Found"_s));
        const auto proof = m_harness.showSource(
            u"import QtQuick\nImage { source: '%1' }"_s.arg(image("proof.png")), QSize(40, 40));
        QTRY_COMPARE(
            proof->contentItem()->childItems().value(0)->property("status").toInt(), 3); // Image.Error
        QVERIFY(received.contains("/proof.png"));
        QVERIFY(!received.contains("/title.png"));
    }
};

QTEST_MAIN(SettingsViewsTest)
#include "tst_SettingsViews.moc"
