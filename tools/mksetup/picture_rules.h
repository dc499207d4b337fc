// What the installer's wizard can draw: an uncompressed, bottom-up BMP with a
// 40-byte info header, 24 bits per pixel, no colour table, whose image size
// field holds the padded pixel bytes (the wizard copies exactly that many),
// at the size of the control that shows it.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string>

void PictureSize(int role, int* width, int* height);

// "the confirmation picture must be ... 438 x 155 pixels at 24 bits ..."
std::string PictureRequirement(int role);

// "" when the bytes are a picture the installer draws in that role; otherwise
// the first thing that is wrong.
std::string PictureProblem(const uint8_t* bmp, size_t size, int role);
