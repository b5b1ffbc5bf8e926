#include "wic_codec.h"

#include "win/scoped_win.h"
#include "bmp_layout.h"

#include <wincodec.h>

#include <cstdint>
#include <new>

namespace {

HRESULT CreateFactory(ScopedComPtr<IWICImagingFactory>& factory)
{
    return CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                            IID_IWICImagingFactory, reinterpret_cast<void**>(factory.put()));
}

HRESULT DecodeFrame(IWICImagingFactory* factory, BYTE* data, DWORD size, Image& image)
{
    ScopedComPtr<IWICStream> stream;
    HRESULT hr = factory->CreateStream(stream.put());
    if (FAILED(hr))
        return hr;
    hr = stream->InitializeFromMemory(data, size);
    if (FAILED(hr))
        return hr;
    ScopedComPtr<IWICBitmapDecoder> decoder;
    hr = factory->CreateDecoder(GUID_ContainerFormatBmp, nullptr, decoder.put());
    if (FAILED(hr))
        return hr;
    hr = decoder->Initialize(stream.get(), WICDecodeMetadataCacheOnDemand);
    if (FAILED(hr))
        return hr;
    ScopedComPtr<IWICBitmapFrameDecode> frame;
    hr = decoder->GetFrame(0, frame.put());
    if (FAILED(hr))
        return hr;
    UINT width = 0;
    UINT height = 0;
    hr = frame->GetSize(&width, &height);
    if (FAILED(hr))
        return hr;
    if (width != image.width || height != image.height)
        return E_FAIL;
    ScopedComPtr<IWICFormatConverter> converter;
    hr = factory->CreateFormatConverter(converter.put());
    if (FAILED(hr))
        return hr;
    hr = converter->Initialize(frame.get(), GUID_WICPixelFormat24bppBGR, WICBitmapDitherTypeNone,
                               nullptr, 0.0, WICBitmapPaletteTypeCustom);
    if (FAILED(hr))
        return hr;
    return converter->CopyPixels(nullptr, image.stride, image.stride * image.height,
                                 image.pixels.get());
}

HRESULT WriteFrame(IWICImagingFactory* factory, IWICStream* stream, const Image& image,
                   float quality)
{
    ScopedComPtr<IWICBitmapEncoder> encoder;
    HRESULT hr = factory->CreateEncoder(GUID_ContainerFormatJpeg, nullptr, encoder.put());
    if (FAILED(hr))
        return hr;
    hr = encoder->Initialize(stream, WICBitmapEncoderNoCache);
    if (FAILED(hr))
        return hr;
    ScopedComPtr<IWICBitmapFrameEncode> frame;
    ScopedComPtr<IPropertyBag2> options;
    hr = encoder->CreateNewFrame(frame.put(), options.put());
    if (FAILED(hr))
        return hr;

    PROPBAG2 option = {};
    option.pstrName = const_cast<LPOLESTR>(L"ImageQuality");
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_R4;
    value.fltVal = quality;
    // An encoder that takes no quality still encodes at its own.
    options->Write(1, &option, &value);

    hr = frame->Initialize(options.get());
    if (FAILED(hr))
        return hr;
    hr = frame->SetSize(image.width, image.height);
    if (FAILED(hr))
        return hr;
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    hr = frame->SetPixelFormat(&format);
    if (FAILED(hr))
        return hr;
    if (!IsEqualGUID(format, GUID_WICPixelFormat24bppBGR))
        return E_FAIL;
    hr = frame->WritePixels(image.height, image.stride, image.stride * image.height,
                            image.pixels.get());
    if (FAILED(hr))
        return hr;
    hr = frame->Commit();
    if (FAILED(hr))
        return hr;
    return encoder->Commit();
}

}  // namespace

bool ImageSizes(UINT width, UINT height, UINT& stride, UINT& size)
{
    const uint64_t rowBytes = (static_cast<uint64_t>(width) * 3 + 3) / 4 * 4;
    const uint64_t total = rowBytes * height;
    if (width == 0 || height == 0 || total > kMaxImageBytes)
        return false;
    stride = static_cast<UINT>(rowBytes);
    size = static_cast<UINT>(total);
    return true;
}

HRESULT DecodeBmp(const BYTE* data, size_t size, Image& image)
{
    BmpLayout layout = {};
    if (!ParseBmp(data, size, layout) || size > MAXDWORD)
        return E_INVALIDARG;
    Image decoded;
    decoded.width = static_cast<UINT>(layout.width);
    decoded.height = static_cast<UINT>(layout.height);
    UINT bytes = 0;
    if (!ImageSizes(decoded.width, decoded.height, decoded.stride, bytes))
        return E_INVALIDARG;
    decoded.pixels.reset(new (std::nothrow) BYTE[bytes]);
    if (!decoded.pixels)
        return E_OUTOFMEMORY;

    ScopedCom com;
    ScopedComPtr<IWICImagingFactory> factory;
    HRESULT hr = CreateFactory(factory);
    if (FAILED(hr))
        return hr;
    // The memory stream only reads; WIC merely wants a non-const pointer.
    hr = DecodeFrame(factory.get(), const_cast<BYTE*>(data), static_cast<DWORD>(size), decoded);
    if (FAILED(hr))
        return hr;
    image = std::move(decoded);
    return S_OK;
}

HRESULT EncodeJpeg(const Image& image, const wchar_t* path, float quality)
{
    UINT stride = 0;
    UINT bytes = 0;
    if (!image.pixels || !ImageSizes(image.width, image.height, stride, bytes) ||
        stride != image.stride)
        return E_INVALIDARG;

    ScopedCom com;
    ScopedComPtr<IWICImagingFactory> factory;
    HRESULT hr = CreateFactory(factory);
    if (FAILED(hr))
        return hr;
    ScopedComPtr<IWICStream> stream;
    hr = factory->CreateStream(stream.put());
    if (FAILED(hr))
        return hr;
    hr = stream->InitializeFromFilename(path, GENERIC_WRITE);
    if (FAILED(hr))
        return hr;
    hr = WriteFrame(factory.get(), stream.get(), image, quality);
    if (FAILED(hr)) {
        stream.reset();  // closes the file, so it can go
        DeleteFileW(path);
    }
    return hr;
}
