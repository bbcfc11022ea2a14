#pragma once

// Our own declarations of the host's filter plug-in interface, as laid out on
// Windows x64. Only fixed-width types appear, so the native command-line host
// gets byte-identical records (long is 4 bytes on Win64 and 8 on Linux).
// Layouts are pinned by static_asserts here and in abi.cpp.

#include "platform/result.h"

#include <cstddef>
#include <cstdint>

namespace lakra {

// NOLINTBEGIN(readability-identifier-naming): the host's published names

// ---------------------------------------------------------------- primitives

using OSErr = int16_t;   // 0 ok, negative error, positive "already reported"
using OSType = uint32_t; // four-char code, first character most significant
using ResType = uint32_t;
using DescriptorKeyID = uint32_t;
using DescriptorTypeID = uint32_t;
using DescriptorEnumID = uint32_t;
using DescriptorUnitID = uint32_t;
using Boolean = uint8_t; // one byte; C++ bool would make values other than 0/1 undefined
using Fixed = int32_t;   // signed 16.16: 1.0 is 0x00010000
using Ptr = char*;
using Handle = char**; // opaque: only through HandleProcs
using PIDescriptorHandle = Handle;
using Str255 = unsigned char[256]; // length byte, then up to 255 bytes
using FilterColor = uint8_t[4];    // in the image's own colour space
using SPErr = int32_t;
using SPBoolean = int32_t;

struct OpaqueBuffer;
struct OpaqueReadDescriptor;
struct OpaqueWriteDescriptor;
using BufferID = OpaqueBuffer*;
using PIReadDescriptor = OpaqueReadDescriptor*;
using PIWriteDescriptor = OpaqueWriteDescriptor*;

// Four-char code as the host compares it: '8BIM' is 0x3842494D. Stored in
// memory and in resources as a little-endian word, so its bytes read "MIB8".
[[nodiscard]] constexpr uint32_t fourCharCode(const char (&code)[5]) {
    return (static_cast<uint32_t>(static_cast<uint8_t>(code[0])) << 24) |
           (static_cast<uint32_t>(static_cast<uint8_t>(code[1])) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(code[2])) << 8) |
           static_cast<uint32_t>(static_cast<uint8_t>(code[3]));
}

// Points and rectangles run vertical first; bottom and right are exclusive.
struct Point {
    int16_t v;
    int16_t h;
};

struct Rect {
    int16_t top;
    int16_t left;
    int16_t bottom;
    int16_t right;
};

struct VPoint {
    int32_t v;
    int32_t h;
};

struct VRect {
    int32_t top;
    int32_t left;
    int32_t bottom;
    int32_t right;
};

struct PSRGBColor {
    uint16_t red;
    uint16_t green;
    uint16_t blue;
};

using RGBColor = PSRGBColor;

struct PlugInMonitor {
    Fixed gamma;
    Fixed redX;
    Fixed redY;
    Fixed greenX;
    Fixed greenY;
    Fixed blueX;
    Fixed blueY;
    Fixed whiteX;
    Fixed whiteY;
    Fixed ambient;
};

// The records hold a pointer to this, never the window handle itself.
struct PlatformData {
    intptr_t hwnd;
};

// ------------------------------------------------------------ the basic suite

struct SPBasicSuite {
    SPErr (*AcquireSuite)(const char* name, int32_t version, const void** suite);
    SPErr (*ReleaseSuite)(const char* name, int32_t version);
    SPBoolean (*IsEqual)(const char* token1, const char* token2);
    SPErr (*AllocateBlock)(size_t size, void** block);
    SPErr (*FreeBlock)(void* block);
    SPErr (*ReallocateBlock)(void* block, size_t newSize, void** newBlock);
    SPErr (*Undefined)();
};

struct AboutRecord {
    void* platformData;     // PlatformData*
    SPBasicSuite* sSPBasic; // zero from very old hosts
    void* plugInRef;
    char reserved[244];
};

// --------------------------------------------------------------- callbacks

