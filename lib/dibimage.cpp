// Screen image output: bitmap file images read through GetDIBits, written as
// BMP files and encoded as PNG with libpng.
#include "lib/dibimage.h"

#include <png.h>

#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

namespace {

void PutWord(BYTE* p, WORD v) {
    p[0] = static_cast<BYTE>(v & 0xFF);
    p[1] = static_cast<BYTE>(v >> 8);
}

void PutDword(BYTE* p, DWORD v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<BYTE>((v >> (8 * i)) & 0xFF);
}

// The image of the rectangle's size, headers filled and pixels read, or null.
// *size receives the whole image's size.
BYTE* BuildImage(CDC& dc, const CRect& rect, CBitmap& bitmap, std::int64_t* size) {
    const std::int64_t width = static_cast<std::int64_t>(rect.right) - rect.left;
    const std::int64_t height = static_cast<std::int64_t>(rect.bottom) - rect.top;
    if (width <= 0 || height <= 0)
        return nullptr;
    const std::int64_t rowSize = DibRowSize(width);
    const std::int64_t fileSize = DibFileSize(width, height);
    if (rowSize > kMaxDibBytes || fileSize > kMaxDibBytes)
        return nullptr;
    BYTE* image = new (std::nothrow) BYTE[static_cast<size_t>(fileSize)]();
    if (!image)
        return nullptr;

    PutWord(image + 0, kDibFileType);
    PutDword(image + 2, static_cast<DWORD>(fileSize));
    PutDword(image + 10, kDibPixelOffset);
    BYTE* info = image + kDibFileHeaderSize;
    PutDword(info + 0, kDibInfoHeaderSize);
    PutDword(info + 4, static_cast<DWORD>(width));
    PutDword(info + 8, static_cast<DWORD>(height)); // positive: rows bottom-up
    PutWord(info + 12, 1);
    PutWord(info + 14, 24);
    // Compression, image size, resolutions and colour counts stay 0.

    BITMAPINFO bmi{};
    bmi.bmiHeader.biWidth = static_cast<LONG>(width);
    bmi.bmiHeader.biHeight = static_cast<LONG>(height);
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 24;
    bmi.bmiHeader.biCompression = BI_RGB;
    dc.GetDIBits(&bitmap, 0, static_cast<UINT>(height), image + kDibPixelOffset, &bmi,
                 DIB_RGB_COLORS);
    *size = fileSize;
    return image;
}

// libpng's output goes to the CFile; a failed write ends the encoding.
void WriteToFile(png_structp png, png_bytep data, png_size_t length) {
    auto* file = static_cast<CFile*>(png_get_io_ptr(png));
    if (!file->Write(data, static_cast<UINT>(length)))
        png_error(png, "write failed");
}

void FlushNothing(png_structp) {}

// libpng's errors return to the setjmp of the encoder instead of aborting.
void OnPngError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

// Encodes rows of blue, green, red pixels, top-down, as an 8-bit RGB PNG; 0
// when libpng fails or a write fails.
int EncodePng(CFile* file, LONG width, LONG height, png_bytepp rows) {
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnPngError, OnPngWarning);
    if (!png)
        return 0;
    png_infop pngInfo = png_create_info_struct(png);
    if (!pngInfo) {
        png_destroy_write_struct(&png, nullptr);
        return 0;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &pngInfo);
        return 0;
    }
    png_set_write_fn(png, file, WriteToFile, FlushNothing);
    png_set_IHDR(png, pngInfo, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    // Screen pictures are flat colours and lines. Where a row repeats the row
    // above, the Up filter leaves nothing but zeros and no row needs trying;
    // other rows take the better of Sub and Up. The average and Paeth filters
    // make such pictures no smaller and trying them costs a third of the time.
    constexpr int kTriedFilters = PNG_FILTER_SUB | PNG_FILTER_UP;
    png_set_filter(png, PNG_FILTER_TYPE_BASE, kTriedFilters);
    png_write_info(png, pngInfo);
    png_set_bgr(png); // the bitmap's pixels are blue, green, red
    const auto rowBytes = static_cast<std::size_t>(width) * 3;
    for (LONG k = 0; k < height; ++k) {
        const bool repeated = k > 0 && std::memcmp(rows[k], rows[k - 1], rowBytes) == 0;
        png_set_filter(png, PNG_FILTER_TYPE_BASE, repeated ? PNG_FILTER_UP : kTriedFilters);
        png_write_row(png, rows[k]);
    }
    png_write_end(png, pngInfo);
    png_destroy_write_struct(&png, &pngInfo);
    return 1;
}

} // namespace

extern "C" {

int SaveDIBFile(CDC& dc, CRect& rect, CBitmap& bitmap, CFile& file) {
    std::int64_t size = 0;
    BYTE* image = BuildImage(dc, rect, bitmap, &size);
    if (!image)
        return 0;
    const BOOL written = file.Write(image, static_cast<UINT>(size));
    delete[] image;
    return written ? 1 : 0;
}

BYTE* CreateDIBData(CDC& dc, CRect& rect, CBitmap& bitmap) {
    std::int64_t size = 0;
    return BuildImage(dc, rect, bitmap, &size);
}

int DibToPngFile(CFile* file, const BITMAPINFOHEADER* info) {
    if (!file || !info)
        return 0;
    // The header sits 14 bytes into a bitmap file image, so it is read by copy
    // rather than through a (misaligned) structure pointer.
    BITMAPINFOHEADER header;
    std::memcpy(&header, info, sizeof header);
    if (header.biBitCount != 24 || header.biWidth <= 0 || header.biHeight <= 0 ||
        header.biSize < kDibInfoHeaderSize)
        return 0;
    const std::int64_t rowSize = DibRowSize(header.biWidth);
    if (rowSize * header.biHeight > kMaxDibBytes)
        return 0;
    const LONG width = header.biWidth;
    const LONG height = header.biHeight;

    // Row k of the PNG is the bitmap's stored row height - 1 - k: the bitmap
    // keeps its rows bottom-up, the PNG top-down. libpng reads the rows where
    // they lie.
    auto* pixels = const_cast<BYTE*>(reinterpret_cast<const BYTE*>(info) + header.biSize);
    std::vector<png_bytep> rows(static_cast<std::size_t>(height));
    for (LONG k = 0; k < height; ++k)
        rows[static_cast<std::size_t>(k)] = pixels + (height - 1 - k) * rowSize;
    return EncodePng(file, width, height, rows.data());
}

} // extern "C"
