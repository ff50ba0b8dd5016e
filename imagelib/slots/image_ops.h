// Creating, copying and swapping images: the operations behind the slot exports, also
// used by conversions, processing and the file loaders.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tvx::imagelib {

// Creates or re-creates the image in slot number (see pxImageNew). Returns the 16-bit
// plane for bits 9..16, else the DIB's pixel rows; null when the number is invalid, the
// depth unsupported, or the size refused (the slot is then left without DIB).
void* imageNew(int number, void* parent, int width, int height, int bits, uint32_t flags);

// Copies source into destination (see pxImageCopy). Returns the destination's pixel
// rows, null when the source is empty or a number invalid.
uint8_t* imageCopy(int source, int destination, int flags);

// Exchanges the image data of two slots (see pxSwapImage).
void swapImages(int a, int b, int mode);

// Destroys every window and frees every DIB and plane.
void closeAll();

// Reverses the order of a slot's DIB rows in place.
void reverseRows(uint8_t* pixels, size_t stride, int height);

}  // namespace tvx::imagelib