using TestAbortProc = Boolean (*)(); // one byte: only AL carries the answer
using ProgressProc = void (*)(int32_t done, int32_t total);
using HostProc = void (*)(int16_t selector, intptr_t* data);
using ProcessEventProc = void (*)(void* event);
using AdvanceStateProc = OSErr (*)();
using GetPropertyProc = OSErr (*)(uint32_t signature, uint32_t key, int32_t index,
                                  intptr_t* simpleProperty, Handle* complexProperty);

struct PSPixelMask {
    PSPixelMask* next;
    void* maskData;
    int32_t rowBytes;
    int32_t colBytes;
    int32_t maskDescription;
};

// Pixel (x, y) of plane p lies at baseAddr + (y - bounds.top) * rowBytes +
// (x - bounds.left) * colBytes + p * planeBytes.
struct PSPixelMap {
    int32_t version;
    VRect bounds;
    int32_t imageMode;
    int32_t rowBytes;
    int32_t colBytes;
    int32_t planeBytes;
    void* baseAddr;
    PSPixelMask* mat; // version 1 on
    PSPixelMask* masks;
    int32_t maskPhaseRow;
    int32_t maskPhaseCol;
    void* pixelOverlays; // version 2 on
    uint32_t colorManagementOptions;
};

// On Windows platformContext is the target HDC; dstRow is y, dstCol is x.
using DisplayPixelsProc = OSErr (*)(const PSPixelMap* source, const VRect* srcRect, int32_t dstRow,
                                    int32_t dstCol, void* platformContext);

struct ColorServicesInfo {
    int32_t infoSize; // sizeof(ColorServicesInfo)
    int16_t selector;
    int16_t sourceSpace;
    int16_t resultSpace;
    Boolean resultGamutInfoValid;
    Boolean resultInGamut;
    void* reservedSourceSpaceInfo; // must be null
    void* reservedResultSpaceInfo; // must be null
    int16_t colorComponents[4];    // RGB components run 0..255
    void* reserved;                // must be null

    union {
        Str255* pickerPrompt;
        Point* globalSamplePoint;
        int32_t specialColorID;
    } selectorParameter;
};

using ColorServicesProc = OSErr (*)(ColorServicesInfo* info);

// ------------------------------------------------------ handles and buffers

using NewPIHandleProc = Handle (*)(int32_t size);
using DisposePIHandleProc = void (*)(Handle handle);
using GetPIHandleSizeProc = int32_t (*)(Handle handle);
using SetPIHandleSizeProc = OSErr (*)(Handle handle, int32_t newSize);
using LockPIHandleProc = Ptr (*)(Handle handle, Boolean moveHigh);
using UnlockPIHandleProc = void (*)(Handle handle);
using RecoverSpaceProc = void (*)(int32_t size);

struct HandleProcs {
    int16_t handleProcsVersion;
    int16_t numHandleProcs;
    NewPIHandleProc newProc;
    DisposePIHandleProc disposeProc;
    GetPIHandleSizeProc getSizeProc;
    SetPIHandleSizeProc setSizeProc;
    LockPIHandleProc lockProc;
    UnlockPIHandleProc unlockProc;
    RecoverSpaceProc recoverSpaceProc;
    DisposePIHandleProc disposeRegularHandleProc;
};

using AllocateBufferProc = OSErr (*)(int32_t size, BufferID* bufferID);
using LockBufferProc = Ptr (*)(BufferID bufferID, Boolean moveHigh);
using UnlockBufferProc = void (*)(BufferID bufferID);
using FreeBufferProc = void (*)(BufferID bufferID);
using BufferSpaceProc = int32_t (*)();
using ReserveBufferSpaceProc = OSErr (*)(int32_t size);
using AllocateBuffer64Proc = OSErr (*)(int64_t size, BufferID* bufferID);
using BufferSpace64Proc = int64_t (*)();

// Hosts may offer only the first five procedures: read numBufferProcs.
struct BufferProcs {
    int16_t bufferProcsVersion;
    int16_t numBufferProcs;
    AllocateBufferProc allocateProc;
    LockBufferProc lockProc;
    UnlockBufferProc unlockProc;
    FreeBufferProc freeProc;
    BufferSpaceProc spaceProc;
    ReserveBufferSpaceProc reserveProc;
    AllocateBuffer64Proc allocateProc64;
    BufferSpace64Proc spaceProc64;
};

// --------------------------------------------------------------- scripting

