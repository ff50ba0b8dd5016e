// mkres: turns the readable resource sources into the C++ data file that is built
// into the program.
//
//   mkres OUT.cpp OUT.inc OUT.dict COMMANDS.tbl STATVARS.tbl MESSAGES.tbl TEXTS.lst
//
// COMMANDS.tbl rows are "code name [signature]" (a name "~Id" for a row without a
// name, Id naming its code in the source) or "internal code Id"; STATVARS.tbl rows
// "code name", MESSAGES.tbl rows "number identifier text", TEXTS.lst rows
// "NAME number file [scramble=V]" with file relative to the list's folder. Lines
// starting with '#' and blank lines are skipped. Any malformed row stops the build.
//
// OUT.cpp holds the binary tables and texts; OUT.inc lists every code by name for
// the source (X-macros TVX_COMMAND, TVX_INTERNAL, TVX_STATUS, TVX_ERROR), so no
// code is typed twice; OUT.dict is the fuzzers' dictionary: every name a macro
// can write, the keywords and separators of the language.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "resources/resource_data.h"

using tvx::resources::data::kFirstMessage;
using tvx::resources::data::kLastMessage;

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

// An identifier for the source: letters, digits and '_', not starting with a digit.
void checkIdentifier(const std::string& id, const std::string& where) {
    bool ok = !id.empty() && !std::isdigit(static_cast<unsigned char>(id[0]));
    for (unsigned char c : id) ok = ok && (std::isalnum(c) || c == '_');
    if (!ok) fail(where, "'" + id + "' cannot name a code in the source");
}

std::string hex(unsigned long code) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%03lX", code);
    return buffer;
}

std::vector<uint8_t> commandRecords(const std::string& path, std::ostream& inc) {
    std::vector<uint8_t> out;
    std::vector<bool> seen;
    std::ostringstream internal;
    for (auto& [number, line] : contentLines(path)) {
        std::string where = path + ":" + std::to_string(number);
        std::istringstream words(line);
        std::string code, name, signature, extra;
        words >> code >> name >> signature >> extra;
        if (code == "internal") {
            // "internal code Id": a code without a row.
            if (signature.empty() || !extra.empty()) fail(where, "expected: internal code identifier");
            unsigned long value = parseCode(name, where);
            checkUnique(seen, value, where);
            checkIdentifier(signature, where);
            internal << "TVX_INTERNAL(" << signature << ", " << hex(value) << ")\n";
            continue;
        }
        if (name.empty() || !extra.empty()) fail(where, "expected: code name [signature]");
        unsigned long value = parseCode(code, where);
        checkUnique(seen, value, where);
        std::string id = name;
        if (name[0] == '~') {
            id = name.substr(1);
            name.clear();
        }
        checkIdentifier(id, where);
        inc << "TVX_COMMAND(" << id << ", " << hex(value) << ", \"" << cEscaped(name) << "\", \""
            << cEscaped(signature) << "\")\n";
        appendRecordHead(out, value, name);
        out.insert(out.end(), signature.begin(), signature.end());
        out.push_back(0);
    }
    inc << "#endif\n\n#ifdef TVX_INTERNAL\n" << internal.str();
    out.push_back(0xFF);
    out.push_back(0xFF);
    return out;
}

std::vector<uint8_t> statusRecords(const std::string& path, std::ostream& inc) {
    std::vector<uint8_t> out;
    std::vector<bool> seen;
    for (auto& [number, line] : contentLines(path)) {
        std::string where = path + ":" + std::to_string(number);
        std::istringstream words(line);
        std::string code, name, extra;
        words >> code >> name >> extra;
        if (name.empty() || !extra.empty()) fail(where, "expected: code name");
        unsigned long value = parseCode(code, where);
        checkUnique(seen, value, where);
        checkIdentifier(name, where);
        inc << "TVX_STATUS(" << name << ", " << value << ")\n";
        appendRecordHead(out, value, name);
    }
    out.push_back(0xFF);
    out.push_back(0xFF);
    return out;
}

// Write only when changed, so that an unchanged table rebuilds nothing.
void writeIfChanged(const char* path, const std::string& generated) {
    std::ifstream old(path, std::ios::binary);
    std::ostringstream oldText;
    if (old) oldText << old.rdbuf();
    if (old && oldText.str() == generated) return;
    old.close();
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << generated;
    if (!file) fail(path, "cannot write");
}

void writeBytes(std::ostream& out, const char* name, const std::vector<uint8_t>& bytes) {
    out << "extern const uint8_t " << name << "[] = {";
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i % 16 == 0) out << "\n   ";
        out << " " << static_cast<int>(bytes[i]) << ",";
    }
    out << "\n};\nextern const size_t " << name << "Size = " << bytes.size() << ";\n\n";
}

// A dictionary entry's text: libFuzzer reads \\, \" and \xNN escapes.
std::string dictEscaped(const std::string& bytes) {
    std::string out;
    char buffer[8];
    for (unsigned char c : bytes) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            std::snprintf(buffer, sizeof buffer, "\\x%02X", c);
            out += buffer;
        }
    }
    return out;
}

