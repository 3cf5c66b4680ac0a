// Measures the client against the bare tools on the same local stack and prints one table.
// Every figure is the median of several runs, taken side by side with its floor in the same run,
// so that the ratios hold on a noisy machine. Usage: vetron-bench [--runs N] [--idle SECONDS]

#include "App/AppModel.h"
#include "App/DeveloperBuild.h"
#include "App/LicenseAgreement.h"
#include "BuildConstants.h"
#include "ClientProcess.h"
#include "Foundation/ClientPaths.h"
#include "Foundation/JsonCodec.h"
#include "Foundation/ScriptQuoting.h"
#include "PrivateSystemBus.h"
#include "ProcessTree.h"
#include "Protection/NetworksetupOutput.h"
#include "Protection/TunnelProcess.h"
#include "Stack.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoroProcess>
#include <QCoroTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <QUuid>

#include <algorithm>
#include <csignal>

#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace Vetron;
using namespace std::chrono_literals;

namespace {

QElapsedTimer clock_;

double now()
{
    return double(clock_.nsecsElapsed()) / 1e9;
}

double median(QList<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const qsizetype middle = values.size() / 2;
    return values.size() % 2 ? values.at(middle) : (values.at(middle - 1) + values.at(middle)) / 2;
}

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

void say(const QString &line)
{
    QTextStream(stderr) << line << Qt::endl;
}

// Suspends until `done` holds, looking every 2 ms, at most `limit`. Whether it came to hold.
QCoro::Task<bool> until(std::function<bool()> done, std::chrono::milliseconds limit)
{
    QElapsedTimer waited;
    waited.start();
    while (!done()) {
        if (waited.elapsed() > limit.count())
            co_return false;
        co_await QCoro::sleepFor(2ms);
    }
    co_return true;
}

struct ToolResult
{
    int exitCode = -1;
    QByteArray output;
};

QCoro::Task<ToolResult> runTool(QString program, QStringList arguments, QProcessEnvironment environment = {})
{
    QProcess process;
    if (!environment.isEmpty())
        process.setProcessEnvironment(environment);
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start();
    co_await qCoro(process).waitForFinished(60s);
    co_return ToolResult { process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
        process.readAllStandardOutput() };
}

// CPU seconds (user and system) a process has used so far, from /proc.
double cpuSeconds(pid_t pid)
{
    QFile stat(u"/proc/%1/stat"_s.arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = stat.readAll();
    // The fields after the command name, which is in parentheses and may hold blanks.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return 0;
    return double(fields.at(11).toLongLong() + fields.at(12).toLongLong()) / double(::sysconf(_SC_CLK_TCK));
}

// Resident memory in MB, from /proc.
double residentMegabytes(pid_t pid)
{
    QFile status(u"/proc/%1/status"_s.arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
    }
    return 0;
}

struct Row
{
    QString measure;
    QString value;
    QString budget;
    bool met = true;
};

QString seconds(double value)
{
    return u"%1 с"_s.arg(value, 0, 'f', 3);
}

class Bench : public QObject
{
public:
    Bench(int runs, int idleSeconds)
        : m_runs(runs)
        , m_idleSeconds(idleSeconds)
    {
    }

    QCoro::Task<int> run();

private:
    bool prepare();
    QCoro::Task<bool> enroll();
    QCoro::Task<double> protectByHand();
    QCoro::Task<double> curlStatus(const QString &query = {});
    QCoro::Task<double> unavoidableToolRuns();
    QCoro::Task<> measureProtection();
    QCoro::Task<> measureClientProcess();
    QCoro::Task<> measurePreviews();
    QCoro::Task<std::pair<double, double>> idle(LocalStack::ClientProcess &client);
    std::unique_ptr<LocalStack::ClientProcess> client(const QStringList &arguments);
    void print();

    QStringList curlProxy() const
    {
        return { u"-s"_s, u"-m"_s, u"2"_s, u"-x"_s, u"http://127.0.0.1:%1"_s.arg(m_config.localPort) };
    }

    int m_runs;
    int m_idleSeconds;
    QTemporaryDir m_run;
    QTemporaryDir m_profile;
    std::unique_ptr<LocalStack::Stack> m_stack;
    LocalStack::PrivateSystemBus m_bus;
    std::unique_ptr<AppModel> m_model;
    ClientConfig m_config;
    QString m_mapKey;
    QList<std::pair<ProtectionState, double>> m_states; // the model's states as they came
    QList<Row> m_rows;
};

bool Bench::prepare()
{
    // The in-process model and the client processes share one private profile.
    const QDir home(m_profile.path());
    const QList<std::pair<const char *, QString>> folders { { "XDG_CONFIG_HOME", u".config"_s },
        { "XDG_DATA_HOME", u".local/share"_s }, { "XDG_CACHE_HOME", u".cache"_s },
        { "XDG_STATE_HOME", u".local/state"_s } };
    qputenv("HOME", QFile::encodeName(m_profile.path()));
    for (const auto &[variable, folder] : folders) {
        home.mkpath(folder);
        qputenv(variable, QFile::encodeName(home.filePath(folder)));
    }
    home.mkpath(u"Library/Keychains"_s);

    m_stack = std::make_unique<LocalStack::Stack>(
        LocalStack::Stack::Options { m_run.path(), {}, {}, {}, QStringLiteral(VETRON_STANDIN_DIR) });
    if (!m_stack->start()) {
        say(u"Локальные службы не запустились: "_s + m_stack->error());
        return false;
    }
    if (!m_bus.start()) {
        say(u"Системная шина не запустилась: "_s + m_bus.error());
        return false;
    }
    qputenv("VETRON_STANDIN_STATE", QFile::encodeName(m_stack->standInStateDirectory()));
    return true;
}

QCoro::Task<bool> Bench::enroll()
{
    QString problem;
    const auto developer = DeveloperBuild::fromStackFolder(m_run.path(), &problem);
    AppModel::Options options;
    if (!developer || !DeveloperBuild::apply(*developer, options.environment, &problem)) {
        say(u"Сборка не принимает локальные службы: "_s + problem);
        co_return false;
    }
    // Accepted once, as a user does on the first start: the window then opens on the main screen.
    LicenseAgreement::accept();
    m_model = std::make_unique<AppModel>(false, std::move(options));
    connect(m_model.get(), &AppModel::stateChanged, this, [this]() {
        m_states.append({ m_model->state(), now() });
    });
    co_await m_model->activate(m_stack->oneTimeKey());
    if (!co_await until([this]() { return m_model->state() == ProtectionState::protected_; }, 60s)) {
        say(u"Защита не включилась после активации: "_s + m_model->detail() + u' ' + m_model->message());
        co_return false;
    }
    m_config = decodeJson<ClientConfig>([] {
        QFile file(ClientPaths::config());
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }());
    QFile key(ClientPaths::mapKey());
    key.open(QIODevice::ReadOnly);
    m_mapKey = QString::fromUtf8(key.readAll()).trimmed();
    co_return true;
}

// One GET of the status pseudo-host through the tunnel with curl: its duration, or a negative
// value when no answer came (or the answer lacks `query`'s nonce).
QCoro::Task<double> Bench::curlStatus(const QString &query)
{
    const double start = now();
    const QString address = u"http://"_s + QLatin1StringView(BuildConstants::statusHost) + u"/"_s
        + (query.isEmpty() ? QString() : u"?"_s + query);
    const ToolResult result = co_await runTool(u"curl"_s, curlProxy() << address);
    const bool answered = result.exitCode == 0 && result.output.contains("map_unlocked")
        && (query.isEmpty() || result.output.contains(query.section(u'=', 1).toUtf8()));
    co_return answered ? now() - start : -1;
}

// The floor: the same work by hand. ssh with the client's own arguments, the status pseudo-host
// polled through the forward until it answers, one unlock POST, polled until unlocked.
QCoro::Task<double> Bench::protectByHand()
{
    const double start = now();
    QProcess ssh;
    ssh.setProgram(u"/usr/bin/ssh"_s);
    ssh.setArguments(TunnelProcess::sshArguments(m_config));
    ssh.setStandardInputFile(QProcess::nullDevice());
    ssh.setStandardOutputFile(QProcess::nullDevice());
    ssh.setStandardErrorFile(QProcess::nullDevice());
    ssh.start();
    co_await qCoro(ssh).waitForStarted();

    double took = -1;
    const QString nonce = u"nonce="_s + QUuid::createUuid().toString(QUuid::Id128);
    for (int tries = 0; tries < 500 && ssh.state() == QProcess::Running; ++tries) {
        if (co_await curlStatus(nonce) >= 0)
            break;
        co_await QCoro::sleepFor(20ms);
    }
    const ToolResult unlocked = co_await runTool(u"curl"_s,
        curlProxy() << u"-X"_s << u"POST"_s << u"-H"_s << u"X-Anon-Key: "_s + m_mapKey
                    << u"http://"_s + m_config.unlockHost + u"/"_s);
    if (unlocked.exitCode == 0) {
        for (int tries = 0; tries < 100; ++tries) {
            const ToolResult status = co_await runTool(u"curl"_s,
                curlProxy() << u"http://"_s + QLatin1StringView(BuildConstants::statusHost) + u"/"_s);
            if (status.output.contains("\"map_unlocked\":true")
                || status.output.contains("\"map_unlocked\": true")) {
                took = now() - start;
                break;
            }
            co_await QCoro::sleepFor(20ms);
        }
    }
    ssh.kill();
    co_await qCoro(ssh).waitForFinished();
    // The next run begins from a locked map, as the client's does after a server restart.
    m_stack->protectionServer().setMapUnlocked(false);
    co_return took;
}

// The tool runs a switch-on cannot avoid, on a copy of the stand-ins' state: the listing, one
// round of reads side by side, the privileged script.
QCoro::Task<double> Bench::unavoidableToolRuns()
{
    QTemporaryDir scratch;
    const QDir source(m_stack->standInStateDirectory());
    for (const QString &name : source.entryList(QDir::Files))
        QFile::copy(source.filePath(name), QDir(scratch.path()).filePath(name));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"VETRON_STANDIN_STATE"_s, scratch.path());
    const QString networksetup = QStringLiteral(VETRON_STANDIN_DIR) + u"/networksetup"_s;

    const double start = now();
    const QStringList listingArguments { u"-listallnetworkservices"_s };
    const ToolResult listing = co_await runTool(networksetup, listingArguments, environment);
    const QStringList services = NetworksetupOutput::serviceNames(QString::fromUtf8(listing.output));
    const QStringList readOptions { u"-getwebproxy"_s, u"-getsecurewebproxy"_s, u"-getproxybypassdomains"_s };
    std::vector<QCoro::Task<ToolResult>> reads;
    for (const QString &service : services) {
        for (const QString &option : readOptions)
            reads.push_back(runTool(networksetup, QStringList() << option << service, environment));
    }
    for (auto &read : reads)
        co_await std::move(read);
    QStringList lines { u"set -e"_s };
    const QString target = u" 127.0.0.1 %1"_s.arg(m_config.localPort);
    for (const QString &service : services) {
        const QString quoted = ScriptQuoting::shellQuoted(service);
        lines << networksetup + u" -setwebproxy "_s + quoted + target
              << networksetup + u" -setsecurewebproxy "_s + quoted + target
              << networksetup + u" -setwebproxystate "_s + quoted + u" on"_s
              << networksetup + u" -setsecurewebproxystate "_s + quoted + u" on"_s;
    }
    const QStringList scriptArguments { u"-e"_s, ScriptQuoting::appleScriptFor(lines.join(u"; "_s)) };
    co_await runTool(QStringLiteral(VETRON_STANDIN_DIR) + u"/osascript"_s, scriptArguments, environment);
    co_return now() - start;
}

QCoro::Task<> Bench::measureProtection()
{
    // From protected (after enrollment) to off: the first measured switch-on starts from scratch.
    co_await m_model->toggle();
    co_await until([this]() { return m_model->state() == ProtectionState::disabled; }, 30s);

    QList<double> switchOn, floor, tools, recovery, control, curl;
    for (int run = 0; run < m_runs; ++run) {
        say(u"Замер %1 из %2…"_s.arg(run + 1).arg(m_runs));
        floor << co_await protectByHand();
        tools << co_await unavoidableToolRuns();

        const double start = now();
        const qsizetype from = m_states.size();
        co_await m_model->toggle();
        if (!co_await until([this]() { return m_model->state() == ProtectionState::protected_; }, 60s)) {
            say(u"Защита не включилась: "_s + m_model->detail());
            co_return;
        }
        const auto reached = std::find_if(m_states.cbegin() + from, m_states.cend(),
            [](const auto &entry) { return entry.first == ProtectionState::protected_; });
        switchOn << reached->second - start;

        // Control requests: the client's against curl's, alternately.
        for (int request = 0; request < 3; ++request) {
            const double sent = now();
            [[maybe_unused]] const ProtectionSettings settings
                = co_await m_model->findChild<TunnelService *>()->settings();
            control << now() - sent;
            curl << co_await curlStatus();
        }

        // Recovery: ssh killed outright.
        co_await QCoro::sleepFor(300ms);
        const qsizetype before = m_states.size();
        const double killed = now();
        // The client's ssh, by the pid file it keeps for the clean-up after a crash.
        QFile pidFile(ClientPaths::sshPid());
        const qint64 ssh = pidFile.open(QIODevice::ReadOnly) ? pidFile.readAll().trimmed().toLongLong() : 0;
        if (ssh > 0)
            ::kill(pid_t(ssh), SIGKILL);
        const auto recovered = [this, before]() {
            bool left = false;
            for (qsizetype i = before; i < m_states.size(); ++i) {
                left = left || m_states.at(i).first != ProtectionState::protected_;
                if (left && m_states.at(i).first == ProtectionState::protected_)
                    return true;
            }
            return false;
        };
        if (!co_await until(recovered, 60s)) {
            say(u"Защита не вернулась после остановки ssh: "_s + m_model->detail());
            co_return;
        }
        recovery << m_states.last().second - killed;

        co_await m_model->toggle();
        co_await until([this]() { return m_model->state() == ProtectionState::disabled; }, 30s);
    }

    const double backOff = TunnelTimings().initialReconnectDelay * 1.2; // the longest first wait
    const double protectionBudget = median(floor) + median(tools) + 0.2;
    m_rows << Row { u"Включение защиты (вручную: ssh + curl %1; запуски инструментов %2)"_s.arg(
                        seconds(median(floor)), seconds(median(tools))),
        seconds(median(switchOn)), u"≤ "_s + seconds(protectionBudget),
        median(switchOn) <= protectionBudget };
    const double recoveryBudget = backOff + median(floor) + 0.3;
    m_rows << Row { u"Восстановление после SIGKILL ssh (первая пауза до %1)"_s.arg(seconds(backOff)),
        seconds(median(recovery)), u"≤ "_s + seconds(recoveryBudget), median(recovery) <= recoveryBudget };
    m_rows << Row { u"Запрос настроек (curl через тот же туннель %1)"_s.arg(seconds(median(curl))),
        seconds(median(control)), u"≤ "_s + seconds(1.2 * median(curl)),
        median(control) <= 1.2 * median(curl) };
}

// Kills the client outright, and the ssh it leaves behind, so that the next run starts clean.
void stop(std::unique_ptr<LocalStack::ClientProcess> &client)
{
    if (!client)
        return;
    const QString key = client->dataDirectory() + u"/anontun"_s;
    client.reset();
    for (const pid_t ssh : LocalStack::ProcessTree::withArgument(QFile::encodeName(key)))
        ::kill(ssh, SIGKILL);
}

std::unique_ptr<LocalStack::ClientProcess> Bench::client(const QStringList &arguments)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"DBUS_SYSTEM_BUS_ADDRESS"_s, m_bus.address());
    auto process = std::make_unique<LocalStack::ClientProcess>(
        QStringLiteral(VETRON_CLIENT), m_profile.path(), environment);
    process->start(QStringList { u"--local-stack"_s, m_run.path() } + arguments);
    return process;
}

