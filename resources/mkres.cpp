// mkres: turns the readable resource sources into the C++ data file that is built
// into the program.
//
//   mkres OUT.cpp COMMANDS.tbl STATVARS.tbl MESSAGES.tbl TEXTS.lst
//
// COMMANDS.tbl rows are "code name [signature]" (name "~" for a nameless row),
// STATVARS.tbl rows "code name", MESSAGES.tbl rows "number text", TEXTS.lst rows
// "NAME number file [scramble=V]" with file relative to the list's folder. Lines
// starting with '#' and blank lines are skipped. Any malformed row stops the build.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>

#include "resources/resource_data.h"

using tvx::resources::data::kFirstMessage;
using tvx::resources::data::kLastMessage;
#include <sstream>
#include <string>
#include <vector>

#ifdef MKRES_WITH_SCRAMBLE
#include "interp/source/scramble.h"
#endif

namespace {

[[noreturn]] void fail(const std::string& where, const std::string& what) {
    std::cerr << "mkres: " << where << ": " << what << "\n";
    std::exit(1);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) fail(path, "cannot read");
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Splits a file into its meaningful lines (no comments, no blank lines), with
// line numbers for messages.
std::vector<std::pair<int, std::string>> contentLines(const std::string& path) {
    std::vector<std::pair<int, std::string>> lines;
    std::istringstream in(readFile(path));
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#') continue;
        lines.emplace_back(number, line);
    }
    return lines;
}

unsigned long parseCode(const std::string& word, const std::string& where) {
    char* end = nullptr;
    unsigned long code = std::strtoul(word.c_str(), &end, 0);
    if (word.empty() || *end != '\0' || code >= 0xFFFF) fail(where, "bad code '" + word + "'");
    return code;
}

void appendRecordHead(std::vector<uint8_t>& out, unsigned long code, const std::string& name) {
    out.push_back(static_cast<uint8_t>(code & 0xFF));
    out.push_back(static_cast<uint8_t>(code >> 8));
    out.insert(out.end(), name.begin(), name.end());
    out.push_back(0);
}

// Each code may stand in one row only.
void checkUnique(std::vector<bool>& seen, unsigned long code, const std::string& where) {
    if (seen.size() <= code) seen.resize(code + 1, false);
    if (seen[code]) fail(where, "code " + std::to_string(code) + " appears twice");
    seen[code] = true;
}

std::vector<uint8_t> commandRecords(const std::string& path) {
    std::vector<uint8_t> out;
    std::vector<bool> seen;
    for (auto& [number, line] : contentLines(path)) {
        std::string where = path + ":" + std::to_string(number);
        std::istringstream words(line);
        std::string code, name, signature, extra;
        words >> code >> name >> signature >> extra;
        if (name.empty() || !extra.empty()) fail(where, "expected: code name [signature]");
        if (name == "~") name.clear();
        checkUnique(seen, parseCode(code, where), where);
        appendRecordHead(out, parseCode(code, where), name);
        out.insert(out.end(), signature.begin(), signature.end());
        out.push_back(0);
    }
    out.push_back(0xFF);
    out.push_back(0xFF);
    return out;
}

std::vector<uint8_t> statusRecords(const std::string& path) {
    std::vector<uint8_t> out;
    std::vector<bool> seen;
    for (auto& [number, line] : contentLines(path)) {
        std::string where = path + ":" + std::to_string(number);
        std::istringstream words(line);
        std::string code, name, extra;
        words >> code >> name >> extra;
        if (name.empty() || !extra.empty()) fail(where, "expected: code name");
        checkUnique(seen, parseCode(code, where), where);
        appendRecordHead(out, parseCode(code, where), name);
    }
    out.push_back(0xFF);
    out.push_back(0xFF);
    return out;
}

std::string cEscaped(const std::string& bytes) {
    std::string out;
    char buffer[8];
    for (unsigned char c : bytes) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7F && c != '?') {
            out += static_cast<char>(c);
        } else {
            // Octal escapes never swallow a following digit the way \x does.
            std::snprintf(buffer, sizeof buffer, "\\%03o", c);
            out += buffer;
        }
    }
    return out;
}

void writeBytes(std::ostream& out, const char* name, const std::vector<uint8_t>& bytes) {
    out << "extern const uint8_t " << name << "[] = {";
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i % 16 == 0) out << "\n   ";
        out << " " << static_cast<int>(bytes[i]) << ",";
    }
    out << "\n};\nextern const size_t " << name << "Size = " << bytes.size() << ";\n\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::cerr << "usage: mkres OUT.cpp COMMANDS.tbl STATVARS.tbl MESSAGES.tbl TEXTS.lst\n";
        return 2;
    }
    std::ostringstream out;
    out << "// Generated by mkres from the tables in resources/. Do not edit.\n"
        << "#include \"resources/resource_data.h\"\n\n"
        << "namespace tvx::resources::data {\n\n";
    writeBytes(out, "commandRecords", commandRecords(argv[2]));
    writeBytes(out, "statusRecords", statusRecords(argv[3]));

    std::vector<std::string> messages(kLastMessage - kFirstMessage + 1);
    for (auto& [number, line] : contentLines(argv[4])) {
        std::string where = std::string(argv[4]) + ":" + std::to_string(number);
        size_t split = line.find(' ');
        int id = std::atoi(line.substr(0, split).c_str());
        if (split == std::string::npos || id < kFirstMessage || id > kLastMessage)
            fail(where, "expected: number text");
        messages[id - kFirstMessage] = line.substr(split + 1);
    }
    out << "extern const char* const messages[] = {\n";
    for (auto& text : messages) out << "    \"" << cEscaped(text) << "\",\n";
    out << "};\n\n";

    std::string listPath = argv[5];
    std::string listDir = listPath.substr(0, listPath.find_last_of('/') + 1);
    std::ostringstream table;
    int count = 0;
    for (auto& [number, line] : contentLines(listPath)) {
        std::string where = listPath + ":" + std::to_string(number);
        std::istringstream words(line);
        std::string name, id, file, option;
        words >> name >> id >> file >> option;
        if (file.empty()) fail(where, "expected: NAME number file [scramble=V]");
        std::string text = readFile(listDir + file);
        if (option.rfind("scramble=", 0) == 0) {
#ifdef MKRES_WITH_SCRAMBLE
            text = tvx::interp::scrambleMacroText(text, std::atoi(option.c_str() + 9));
#else
            fail(where, "this mkres was built without the scrambler");
#endif
        } else if (!option.empty()) {
            fail(where, "unknown option '" + option + "'");
        }
        out << "static const char text" << count << "[] = \"" << cEscaped(text) << "\";\n";
        table << "    {\"" << cEscaped(name) << "\", " << std::atoi(id.c_str()) << ", {text"
              << count << ", " << text.size() << "}},\n";
        ++count;
    }
    out << "\nextern const TextResource texts[] = {\n" << table.str() << "};\n"
        << "extern const size_t textCount = " << count << ";\n\n}  // namespace tvx::resources::data\n";

    // Write only when changed, so that an unchanged table rebuilds nothing.
    std::string generated = out.str();
    std::ifstream old(argv[1], std::ios::binary);
    std::ostringstream oldText;
    if (old) oldText << old.rdbuf();
    if (!old || oldText.str() != generated) {
        std::ofstream file(argv[1], std::ios::binary);
        file << generated;
        if (!file) fail(argv[1], "cannot write");
    }
    return 0;
}
