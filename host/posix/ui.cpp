#include "host/ui.h"

#include "platform/platform.h"

namespace lakra {

void platformShowRefusal(Refusal refusal) {
    switch (refusal) {
    case Refusal::HostInsufficient:
        messageBox("Plug-in error",
                   "The filter cannot run because your paint program does not support enough of "
                   "the Photoshop 3.0 plug-in standard.",
                   MessageIcon::Error);
        break;
    case Refusal::Multichannel:
        messageBox("Plug-in error", "Lakra cannot run on multichannel images.",
                   MessageIcon::Warning);
        break;
    case Refusal::UnsupportedMode:
    default:
        messageBox("Plug-in error", "Lakra runs on greyscale and RGB images only.",
                   MessageIcon::Warning);
        break;
    }
}

void platformShowAbout() {
    messageBox("About Lakra", "Lakra: draws lying water.\nKestrovane", MessageIcon::Information);
}

void platformOpenUrl(const char*) {
    // No shell to ask on the command line; the about text names the maker.
}

} // namespace lakra
