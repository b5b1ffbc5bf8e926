#include "wic_codec.h"

#include "win/scoped_win.h"

#include <wincodec.h>

#include <functional>
#include <new>

namespace {

// Hands the frame all of the image's rows, 24-bit BGR, top first.
using WriteRows = std::function<HRESULT(IWICBitmapFrameEncode* frame)>;

// Rows made as the encoder takes them go over in bands of about this many bytes.
constexpr UINT kBandBytes = 256 * 1024;

HRESULT CreateFactory(ScopedComPtr<IWICImagingFactory>& factory)
{
    return ComCreateInstance(CLSID_WICImagingFactory, IID_IWICImagingFactory,
                             reinterpret_cast<void**>(factory.put()));
}

HRESULT WriteFrame(IWICImagingFactory* factory, IWICStream* stream, UINT width, UINT height,
                   float quality, const WriteRows& writeRows)
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
    VARIANT value = {};  // VT_EMPTY, as VariantInit leaves it
    value.vt = VT_R4;
    value.fltVal = quality;
    // An encoder that takes no quality still encodes at its own.
    options->Write(1, &option, &value);

    hr = frame->Initialize(options.get());
    if (FAILED(hr))
        return hr;
    hr = frame->SetSize(width, height);
    if (FAILED(hr))
        return hr;
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    hr = frame->SetPixelFormat(&format);
    if (FAILED(hr))
        return hr;
    if (!IsEqualGUID(format, GUID_WICPixelFormat24bppBGR))
        return E_FAIL;
    hr = writeRows(frame.get());
    if (FAILED(hr))
        return hr;
    hr = frame->Commit();
    if (FAILED(hr))
        return hr;
    return encoder->Commit();
}

// The file, the factory and the frame around writeRows; a file left half-written by a
// failure is deleted.
HRESULT Encode(UINT width, UINT height, const wchar_t* path, float quality,
               const WriteRows& writeRows)
{
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
    hr = CatchAll(
        [&] { return WriteFrame(factory.get(), stream.get(), width, height, quality, writeRows); });
    if (FAILED(hr)) {
        stream.reset();  // closes the file, so it can go
        DeleteFileW(path);
    }
    return hr;
}

}  // namespace

HRESULT EncodeJpeg(const Image& image, const wchar_t* path, float quality)
{
    UINT stride = 0;
    UINT bytes = 0;
    if (!image.pixels || !ImageSizes(image.width, image.height, stride, bytes) ||
        stride != image.stride)
        return E_INVALIDARG;
    return Encode(image.width, image.height, path, quality,
                  [&](IWICBitmapFrameEncode* frame) {
                      return frame->WritePixels(image.height, stride, bytes, image.pixels.get());
                  });
}

HRESULT ForEachBand(UINT width, UINT height, const ReadBand& readBand,
                    const std::function<HRESULT(BYTE* band, UINT count, UINT stride)>& fn)
{
    UINT stride = 0;
    UINT bytes = 0;
    if (!ImageSizes(width, height, stride, bytes))
        return E_INVALIDARG;
    const UINT bandRows = stride < kBandBytes ? kBandBytes / stride : 1;
    std::unique_ptr<BYTE[]> band(new (std::nothrow) BYTE[static_cast<size_t>(bandRows) * stride]);
    if (!band)
        return E_OUTOFMEMORY;
    for (UINT y = 0; y < height; y += bandRows) {
        const UINT count = height - y < bandRows ? height - y : bandRows;
        HRESULT hr = readBand(y, count, band.get(), stride);
        if (hr == S_OK)
            hr = fn(band.get(), count, stride);
        if (hr != S_OK)
            return hr;
    }
    return S_OK;
}

HRESULT EncodeJpeg(UINT width, UINT height, const ReadBand& readBand, const wchar_t* path,
                   float quality)
{
    return Encode(width, height, path, quality, [&](IWICBitmapFrameEncode* frame) {
        return ForEachBand(width, height, readBand, [&](BYTE* band, UINT count, UINT stride) {
            return frame->WritePixels(count, stride, count * stride, band);
        });
    });
}