struct PIDescriptorSimpleReference {
    DescriptorTypeID desiredClass;
    DescriptorKeyID keyForm;

    struct {
        Str255 name;
        int32_t index;
        DescriptorTypeID type;
        DescriptorEnumID value;
    } keyData;
};

// The key array must be writable and zero-terminated: the host marks each
// key it returns in place.
using OpenReadDescriptorProc = PIReadDescriptor (*)(PIDescriptorHandle descriptor,
                                                    DescriptorKeyID* keyArray);
using CloseReadDescriptorProc = OSErr (*)(PIReadDescriptor reader);
using GetKeyProc = Boolean (*)(PIReadDescriptor reader, DescriptorKeyID* key,
                               DescriptorTypeID* type, int32_t* flags);
using GetIntegerProc = OSErr (*)(PIReadDescriptor reader, int32_t* value);
using GetFloatProc = OSErr (*)(PIReadDescriptor reader, double* value);
using GetUnitFloatProc = OSErr (*)(PIReadDescriptor reader, DescriptorUnitID* unit, double* value);
using GetBooleanProc = OSErr (*)(PIReadDescriptor reader, Boolean* value);
using GetTextProc = OSErr (*)(PIReadDescriptor reader, Handle* value);
using GetAliasProc = OSErr (*)(PIReadDescriptor reader, Handle* value);
using GetEnumeratedProc = OSErr (*)(PIReadDescriptor reader, DescriptorEnumID* value);
using GetClassProc = OSErr (*)(PIReadDescriptor reader, DescriptorTypeID* value);
using GetSimpleReferenceProc = OSErr (*)(PIReadDescriptor reader,
                                         PIDescriptorSimpleReference* value);
using GetObjectProc = OSErr (*)(PIReadDescriptor reader, DescriptorTypeID* type,
                                PIDescriptorHandle* value);
using GetCountProc = OSErr (*)(PIReadDescriptor reader, uint32_t* value);
using GetStringProc = OSErr (*)(PIReadDescriptor reader, Str255* value);
using GetPinnedIntegerProc = OSErr (*)(PIReadDescriptor reader, int32_t min, int32_t max,
                                       int32_t* value);
using GetPinnedFloatProc = OSErr (*)(PIReadDescriptor reader, const double* min, const double* max,
                                     double* value);
using GetPinnedUnitFloatProc = OSErr (*)(PIReadDescriptor reader, const double* min,
                                         const double* max, DescriptorUnitID* unit, double* value);

struct ReadDescriptorProcs {
    int16_t readDescriptorProcsVersion;
    int16_t numReadDescriptorProcs;
    OpenReadDescriptorProc openReadDescriptorProc;
    CloseReadDescriptorProc closeReadDescriptorProc;
    GetKeyProc getKeyProc;
    GetIntegerProc getIntegerProc;
    GetFloatProc getFloatProc;
    GetUnitFloatProc getUnitFloatProc;
    GetBooleanProc getBooleanProc;
    GetTextProc getTextProc;
    GetAliasProc getAliasProc;
    GetEnumeratedProc getEnumeratedProc;
    GetClassProc getClassProc;
    GetSimpleReferenceProc getSimpleReferenceProc;
    GetObjectProc getObjectProc;
    GetCountProc getCountProc;
    GetStringProc getStringProc;
    GetPinnedIntegerProc getPinnedIntegerProc;
    GetPinnedFloatProc getPinnedFloatProc;
    GetPinnedUnitFloatProc getPinnedUnitFloatProc;
};

using OpenWriteDescriptorProc = PIWriteDescriptor (*)();
using CloseWriteDescriptorProc = OSErr (*)(PIWriteDescriptor writer,
                                           PIDescriptorHandle* outDescriptor);
using PutIntegerProc = OSErr (*)(PIWriteDescriptor writer, DescriptorKeyID key, int32_t value);
using PutFloatProc = OSErr (*)(PIWriteDescriptor writer, DescriptorKeyID key,
                               const double* value); // by pointer
using PutUnitFloatProc = OSErr (*)(PIWriteDescriptor writer, DescriptorKeyID key,
                                   DescriptorUnitID unit, const double* value);