// CPU share of one core over the idle time and the largest resident memory seen, looked at in
// five windows (the share of each window is printed for the record).
QCoro::Task<std::pair<double, double>> Bench::idle(LocalStack::ClientProcess &client)
{
    co_await QCoro::sleepFor(3s); // start-up work settles
    QStringList shares;
    double memory = 0;
    const auto window = std::chrono::milliseconds(m_idleSeconds * 1000 / 5);
    const double cpuAtStart = cpuSeconds(client.pid());
    const double start = now();
    for (int part = 0; part < 5; ++part) {
        const double cpuBefore = cpuSeconds(client.pid());
        const double before = now();
        co_await QCoro::sleepFor(window);
        shares << QString::number((cpuSeconds(client.pid()) - cpuBefore) / (now() - before) * 100, 'f', 2);
        memory = std::max(memory, residentMegabytes(client.pid()));
    }
    const double share = (cpuSeconds(client.pid()) - cpuAtStart) / (now() - start) * 100;
    say(u"  по окнам, %: "_s + shares.join(u", "_s));
    co_return std::pair { share, memory };
}

QCoro::Task<> Bench::measureClientProcess()
{
    const QString protectedLine = u"Ветрон: protected — "_s;
    const auto reportsProtected = [](LocalStack::ClientProcess &process) {
        return std::any_of(process.reports().cbegin(), process.reports().cend(),
            [](const QString &line) { return line.startsWith(u"Ветрон: protected — "_s); });
    };

    // Hidden: the usual life of the client, protected in the menu bar.
    {
        say(u"Простой со скрытым окном…"_s);
        auto hidden = client({ u"--hidden"_s });
        if (!co_await until([&]() { return reportsProtected(*hidden); }, 60s)) {
            say(u"Защита не включилась: "_s + QString::fromUtf8(hidden->output()));
            co_return;
        }
        const auto [share, memory] = co_await idle(*hidden);
        m_rows << Row { u"Простой %1 с, окно скрыто, защита включена: процессор"_s.arg(m_idleSeconds),
            u"%1 %"_s.arg(share, 0, 'f', 3), u"< 0.1 %"_s, share < 0.1 };
        m_rows << Row { u"…память"_s, u"%1 МБ"_s.arg(memory, 0, 'f', 1), QString(), true };
        stop(hidden);
    }

    // Start to first frame, then shown and protected, rings running.
    QList<double> firstFrame;
    for (int run = 0; run < m_runs; ++run) {
        const double start = now();
        auto shown = client({});
        if (!co_await until([&]() { return shown->output().contains("Ветрон: окно показано"); }, 30s)) {
            say(u"Окно не показалось: "_s + QString::fromUtf8(shown->output()));
            co_return;
        }
        firstFrame << now() - start;
        if (run + 1 < m_runs) {
            stop(shown);
            continue;
        }
        say(u"Простой с окном, защита включена…"_s);
        if (!co_await until([&]() { return reportsProtected(*shown); }, 60s)) {
            say(u"Защита не включилась: "_s + QString::fromUtf8(shown->output()));
            co_return;
        }
        const auto [share, memory] = co_await idle(*shown);
        m_rows << Row { u"Простой %1 с, окно показано, защита включена: процессор"_s.arg(m_idleSeconds),
            u"%1 %"_s.arg(share, 0, 'f', 2), u"< 2 %"_s, share < 2 };
        m_rows << Row { u"…память"_s, u"%1 МБ"_s.arg(memory, 0, 'f', 1), u"≤ 80 МБ"_s, memory <= 80 };
        stop(shown);
    }
    m_rows << Row { u"От запуска до первого кадра окна"_s, seconds(median(firstFrame)), QString(), true };

    // Shown, not protected: protection switched off (the tunnel's server stopped would keep
    // ssh starting again), here the device forgotten: the activation screen.
    say(u"Простой с окном, защита выключена…"_s);
    QDir(ClientPaths::root()).removeRecursively();
    auto off = client({});
    co_await until([&]() { return off->output().contains("Ветрон: окно показано"); }, 30s);
    const auto [share, memory] = co_await idle(*off);
    m_rows << Row { u"Простой %1 с, окно показано, защиты нет: процессор"_s.arg(m_idleSeconds),
        u"%1 %"_s.arg(share, 0, 'f', 2), QString(), true };
    m_rows << Row { u"…память"_s, u"%1 МБ"_s.arg(memory, 0, 'f', 1), u"≤ 80 МБ"_s, memory <= 80 };
    stop(off);
}

