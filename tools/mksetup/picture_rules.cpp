#include "tools/mksetup/picture_rules.h"

#include "payload/setup_info.h"
#include "payload/byte_order.h"
#include "tools/mksetup/manifest.h"

namespace {

const uint32_t kFileHeaderSize = 14;
const uint32_t kInfoHeaderSize = 40;

std::string Num(int64_t n) { return std::to_string(n); }

}  // namespace

void PictureSize(int role, int* width, int* height) {
    // The controls' sizes in dialog units at 1.5 pixels per unit.
    bool banner = role == kImageHeader || role == kImageSpare;
    *width = banner ? 495 : 438;
    *height = banner ? 60 : 155;
}

std::string PictureRequirement(int role) {
    int w, h;
    PictureSize(role, &w, &h);
    return std::string("the ") + PictureRoleName(role) +
           " must be an uncompressed bottom-up BMP of " + Num(w) + " x " + Num(h) +
           " pixels at 24 bits, without colour table";
}

std::string PictureProblem(const uint8_t* bmp, size_t size, int role) {
    if (size < kFileHeaderSize + kInfoHeaderSize || bmp[0] != 'B' || bmp[1] != 'M')
        return "not a BMP file";
    const uint8_t* info = bmp + kFileHeaderSize;
    uint32_t fileSize = Le32(bmp + 2), offBits = Le32(bmp + 10);
    uint32_t infoSize = Le32(info);
    int32_t width = static_cast<int32_t>(Le32(info + 4));
    int32_t height = static_cast<int32_t>(Le32(info + 8));
    uint16_t planes = Le16(info + 12), bits = Le16(info + 14);
    uint32_t compression = Le32(info + 16), sizeImage = Le32(info + 20);
    uint32_t colorsUsed = Le32(info + 32);

    if (size > size_t(kMaxImageBytes))
        return Num(size) + " bytes; the installer decodes at most " + Num(kMaxImageBytes);
    if (fileSize != size)
        return "the BMP's file-size field says " + Num(fileSize) + " bytes, the file has " +
               Num(size);
    if (infoSize != kInfoHeaderSize)
        return "a " + Num(infoSize) +
               "-byte info header; the installer reads the 40-byte "
               "BITMAPINFOHEADER only (save as BMP3, e.g. 'convert in.png -type truecolor "
               "BMP3:out.bmp')";
    if (compression != 0) return "compressed (method " + Num(compression) + ")";
    if (height < 0) return "rows stored top-down (negative height)";
    if (planes != 1) return Num(planes) + " colour planes";
    if (bits != 24) return Num(bits) + " bits per pixel";
    if (colorsUsed != 0 || offBits != kFileHeaderSize + kInfoHeaderSize)
        return "a colour table or a gap before the pixels (pixels at offset " + Num(offBits) +
               ", expected 54)";
    int w, h;
    PictureSize(role, &w, &h);
    if (width != w || height != h) return Num(width) + " x " + Num(height) + " pixels";
    uint32_t rowBytes = (uint32_t(w) * 3 + 3) & ~3u;
    uint32_t pixelBytes = rowBytes * uint32_t(h);
    if (sizeImage != pixelBytes)
        return "the image-size field says " + Num(sizeImage) +
               " bytes; the installer copies exactly that many and needs " + Num(pixelBytes);
    if (size - offBits < pixelBytes)
        return "pixel data cut off: " + Num(size - offBits) + " of " + Num(pixelBytes) + " bytes";
    return std::string();
}
