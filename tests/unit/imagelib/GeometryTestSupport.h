// Helpers of the resampling and drawing tests: pictures as rows of bytes, noise, and the
// numpy and OpenCV reference scripts of reference/ run with Debian's Python.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pixorytest {

// A slot's DIB bytes as the picture is seen, top row first, width x bytes per pixel per
// row (no padding); and the same written back.
std::vector<uint8_t> topDownBytes(int number);
void setTopDownBytes(int number, const std::vector<uint8_t>& bytes);
// n bytes of a fixed pseudo-random sequence.
std::vector<uint8_t> noise(size_t n, unsigned seed);

// True when /usr/bin/python3 can import every module of the comma-separated list.
bool pythonHas(const std::string& modules);
// Runs reference/<script> with the arguments; true when it exited with status 0.
bool runReference(const std::string& script, const std::vector<std::string>& arguments);

}  // namespace pixorytest