// The dictionary in libFuzzer's format: the names from the generated list,
// then the words and separators that macros are made of.
std::string fuzzDictionary(const std::string& inc) {
    std::ostringstream dict;
    dict << "# Generated by mkres from the tables in resources/. Do not edit.\n";
    std::istringstream lines(inc);
    int n = 0;
    for (std::string line; std::getline(lines, line);) {
        bool command = line.rfind("TVX_COMMAND(", 0) == 0;
        bool status = line.rfind("TVX_STATUS(", 0) == 0;
        if (!command && !status) continue;
        std::string name;
        if (command) {
            size_t open = line.find('"');
            name = line.substr(open + 1, line.find('"', open + 1) - open - 1);
            if (name.empty()) continue;
        } else {
            size_t open = line.find('(');
            name = "!" + line.substr(open + 1, line.find(',') - open - 1);
        }
        dict << "n" << n++ << "=\"" << dictEscaped(name + " ") << "\"\n";
    }
    static const char* const kWords[] = {
        " = ",         " := ",       " += ",       " -= ",
        " *= ",        " /= ",       " ^= ",       "?",
        ":",           "|",          ",",          "(",
        ")",           "[",          "]",          ";",
        "\"",          "'",          "\\",         "\r\n",
        "\n",          " .* ",       " ./ ",       " .^ ",
        "'",           " == ",       " ~= ",       " <= ",
        " >= ",        " <> ",       " # ",        " AND ",
        " OR ",        " XOR ",      " DIV ",      " MOD ",
        " FMOD ",      " MUL ",      " << ",       " >> ",
        "0x",          "0b",         "#0.3#",      "1e308",
        "-2147483648", "4294967295", "65535",      "[1:1e9]",
        "End If",      "Else If",    "Break Loop", "Function f(a, &b)",
        "Local x",     "Static y",   "Global g",   "Permanent p",
        "Label L",     "GoSub L",    "Return",     "Shared",
        "this.",       "&x",         "@",          "!",
    };
    for (const char* word : kWords) dict << "w" << n++ << "=\"" << dictEscaped(word) << "\"\n";
    return dict.str();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 8) {
        std::cerr
            << "usage: mkres OUT.cpp OUT.inc OUT.dict COMMANDS.tbl STATVARS.tbl MESSAGES.tbl TEXTS.lst\n";
        return 2;
    }
    const char* commandsPath = argv[4];
    const char* statusPath = argv[5];
    const char* messagesPath = argv[6];
    std::ostringstream out;
    out << "// Generated by mkres from the tables in resources/. Do not edit.\n"
        << "#include \"resources/resource_data.h\"\n\n"
        << "namespace tvx::resources::data {\n\n";
    std::ostringstream inc;
    inc << "// Generated by mkres from the tables in resources/. Do not edit.\n"
        << "// TVX_COMMAND(id, code, name, signature): the rows of the command table\n"
        << "// TVX_INTERNAL(id, code): statement codes without a row\n"
        << "// TVX_STATUS(id, code): the status variables\n"
        << "// TVX_ERROR(id, number): the interpreter errors (message 800 + number)\n\n"
        << "#ifdef TVX_COMMAND\n";
    writeBytes(out, "commandRecords", commandRecords(commandsPath, inc));
    inc << "#endif\n\n#ifdef TVX_STATUS\n";
    writeBytes(out, "statusRecords", statusRecords(statusPath, inc));
    inc << "#endif\n\n#ifdef TVX_ERROR\n";

    std::vector<std::string> messages(kLastMessage - kFirstMessage + 1);
    for (auto& [number, line] : contentLines(messagesPath)) {
        std::string where = std::string(messagesPath) + ":" + std::to_string(number);
        std::istringstream words(line);
        std::string numberWord, id;
        words >> numberWord >> id;
        int value = std::atoi(numberWord.c_str());
        if (id.empty() || value < kFirstMessage || value > kLastMessage)
            fail(where, "expected: number identifier text");
        checkIdentifier(id, where);
        std::string text;
        std::getline(words >> std::ws, text);
        if (text.empty()) fail(where, "expected: number identifier text");
        messages[value - kFirstMessage] = text;
        inc << "TVX_ERROR(" << id << ", " << value - 800 << ")\n";
    }
    inc << "#endif\n";
    out << "extern const char* const messages[] = {\n";
    for (auto& text : messages) out << "    \"" << cEscaped(text) << "\",\n";
    out << "};\n\n";

    std::string listPath = argv[7];
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
        table << "    {\"" << cEscaped(name) << "\", " << std::atoi(id.c_str()) << ", {text" << count << ", "
              << text.size() << "}},\n";
        ++count;
    }
    out << "\nextern const TextResource texts[] = {\n"
        << table.str() << "};\n"
        << "extern const size_t textCount = " << count << ";\n\n}  // namespace tvx::resources::data\n";

    writeIfChanged(argv[1], out.str());
    writeIfChanged(argv[2], inc.str());
    writeIfChanged(argv[3], fuzzDictionary(inc.str()));
    return 0;
}