QCoro::Task<> Bench::measurePreviews()
{
    QList<double> took;
    bool allSeven = true;
    for (int run = 0; run < m_runs; ++run) {
        QTemporaryDir pictures;
        const double start = now();
        const QStringList arguments { u"--render-previews"_s, pictures.path() };
        const ToolResult result = co_await runTool(QStringLiteral(VETRON_CLIENT), arguments);
        took << now() - start;
        allSeven = allSeven && result.exitCode == 0
            && QDir(pictures.path()).entryList({ u"*.png"_s }, QDir::Files).size() == 7;
    }
    m_rows << Row { u"Семь картинок предпросмотра"_s + (allSeven ? QString() : u" (не все получились)"_s),
        seconds(median(took)), u"< 3 с"_s, allSeven && median(took) < 3 };
}

void Bench::print()
{
    qsizetype width = 0;
    for (const Row &row : std::as_const(m_rows))
        width = std::max(width, row.measure.size());
    out() << u"Медианы %1 замеров; сборка %2"_s.arg(m_runs).arg(QLatin1StringView(BuildConstants::version))
          << Qt::endl;
    for (const Row &row : std::as_const(m_rows)) {
        out() << row.measure.leftJustified(width + 2) << row.value.leftJustified(12)
              << row.budget.leftJustified(14)
              << (row.budget.isEmpty() ? QString()
                         : row.met     ? u"да"_s
                                       : u"НЕТ"_s)
              << Qt::endl;
    }
}