using PutBooleanProc = OSErr (*)(PIWriteDescriptor writer, DescriptorKeyID key, Boolean value);
using PutTextProc = OSErr (*)(PIWriteDescriptor writer, DescriptorKeyID key, Handle value);
using PutAliasProc = OSErr (*)(PIWriteDescriptor writer, DescriptorKeyID key, Handle value);
using PutEnumeratedProc = OSErr (*)(PIWriteDescriptor writer, DescriptorKeyID key,
                                    DescriptorTypeID enumType, DescriptorEnumID value);
using PutClassProc = OSErr (*)(PIWriteDescriptor writer, DescriptorKeyID key,
                               DescriptorTypeID classType);
using PutSimpleReferenceProc = OSErr (*)(PIWriteDescriptor writer, DescriptorKeyID key,
                                         const PIDescriptorSimpleReference* value);
using PutObjectProc = OSErr (*)(PIWriteDescriptor writer, DescriptorKeyID key,
                                DescriptorTypeID type, PIDescriptorHandle value);
using PutCountProc = OSErr (*)(PIWriteDescriptor writer, DescriptorKeyID key, uint32_t count);
using PutStringProc = OSErr (*)(PIWriteDescriptor writer, DescriptorKeyID key,
                                const unsigned char* pascalString);
using PutScopedClassProc = OSErr (*)(PIWriteDescriptor writer, DescriptorKeyID key,
                                     DescriptorTypeID type);
using PutScopedObjectProc = OSErr (*)(PIWriteDescriptor writer, DescriptorKeyID key,
                                      DescriptorTypeID type, PIDescriptorHandle value);

struct WriteDescriptorProcs {
    int16_t writeDescriptorProcsVersion;
    int16_t numWriteDescriptorProcs;
    OpenWriteDescriptorProc openWriteDescriptorProc;
    CloseWriteDescriptorProc closeWriteDescriptorProc;
    PutIntegerProc putIntegerProc;
    PutFloatProc putFloatProc;
    PutUnitFloatProc putUnitFloatProc;
    PutBooleanProc putBooleanProc;
    PutTextProc putTextProc;
    PutAliasProc putAliasProc;
    PutEnumeratedProc putEnumeratedProc;
    PutClassProc putClassProc;
    PutSimpleReferenceProc putSimpleReferenceProc;
    PutObjectProc putObjectProc;
    PutCountProc putCountProc;
    PutStringProc putStringProc;
    PutScopedClassProc putScopedClassProc;
    PutScopedObjectProc putScopedObjectProc;
};

// The write table comes before the read table.
struct PIDescriptorParameters {
    int16_t descriptorParametersVersion;
    int16_t playInfo;   // plugInDialog{DontDisplay, Display, Silent}
    int16_t recordInfo; // plugInDialog{Optional, Required, None}
    PIDescriptorHandle descriptor;
    WriteDescriptorProcs* writeDescriptorProcs;
    ReadDescriptorProcs* readDescriptorProcs;
};

// ------------------------------------------------------ the filter record

// Shipping x64 hosts and plug-ins pack these two records to 4 bytes, so the
// pointers sit at 4-aligned offsets. Applied unconditionally: the host's own
// condition on WIN32 silently fails under MSVC and strict mingw modes.
#pragma pack(push, 4)

// When PluginUsing32BitCoordinates is non-zero every rectangle and point is
// exchanged through these 32-bit twins.
struct BigDocumentStruct {
    int32_t PluginUsing32BitCoordinates;
    VPoint imageSize32;
    VRect filterRect32;
    VRect inRect32;
    VRect outRect32;
    VRect maskRect32;
    VPoint floatCoord32;
    VPoint wholeSize32;
};

