#pragma once

// The command-line host's side of scripting: descriptors held as ordered
// key/value lists, stored in host handles as bytes, and the descriptor read
// and write procedure tables that serve them to the plug-in.

#include "host/abi.h"

#include <cstdint>
#include <string>
#include <vector>

namespace lakra {

// One value of a descriptor. typeInteger and typeBoolean use integer,
// typeFloat and typeUnitFloat use number (and unit), typeEnumerated uses
// enumType and enumValue, typeClass uses enumValue, typeChar uses text.
struct DescriptorValue {
    DescriptorKeyID key = 0;
    DescriptorTypeID type = typeNull;
    int32_t integer = 0;
    double number = 0.0;
    DescriptorUnitID unit = 0;
    DescriptorTypeID enumType = 0;
    DescriptorEnumID enumValue = 0;
    std::string text;
};

using Descriptor = std::vector<DescriptorValue>;

[[nodiscard]] DescriptorValue integerValue(DescriptorKeyID key, int32_t value);
[[nodiscard]] DescriptorValue floatValue(DescriptorKeyID key, double value);
[[nodiscard]] DescriptorValue enumValue(DescriptorKeyID key, DescriptorTypeID type,
                                        DescriptorEnumID value);

// The host's tables: read version 0 with 18 procedures, write version 0 with 16.
void descriptorProcsFill(ReadDescriptorProcs* read, WriteDescriptorProcs* write);

// A new host handle holding the descriptor, or null when memory ran out.
[[nodiscard]] Handle descriptorToHandle(const Descriptor& descriptor);
// Decodes a host handle written by descriptorToHandle; false for anything else.
[[nodiscard]] bool descriptorFromHandle(Handle handle, Descriptor* descriptor);

// Readers and writers the plug-in opened and never closed.
int descriptorOpenCount();
void descriptorReleaseAll();

} // namespace lakra
