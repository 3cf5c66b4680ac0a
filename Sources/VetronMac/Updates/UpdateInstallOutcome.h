#pragma once

#include <QString>

namespace Vetron {

// How an installation ended: relaunching into the installed bundle, or failed with a message.
struct UpdateInstallOutcome
{
    enum class Kind { relaunching, failed };

    Kind kind = Kind::failed;
    QString bundlePath; // relaunching
    QString message;    // failed

    static UpdateInstallOutcome relaunching(QString bundle)
    {
        return { Kind::relaunching, std::move(bundle), {} };
    }
    static UpdateInstallOutcome failed(QString message) { return { Kind::failed, {}, std::move(message) }; }
};

} // namespace Vetron
