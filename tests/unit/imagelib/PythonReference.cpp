#include "PythonReference.h"

#include <cstdlib>
#include <map>

namespace pixorytest {

namespace {

const char* kPython = "/usr/bin/python3";

std::string quoted(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

}  // namespace

bool pythonHas(const std::string& modules)
{
    static std::map<std::string, bool> known;
    auto it = known.find(modules);
    if (it != known.end())
        return it->second;
    const std::string command =
        std::string(kPython) + " -c " + quoted("import " + modules) + " >/dev/null 2>&1";
    const bool ok = std::system(command.c_str()) == 0;
    known[modules] = ok;
    return ok;
}

bool runReference(const std::string& script, const std::vector<std::string>& arguments)
{
    std::string command =
        std::string(kPython) + " " + quoted(std::string(TOLVEX_SOURCE_DIR) + "/tests/unit/imagelib/reference/" + script);
    for (const std::string& a : arguments)
        command += " " + quoted(a);
    return std::system(command.c_str()) == 0;
}

}  // namespace pixorytest
