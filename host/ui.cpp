#include "host/ui.h"

namespace lakra {

namespace {

RefusalHandler gRefusalHandler = nullptr;
bool gAboutOpen = false;

} // namespace

void setRefusalHandler(RefusalHandler handler) {
    gRefusalHandler = handler;
}

void showRefusal(Refusal refusal) {
    if (gRefusalHandler != nullptr) {
        gRefusalHandler(refusal);
    } else {
        platformShowRefusal(refusal);
    }
}

void showAbout() {
    if (gAboutOpen) {
        return;
    }
    gAboutOpen = true;
    platformShowAbout();
    gAboutOpen = false;
}

} // namespace lakra
