#pragma once

#include <cstdint>

#if defined(_WIN32)
#define LAKRA_EXPORT __declspec(dllexport)
#else
#define LAKRA_EXPORT __attribute__((visibility("default")))
#endif

// The one entry point a host calls, with a selector, its filter record (the
// about record for selector 0), the word in which the plug-in keeps its data
// between calls, and the result code.
// NOLINTNEXTLINE(readability-identifier-naming): the host's published name
extern "C" LAKRA_EXPORT void PluginMain(int16_t selector, void* record, intptr_t* data,
                                        int16_t* result) noexcept;
