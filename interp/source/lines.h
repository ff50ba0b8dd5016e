// Logical lines: the macro text cut at line ends, '|' and comments, with '\'
// continuations joined.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tvx::interp {

enum class LineStatus { Line, End, TooLong };

struct LogicalLine {
    size_t start = 0;  // offset of the line's first character in the text
    size_t end = 0;    // offset where the (last joined) line stopped: its terminator
    size_t next = 0;   // offset where the next line begins
};

// Reads the logical line starting at pos into line. text must end with a NUL
// (it is read up to the NUL). A line longer than 511 characters is TooLong:
// line then holds its first 511 characters and next still skips it.
LineStatus readLogicalLine(std::string_view text, size_t pos, std::string& line, LogicalLine& where);

}  // namespace tvx::interp
