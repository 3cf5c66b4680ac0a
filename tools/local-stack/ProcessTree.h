#pragma once

#include <QList>

#include <sys/types.h>

// What Linux's /proc tells about other processes, for stopping, and checking that one stopped,
// what a process started: descendants it no longer waits for, such as sessions that went off on
// their own.
namespace Vetron::LocalStack::ProcessTree {

// Every process below `root`, children before their children. Empty where there is no /proc.
QList<pid_t> descendantsOf(pid_t root);

// Every live process that has `argument` among its command-line arguments.
QList<pid_t> withArgument(const QByteArray &argument);

// Whether `pid` has ended. A zombie counts as ended: it has closed its sockets and files, and
// only waits for its parent to reap it.
bool hasEnded(pid_t pid);

} // namespace Vetron::LocalStack::ProcessTree
