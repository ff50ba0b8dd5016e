#include "resources/resources.h"

#include <strings.h>

#include "resources/resource_data.h"

namespace tvx::resources {

std::span<const uint8_t> commandTableRecords() { return {data::commandRecords, data::commandRecordsSize}; }

std::span<const uint8_t> statusVariableRecords() { return {data::statusRecords, data::statusRecordsSize}; }

std::string_view messageText(int number) {
    if (number < data::kFirstMessage || number > data::kLastMessage) return {};
    return data::messages[number - data::kFirstMessage];
}

std::span<const TextResource> textResources() { return {data::texts, data::textCount}; }

const TextResource* findTextResource(std::string_view name) {
    for (const TextResource& resource : textResources()) {
        if (resource.name.size() == name.size() &&
            strncasecmp(resource.name.data(), name.data(), name.size()) == 0)
            return &resource;
    }
    return nullptr;
}

const TextResource* findTextResource(int number) {
    for (const TextResource& resource : textResources())
        if (resource.number == number) return &resource;
    return nullptr;
}

}  // namespace tvx::resources
