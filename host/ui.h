#pragma once

namespace lakra {

// The plug-in's own messages to the user.
enum class Refusal {
    HostInsufficient, // the host lacks what the filter needs (REFUSAL2)
    Multichannel,     // multichannel images cannot be filtered (REFUSAL3)
    UnsupportedMode,  // neither grey nor RGB
};

// Shows a refusal modally, owned by the host's window when there is one.
void showRefusal(Refusal refusal);
// The about box; a second call while one is open does nothing.
void showAbout();

// Tests and the command-line host replace the messages with their own.
using RefusalHandler = void (*)(Refusal refusal);
void setRefusalHandler(RefusalHandler handler); // nullptr: the platform's own

// Opens the maker's web page from the about box; tests replace it to see
// whether a page would open (nullptr: the platform shell).
using UrlOpener = void (*)(const char* url);
void setUrlOpener(UrlOpener opener);
void openUrl(const char* url);

// The platform's implementation (host/win32 or host/posix).
void platformShowRefusal(Refusal refusal);
void platformShowAbout();
void platformOpenUrl(const char* url);

} // namespace lakra
