#pragma once

namespace lakra {

// One function per selector; each works on the current host context.
void doAbout();
void doParameters();
void doPrepare();
void doStart();
void doContinue();
void doFinish();

// Releases everything a run allocated: images, proxy, memory-dot map saved.
void cleanUpRun();

} // namespace lakra
