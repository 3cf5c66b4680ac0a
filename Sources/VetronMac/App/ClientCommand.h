#pragma once

#include "Foundation/ProtectionState.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// What a command line or a later start asks of the running client over its per-user socket, and
// what it answers: one line each way, the request a verb's name, the answer a JSON object.
namespace Vetron::ClientCommand {

enum class Verb {
    show,   // bring the window forward
    status, // the protection state and its text
    on,     // switch protection on and wait for the outcome
    off,    // switch protection off and wait for the outcome
};

// Exit statuses of `vetron <verb>`.
inline constexpr int exitDone = 0;       // protected for status/on; done for off and show
inline constexpr int exitFailed = 1;     // the verb failed or the client did not answer
inline constexpr int exitNotRunning = 2; // no client is running for this user
inline constexpr int exitBlocked = 3;    // wanted but not working: nothing goes out directly
inline constexpr int exitOff = 4;        // protection is off
inline constexpr int exitConnecting = 5; // being switched on or reconnected
inline constexpr int exitUsage = 64;     // an argument the command line does not know

struct Answer
{
    ProtectionState state = ProtectionState::disabled;
    QString detail;
    // Whether the verb did what was asked (a cancelled password dialog, a failed switch-on or an
    // unknown request is false); `failure` says why.
    bool done = true;
    QString failure;

    friend bool operator==(const Answer &, const Answer &) = default;
};

// The verb a request line or a command-line argument names ("show", "status", "on", "off").
std::optional<Verb> verbNamed(QByteArrayView name);
QByteArray nameOf(Verb verb);

// One line without its newline; decode is nothing for a line that is no answer.
QByteArray encode(const Answer &answer);
std::optional<Answer> decode(const QByteArray &line);

// How the command line ends for `verb` given the client's answer.
int exitStatus(Verb verb, const Answer &answer);

// What the command line prints: the state's name and its text, and the reason of a failure.
QString report(Verb verb, const Answer &answer);

// The text of "vetron --help".
QString usage();

inline const QString notRunning
    = QStringLiteral("Ветрон не запущен. Запустите его, затем повторите команду.");
inline const QString noAnswer = QStringLiteral("Ветрон запущен, но не ответил.");

} // namespace Vetron::ClientCommand
