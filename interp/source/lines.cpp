#include "interp/source/lines.h"

namespace tvx::interp {

namespace {

constexpr size_t kMaxLogicalLine = 511;

bool isLeadingSkip(char c) { return c == '\r' || c == '\n' || c == '\t' || c == ' ' || c == '|' || c == ':'; }

size_t skipToLineEnd(std::string_view text, size_t pos) {
    while (pos < text.size() && text[pos] != '\r' && text[pos] != '\n' && text[pos] != '\0') ++pos;
    return pos;
}

// Cuts one physical piece: from pos to the first terminator outside quotes,
// character literals and (for ';') brackets.
void cutPiece(std::string_view text, size_t pos, size_t& pieceEnd, size_t& next) {
    bool inString = false;
    int brackets = 0;
    size_t i = pos;
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\0') break;
        if (inString) {
            if (c == '"') inString = false;  // a doubled quote closes and reopens
            if (c == '\r' || c == '\n') break;
            continue;
        }
        if (c == '"') {
            inString = true;
            continue;
        }
        if (c == '\'' && i + 2 < text.size() && text[i + 2] == '\'' && text[i + 1] != '\r' &&
            text[i + 1] != '\n' && text[i + 1] != '\0') {
            i += 2;  // a character literal such as '|'
            continue;
        }
        if (c == '[')
            ++brackets;
        else if (c == ']' && brackets > 0)
            --brackets;
        else if (c == '\r' || c == '\n' || c == '\x1A' || c == '|')
            break;
        else if (c == ';' && brackets == 0)
            break;
    }
    pieceEnd = i;
    if (i >= text.size() || text[i] == '\0' || text[i] == '\x1A') {
        next = i;  // the end of the text (Ctrl-Z ends it too)
    } else if (text[i] == ';') {
        next = skipToLineEnd(text, i);  // a comment runs to the end of the physical line
    } else {
        next = i + 1;
    }
}

}  // namespace

LineStatus readLogicalLine(std::string_view text, size_t pos, std::string& line, LogicalLine& where) {
    line.clear();
    bool first = true;
    bool tooLong = false;
    while (true) {
        // Skip separators and comment lines.
        while (true) {
            while (pos < text.size() && isLeadingSkip(text[pos])) ++pos;
            if (pos < text.size() && text[pos] == ';') {
                pos = skipToLineEnd(text, pos);
                continue;
            }
            break;
        }
        if (pos >= text.size() || text[pos] == '\0' || text[pos] == '\x1A') {
            if (first) {
                where.start = where.end = where.next = pos;
                return LineStatus::End;
            }
            break;  // a continuation with nothing after it
        }
        if (first) where.start = pos;
        size_t pieceEnd, next;
        cutPiece(text, pos, pieceEnd, next);
        size_t trimmed = pieceEnd;
        while (trimmed > pos && (text[trimmed - 1] == ' ' || text[trimmed - 1] == '\t')) --trimmed;
        std::string_view piece = text.substr(pos, trimmed - pos);
        bool continues = !piece.empty() && piece.back() == '\\';
        if (continues) piece.remove_suffix(1);
        if (line.size() + piece.size() > kMaxLogicalLine) {
            tooLong = true;
            line.append(piece.substr(0, kMaxLogicalLine - line.size()));
        } else {
            line.append(piece);
        }
        where.end = pieceEnd;
        where.next = next;
        pos = next;
        first = false;
        if (!continues) break;
    }
    return tooLong ? LineStatus::TooLong : LineStatus::Line;
}

}  // namespace tvx::interp
