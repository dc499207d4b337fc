#include "ui/picture.h"

#include "payload/byte_order.h"
#include "payload/setup_info.h"

namespace ui {
namespace {

const uint32_t kBiRgb = 0;
const int kHeadersSize = kBmpFileHeaderSize + kBmpInfoHeaderSize;

// Colour depths whose rows carry the colours themselves: with biClrUsed 0
// they have no colour table.
bool IsDirectColour(uint32_t bitCount) {
    return bitCount == 16 || bitCount == 24 || bitCount == 32;
}

}  // namespace

bool GetPictureLayout(const uint8_t* bmp, int32_t size, PictureLayout* layout) {
    if (!bmp) return false;
    if (size >= 0 && size < kHeadersSize) return false;
    if (bmp[0] != 'B' || bmp[1] != 'M') return false;

    // A decoded picture never exceeds kMaxImageBytes, so a larger file-size
    // field is a lie; with the length unknown this bounds what may be read.
    uint32_t fileSize = Le32(bmp + 2);
    if (fileSize < static_cast<uint32_t>(kHeadersSize) ||
        fileSize > static_cast<uint32_t>(kMaxImageBytes))
        return false;
    if (size >= 0 && fileSize != static_cast<uint32_t>(size)) return false;

    const uint8_t* info = bmp + kBmpFileHeaderSize;
    uint32_t headerSize = Le32(info);
    int32_t width = static_cast<int32_t>(Le32(info + 4));
    int32_t height = static_cast<int32_t>(Le32(info + 8));
    uint32_t planes = Le16(info + 12);
    uint32_t bitCount = Le16(info + 14);
    uint32_t compression = Le32(info + 16);
    uint32_t sizeImage = Le32(info + 20);
    uint32_t colorsUsed = Le32(info + 32);

    // The drawing passes exactly the 40 header bytes: a longer header would
    // make the system read past them.
    if (headerSize != static_cast<uint32_t>(kBmpInfoHeaderSize)) return false;
    if (width <= 0 || height <= 0 || planes != 1) return false;
    if (compression != kBiRgb || !IsDirectColour(bitCount) || colorsUsed != 0) return false;

    // The system reads whole rows (padded to 4 bytes) from the drawing buffer.
    uint64_t stride = ((static_cast<uint64_t>(width) * bitCount + 31) / 32) * 4;
    if (stride * static_cast<uint64_t>(height) > static_cast<uint64_t>(kMaxImageBytes))
        return false;

    uint32_t offset = Le32(bmp + 10);
    if (offset < static_cast<uint32_t>(kHeadersSize)) return false;
    if (static_cast<uint64_t>(offset) + sizeImage > fileSize) return false;

    if (layout) {
        layout->width = width;
        layout->height = height;
        layout->pixelOffset = offset;
        layout->pixelBytes = sizeImage;
    }
    return true;
}

bool CanDrawPicture(const uint8_t* bmp, int32_t size) {
    return GetPictureLayout(bmp, size, nullptr);
}

}  // namespace ui