// Older hosts pass a shorter record with zeros where later fields would be:
// never copy or clear sizeof(FilterRecord) bytes of the host's record.
struct FilterRecord {
    int32_t serialNumber;
    TestAbortProc abortProc;
    ProgressProc progressProc;
    Handle parameters;
    Point imageSize;
    int16_t planes;
    Rect filterRect;
    RGBColor background;
    RGBColor foreground;
    int32_t maxSpace; // bytes (some hosts report kilobytes)
    int32_t bufferSpace;
    Rect inRect;
    int16_t inLoPlane;
    int16_t inHiPlane;
    Rect outRect;
    int16_t outLoPlane;
    int16_t outHiPlane;
    void* inData; // interleaved planes, stride inRowBytes
    int32_t inRowBytes;
    void* outData;
    int32_t outRowBytes;
    Boolean isFloating;
    Boolean haveMask;
    Boolean autoMask;
    Rect maskRect;
    void* maskData; // one byte per pixel, 255 fully selected
    int32_t maskRowBytes;
    FilterColor backColor;
    FilterColor foreColor;
    OSType hostSig;
    HostProc hostProc;
    int16_t imageMode;
    Fixed imageHRes;
    Fixed imageVRes;
    Point floatCoord;
    Point wholeSize;
    PlugInMonitor monitor;
    PlatformData* platformData;
    BufferProcs* bufferProcs;
    void* resourceProcs;
    ProcessEventProc processEvent;
    DisplayPixelsProc displayPixels;
    HandleProcs* handleProcs;
    // Photoshop 3.0
    Boolean supportsDummyChannels;
    Boolean supportsAlternateLayouts;
    int16_t wantLayout;
    int16_t filterCase;
    int16_t dummyPlaneValue;
    void* premiereHook;
    AdvanceStateProc advanceState;
    Boolean supportsAbsolute;
    Boolean wantsAbsolute;
    GetPropertyProc getPropertyObsolete;
    Boolean cannotUndo;
    Boolean supportsPadding;
    int16_t inputPadding; // 0..255 fill value, or plugInWants... below
    int16_t outputPadding;
    int16_t maskPadding;
    int8_t samplingSupport;
    int8_t reservedByte;
    Fixed inputRate; // sampling step << 16
    Fixed maskRate;
    ColorServicesProc colorServices;
    int16_t inLayerPlanes;
    int16_t inTransparencyMask;
    int16_t inLayerMasks;
    int16_t inInvertedLayerMasks;
    int16_t inNonLayerPlanes;
    int16_t outLayerPlanes;
    int16_t outTransparencyMask;
    int16_t outLayerMasks;
    int16_t outInvertedLayerMasks;
    int16_t outNonLayerPlanes;
    int16_t absLayerPlanes;
    int16_t absTransparencyMask;
    int16_t absLayerMasks;
    int16_t absInvertedLayerMasks;
    int16_t absNonLayerPlanes;
    int16_t inPreDummyPlanes;
    int16_t inPostDummyPlanes;
    int16_t outPreDummyPlanes;
    int16_t outPostDummyPlanes;
    int32_t inColumnBytes;
    int32_t inPlaneBytes;
    int32_t outColumnBytes;
    int32_t outPlaneBytes;
    // Photoshop 3.0.4
    void* imageServicesProcs;
    void* propertyProcs;
    int16_t inTileHeight;
    int16_t inTileWidth;
    Point inTileOrigin;
    int16_t absTileHeight;
    int16_t absTileWidth;
    Point absTileOrigin;
    int16_t outTileHeight;
    int16_t outTileWidth;
    Point outTileOrigin;
    int16_t maskTileHeight;
    int16_t maskTileWidth;
    Point maskTileOrigin;
    // Photoshop 4.0
    PIDescriptorParameters* descriptorParameters;
    Str255* errorString; // shown by the host for errReportString
    void* channelPortProcs;
    void* documentInfo;
    // Photoshop 5.0
    SPBasicSuite* sSPBasic;
    void* plugInRef;
    int32_t depth; // bits per channel: 1, 8, 16 or 32
    // Photoshop 6.0
    Handle iCCprofileData;
    int32_t iCCprofileSize;
    int32_t canUseICCProfiles;
    // Photoshop 7.0
    int32_t hasImageScrap;
    // Photoshop CS
    BigDocumentStruct* bigDocumentData;
    // Photoshop CS3
    void* input3DScene;
    void* output3DScene;
    Boolean createNewLayer;
    // Photoshop CS6
    Handle iCCWorkingProfileData;
    int32_t iCCWorkingProfileSize;
    // Photoshop CC 2017
    int64_t bufferSpace64;
    int64_t maxSpace64;
    char reserved[46];
};

