#include "host/ui.h"

namespace lakra {

namespace {

RefusalHandler gRefusalHandler = nullptr;
bool gAboutOpen = false;
UrlOpener gUrlOpener = nullptr;

} // namespace

void setRefusalHandler(RefusalHandler handler) {
    gRefusalHandler = handler;
}

void setUrlOpener(UrlOpener opener) {
    gUrlOpener = opener;
}

void openUrl(const char* url) {
    if (gUrlOpener != nullptr) {
        gUrlOpener(url);
    } else {
        platformOpenUrl(url);
    }
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
