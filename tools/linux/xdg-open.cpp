// Stand-in for xdg-open, limited to opening one folder:
//   xdg-open <folder>
// It opens nothing; the call is logged to <state>/xdg-open.log as a JSON array of its arguments,
// and a folder that does not exist fails as the real one does.

#include "StandInState.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;
using namespace Vetron::StandIn;

int main(int argc, char **argv)
{
    return runStandIn(argc, argv, u"xdg-open"_s, [](const QString &, const QStringList &arguments) {
        if (arguments.size() != 1 || !QFileInfo(arguments.first()).isDir()) {
            printError(u"xdg-open: file '%1' does not exist\n"_s.arg(arguments.value(0)));
            return 2;
        }
        return 0;
    });
}
