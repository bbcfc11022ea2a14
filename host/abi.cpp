#include "host/abi.h"

#include <cstring>
#include <type_traits>

namespace lakra {

// NOLINTBEGIN(readability-identifier-naming): the host's published names

// Every offset of the x64 record, as shipping hosts and plug-ins use it.
static_assert(offsetof(FilterRecord, serialNumber) == 0);
static_assert(offsetof(FilterRecord, abortProc) == 4);
static_assert(offsetof(FilterRecord, progressProc) == 12);
static_assert(offsetof(FilterRecord, parameters) == 20);
static_assert(offsetof(FilterRecord, imageSize) == 28);
static_assert(offsetof(FilterRecord, planes) == 32);
static_assert(offsetof(FilterRecord, filterRect) == 34);
static_assert(offsetof(FilterRecord, background) == 42);
static_assert(offsetof(FilterRecord, foreground) == 48);
static_assert(offsetof(FilterRecord, maxSpace) == 56);
static_assert(offsetof(FilterRecord, bufferSpace) == 60);
static_assert(offsetof(FilterRecord, inRect) == 64);
static_assert(offsetof(FilterRecord, inLoPlane) == 72);
static_assert(offsetof(FilterRecord, inHiPlane) == 74);
static_assert(offsetof(FilterRecord, outRect) == 76);
static_assert(offsetof(FilterRecord, outLoPlane) == 84);
static_assert(offsetof(FilterRecord, outHiPlane) == 86);
static_assert(offsetof(FilterRecord, inData) == 88);
static_assert(offsetof(FilterRecord, inRowBytes) == 96);
static_assert(offsetof(FilterRecord, outData) == 100);
static_assert(offsetof(FilterRecord, outRowBytes) == 108);
static_assert(offsetof(FilterRecord, isFloating) == 112);
static_assert(offsetof(FilterRecord, haveMask) == 113);
static_assert(offsetof(FilterRecord, autoMask) == 114);
static_assert(offsetof(FilterRecord, maskRect) == 116);
static_assert(offsetof(FilterRecord, maskData) == 124);
static_assert(offsetof(FilterRecord, maskRowBytes) == 132);
static_assert(offsetof(FilterRecord, backColor) == 136);
static_assert(offsetof(FilterRecord, foreColor) == 140);
static_assert(offsetof(FilterRecord, hostSig) == 144);
static_assert(offsetof(FilterRecord, hostProc) == 148);
static_assert(offsetof(FilterRecord, imageMode) == 156);
static_assert(offsetof(FilterRecord, imageHRes) == 160);
static_assert(offsetof(FilterRecord, imageVRes) == 164);
static_assert(offsetof(FilterRecord, floatCoord) == 168);
static_assert(offsetof(FilterRecord, wholeSize) == 172);
static_assert(offsetof(FilterRecord, monitor) == 176);
static_assert(offsetof(FilterRecord, platformData) == 216);
static_assert(offsetof(FilterRecord, bufferProcs) == 224);
static_assert(offsetof(FilterRecord, resourceProcs) == 232);
static_assert(offsetof(FilterRecord, processEvent) == 240);
static_assert(offsetof(FilterRecord, displayPixels) == 248);
static_assert(offsetof(FilterRecord, handleProcs) == 256);
static_assert(offsetof(FilterRecord, supportsDummyChannels) == 264);
static_assert(offsetof(FilterRecord, supportsAlternateLayouts) == 265);
static_assert(offsetof(FilterRecord, wantLayout) == 266);
static_assert(offsetof(FilterRecord, filterCase) == 268);
static_assert(offsetof(FilterRecord, dummyPlaneValue) == 270);
static_assert(offsetof(FilterRecord, premiereHook) == 272);
static_assert(offsetof(FilterRecord, advanceState) == 280);
static_assert(offsetof(FilterRecord, supportsAbsolute) == 288);
static_assert(offsetof(FilterRecord, wantsAbsolute) == 289);
static_assert(offsetof(FilterRecord, getPropertyObsolete) == 292);
static_assert(offsetof(FilterRecord, cannotUndo) == 300);
static_assert(offsetof(FilterRecord, supportsPadding) == 301);
static_assert(offsetof(FilterRecord, inputPadding) == 302);
static_assert(offsetof(FilterRecord, outputPadding) == 304);
static_assert(offsetof(FilterRecord, maskPadding) == 306);
static_assert(offsetof(FilterRecord, samplingSupport) == 308);
static_assert(offsetof(FilterRecord, reservedByte) == 309);
static_assert(offsetof(FilterRecord, inputRate) == 312);
static_assert(offsetof(FilterRecord, maskRate) == 316);
static_assert(offsetof(FilterRecord, colorServices) == 320);
static_assert(offsetof(FilterRecord, inLayerPlanes) == 328);
static_assert(offsetof(FilterRecord, inTransparencyMask) == 330);
static_assert(offsetof(FilterRecord, inLayerMasks) == 332);
static_assert(offsetof(FilterRecord, inInvertedLayerMasks) == 334);
static_assert(offsetof(FilterRecord, inNonLayerPlanes) == 336);
static_assert(offsetof(FilterRecord, outLayerPlanes) == 338);
static_assert(offsetof(FilterRecord, outTransparencyMask) == 340);
static_assert(offsetof(FilterRecord, outLayerMasks) == 342);
static_assert(offsetof(FilterRecord, outInvertedLayerMasks) == 344);
static_assert(offsetof(FilterRecord, outNonLayerPlanes) == 346);
static_assert(offsetof(FilterRecord, absLayerPlanes) == 348);
static_assert(offsetof(FilterRecord, absTransparencyMask) == 350);
static_assert(offsetof(FilterRecord, absLayerMasks) == 352);
static_assert(offsetof(FilterRecord, absInvertedLayerMasks) == 354);
static_assert(offsetof(FilterRecord, absNonLayerPlanes) == 356);
static_assert(offsetof(FilterRecord, inPreDummyPlanes) == 358);
static_assert(offsetof(FilterRecord, inPostDummyPlanes) == 360);
static_assert(offsetof(FilterRecord, outPreDummyPlanes) == 362);
static_assert(offsetof(FilterRecord, outPostDummyPlanes) == 364);
static_assert(offsetof(FilterRecord, inColumnBytes) == 368);
static_assert(offsetof(FilterRecord, inPlaneBytes) == 372);
static_assert(offsetof(FilterRecord, outColumnBytes) == 376);
static_assert(offsetof(FilterRecord, outPlaneBytes) == 380);
static_assert(offsetof(FilterRecord, imageServicesProcs) == 384);
static_assert(offsetof(FilterRecord, propertyProcs) == 392);
static_assert(offsetof(FilterRecord, inTileHeight) == 400);
static_assert(offsetof(FilterRecord, inTileWidth) == 402);
static_assert(offsetof(FilterRecord, inTileOrigin) == 404);
static_assert(offsetof(FilterRecord, absTileHeight) == 408);
static_assert(offsetof(FilterRecord, absTileWidth) == 410);
static_assert(offsetof(FilterRecord, absTileOrigin) == 412);
static_assert(offsetof(FilterRecord, outTileHeight) == 416);
static_assert(offsetof(FilterRecord, outTileWidth) == 418);
static_assert(offsetof(FilterRecord, outTileOrigin) == 420);
static_assert(offsetof(FilterRecord, maskTileHeight) == 424);
static_assert(offsetof(FilterRecord, maskTileWidth) == 426);
static_assert(offsetof(FilterRecord, maskTileOrigin) == 428);
static_assert(offsetof(FilterRecord, descriptorParameters) == 432);
static_assert(offsetof(FilterRecord, errorString) == 440);
static_assert(offsetof(FilterRecord, channelPortProcs) == 448);
static_assert(offsetof(FilterRecord, documentInfo) == 456);
static_assert(offsetof(FilterRecord, sSPBasic) == 464);
static_assert(offsetof(FilterRecord, plugInRef) == 472);
static_assert(offsetof(FilterRecord, depth) == 480);
static_assert(offsetof(FilterRecord, iCCprofileData) == 484);
static_assert(offsetof(FilterRecord, iCCprofileSize) == 492);
static_assert(offsetof(FilterRecord, canUseICCProfiles) == 496);
static_assert(offsetof(FilterRecord, hasImageScrap) == 500);
static_assert(offsetof(FilterRecord, bigDocumentData) == 504);
static_assert(offsetof(FilterRecord, input3DScene) == 512);
static_assert(offsetof(FilterRecord, output3DScene) == 520);
static_assert(offsetof(FilterRecord, createNewLayer) == 528);
static_assert(offsetof(FilterRecord, iCCWorkingProfileData) == 532);
static_assert(offsetof(FilterRecord, iCCWorkingProfileSize) == 540);
static_assert(offsetof(FilterRecord, bufferSpace64) == 544);
static_assert(offsetof(FilterRecord, maxSpace64) == 552);
static_assert(offsetof(FilterRecord, reserved) == 560);
static_assert(sizeof(FilterRecord) == 608);

static_assert(offsetof(BigDocumentStruct, PluginUsing32BitCoordinates) == 0);
static_assert(offsetof(BigDocumentStruct, imageSize32) == 4);
static_assert(offsetof(BigDocumentStruct, filterRect32) == 12);
static_assert(offsetof(BigDocumentStruct, inRect32) == 28);
static_assert(offsetof(BigDocumentStruct, outRect32) == 44);
static_assert(offsetof(BigDocumentStruct, maskRect32) == 60);
static_assert(offsetof(BigDocumentStruct, floatCoord32) == 76);
static_assert(offsetof(BigDocumentStruct, wholeSize32) == 84);

static_assert(offsetof(Point, v) == 0 && offsetof(Point, h) == 2);
static_assert(offsetof(VPoint, v) == 0 && offsetof(VPoint, h) == 4);
static_assert(offsetof(Rect, left) == 2 && offsetof(Rect, right) == 6);
static_assert(offsetof(VRect, left) == 4 && offsetof(VRect, right) == 12);

static_assert(offsetof(AboutRecord, platformData) == 0);
static_assert(offsetof(AboutRecord, sSPBasic) == 8);
static_assert(offsetof(AboutRecord, plugInRef) == 16);
static_assert(offsetof(AboutRecord, reserved) == 24);
static_assert(offsetof(SPBasicSuite, AcquireSuite) == 0);
static_assert(offsetof(SPBasicSuite, Undefined) == 48);

// The callback tables are naturally aligned: two int16 words, four bytes of
// padding, then pointers from offset 8.
static_assert(offsetof(HandleProcs, numHandleProcs) == 2);
static_assert(offsetof(HandleProcs, newProc) == 8);
static_assert(offsetof(HandleProcs, lockProc) == 40);
static_assert(offsetof(HandleProcs, unlockProc) == 48);
static_assert(offsetof(HandleProcs, disposeRegularHandleProc) == 64);

static_assert(offsetof(BufferProcs, numBufferProcs) == 2);
static_assert(offsetof(BufferProcs, allocateProc) == 8);
static_assert(offsetof(BufferProcs, lockProc) == 16);
static_assert(offsetof(BufferProcs, unlockProc) == 24);
static_assert(offsetof(BufferProcs, freeProc) == 32);
static_assert(offsetof(BufferProcs, spaceProc) == 40);
static_assert(offsetof(BufferProcs, spaceProc64) == 64);

static_assert(offsetof(PIDescriptorParameters, playInfo) == 2);
static_assert(offsetof(PIDescriptorParameters, recordInfo) == 4);
static_assert(offsetof(PIDescriptorParameters, descriptor) == 8);
static_assert(offsetof(PIDescriptorParameters, writeDescriptorProcs) == 16);
static_assert(offsetof(PIDescriptorParameters, readDescriptorProcs) == 24);

static_assert(offsetof(ReadDescriptorProcs, numReadDescriptorProcs) == 2);
static_assert(offsetof(ReadDescriptorProcs, openReadDescriptorProc) == 8);
static_assert(offsetof(ReadDescriptorProcs, closeReadDescriptorProc) == 16);
static_assert(offsetof(ReadDescriptorProcs, getKeyProc) == 24);
static_assert(offsetof(ReadDescriptorProcs, getIntegerProc) == 32);
static_assert(offsetof(ReadDescriptorProcs, getFloatProc) == 40);
static_assert(offsetof(ReadDescriptorProcs, getEnumeratedProc) == 80);
static_assert(offsetof(ReadDescriptorProcs, getPinnedUnitFloatProc) == 144);

static_assert(offsetof(WriteDescriptorProcs, numWriteDescriptorProcs) == 2);
static_assert(offsetof(WriteDescriptorProcs, openWriteDescriptorProc) == 8);
static_assert(offsetof(WriteDescriptorProcs, closeWriteDescriptorProc) == 16);
static_assert(offsetof(WriteDescriptorProcs, putIntegerProc) == 24);
static_assert(offsetof(WriteDescriptorProcs, putFloatProc) == 32);
static_assert(offsetof(WriteDescriptorProcs, putEnumeratedProc) == 72);
static_assert(offsetof(WriteDescriptorProcs, putScopedObjectProc) == 128);

static_assert(offsetof(PSPixelMap, bounds) == 4);
static_assert(offsetof(PSPixelMap, imageMode) == 20);
static_assert(offsetof(PSPixelMap, rowBytes) == 24);
static_assert(offsetof(PSPixelMap, colBytes) == 28);
static_assert(offsetof(PSPixelMap, planeBytes) == 32);
static_assert(offsetof(PSPixelMap, baseAddr) == 40);
static_assert(offsetof(PSPixelMap, mat) == 48);
static_assert(offsetof(PSPixelMap, masks) == 56);
static_assert(offsetof(PSPixelMap, maskPhaseRow) == 64);
static_assert(offsetof(PSPixelMap, maskPhaseCol) == 68);
static_assert(offsetof(PSPixelMap, pixelOverlays) == 72);
static_assert(offsetof(PSPixelMap, colorManagementOptions) == 80);
static_assert(offsetof(PSPixelMask, maskData) == 8);
static_assert(offsetof(PSPixelMask, rowBytes) == 16);
static_assert(offsetof(PSPixelMask, maskDescription) == 24);

static_assert(offsetof(ColorServicesInfo, selector) == 4);
static_assert(offsetof(ColorServicesInfo, sourceSpace) == 6);
static_assert(offsetof(ColorServicesInfo, resultSpace) == 8);
static_assert(offsetof(ColorServicesInfo, resultGamutInfoValid) == 10);
static_assert(offsetof(ColorServicesInfo, resultInGamut) == 11);
static_assert(offsetof(ColorServicesInfo, reservedSourceSpaceInfo) == 16);
static_assert(offsetof(ColorServicesInfo, reservedResultSpaceInfo) == 24);
static_assert(offsetof(ColorServicesInfo, colorComponents) == 32);
static_assert(offsetof(ColorServicesInfo, reserved) == 40);
static_assert(offsetof(ColorServicesInfo, selectorParameter) == 48);

// NOLINTEND(readability-identifier-naming)

namespace {

template <typename T>
T loadField(const FilterRecord& record, size_t offset) {
    static_assert(std::is_trivially_copyable_v<T>);
    T value;
    // NOLINTNEXTLINE(bugprone-sizeof-expression): T is often a pointer; its own bytes are copied
    std::memcpy(&value, reinterpret_cast<const unsigned char*>(&record) + offset, sizeof(T));
    return value;
}

template <typename T>
void storeField(FilterRecord& record, size_t offset, T value) {
    static_assert(std::is_trivially_copyable_v<T>);
    // NOLINTNEXTLINE(bugprone-sizeof-expression): as above
    std::memcpy(reinterpret_cast<unsigned char*>(&record) + offset, &value, sizeof(T));
}

} // namespace

TestAbortProc getAbortProc(const FilterRecord& record) {
    return loadField<TestAbortProc>(record, offsetof(FilterRecord, abortProc));
}

void setAbortProc(FilterRecord& record, TestAbortProc value) {
    storeField(record, offsetof(FilterRecord, abortProc), value);
}

ProgressProc getProgressProc(const FilterRecord& record) {
    return loadField<ProgressProc>(record, offsetof(FilterRecord, progressProc));
}

void setProgressProc(FilterRecord& record, ProgressProc value) {
    storeField(record, offsetof(FilterRecord, progressProc), value);
}

Handle getParameters(const FilterRecord& record) {
    return loadField<Handle>(record, offsetof(FilterRecord, parameters));
}

void setParameters(FilterRecord& record, Handle value) {
    storeField(record, offsetof(FilterRecord, parameters), value);
}

void* getInData(const FilterRecord& record) {
    return loadField<void*>(record, offsetof(FilterRecord, inData));
}

void setInData(FilterRecord& record, void* value) {
    storeField(record, offsetof(FilterRecord, inData), value);
}

void* getOutData(const FilterRecord& record) {
    return loadField<void*>(record, offsetof(FilterRecord, outData));
}

void setOutData(FilterRecord& record, void* value) {
    storeField(record, offsetof(FilterRecord, outData), value);
}

void* getMaskData(const FilterRecord& record) {
    return loadField<void*>(record, offsetof(FilterRecord, maskData));
}

void setMaskData(FilterRecord& record, void* value) {
    storeField(record, offsetof(FilterRecord, maskData), value);
}

PlatformData* getPlatformData(const FilterRecord& record) {
    return loadField<PlatformData*>(record, offsetof(FilterRecord, platformData));
}

void setPlatformData(FilterRecord& record, PlatformData* value) {
    storeField(record, offsetof(FilterRecord, platformData), value);
}

BufferProcs* getBufferProcs(const FilterRecord& record) {
    return loadField<BufferProcs*>(record, offsetof(FilterRecord, bufferProcs));
}

void setBufferProcs(FilterRecord& record, BufferProcs* value) {
    storeField(record, offsetof(FilterRecord, bufferProcs), value);
}

DisplayPixelsProc getDisplayPixels(const FilterRecord& record) {
    return loadField<DisplayPixelsProc>(record, offsetof(FilterRecord, displayPixels));
}

void setDisplayPixels(FilterRecord& record, DisplayPixelsProc value) {
    storeField(record, offsetof(FilterRecord, displayPixels), value);
}

HandleProcs* getHandleProcs(const FilterRecord& record) {
    return loadField<HandleProcs*>(record, offsetof(FilterRecord, handleProcs));
}

void setHandleProcs(FilterRecord& record, HandleProcs* value) {
    storeField(record, offsetof(FilterRecord, handleProcs), value);
}

AdvanceStateProc getAdvanceState(const FilterRecord& record) {
    return loadField<AdvanceStateProc>(record, offsetof(FilterRecord, advanceState));
}

void setAdvanceState(FilterRecord& record, AdvanceStateProc value) {
    storeField(record, offsetof(FilterRecord, advanceState), value);
}

ColorServicesProc getColorServices(const FilterRecord& record) {
    return loadField<ColorServicesProc>(record, offsetof(FilterRecord, colorServices));
}

void setColorServices(FilterRecord& record, ColorServicesProc value) {
    storeField(record, offsetof(FilterRecord, colorServices), value);
}

PIDescriptorParameters* getDescriptorParameters(const FilterRecord& record) {
    return loadField<PIDescriptorParameters*>(record, offsetof(FilterRecord, descriptorParameters));
}

void setDescriptorParameters(FilterRecord& record, PIDescriptorParameters* value) {
    storeField(record, offsetof(FilterRecord, descriptorParameters), value);
}

SPBasicSuite* getSPBasic(const FilterRecord& record) {
    return loadField<SPBasicSuite*>(record, offsetof(FilterRecord, sSPBasic));
}

void setSPBasic(FilterRecord& record, SPBasicSuite* value) {
    storeField(record, offsetof(FilterRecord, sSPBasic), value);
}

Handle getICCprofileData(const FilterRecord& record) {
    return loadField<Handle>(record, offsetof(FilterRecord, iCCprofileData));
}

void setICCprofileData(FilterRecord& record, Handle value) {
    storeField(record, offsetof(FilterRecord, iCCprofileData), value);
}

BigDocumentStruct* getBigDocumentData(const FilterRecord& record) {
    return loadField<BigDocumentStruct*>(record, offsetof(FilterRecord, bigDocumentData));
}

void setBigDocumentData(FilterRecord& record, BigDocumentStruct* value) {
    storeField(record, offsetof(FilterRecord, bigDocumentData), value);
}

int64_t getMaxSpace64(const FilterRecord& record) {
    return loadField<int64_t>(record, offsetof(FilterRecord, maxSpace64));
}

void setMaxSpace64(FilterRecord& record, int64_t value) {
    storeField(record, offsetof(FilterRecord, maxSpace64), value);
}

int64_t getBufferSpace64(const FilterRecord& record) {
    return loadField<int64_t>(record, offsetof(FilterRecord, bufferSpace64));
}

void setBufferSpace64(FilterRecord& record, int64_t value) {
    storeField(record, offsetof(FilterRecord, bufferSpace64), value);
}

} // namespace lakra
