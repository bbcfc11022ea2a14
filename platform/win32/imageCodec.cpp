#include "platform/imageCodec.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <objbase.h>
#include <utility>
#include <wincodec.h>

namespace lakra {
namespace {

// An owned COM pointer: released once, when it goes.
template <typename T>
class Com {
public:
    Com() = default;
    Com(const Com&) = delete;
    Com& operator=(const Com&) = delete;

    ~Com() {
        if (pointer_ != nullptr) {
            pointer_->Release();
        }
    }

    T** out() { return &pointer_; }

    T* operator->() const { return pointer_; }

    T* get() const { return pointer_; }

private:
    T* pointer_ = nullptr;
};

// COM for this thread, for as long as one call lasts. A thread that has COM
// in another mode already is fine: the codecs work in both.
class ComScope {
public:
    ComScope() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}

    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

    ~ComScope() {
        if (SUCCEEDED(result_)) {
            CoUninitialize();
        }
    }

private:
    HRESULT result_;
};

bool failed(HRESULT result, const char* step, std::string* error) {
    if (SUCCEEDED(result)) {
        return false;
    }
    char text[96];
    (void)std::snprintf(text, sizeof text, "%s failed (0x%08lX)", step,
                        static_cast<unsigned long>(result));
    *error = text;
    return true;
}

std::wstring widePath(const std::string& path) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
    std::wstring wide(length > 0 ? static_cast<size_t>(length) : 1, L'\0');
    if (length > 0) {
        MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, wide.data(), length);
    }
    wide.resize(std::wcslen(wide.c_str()));
    return wide;
}

bool createFactory(Com<IWICImagingFactory>* factory, std::string* error) {
    return !failed(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IWICImagingFactory,
                                    reinterpret_cast<void**>(factory->out())),
                   "starting the imaging component", error);
}

// The WIC pixel format for a layout. Grey with alpha has none of its own and
// travels as RGBA.
WICPixelFormatGUID formatFor(int32_t channels, int32_t depth) {
    const bool wide = depth == 16;
    switch (channels) {
    case 1:
        return wide ? GUID_WICPixelFormat16bppGray : GUID_WICPixelFormat8bppGray;
    case 3:
        return wide ? GUID_WICPixelFormat48bppRGB : GUID_WICPixelFormat24bppRGB;
    default:
        return wide ? GUID_WICPixelFormat64bppRGBA : GUID_WICPixelFormat32bppRGBA;
    }
}

// Channels and bits per channel of a frame's own format.
bool describeFormat(IWICImagingFactory* factory, const WICPixelFormatGUID& format,
                    int32_t* channels, int32_t* depth, bool* alpha, std::string* error) {
    Com<IWICComponentInfo> component;
    if (failed(factory->CreateComponentInfo(format, component.out()), "reading the pixel format",
               error)) {
        return false;
    }
    Com<IWICPixelFormatInfo2> info;
    if (failed(component->QueryInterface(IID_IWICPixelFormatInfo2,
                                         reinterpret_cast<void**>(info.out())),
               "reading the pixel format", error)) {
        return false;
    }
    UINT count = 0;
    UINT bits = 0;
    if (failed(info->GetChannelCount(&count), "reading the pixel format", error) ||
        failed(info->GetBitsPerPixel(&bits), "reading the pixel format", error)) {
        return false;
    }
    WICPixelFormatNumericRepresentation numeric = WICPixelFormatNumericRepresentationUnspecified;
    (void)info->GetNumericRepresentation(&numeric);
    if (count == 0) {
        count = 1;
    }
    *channels = static_cast<int32_t>(count);
    // Some decoders say "supports transparency" of every format they give;
    // the channel count is what tells.
    *alpha = count == 2 || count == 4;
    // Indexed and packed formats of 8 bits or fewer per channel read as 8;
    // deeper integer and all float formats as 16.
    const bool deep = numeric == WICPixelFormatNumericRepresentationFloat ||
                      numeric == WICPixelFormatNumericRepresentationFixed || bits / count > 8;
    *depth = deep ? 16 : 8;
    return true;
}

} // namespace

