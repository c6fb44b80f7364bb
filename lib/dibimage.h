// Screen image output: the picture of a window held in a memory bitmap turned
// into a Windows bitmap file (BMP), an in-memory bitmap file image, or a PNG
// file made from such an image. Bitmap file images are 24-bit, rows stored
// bottom-up, each row padded with zero bytes to a multiple of 4.
#pragma once

#include "platform/cfile.h"
#include "platform/dc.h"
#include "platform/geometry.h"
#include "platform/wintypes.h"

#include <cstdint>

// The 14-byte file header and the 40-byte information header before the pixels.
constexpr int kDibFileHeaderSize = 14;
constexpr int kDibInfoHeaderSize = 40;
constexpr int kDibPixelOffset = kDibFileHeaderSize + kDibInfoHeaderSize;
constexpr WORD kDibFileType = 0x4D42; // "BM"
// Images are refused above this many bytes (a picture of 16384 x 16384 pixels
// is about 768 MB); a size beyond it cannot be a window's picture.
constexpr std::int64_t kMaxDibBytes = std::int64_t{1} << 30;

// Row size of a 24-bit image: width x 3 rounded up to a multiple of 4.
constexpr std::int64_t DibRowSize(std::int64_t width) {
    return (width * 3 + 3) / 4 * 4;
}
// Size of the whole bitmap file image: 54 + row size x height.
constexpr std::int64_t DibFileSize(std::int64_t width, std::int64_t height) {
    return kDibPixelOffset + DibRowSize(width) * height;
}

extern "C" {

// Writes the whole bitmap file image of the bitmap (the rectangle's size; the
// pixels start at the bitmap's own first scan line) to the file at its current
// position with one write. 1 when written; 0 when the rectangle is empty or
// inverted, the image cannot be allocated, or the write fails.
int SaveDIBFile(CDC& dc, CRect& rect, CBitmap& bitmap, CFile& file);

// A new bitmap file image of the bitmap, or null when the rectangle is empty
// or inverted or memory is short. The caller frees it with delete[].
BYTE* CreateDIBData(CDC& dc, CRect& rect, CBitmap& bitmap);

// Writes a PNG (8-bit RGB, no interlacing) of the image whose 40-byte
// information header is at info (a bitmap file image + 14) through the file's
// write operation. Images that are not 24 bits per pixel write nothing. 1 when
// the PNG was written, 0 otherwise (nothing written, a libpng error, or a
// failed write; the file object then also reports the failure at Close).
int DibToPngFile(CFile* file, const BITMAPINFOHEADER* info);

} // extern "C"