#pragma pack(pop)

// ------------------------------------------------------------- constants

using FilterSelector = int16_t;
inline constexpr FilterSelector filterSelectorAbout = 0;
inline constexpr FilterSelector filterSelectorParameters = 1;
inline constexpr FilterSelector filterSelectorPrepare = 2;
inline constexpr FilterSelector filterSelectorStart = 3;
inline constexpr FilterSelector filterSelectorContinue = 4;
inline constexpr FilterSelector filterSelectorFinish = 5;

// Result codes beyond the common ones in platform/result.h.
inline constexpr Result coercedParamErr = 2; // positive: not fatal
inline constexpr Result readErr = -19;
inline constexpr Result writErr = -20;
inline constexpr Result paramErr = -50;
inline constexpr Result nilHandleErr = -109;
inline constexpr Result errMissingParameter = -1715;
inline constexpr Result filterBadMode = -30101;
inline constexpr Result errPlugInHostInsufficient = -30900;
inline constexpr Result errPlugInPropertyUndefined = -30901;
inline constexpr Result errHostDoesNotSupportColStep = -30902;
inline constexpr Result errInvalidSamplePoint = -30903;
inline constexpr Result errReportString = -30904;

inline constexpr int16_t plugInModeBitmap = 0;
inline constexpr int16_t plugInModeGrayScale = 1;
inline constexpr int16_t plugInModeIndexedColor = 2;
inline constexpr int16_t plugInModeRGBColor = 3;
inline constexpr int16_t plugInModeCMYKColor = 4;
inline constexpr int16_t plugInModeHSLColor = 5;
inline constexpr int16_t plugInModeHSBColor = 6;
inline constexpr int16_t plugInModeMultichannel = 7;
inline constexpr int16_t plugInModeDuotone = 8;
inline constexpr int16_t plugInModeLabColor = 9;
inline constexpr int16_t plugInModeGray16 = 10;
inline constexpr int16_t plugInModeRGB48 = 11;
inline constexpr int16_t plugInModeLab48 = 12;
inline constexpr int16_t plugInModeCMYK64 = 13;
inline constexpr int16_t plugInModeDeepMultichannel = 14;
inline constexpr int16_t plugInModeDuotone16 = 15;
inline constexpr int16_t plugInModeRGB96 = 16;
inline constexpr int16_t plugInModeGray32 = 17;

inline constexpr int16_t filterCaseUnsupported = -1;
inline constexpr int16_t kFilterCaseNotSet = 0; // the host left the field alone
inline constexpr int16_t filterCaseFlatImageNoSelection = 1;
inline constexpr int16_t filterCaseFlatImageWithSelection = 2;
inline constexpr int16_t filterCaseFloatingSelection = 3;
inline constexpr int16_t filterCaseEditableTransparencyNoSelection = 4;
inline constexpr int16_t filterCaseEditableTransparencyWithSelection = 5;
inline constexpr int16_t filterCaseProtectedTransparencyNoSelection = 6;
inline constexpr int16_t filterCaseProtectedTransparencyWithSelection = 7;

inline constexpr int16_t plugInWantsEdgeReplication = -1;
inline constexpr int16_t plugInDoesNotWantPadding = -2; // data left random
inline constexpr int16_t plugInWantsErrorOnBoundsException = -3;

inline constexpr int8_t hostDoesNotSupportSampling = 0;
inline constexpr int8_t hostSupportsIntegralSampling = 1;
inline constexpr int8_t hostSupportsFractionalSampling = 2;

inline constexpr int16_t plugInDialogDontDisplay = 0; // playInfo
inline constexpr int16_t plugInDialogDisplay = 1;
inline constexpr int16_t plugInDialogSilent = 2;
inline constexpr int16_t plugInDialogOptional = 0; // recordInfo
inline constexpr int16_t plugInDialogRequired = 1;
inline constexpr int16_t plugInDialogNone = 2;

