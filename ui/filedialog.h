// The FileDialog function: open, save, multiple selection and folder choosers
// with filters whose chosen index is remembered.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tvx::interp {
class Interpreter;
}

namespace tvx::ui {

// Registers FileDialog.
void registerFileDialog(interp::Interpreter& ip);

// OPENFILENAME flags the function computes and passes on.
enum OpenFileFlags : uint32_t {
    kOfnOverwritePrompt = 0x2,
    kOfnHideReadOnly = 0x4,
    kOfnAllowMultiSelect = 0x200,
    kOfnPathMustExist = 0x800,
    kOfnFileMustExist = 0x1000,
    kOfnNoTestFileCreate = 0x10000,
    kOfnExplorer = 0x80000,
    kOfnEnableSizing = 0x800000,
};

// The flags for a mode and a flags argument (the mode may be changed: 7 becomes
// a plain open).
uint32_t fileDialogFlags(int32_t& mode, uint32_t flags);

// A filter text "desc|pattern|desc|pattern|" as pairs (at most 510 characters).
std::vector<std::pair<std::string, std::string>> splitFilter(std::string_view filter);
// The filter derived from an extension of 1..10 characters other than "*", else
// the one for all files.
std::string derivedFilter(std::string_view extension);
// The key that identifies a filter in the filter memory.
uint64_t filterKey(std::string_view filter);

// Parts of a path as the function splits it: drive ("C:"), folder (with its
// trailing separator), name and extension (with its dot).
struct PathParts {
    std::string drive, folder, name, extension;
};
PathParts splitPath(std::string_view path);

}  // namespace tvx::ui
