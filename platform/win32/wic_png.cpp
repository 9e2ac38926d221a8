#include "platform/win32/wic_png.h"

#include <objbase.h>
#include <wincodec.h>
#include <windows.h>

#include <cstring>

namespace {

// Releases a COM interface pointer when it goes out of scope.
template <typename Interface>
struct Held {
  Interface* pointer = nullptr;
  ~Held() {
    if (pointer != nullptr) pointer->Release();
  }
  Interface* operator->() const { return pointer; }
};

// The pixels as 24-bit BGR rows, each padded to a multiple of 4 bytes: the
// frame's pixel format, which every PNG encoder takes as it is.
std::vector<BYTE> BgrRows(const uint8_t* pixels, int32_t width, int32_t height, int32_t rowStride, UINT rowBytes) {
  std::vector<BYTE> rows(static_cast<size_t>(rowBytes) * static_cast<size_t>(height));
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* from = pixels + static_cast<size_t>(y) * static_cast<size_t>(rowStride);
    BYTE* to = rows.data() + static_cast<size_t>(y) * rowBytes;
    for (int32_t x = 0; x < width; ++x) std::memcpy(to + 3 * x, from + 4 * x, 3);
  }
  return rows;
}

bool Encode(IWICImagingFactory* factory, const uint8_t* pixels, int32_t width, int32_t height, int32_t rowStride,
            IStream* stream) {
  Held<IWICBitmapEncoder> encoder;
  Held<IWICBitmapFrameEncode> frame;
  if (FAILED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder.pointer)) ||
      FAILED(encoder->Initialize(stream, WICBitmapEncoderNoCache)) ||
      FAILED(encoder->CreateNewFrame(&frame.pointer, nullptr)) || FAILED(frame->Initialize(nullptr)) ||
      FAILED(frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height))))
    return false;
  WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
  // The encoder names the format it will store; anything but the one asked
  // for would need a conversion this writer does not make.
  if (FAILED(frame->SetPixelFormat(&format)) || !IsEqualGUID(format, GUID_WICPixelFormat24bppBGR)) return false;
  const UINT rowBytes = (static_cast<UINT>(width) * 3 + 3) & ~3u;
  std::vector<BYTE> rows = BgrRows(pixels, width, height, rowStride, rowBytes);
  const UINT size = static_cast<UINT>(rows.size());
  return SUCCEEDED(frame->WritePixels(static_cast<UINT>(height), rowBytes, size, rows.data())) &&
         SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
}

// The stream's bytes, from its start to its end.
bool StreamBytes(IStream* stream, std::vector<uint8_t>* bytes) {
  STATSTG status;
  if (FAILED(stream->Stat(&status, STATFLAG_NONAME)) || status.cbSize.QuadPart > 0x7FFFFFFF) return false;
  bytes->resize(static_cast<size_t>(status.cbSize.QuadPart));
  LARGE_INTEGER start;
  start.QuadPart = 0;
  ULONG read = 0;
  return SUCCEEDED(stream->Seek(start, STREAM_SEEK_SET, nullptr)) &&
         SUCCEEDED(stream->Read(bytes->data(), static_cast<ULONG>(bytes->size()), &read)) && read == bytes->size();
}

}  // namespace

bool EncodeWicPng(const uint8_t* pixels, int32_t width, int32_t height, int32_t rowStride, std::vector<uint8_t>* png) {
  if (width <= 0 || height <= 0) return false;
  // COM for this thread; a thread that has it already (in another mode) is
  // served as it is.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  bool encoded = false;
  {
    Held<IWICImagingFactory> factory;
    Held<IStream> stream;
    encoded = SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                         reinterpret_cast<void**>(&factory.pointer))) &&
              SUCCEEDED(CreateStreamOnHGlobal(nullptr, TRUE, &stream.pointer)) &&
              Encode(factory.pointer, pixels, width, height, rowStride, stream.pointer) &&
              StreamBytes(stream.pointer, png);
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return encoded;
}