// Versions and procedure counts of the tables.
inline constexpr int16_t kCurrentHandleProcsVersion = 1;
inline constexpr int16_t kCurrentHandleProcsCount = 8;
inline constexpr int16_t kCurrentBufferProcsVersion = 2;
inline constexpr int16_t kClassicBufferProcsCount = 5;
inline constexpr int16_t kCurrentBufferProcsCount = 8;
inline constexpr int16_t kCurrentDescriptorParametersVersion = 0;
inline constexpr int16_t kCurrentReadDescriptorProcsVersion = 0;
inline constexpr int16_t kCurrentReadDescriptorProcsCount = 18;
inline constexpr int16_t kCurrentWriteDescriptorProcsVersion = 0;
inline constexpr int16_t kCurrentWriteDescriptorProcsCount = 16;

// Colour services: selectors, spaces (RGB components 0..255), special colours.
inline constexpr int16_t plugIncolorServicesChooseColor = 0;
inline constexpr int16_t plugIncolorServicesConvertColor = 1;
inline constexpr int16_t plugIncolorServicesSamplePoint = 2;
inline constexpr int16_t plugIncolorServicesGetSpecialColor = 3;
inline constexpr int16_t plugIncolorServicesChosenSpace = -1; // result only
inline constexpr int16_t plugIncolorServicesRGBSpace = 0;
inline constexpr int16_t plugIncolorServicesHSBSpace = 1;
inline constexpr int16_t plugIncolorServicesCMYKSpace = 2;
inline constexpr int16_t plugIncolorServicesLabSpace = 3;
inline constexpr int16_t plugIncolorServicesGraySpace = 4;
inline constexpr int16_t plugIncolorServicesHSLSpace = 5;
inline constexpr int16_t plugIncolorServicesXYZSpace = 6;
inline constexpr int32_t plugIncolorServicesForegroundColor = 0;
inline constexpr int32_t plugIncolorServicesBackgroundColor = 1;

inline constexpr int32_t kSimplePSMask = 0;
inline constexpr int32_t kBlackMatPSMask = 1;
inline constexpr int32_t kGrayMatPSMask = 2;
inline constexpr int32_t kWhiteMatPSMask = 3;
inline constexpr int32_t kInvertPSMask = 4;

// Descriptor types.
inline constexpr DescriptorTypeID typeInteger = fourCharCode("long");
inline constexpr DescriptorTypeID typeFloat = fourCharCode("doub");
inline constexpr DescriptorTypeID typeEnumerated = fourCharCode("enum");
inline constexpr DescriptorTypeID typeBoolean = fourCharCode("bool");
inline constexpr DescriptorTypeID typeChar = fourCharCode("TEXT");
inline constexpr DescriptorTypeID typeUnitFloat = fourCharCode("UntF");
inline constexpr DescriptorTypeID typeNull = fourCharCode("null");
inline constexpr DescriptorTypeID noReply = typeNull;
inline constexpr DescriptorTypeID typeImageReference = fourCharCode("#ImR");
inline constexpr DescriptorTypeID typeObject = fourCharCode("Objc");
inline constexpr DescriptorTypeID typeClass = fourCharCode("type");

// NOLINTEND(readability-identifier-naming)

// Flags that getKeyProc reports; the low word equals the terminology's
// parameter flags.
inline constexpr int32_t kKeyFlagEnumerated = 0x2000;
inline constexpr int32_t kKeyFlagList = 0x4000;
inline constexpr int32_t kKeyFlagOptional = 0x8000;
inline constexpr int32_t kKeyFlagStringId = 0x20000000;
inline constexpr int32_t kKeyFlagScoped = 0x40000000;
inline constexpr int32_t kKeyFlagObject = static_cast<int32_t>(0x80000000u);

// Host signatures.
inline constexpr OSType kHostPhotoshop = fourCharCode("8BIM");
inline constexpr OSType kHostPaintShopPro8 = fourCharCode("PSP8");
inline constexpr OSType kHostPaintShopPro9 = fourCharCode("PSP9");
inline constexpr OSType kHostPaintDotNet = fourCharCode("NDP.");

// ------------------------------------------------- packed field accessors

