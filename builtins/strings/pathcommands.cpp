// Path names as strings: completing a name to a full path, and splitting a
// path into drive, directory, name and extension.
#include "builtins/files/fileinternal.h"
#include "builtins/strings/stringinternal.h"
#include "interp/api.h"
#include "platform/paths.h"

namespace tvx::builtins {

using interp::CallArgs;
using interp::Interpreter;
using interp::kOk;
using interp::MCVal;

namespace {

constexpr size_t kMaxExtension = 50;
constexpr size_t kMaxPathPart = 255;  // each part of SplitPath, with its NUL in 256 bytes

// GetPathName $ss.s: the full path of a name relative to a directory (the
// working directory when none is given), with an extension added when the
// name has no dot.
interp::Error getPathName(Interpreter& ip, CallArgs& args, MCVal&) {
    std::string_view base = args.text(2);
    std::string directory = base.empty() ? workingDirectory(ip) : std::string(base);
    std::string path = interp::fullPathName(args.text(1), directory);
    std::string_view extension = args.text(3);
    if (!extension.empty() && extension[0] == '.') extension.remove_prefix(1);
    extension = extension.substr(0, kMaxExtension);
    std::string_view file = platform::fileNamePart(path);
    if (!extension.empty() && !file.empty() && file.find('.') == std::string_view::npos) {
        path += '.';
        path.append(extension);
    }
    return setText(*args.var(0).text, path);
}

struct PathParts {
    std::string_view drive, directory, name, extension;
};

// The C library's splitting: "C:" (a letter and a colon), the directory up to
// and with the last separator, the name, and the extension from the last dot
// of the name on.
PathParts splitPath(std::string_view path) {
    PathParts parts;
    if (path.size() >= 2 && path[1] == ':' &&
        ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'))) {
        parts.drive = path.substr(0, 2);
        path.remove_prefix(2);
    }
    size_t cut = 0;
    for (size_t i = path.size(); i > 0; --i)
        if (platform::isPathSeparator(path[i - 1])) {
            cut = i;
            break;
        }
    parts.directory = path.substr(0, cut);
    std::string_view file = path.substr(cut);
    size_t dot = file.rfind('.');
    parts.name = dot == std::string_view::npos ? file : file.substr(0, dot);
    parts.extension = dot == std::string_view::npos ? std::string_view() : file.substr(dot);
    return parts;
}

interp::Error splitPathCommand(Interpreter&, CallArgs& args, MCVal&) {
    PathParts parts = splitPath(args.text(0));
    const std::string_view values[] = {parts.drive, parts.directory, parts.name, parts.extension};
    for (int i = 0; i < 4; ++i) {
        if (!args.present(i + 1)) continue;
        if (interp::Error err = setText(*args.var(i + 1).text, values[i].substr(0, kMaxPathPart))) return err;
    }
    return kOk;
}

}  // namespace

constexpr interp::CommandRow kPathCommandsRows[] = {
    {interp::cmd::GetPathName, getPathName},
    {interp::cmd::SplitPath, splitPathCommand},
};

void registerPathCommands(Interpreter& ip) { ip.install({"strings/pathcommands", kPathCommandsRows}); }

}  // namespace tvx::builtins
