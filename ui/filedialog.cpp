#include "ui/filedialog.h"

#include <sys/stat.h>

#include <array>
#include <cstring>

#include "interp/api.h"
#include "platform/paths.h"
#include "platform/window/window.h"
#include "ui/host.h"

namespace tvx::ui {

using interp::CallArgs;
using interp::Interpreter;
using interp::MCVal;

namespace {

constexpr size_t kMaxPath = 4095;
constexpr size_t kMaxFilter = 510;

// The filter index chosen last, per filter-memory slot (mode bits 8..9), of
// one interpreter.
struct FilterMemory {
    uint64_t key = 0;
    int index = 0;
};
struct FileDialogState : interp::FamilyState {
    std::array<FilterMemory, 4> slots{};
};

bool folderExists(Interpreter& ip, std::string_view path) {
    if (path.empty()) return false;
    return platform::directoryExists(ip.posixPath(path));
}

// A POSIX path the person chose, in the macro's way of writing paths: through a
// drive of the drive table when the initial path used one, with its separators.
std::string macroPathOf(Interpreter& ip, const std::string& posix, const PathParts& initial) {
    if (initial.drive.size() == 2) {
        char letter = static_cast<char>(initial.drive[0] & ~0x20);
        auto it = ip.drives().find(letter);
        std::string root = it != ip.drives().end() ? it->second : "/";
        if (!root.empty() && root.back() != '/') root += '/';
        if (posix.compare(0, root.size(), root) == 0) {
            std::string rest = posix.substr(root.size());
            for (char& c : rest)
                if (c == '/') c = '\\';
            return std::string(1, letter) + ":\\" + rest;
        }
    }
    return posix;
}

bool createWholePath(Interpreter& ip, const std::string& path) {
    std::string posix = ip.posixPath(path);
    std::string built;
    size_t i = 0;
    if (!posix.empty() && posix[0] == '/') {
        built = "/";
        i = 1;
    }
    while (i <= posix.size()) {
        size_t slash = posix.find('/', i);
        if (slash == std::string::npos) slash = posix.size();
        std::string part = posix.substr(i, slash - i);
        if (!part.empty()) {
            built += part;
            if (!platform::directoryExists(built) && ::mkdir(built.c_str(), 0777) != 0 &&
                !platform::directoryExists(built))
                return false;
            built += '/';
        }
        i = slash + 1;
    }
    return true;
}

std::string withoutLastElement(std::string_view path) {
    while (path.size() > 1 && platform::isPathSeparator(path.back())) path.remove_suffix(1);
    size_t sep = path.find_last_of("/\\");
    if (sep == std::string_view::npos) {
        if (path.size() >= 2 && path[1] == ':') return std::string(path.substr(0, 2));
        return std::string();
    }
    return std::string(path.substr(0, sep + 1));
}

interp::Error fileDialogFunction(Interpreter& ip, CallArgs& args, MCVal& result) {
    result.setReal(0);
    int32_t mode = args.l(0);
    std::string& pathVariable = *args.var(1).text;
    std::string_view filterArgument = args.text(2);
    std::string title(args.text(3));
    int32_t ownerNumber = args.integer(4);
    uint32_t flags = static_cast<uint32_t>(args.integer(5));
    double* listVariable = args.present(6) ? args.var(6).number : nullptr;

    // 1. The initial path; a path that names a folder is all folder.
    PathParts parts = splitPath(pathVariable);
    if (!pathVariable.empty() && folderExists(ip, pathVariable) && !parts.name.empty()) {
        parts.folder += parts.name + parts.extension + "\\";
        parts.name.clear();
        parts.extension.clear();
    }
    // 2. Flags.
    flags = fileDialogFlags(mode, flags);
    bool folderMode = (mode & 4) != 0;
    // 3. Initial name.
    std::string fileName = parts.name + parts.extension;
    if (folderMode && fileName.empty()) fileName.push_back('-');
    // 4. Filter, and the index the filter memory presets.
    std::string extension = parts.extension.size() > 1 ? parts.extension.substr(1) : std::string();
    bool derived = filterArgument.empty();
    std::string filter =
        derived ? derivedFilter(extension) : std::string(filterArgument.substr(0, kMaxFilter));
    auto pairs = splitFilter(filter);
    uint64_t key = filterKey(filter);
    FilterMemory& slot = ip.state<FileDialogState>().slots[static_cast<size_t>((mode >> 8) & 3)];
    int index = 1;
    if (slot.index > 0 && (slot.key == key || (derived && slot.index <= static_cast<int>(pairs.size()))))
        index = slot.index;

    // 5, 6. The chooser.
    interp::FileRequest request;
    request.save = !(mode & 1);
    request.multiple = (flags & kOfnAllowMultiSelect) && listVariable && !folderMode;
    request.fileMustExist = (flags & kOfnFileMustExist) != 0;
    request.pathMustExist = (flags & kOfnPathMustExist) != 0;
    request.overwritePrompt = (flags & kOfnOverwritePrompt) != 0;
    request.title = title;
    request.initialPath = parts.drive + parts.folder + fileName;
    request.initialPosix = ip.posixPath(request.initialPath);
    request.directory = parts.drive.empty() && parts.folder.empty()
                            ? std::string()
                            : ip.posixPath(parts.drive + parts.folder);
    request.fileName = fileName;
    request.filters = pairs;
    request.filterIndex = index;
    if (platform::isWindow(static_cast<platform::Hwnd>(ownerNumber)))
        request.owner = static_cast<platform::Hwnd>(ownerNumber);
    interp::FileAnswer answer = ip.host().chooseFiles(request);

    std::string chosen;
    int count = 0;
    if (answer.ok) {
        std::vector<std::string> paths;
        for (const std::string& p : answer.paths)
            paths.push_back(p.empty() || p[0] != '/' ? p : macroPathOf(ip, p, parts));
        for (const std::string& p : paths)
            if (p.size() > kMaxPath) answer.ok = false;  // such a path cannot be taken
        if (answer.ok) {
            chosen = paths.front();
            count = 1;
            // 7. Multiple selection: every full path goes into the list.
            if (request.multiple) {
                const interp::StringListService& lists = ip.stringLists();
                if (!lists.init || !lists.add) return interp::kNotAvailable;
                double handle = lists.init(ip, *listVariable);
                *listVariable = handle;
                count = 0;
                for (const std::string& p : paths) {
                    if (lists.add(ip, handle, p) < 0) return interp::kWrongDataType;
                    ++count;
                }
            }
        }
    }
    // 8. Folder mode.
    if (answer.ok && folderMode) {
        bool endsAsPlaceholder = !chosen.empty() && (chosen.back() == '-' || chosen.back() == ',');
        bool exists = endsAsPlaceholder || folderExists(ip, chosen);
        if ((mode & 7) == 6 && !exists) {
            std::string question =
                "Der Pfad \r\r  \"" + chosen + "\"\r\rexistiert noch nicht! Soll er erzeugt werden?";
            int button = ip.messageBox(question, "FileDialog", 35);
            if (button == interp::kIdYes) {
                createWholePath(ip, chosen);
            } else if (button == interp::kIdCancel || button == interp::kIdNone) {
                answer.ok = false;
            } else if (!(mode & 0x20)) {
                // No: as every other case, the last element goes, unless mode bit
                // 5 keeps the path of a folder that does not exist.
                chosen = withoutLastElement(chosen);
            }
        } else if (exists || !(mode & 0x20)) {
            chosen = withoutLastElement(chosen);
        }
    }
    // 9. The result; the caller's variable takes the path after OK or with mode bit 3.
    if (!answer.ok) {
        chosen.clear();
        count = 0;
    }
    if (count > 0 || (mode & 8)) pathVariable = chosen;
    result.setReal(count);
    // 10. The filter memory.
    if (answer.ok) {
        slot.key = key;
        slot.index = answer.filterIndex;
    }
    return interp::kOk;
}

}  // namespace

uint32_t fileDialogFlags(int32_t& mode, uint32_t flags) {
    uint32_t defaults;
    if ((mode & 7) == 7) {
        defaults = kOfnHideReadOnly | kOfnAllowMultiSelect | kOfnPathMustExist | kOfnFileMustExist |
                   kOfnExplorer | kOfnEnableSizing;
        mode = (mode & ~6) | 1;
    } else {
        int kind = mode & 3;
        if (mode & 4) kind |= 2;
        static const uint32_t kDefaults[4] = {
            kOfnOverwritePrompt | kOfnHideReadOnly | kOfnEnableSizing,
            kOfnHideReadOnly | kOfnPathMustExist | kOfnFileMustExist | kOfnEnableSizing,
            kOfnHideReadOnly | kOfnNoTestFileCreate | kOfnEnableSizing,
            kOfnHideReadOnly | kOfnPathMustExist | kOfnNoTestFileCreate | kOfnEnableSizing,
        };
        defaults = kDefaults[kind];
    }
    if (flags == 0 || (flags >> 24) > 63) flags = (flags & 0x80000000u) ? flags ^ defaults : flags | defaults;
    return flags & 0x00FFFFFFu;
}

std::vector<std::pair<std::string, std::string>> splitFilter(std::string_view filter) {
    filter = filter.substr(0, kMaxFilter);
    std::vector<std::string> parts;
    while (!filter.empty()) {
        size_t bar = filter.find('|');
        parts.emplace_back(filter.substr(0, bar));
        if (bar == std::string_view::npos) break;
        filter.remove_prefix(bar + 1);
    }
    std::vector<std::pair<std::string, std::string>> pairs;
    for (size_t i = 0; i + 1 < parts.size(); i += 2)
        if (!parts[i].empty() || !parts[i + 1].empty()) pairs.emplace_back(parts[i], parts[i + 1]);
    return pairs;
}

std::string derivedFilter(std::string_view extension) {
    if (extension.empty() || extension.size() > 10 || extension == "*") return "All Files (*.*)|*.*|";
    std::string text(extension);
    std::string described = text;
    if (described[0] >= 'a' && described[0] <= 'z') described[0] = static_cast<char>(described[0] - 32);
    return described + " Files (*." + text + ")|*." + text + "|All Files (*.*)|*.*|";
}

uint64_t filterKey(std::string_view filter) {
    uint32_t head = 0;
    std::memcpy(&head, filter.data(), std::min<size_t>(4, filter.size()));
    return (static_cast<uint64_t>(filter.size()) << 32) | head;
}

PathParts splitPath(std::string_view path) {
    PathParts parts;
    if (path.size() >= 2 && path[1] == ':') {
        parts.drive = std::string(path.substr(0, 2));
        path.remove_prefix(2);
    }
    size_t sep = path.find_last_of("/\\");
    if (sep != std::string_view::npos) {
        parts.folder = std::string(path.substr(0, sep + 1));
        path.remove_prefix(sep + 1);
    }
    size_t dot = path.rfind('.');
    if (dot != std::string_view::npos) {
        parts.name = std::string(path.substr(0, dot));
        parts.extension = std::string(path.substr(dot));
    } else {
        parts.name = std::string(path);
    }
    return parts;
}

constexpr interp::CommandRow kFileDialogRows[] = {
    {interp::cmd::FileDialog, fileDialogFunction},
};

void registerFileDialog(Interpreter& ip) { ip.install({"ui/filedialog", kFileDialogRows}); }

}  // namespace tvx::ui