// Pointer fields of the 4-packed FilterRecord sit at 4-aligned offsets, so a
// pointer to one is misaligned and storing through it is undefined. These
// copy the bytes instead; use them wherever a field is passed around.
[[nodiscard]] TestAbortProc getAbortProc(const FilterRecord& record);
[[nodiscard]] ProgressProc getProgressProc(const FilterRecord& record);
[[nodiscard]] Handle getParameters(const FilterRecord& record);
[[nodiscard]] void* getInData(const FilterRecord& record);
[[nodiscard]] void* getOutData(const FilterRecord& record);
[[nodiscard]] void* getMaskData(const FilterRecord& record);
[[nodiscard]] PlatformData* getPlatformData(const FilterRecord& record);
[[nodiscard]] BufferProcs* getBufferProcs(const FilterRecord& record);
[[nodiscard]] DisplayPixelsProc getDisplayPixels(const FilterRecord& record);
[[nodiscard]] HandleProcs* getHandleProcs(const FilterRecord& record);
[[nodiscard]] AdvanceStateProc getAdvanceState(const FilterRecord& record);
[[nodiscard]] ColorServicesProc getColorServices(const FilterRecord& record);
[[nodiscard]] PIDescriptorParameters* getDescriptorParameters(const FilterRecord& record);
[[nodiscard]] SPBasicSuite* getSPBasic(const FilterRecord& record);
[[nodiscard]] Handle getICCprofileData(const FilterRecord& record);
[[nodiscard]] BigDocumentStruct* getBigDocumentData(const FilterRecord& record);
[[nodiscard]] int64_t getMaxSpace64(const FilterRecord& record);
[[nodiscard]] int64_t getBufferSpace64(const FilterRecord& record);

void setAbortProc(FilterRecord& record, TestAbortProc value);
void setProgressProc(FilterRecord& record, ProgressProc value);
void setParameters(FilterRecord& record, Handle value);
void setInData(FilterRecord& record, void* value);
void setOutData(FilterRecord& record, void* value);
void setMaskData(FilterRecord& record, void* value);
void setPlatformData(FilterRecord& record, PlatformData* value);
void setBufferProcs(FilterRecord& record, BufferProcs* value);
void setDisplayPixels(FilterRecord& record, DisplayPixelsProc value);
void setHandleProcs(FilterRecord& record, HandleProcs* value);
void setAdvanceState(FilterRecord& record, AdvanceStateProc value);
void setColorServices(FilterRecord& record, ColorServicesProc value);
void setDescriptorParameters(FilterRecord& record, PIDescriptorParameters* value);
void setSPBasic(FilterRecord& record, SPBasicSuite* value);
void setICCprofileData(FilterRecord& record, Handle value);
void setBigDocumentData(FilterRecord& record, BigDocumentStruct* value);
void setMaxSpace64(FilterRecord& record, int64_t value);
void setBufferSpace64(FilterRecord& record, int64_t value);

// ----------------------------------------------------------------- layouts

static_assert(sizeof(Point) == 4 && alignof(Point) == 2);
static_assert(sizeof(Rect) == 8 && alignof(Rect) == 2);
static_assert(sizeof(VPoint) == 8 && alignof(VPoint) == 4);
static_assert(sizeof(VRect) == 16 && alignof(VRect) == 4);
static_assert(sizeof(PSRGBColor) == 6 && alignof(PSRGBColor) == 2);
static_assert(sizeof(PlugInMonitor) == 40 && alignof(PlugInMonitor) == 4);
static_assert(sizeof(PlatformData) == 8);
static_assert(sizeof(SPBasicSuite) == 56);
static_assert(sizeof(AboutRecord) == 272 && alignof(AboutRecord) == 8);
static_assert(sizeof(PSPixelMask) == 32);
static_assert(sizeof(PSPixelMap) == 88);
static_assert(sizeof(ColorServicesInfo) == 56);
static_assert(sizeof(HandleProcs) == 72);
static_assert(sizeof(BufferProcs) == 72);
static_assert(sizeof(PIDescriptorSimpleReference) == 276);
static_assert(sizeof(ReadDescriptorProcs) == 152);
static_assert(sizeof(WriteDescriptorProcs) == 136);
static_assert(sizeof(PIDescriptorParameters) == 32);
static_assert(sizeof(BigDocumentStruct) == 92 && alignof(BigDocumentStruct) == 4);
static_assert(sizeof(FilterRecord) == 608 && alignof(FilterRecord) == 4);

} // namespace lakra
