#include "Foundation/ProtectionState.h"

#include <array>

using namespace Qt::StringLiterals;

namespace Vetron {
namespace {

struct StateText
{
    ProtectionState state;
    QStringView text;
};

constexpr std::array stateTexts {
    StateText { ProtectionState::disabled, u"disabled" },
    StateText { ProtectionState::connecting, u"connecting" },
    StateText { ProtectionState::protected_, u"protected" },
    StateText { ProtectionState::blocked, u"blocked" },
};

} // namespace

QString toText(ProtectionState state)
{
    for (const StateText &entry : stateTexts) {
        if (entry.state == state)
            return entry.text.toString();
    }
    Q_UNREACHABLE();
    return {};
}

} // namespace Vetron
