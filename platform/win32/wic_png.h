// PNG files through the Windows Imaging Component (part of Windows): its PNG
// encoder writing into a stream in memory.
#pragma once
#include <cstdint>
#include <vector>

// The picture as a PNG file's bytes, 24-bit RGB: the pixels are 32-bit
// 0x00RRGGBB values (blue, green, red, unused in memory), the top row first,
// rowStride bytes a row. False when COM or a step of the encoder fails.
bool EncodeWicPng(const uint8_t* pixels, int32_t width, int32_t height, int32_t rowStride, std::vector<uint8_t>* png);
