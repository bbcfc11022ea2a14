#pragma once

// A host's side of scripting, in memory: the descriptor read and write
// procedure tables and the handle procedures over descriptors held as
// ordered key/value lists.

#include "host/abi.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace lakra::testing {

// One value of a descriptor. typeInteger and typeBoolean use integer,
// typeFloat and typeUnitFloat use real (and unit), typeEnumerated uses
// enumType and enumValue.
struct DescriptorItem {
    DescriptorKeyID key = 0;
    DescriptorTypeID type = typeNull;
    int32_t flags = 0;
    int32_t integer = 0;
    double real = 0.0;
    DescriptorUnitID unit = 0;
    DescriptorTypeID enumType = 0;
    DescriptorEnumID enumValue = 0;
};

using Descriptor = std::vector<DescriptorItem>;

DescriptorItem integerItem(DescriptorKeyID key, int32_t value);
DescriptorItem floatItem(DescriptorKeyID key, double value);
DescriptorItem enumItem(DescriptorKeyID key, DescriptorTypeID enumType, DescriptorEnumID value);

// The host's procedures are plain function pointers with no context, so one
// host is current at a time: the one constructed last and not yet destroyed.
// It must stay where it was made (the tables point into it).
class FakeDescriptorHost {
public:
    FakeDescriptorHost();
    ~FakeDescriptorHost();
    FakeDescriptorHost(const FakeDescriptorHost&) = delete;
    FakeDescriptorHost& operator=(const FakeDescriptorHost&) = delete;

    // Publishes parameters and handleProcs in the record.
    void attach(FilterRecord& record);

    // A descriptor handle as the host would pass it; it lives until disposed
    // of through handleProcs or until the host goes.
    Handle makeDescriptor(const Descriptor& items);
    // The values of a live descriptor handle, or null.
    const Descriptor* contents(Handle handle) const;

    int liveHandles() const { return static_cast<int>(handles.size()); }

    // Tables as a well-behaved host fills them; tests may spoil them.
    PIDescriptorParameters parameters{};
    ReadDescriptorProcs readProcs{};
    WriteDescriptorProcs writeProcs{};
    HandleProcs handleProcs{};

    bool failOpenRead = false;
    bool failOpenWrite = false;

    int readersOpened = 0;
    int readersClosed = 0;
    int writersOpened = 0;
    int writersClosed = 0;
    int handlesDisposed = 0;
    int foreignDisposals = 0; // handles that were not live: freed twice or never made
    std::vector<DescriptorKeyID> lastKeyList; // as handed to the last open, terminator left off

    // Internals, reached by the host's procedures.
    struct HandleBody;
    struct Outcome;
    struct Reader;
    struct Writer;
    HandleBody* findHandle(Handle handle) const;
    Handle newHandle(int32_t bytes);
    void disposeHandle(Handle handle);
    Reader* findReader(PIReadDescriptor reader) const;
    PIReadDescriptor openReader(Handle descriptor, DescriptorKeyID* keys);
    OSErr closeReader(PIReadDescriptor reader);
    Writer* findWriter(PIWriteDescriptor writer) const;
    PIWriteDescriptor openWriter();
    OSErr closeWriter(PIWriteDescriptor writer, Handle* out);

private:
    std::vector<std::unique_ptr<HandleBody>> handles;
    std::vector<std::unique_ptr<Reader>> readers;
    std::vector<std::unique_ptr<Writer>> writers;
};

} // namespace lakra::testing