// Encodes pixels of a layout formatFor() names into a new file.
static bool encodeFile(const std::string& path, CodecContainer container, const CodecImage& image,
                       UINT rowBytes, std::string* error) {
    const CodecImage* source = &image;
    const uint64_t bytes = uint64_t{rowBytes} * static_cast<uint64_t>(source->height);
    // Encoders take 8-bit colour in blue, green, red order; handed RGB, some
    // of them add an alpha channel on the way.
    WICPixelFormatGUID format = formatFor(source->channels, source->depth);
    CodecImage reordered;
    if (source->depth == 8 && source->channels >= 3) {
        reordered = image;
        const size_t step = static_cast<size_t>(source->channels);
        for (size_t i = 0; i + 2 < reordered.pixels.size(); i += step) {
            std::swap(reordered.pixels[i], reordered.pixels[i + 2]);
        }
        source = &reordered;
        format = source->channels == 3 ? GUID_WICPixelFormat24bppBGR : GUID_WICPixelFormat32bppBGRA;
    }
    ComScope com;
    Com<IWICImagingFactory> factory;
    if (!createFactory(&factory, error)) {
        return false;
    }
    const GUID kind = container == CodecContainer::Png    ? GUID_ContainerFormatPng
                      : container == CodecContainer::Jpeg ? GUID_ContainerFormatJpeg
                                                          : GUID_ContainerFormatTiff;
    Com<IWICBitmap> bitmap;
    if (failed(factory->CreateBitmapFromMemory(
                   static_cast<UINT>(source->width), static_cast<UINT>(source->height), format,
                   rowBytes, static_cast<UINT>(bytes), const_cast<BYTE*>(source->pixels.data()),
                   bitmap.out()),
               "preparing the pixels", error)) {
        return false;
    }
    Com<IWICStream> stream;
    Com<IWICBitmapEncoder> encoder;
    Com<IWICBitmapFrameEncode> frame;
    Com<IPropertyBag2> options;
    if (failed(factory->CreateStream(stream.out()), "opening the file", error) ||
        failed(stream->InitializeFromFilename(widePath(path).c_str(), GENERIC_WRITE),
               "opening the file", error) ||
        failed(factory->CreateEncoder(kind, nullptr, encoder.out()), "starting the encoder",
               error) ||
        failed(encoder->Initialize(stream.get(), WICBitmapEncoderNoCache), "starting the encoder",
               error) ||
        failed(encoder->CreateNewFrame(frame.out(), options.out()), "starting the frame", error)) {
        return false;
    }
    if (container == CodecContainer::Jpeg && options.get() != nullptr) {
        PROPBAG2 name{};
        name.dwType = PROPBAG2_TYPE_DATA;
        name.vt = VT_R4;
        name.pstrName = const_cast<LPOLESTR>(L"ImageQuality");
        VARIANT value;
        VariantInit(&value);
        value.vt = VT_R4;
        value.fltVal = 0.98f;
        (void)options->Write(1, &name, &value);
    }
    if (failed(frame->Initialize(options.get()), "starting the frame", error) ||
        failed(frame->SetSize(static_cast<UINT>(source->width), static_cast<UINT>(source->height)),
               "setting the size", error)) {
        return false;
    }
    // The encoder may answer with another format it takes; the converter
    // brings the pixels there.
    WICPixelFormatGUID accepted = format;
    if (failed(frame->SetPixelFormat(&accepted), "setting the pixel format", error)) {
        return false;
    }
    Com<IWICFormatConverter> converter;
    IWICBitmapSource* pixels = bitmap.get();
    if (accepted != format) {
        if (failed(factory->CreateFormatConverter(converter.out()), "converting the pixels",
                   error) ||
            failed(converter->Initialize(bitmap.get(), accepted, WICBitmapDitherTypeNone, nullptr,
                                         0.0, WICBitmapPaletteTypeCustom),
                   "converting the pixels", error)) {
            return false;
        }
        pixels = converter.get();
    }
    return !failed(frame->WriteSource(pixels, nullptr), "writing the pixels", error) &&
           !failed(frame->Commit(), "finishing the frame", error) &&
           !failed(encoder->Commit(), "finishing the file", error);
}

bool systemCodecsPresent() {
    return true;
}

