#pragma once

// The filter's scripting parameters: the values the host's action recorder
// stores for a run, read at start and written at finish through the host's
// descriptor procedures.

#include "host/abi.h"
#include "host/lookFields.h"
#include "platform/result.h"
#include "render/settings.h"

#include <cstdint>

namespace lakra {

// The format version key; the look's keys are in host/lookFields.h.
inline constexpr DescriptorKeyID kScriptKeyVersion = fourCharCode("Vers");
inline constexpr DescriptorKeyID kScriptKeyGlue = fourCharCode("GLUE");

// The key of parameter 1..20 ("0001", ..., "GLUE" for 14, ..., "0020"); 0
// outside that range.
[[nodiscard]] DescriptorKeyID scriptKey(int32_t number);

// The host offers usable descriptor procedures: the parameters block of
// version 0 and both tables of version 0, the read table with all 18
// procedures, the write table with at least 16. A host that leaves a table
// out, reports a count of 0 or nulls a procedure gets no scripting. The host
// signature plays no part here.
[[nodiscard]] bool scriptingAvailable(const FilterRecord& record);

// The host holds recorded values for this run: scripting is available, the
// host is not one whose descriptors are ignored (PSP8, PSP9) and a reader
// opens on its descriptor. Decides whether the cached look is loaded at start.
[[nodiscard]] bool descriptorPresent(const FilterRecord& record);

// Replaces the look with the recorded one: the defaults first, then every
// key the descriptor carries. Consumes the host's descriptor handle. Sets
// *showDialog from the host's play mode unless scripting is off, in which
// case nothing changes. Returns the reader's close result unless it only
// reports a missing key; the caller passes it to the host.
[[nodiscard]] Result readScriptParameters(FilterRecord& record, Settings* settings,
                                          bool* showDialog);

// Records the look as the run's descriptor, for every finish: the version,
// the twenty terminology keys and the exact water colour. Stores the
// current format version in settings. Returns the writer's close result.
[[nodiscard]] Result writeScriptParameters(FilterRecord& record, Settings* settings);

} // namespace lakra
