// Which payload pictures the drawing routine may serve.
#include <gtest/gtest.h>
#include <string.h>

#include <functional>
#include <vector>

#include "payload/setup_info.h"
#include "ui/picture.h"

namespace {

void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    b[at] = v & 0xFF;
    b[at + 1] = (v >> 8) & 0xFF;
}
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = (v >> (8 * i)) & 0xFF;
}

// A 24-bit bottom-up BMP as the payload carries them.
std::vector<uint8_t> MakeBmp(int32_t width, int32_t height) {
    uint32_t stride = ((width * 24 + 31) / 32) * 4;
    uint32_t pixels = stride * static_cast<uint32_t>(height);
    std::vector<uint8_t> b(54 + pixels, 0x7F);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, static_cast<uint32_t>(b.size()));
    Put32(b, 6, 0);
    Put32(b, 10, 54);
    Put32(b, 14, 40);
    Put32(b, 18, static_cast<uint32_t>(width));
    Put32(b, 22, static_cast<uint32_t>(height));
    Put16(b, 26, 1);
    Put16(b, 28, 24);
    Put32(b, 30, 0);
    Put32(b, 34, pixels);
    Put32(b, 46, 0);
    return b;
}

int32_t Size(const std::vector<uint8_t>& b) { return static_cast<int32_t>(b.size()); }

TEST(Picture, PayloadPicturesAreDrawn) {
    for (auto dims : {std::make_pair(438, 155), std::make_pair(495, 60), std::make_pair(1, 1)}) {
        std::vector<uint8_t> bmp = MakeBmp(dims.first, dims.second);
        ui::PictureLayout layout;
        ASSERT_TRUE(ui::GetPictureLayout(bmp.data(), Size(bmp), &layout));
        EXPECT_EQ(dims.first, layout.width);
        EXPECT_EQ(dims.second, layout.height);
        EXPECT_EQ(54u, layout.pixelOffset);
        EXPECT_EQ(bmp.size() - 54, layout.pixelBytes);
        // Without a known length the file-size field bounds the reads.
        EXPECT_TRUE(ui::CanDrawPicture(bmp.data(), -1));
    }
}

TEST(Picture, AbsentOrUnfitPicturesAreNotDrawn) {
    EXPECT_FALSE(ui::CanDrawPicture(nullptr, -1));

    struct Case {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> damage;
    };
    const Case cases[] = {
        {"not a BMP", [](std::vector<uint8_t>& b) { b[0] = 'X'; }},
        {"file size above its bytes", [](std::vector<uint8_t>& b) { Put32(b, 2, Size(b) + 1); }},
        {"file size below the headers", [](std::vector<uint8_t>& b) { Put32(b, 2, 53); }},
        {"pixels past the end",
         [](std::vector<uint8_t>& b) { Put32(b, 34, static_cast<uint32_t>(b.size()) - 53); }},
        {"pixel offset inside the headers", [](std::vector<uint8_t>& b) { Put32(b, 10, 20); }},
        {"longer info header", [](std::vector<uint8_t>& b) { Put32(b, 14, 108); }},
        {"top-down rows",
         [](std::vector<uint8_t>& b) { Put32(b, 22, static_cast<uint32_t>(-155)); }},
        {"zero width", [](std::vector<uint8_t>& b) { Put32(b, 18, 0); }},
        {"compressed", [](std::vector<uint8_t>& b) { Put32(b, 30, 1); }},
        {"colour table", [](std::vector<uint8_t>& b) { Put32(b, 46, 16); }},
        {"palette depth", [](std::vector<uint8_t>& b) { Put16(b, 28, 8); }},
        // Rows the system would read beyond the 1 MB drawing buffer.
        {"rows beyond the buffer", [](std::vector<uint8_t>& b) { Put32(b, 22, 100000); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> bmp = MakeBmp(438, 155);
        c.damage(bmp);
        EXPECT_FALSE(ui::CanDrawPicture(bmp.data(), Size(bmp)));
    }

    std::vector<uint8_t> bmp = MakeBmp(438, 155);
    EXPECT_FALSE(ui::CanDrawPicture(bmp.data(), Size(bmp) - 1));  // length differs from the field
    EXPECT_FALSE(ui::CanDrawPicture(bmp.data(), 20));             // shorter than its headers
}

TEST(Picture, FileSizeFieldAboveTheDecodedLimitIsRefusedWithoutALength) {
    std::vector<uint8_t> bmp = MakeBmp(16, 16);
    Put32(bmp, 2, static_cast<uint32_t>(kMaxImageBytes) + 1);
    EXPECT_FALSE(ui::CanDrawPicture(bmp.data(), -1));
}

}  // namespace
