#pragma once

namespace Vetron {

// The section the main window shows. It has no text form and is never stored or sent.
enum class MainSection {
    protection,
    account,
    sessions,
    updates,
    settings,
};

} // namespace Vetron