QCoro::Task<int> Bench::run()
{
    if (!prepare() || !co_await enroll())
        co_return 1;
    co_await measureProtection();
    m_model.reset();
    co_await measureClientProcess();
    co_await measurePreviews();
    print();
    const bool allMet = std::all_of(m_rows.cbegin(), m_rows.cend(), [](const Row &row) { return row.met; });
    co_return allMet ? 0 : 3;
}

} // namespace

int main(int argc, char *argv[])
{
    clock_.start();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    // The client's own name: its settings (the accepted agreement) are the ones the bench writes.
    QCoreApplication::setApplicationName(u"Vetron"_s);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"Замеры клиента рядом с ручной работой ssh и curl на локальных службах."_s);
    parser.addHelpOption();
    parser.addOption({ u"runs"_s, u"Замеров на каждую величину (не меньше 5)."_s, u"N"_s, u"5"_s });
    parser.addOption({ u"idle"_s, u"Секунд простоя на каждое состояние окна."_s, u"SECONDS"_s, u"30"_s });
    parser.process(application);

    Bench bench(std::max(1, parser.value(u"runs"_s).toInt()), std::max(5, parser.value(u"idle"_s).toInt()));
    int code = 1;
    [](Bench &bench, int &code) -> QCoro::Task<> {
        code = co_await bench.run();
        QCoreApplication::exit(code);
    }(bench, code);
    application.exec();
    return code;
}
