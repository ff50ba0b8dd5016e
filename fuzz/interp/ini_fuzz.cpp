// Fuzzes the settings-file layer: any bytes as an INI text, read through the
// index and through the one-pass lookup (the two must agree), changed, and the
// changed text parsed again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/ini.h"

using tvx::platform::IniDocument;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    IniDocument doc(text);
    for (const std::string& section : doc.sections()) {
        for (const std::string& key : doc.keys(section)) {
            std::string indexed, scanned;
            bool a = doc.get(section, key, &indexed);
            bool b = IniDocument::find(text, section, key, &scanned);
            if (a != b || indexed != scanned) std::abort();  // the two lookups disagree
        }
    }
    // Changes keep the structure: what was set reads back.
    std::string value;
    if (doc.set("Fuzz", "Key", "v a l") && (!doc.get("Fuzz", "Key", &value) || value != "v a l"))
        std::abort();
    std::vector<std::string> sections = doc.sections();
    if (!sections.empty()) {
        (void)doc.removeKey(sections.front(), "Key");
        (void)doc.removeSection(sections.back());
    }
    IniDocument again(doc.text());
    (void)again.sections();
    return 0;
}
