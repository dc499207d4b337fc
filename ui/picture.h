// The wizard's pictures: in-memory BMP files from the payload.
#pragma once

#include <stdint.h>

namespace ui {

const uint32_t kBackgroundColor = 0xEBEBEB;  // grey of the wizard and its pages

const int kBmpFileHeaderSize = 14;
const int kBmpInfoHeaderSize = 40;

// Where a drawable picture keeps its pixels and how large it is.
struct PictureLayout {
    int32_t width;
    int32_t height;        // rows, bottom-up
    uint32_t pixelOffset;  // bfOffBits
    uint32_t pixelBytes;   // biSizeImage: copied into the drawing buffer
};

// Whether the drawing routine can serve the picture: present, a BMP with a
// 40-byte info header, uncompressed, bottom-up, no colour table, and every
// byte the drawing reads inside the picture and inside kMaxImageBytes.
// size is the picture's length in bytes, or -1 when not known; then the
// file-size field is taken as the length.
bool GetPictureLayout(const uint8_t* bmp, int32_t size, PictureLayout* layout);
bool CanDrawPicture(const uint8_t* bmp, int32_t size);

}  // namespace ui
