// The data arrays that mkres generates; resources.cpp serves them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "resources/resources.h"

namespace tvx::resources::data {

constexpr int kFirstMessage = 801;
constexpr int kLastMessage = 858;

extern const uint8_t commandRecords[];
extern const size_t commandRecordsSize;
extern const uint8_t statusRecords[];
extern const size_t statusRecordsSize;
extern const char* const messages[];  // kFirstMessage..kLastMessage
extern const TextResource texts[];
extern const size_t textCount;

}  // namespace tvx::resources::data
