// Loading files into slots and saving slots to files, by name.
#pragma once

#include <cstdint>
#include <string>

namespace tvx::imagelib {

// Loads the file named path (any supported kind, chosen by extension) into the slot.
// Returns the slot's DIB block, or null; on a failed read the slot is left empty.
uint8_t* loadImageFile(int number, const std::string& path);

// The file-system path that loadImageFile reads for name (BMP names are resolved against
// the library's directory, others against the current one).
std::string loadPath(const std::string& name);

// Writes the slot by the format flags of pxSaveImage (0: by extension). 1 on success,
// 0 or a negative code on failure.
int saveImageFile(int number, const std::string& path, int flags);

// JPEG name options ("x.jpg@80h", "x@50l.jpg", "x.jpg90"): quality 1..100 and sampling
// (1 full, 2 halved) are taken from the name and cut from it.
void takeJpegOptions(std::string* path, int* quality, int* sampling);

}  // namespace tvx::imagelib
