#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// Plumbing shared by the stand-ins: the state directory, the call log, state files, output.
namespace Vetron::StandIn {

// EX_SOFTWARE: the stand-in cannot work because its state is missing or broken.
inline constexpr int brokenStateExitCode = 70;

// argv[1..] decoded from UTF-8.
QStringList arguments(int argc, char **argv);

// The absolute directory named by VETRON_STANDIN_STATE; prints a message to stderr and returns
// nothing when the variable is unset or not an absolute path.
std::optional<QString> stateDirectory();

// What a stand-in's call log holds: each call's arguments as a JSON array, or what the stand-in
// writes there itself (with appendLogLine on callLogPath).
enum class CallLog { arguments, byTool };

// The whole main() of a stand-in: takes argv[1..], finds the state directory (exit code 70 without
// it), logs the call to <state>/<tool>.log as a JSON array unless the tool logs for itself, and
// returns what `run` returns.
int runStandIn(int argc, char **argv, const QString &tool,
    const std::function<int(const QString &stateDirectory, const QStringList &arguments)> &run,
    CallLog log = CallLog::arguments);

// <state>/<tool>.log
QString callLogPath(const QString &stateDirectory, const QString &tool);

// Appends `json` and a line feed to the file with a single O_APPEND write, so lines of calls that
// run at the same time never mix.
void appendLogLine(const QString &path, const QByteArray &json);

QByteArray compactJson(const QJsonArray &array);
QByteArray compactJson(const QString &text);

// The JSON object in `path`; an empty object when the file does not exist, nothing (with a message
// on stderr) when it cannot be read or is not a JSON object.
std::optional<QJsonObject> readJsonObject(const QString &path);

// Replaces `path` with `object` through a temporary file and a rename; prints a message on failure.
bool writeJsonObject(const QString &path, const QJsonObject &object);

// Appends `value` to the JSON array in `path` (an empty array when the file does not exist), holding
// the flock on `lockPath` while it reads and replaces the file; prints a message on failure.
bool appendToJsonArray(const QString &path, const QString &lockPath, const QJsonValue &value);

// Unpacks the tar archive `archive` into the existing `directory` with /bin/tar, which keeps
// every entry inside it; false when tar fails (not an archive, a folder that cannot be written).
bool extractArchive(const QString &archive, const QString &directory);

// The non-empty lines of `path`, trimmed; empty when the file does not exist.
QStringList readLines(const QString &path);

void printOut(const QByteArray &bytes);
void printOut(const QString &text);
void printError(const QString &text);

// Holds an exclusive flock(2) on `path` (created if needed) for its lifetime, so that calls which
// read, change and write back a state file run one after another.
class StateLock
{
public:
    explicit StateLock(const QString &path);
    ~StateLock();
    StateLock(const StateLock &) = delete;
    StateLock &operator=(const StateLock &) = delete;

private:
    int m_descriptor = -1;
};

} // namespace Vetron::StandIn