bool systemCodecRead(const std::string& path, CodecImage* image, std::string* error) {
    ComScope com;
    Com<IWICImagingFactory> factory;
    if (!createFactory(&factory, error)) {
        return false;
    }
    Com<IWICBitmapDecoder> decoder;
    if (failed(factory->CreateDecoderFromFilename(widePath(path).c_str(), nullptr, GENERIC_READ,
                                                  WICDecodeMetadataCacheOnDemand, decoder.out()),
               "opening the image", error)) {
        return false;
    }
    Com<IWICBitmapFrameDecode> frame;
    UINT width = 0;
    UINT height = 0;
    WICPixelFormatGUID own{};
    if (failed(decoder->GetFrame(0, frame.out()), "reading the first frame", error) ||
        failed(frame->GetSize(&width, &height), "reading the image size", error) ||
        failed(frame->GetPixelFormat(&own), "reading the pixel format", error)) {
        return false;
    }
    int32_t channels = 0;
    int32_t depth = 0;
    bool alpha = false;
    if (!describeFormat(factory.get(), own, &channels, &depth, &alpha, error)) {
        return false;
    }
    // Palettes, CMYK and the like come out as grey or RGB, with alpha when
    // the file has transparency.
    const bool grey = own == GUID_WICPixelFormat8bppGray || own == GUID_WICPixelFormat16bppGray ||
                      own == GUID_WICPixelFormatBlackWhite || own == GUID_WICPixelFormat2bppGray ||
                      own == GUID_WICPixelFormat4bppGray;
    const int32_t wanted = grey ? 1 : (alpha ? 4 : 3);
    const WICPixelFormatGUID target = formatFor(wanted, depth);
    // A frame already in the wanted format is read as it is: not every
    // converter takes 16-bit formats.
    Com<IWICFormatConverter> converter;
    IWICBitmapSource* pixels = frame.get();
    if (own != target) {
        if (failed(factory->CreateFormatConverter(converter.out()), "converting the pixels",
                   error) ||
            failed(converter->Initialize(frame.get(), target, WICBitmapDitherTypeNone, nullptr, 0.0,
                                         WICBitmapPaletteTypeCustom),
                   "converting the pixels", error)) {
            return false;
        }
        pixels = converter.get();
    }
    const uint64_t rowBytes = uint64_t{width} * static_cast<uint64_t>(wanted * depth / 8);
    const uint64_t bytes = rowBytes * height;
    if (width == 0 || height == 0 || rowBytes > UINT32_MAX || bytes > UINT32_MAX) {
        *error = "the image is too large for the system codecs";
        return false;
    }
    image->width = static_cast<int32_t>(width);
    image->height = static_cast<int32_t>(height);
    image->channels = wanted;
    image->depth = depth;
    image->pixels.assign(static_cast<size_t>(bytes), 0);
    return !failed(pixels->CopyPixels(nullptr, static_cast<UINT>(rowBytes),
                                      static_cast<UINT>(bytes), image->pixels.data()),
                   "reading the pixels", error);
}

bool systemCodecWrite(const std::string& path, CodecContainer container, const CodecImage& image,
                      std::string* error) {
    if (image.width < 1 || image.height < 1 || image.channels < 1 || image.channels > 4 ||
        (image.depth != 8 && image.depth != 16)) {
        *error = "cannot write this layout with the system codecs";
        return false;
    }
    // Grey with alpha goes to the codec as RGBA, and 16-bit grey to TIFF as
    // RGB: the encoders take no such formats.
    const bool greyToRgb =
        image.channels == 1 && image.depth == 16 && container == CodecContainer::Tiff;
    const CodecImage* source = &image;
    CodecImage expanded;
    if (image.channels == 2 || greyToRgb) {
        expanded = image;
        expanded.channels = greyToRgb ? 3 : 4;
        const size_t sampleBytes = static_cast<size_t>(image.depth / 8);
        const size_t pixels = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
        const size_t inStep = static_cast<size_t>(image.channels) * sampleBytes;
        const size_t outStep = static_cast<size_t>(expanded.channels) * sampleBytes;
        expanded.pixels.assign(pixels * outStep, 0);
        for (size_t i = 0; i < pixels; ++i) {
            const uint8_t* in = image.pixels.data() + i * inStep;
            uint8_t* out = expanded.pixels.data() + i * outStep;
            for (int c = 0; c < 3; ++c) {
                std::memcpy(out + c * sampleBytes, in, sampleBytes);
            }
            if (!greyToRgb) {
                std::memcpy(out + 3 * sampleBytes, in + sampleBytes, sampleBytes);
            }
        }
        source = &expanded;
    }
    const UINT rowBytes =
        static_cast<UINT>(source->width) * static_cast<UINT>(source->channels * source->depth / 8);
    const uint64_t bytes = uint64_t{rowBytes} * static_cast<uint64_t>(source->height);
    if (source->pixels.size() != bytes || bytes > UINT32_MAX) {
        *error = "the pixel buffer does not match the image";
        return false;
    }

    if (!encodeFile(path, container, *source, rowBytes, error)) {
        return false;
    }
    if (container != CodecContainer::Png || source->depth != 16) {
        return true;
    }
    // Some PNG encoders store 16-bit samples in the wrong byte order. The
    // file is read back; if it holds every sample swapped, it is written
    // again from swapped samples, which then come out right.
    CodecImage back;
    if (!systemCodecRead(path, &back, error)) {
        return false;
    }
    if (back.pixels == source->pixels) {
        return true;
    }
    CodecImage swapped = *source;
    for (size_t i = 0; i + 1 < swapped.pixels.size(); i += 2) {
        std::swap(swapped.pixels[i], swapped.pixels[i + 1]);
    }
    if (back.pixels != swapped.pixels) {
        *error = "the PNG encoder changed the pixels";
        return false;
    }
    return encodeFile(path, container, swapped, rowBytes, error);
}

} // namespace lakra
