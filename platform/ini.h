// INI profile files with the rules Windows programs expect of them.
//
// Sections and keys are matched without regard to (ASCII) case; the first of
// several equal keys wins, and the first of several equal sections; blanks
// around '=' and around the value are dropped; a value enclosed in a matching
// pair of double or single quotes loses them; lines starting with ';' and lines
// without '=' never match. Lines before the first section header belong to the
// section named "". Line ends may be CR LF, LF or CR.
//
// Writing a key rewrites only that key's line (or inserts a new line after the
// last non-blank line of its section, or appends a new section at the end of
// the file, after a blank line): every other byte of the file stays as it was,
// including its line-end style and a missing final newline. Files are replaced
// atomically, so a failed write leaves the old file intact.
//
// Not thread-safe: one IniDocument per thread; the free functions may run
// concurrently, but two writers of one file can lose each other's update.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tvx::platform {

// The value of key in section of the file at path; def (without trailing
// blanks, as Windows does) when the file, the section or the key is missing.
std::string iniGetString(const std::string& path, std::string_view section, std::string_view key,
                         std::string_view def);

// The value as an integer, read like GetPrivateProfileInt: optional blanks and
// sign, decimal digits or 0x and hex digits, anything after them ignored; a
// value that starts with no digit reads 0; a missing key or an empty value
// gives def. Values beyond the range of long long saturate.
long long iniGetInt(const std::string& path, std::string_view section, std::string_view key, long long def);

// Writes key=value into section, creating the file and the section as needed.
// Returns false when the file cannot be read or written (the old file is then
// intact) or when the names or the value cannot be stored (see IniDocument::set).
bool iniWriteString(const std::string& path, std::string_view section, std::string_view key,
                    std::string_view value);

// Removes one key (every copy of it in the section), or a whole section (every
// copy of it). A missing file, section or key is not an error: returns false
// only when the file cannot be read or written.
bool iniDeleteKey(const std::string& path, std::string_view section, std::string_view key);
bool iniDeleteSection(const std::string& path, std::string_view section);

// The section names of the file (without the nameless part before the first
// header), and the keys of one section, in file order, each name once.
std::vector<std::string> iniSectionNames(const std::string& path);
std::vector<std::string> iniSectionKeys(const std::string& path, std::string_view section);

// The keys of one section with their values (each key once, file order), read
// like iniGetString: one pass, no index.
std::vector<std::pair<std::string, std::string>> iniSectionEntries(const std::string& path,
                                                                   std::string_view section);

// Parses the integer part of a profile value as iniGetInt does (0 when none).
long long parseProfileInt(std::string_view value);

// An INI file held in memory: parse once, read and change many keys, save once.
// Lookups are hashed; changing a value costs one pass over the offsets, adding
// or removing lines re-parses the text. The free functions above are built on it.
class IniDocument {
public:
    IniDocument() { parse(); }
    explicit IniDocument(std::string text) : text_(std::move(text)) { parse(); }

    // Loads the file. On failure the document is empty and false is returned,
    // with errno's value in *error when given (ENOENT: the file does not exist;
    // EISDIR: not a regular file; EFBIG: larger than kMaxFileSize).
    bool load(const std::string& path, int* error = nullptr);
    // Writes the document atomically: a temporary file in the same directory,
    // flushed, then renamed over path (a symbolic link is followed, the mode of
    // an existing file kept). False, with path untouched, when path exists but
    // is not writable, or on any write error.
    bool save(const std::string& path) const;

    const std::string& text() const { return text_; }

    bool get(std::string_view section, std::string_view key, std::string* value) const;
    // Sets key=value in section. Returns false (and changes nothing) when the
    // key is empty or holds '=', a line end, or starts with '[' or ';'; when the
    // section name holds ']' or a line end; or when the value holds a line end:
    // those would change the structure of the file.
    bool set(std::string_view section, std::string_view key, std::string_view value);
    bool removeKey(std::string_view section, std::string_view key);
    bool removeSection(std::string_view section);
    std::vector<std::string> sections() const;
    std::vector<std::string> keys(std::string_view section) const;

    // Files larger than this are refused rather than read into memory.
    static constexpr size_t kMaxFileSize = size_t{256} << 20;

    // Reads a file's bytes (the limits and errors of load()).
    static bool readFile(const std::string& path, std::string* out, int* error = nullptr);
    // The value of key in section of an INI text, by the rules of get(), found
    // in one pass without building an index.
    static bool find(std::string_view text, std::string_view section, std::string_view key,
                     std::string* value);
    // The keys of section with their values, each key once, in file order, by the
    // same rules and in the same single pass (for small sections of large files).
    static std::vector<std::pair<std::string, std::string>> entries(std::string_view text,
                                                                    std::string_view section);

private:
    enum class LineKind : unsigned char { Blank, Comment, Header, Key, Other };
    struct Line {
        size_t start = 0;       // first byte of the line
        size_t contentEnd = 0;  // before the line end
        size_t end = 0;         // after the line end
        size_t nameStart = 0;   // trimmed key or section name
        size_t nameEnd = 0;
        size_t valueStart = 0;  // trimmed value (Key lines), quotes included
        size_t valueEnd = 0;
        LineKind kind = LineKind::Blank;
    };
    struct Section {
        size_t firstLine = 0;                          // the header line (or line 0 for the nameless part)
        size_t endLine = 0;                            // one past the last line
        std::unordered_map<std::string, size_t> keys;  // lower-case key -> first line
    };

    static Line classify(std::string_view text, size_t pos);
    template <typename OnKey>
    static void scanSection(std::string_view text, std::string_view section, OnKey onKey);
    void parse();
    std::string_view nameOf(const Line& line) const;
    const Section* findSection(std::string_view section) const;
    void replaceValue(size_t lineIndex, std::string_view value);
    void removeRanges(std::vector<std::pair<size_t, size_t>> ranges);
    std::string_view lineEnd() const;

    std::string text_;  // the file's bytes, edited in place
    std::vector<Line> lines_;
    std::vector<Section> sections_;  // [0] is the nameless part before the first header
    std::unordered_map<std::string, size_t> sectionIndex_;  // lower-case name -> first section
};

}  // namespace tvx::platform
