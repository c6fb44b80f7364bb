// Screen image output: bitmap file images read through GetDIBits, written as
// BMP files and encoded as PNG with libpng.
#include "lib/dibimage.h"

#include <png.h>

#include <algorithm>
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

// The picture's colours when there are at most 256: the palette and every
// pixel as its index, the PNG's rows top-down. False for more colours.
bool IndexColours(const BYTE* pixels, LONG width, LONG height, std::int64_t rowSize,
                  std::vector<png_color>* palette, std::vector<BYTE>* indices) {
    // Open addressing over 24-bit colours (blue, green, red); an empty slot
    // holds a key no 24-bit colour has. Screen pictures run in flat colours,
    // so most pixels repeat the colour before them.
    constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;
    constexpr std::size_t kSlots = 1024;
    std::uint32_t keys[kSlots];
    BYTE values[kSlots];
    std::fill(std::begin(keys), std::end(keys), kEmpty);
    palette->clear();
    indices->resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    std::uint32_t lastKey = kEmpty;
    BYTE lastIndex = 0;
    for (LONG k = 0; k < height; ++k) {
        const BYTE* src = pixels + (height - 1 - k) * rowSize;
        BYTE* dst = indices->data() + static_cast<std::size_t>(k) * static_cast<std::size_t>(width);
        for (LONG x = 0; x < width; ++x, src += 3) {
            const std::uint32_t key = src[0] | (src[1] << 8) | (src[2] << 16);
            if (key != lastKey) {
                std::size_t slot = (key * 2654435761u) >> 22 & (kSlots - 1);
                while (keys[slot] != key && keys[slot] != kEmpty)
                    slot = (slot + 1) & (kSlots - 1);
                if (keys[slot] == kEmpty) {
                    if (palette->size() == 256)
                        return false;
                    keys[slot] = key;
                    values[slot] = static_cast<BYTE>(palette->size());
                    palette->push_back(png_color{src[2], src[1], src[0]});
                }
                lastKey = key;
                lastIndex = values[slot];
            }
            dst[x] = lastIndex;
        }
    }
    return true;
}

// The fewest bits per index that hold a palette of this size.
int IndexBits(std::size_t colours) {
    return colours <= 2 ? 1 : colours <= 4 ? 2 : colours <= 16 ? 4 : 8;
}

// A picture ready for libpng: its rows top-down, as palette indices (one a
// byte) or as blue, green, red pixels.
struct PngPicture {
    LONG width = 0;
    LONG height = 0;
    bool indexed = false;
    std::vector<png_color> palette;
    std::vector<BYTE> indices;
    std::vector<png_bytep> rows;
};

// Encodes the picture to the file; 0 when libpng fails or a write fails.
int EncodePng(CFile* file, PngPicture& picture) {
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
    const auto width = static_cast<png_uint_32>(picture.width);
    const auto height = static_cast<png_uint_32>(picture.height);
    if (picture.indexed) {
        png_set_IHDR(png, pngInfo, width, height, IndexBits(picture.palette.size()),
                     PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                     PNG_FILTER_TYPE_DEFAULT);
        png_set_PLTE(png, pngInfo, picture.palette.data(),
                     static_cast<int>(picture.palette.size()));
        // Screen pictures are flat colours and lines, mostly the same from one
        // row to the next: the Up filter alone leaves long runs of zeros, and
        // libpng's trial of every filter per row costs more than it saves.
        png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    } else {
        png_set_IHDR(png, pngInfo, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        // The average and Paeth filters make screen pictures no smaller, and
        // trying them per row costs a third of the time.
        png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE | PNG_FILTER_SUB | PNG_FILTER_UP);
    }
    png_write_info(png, pngInfo);
    if (picture.indexed)
        png_set_packing(png); // one index a byte in, packed to the bit depth
    else
        png_set_bgr(png); // the bitmap's pixels are blue, green, red
    png_write_image(png, picture.rows.data());
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

    // A picture of at most 256 colours is written as palette indices: the same
    // pixels when decoded, a third of the bytes (or less, packed) to compress.
    // Row k of the PNG is the bitmap's stored row height - 1 - k: the bitmap
    // keeps its rows bottom-up, the PNG top-down.
    const auto* pixels = reinterpret_cast<const BYTE*>(info) + header.biSize;
    PngPicture picture;
    picture.width = width;
    picture.height = height;
    picture.indexed =
        IndexColours(pixels, width, height, rowSize, &picture.palette, &picture.indices);
    picture.rows.resize(static_cast<size_t>(height));
    for (LONG k = 0; k < height; ++k)
        picture.rows[static_cast<size_t>(k)] =
            picture.indexed ? picture.indices.data() +
                                  static_cast<std::size_t>(k) * static_cast<std::size_t>(width)
                            : const_cast<png_bytep>(pixels + (height - 1 - k) * rowSize);
    return EncodePng(file, picture);
}

} // extern "C"
