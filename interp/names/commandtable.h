// The command table (statements and built-in functions) and the status-variable
// table, loaded from their binary record lists.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "interp/errors.h"
#include "interp/names/nametable.h"

namespace tvx::interp {

constexpr int kFirstStatementCode = 0x0F0;
constexpr int kLastStatementCode = 0x1E9;
constexpr int kFirstFunctionCode = 0x1EA;
constexpr int kLastFunctionCode = 0x289;
constexpr int kCommandTableCapacity = 650;
constexpr int kStatusTableCapacity = 250;
constexpr int kMaxSignatureLength = 41;

inline bool isStatementCode(int code) { return code >= kFirstStatementCode && code <= kLastStatementCode; }
inline bool isFunctionCode(int code) { return code >= kFirstFunctionCode && code <= kLastFunctionCode; }

class CommandTable {
public:
    CommandTable();

    // Loads the records; returns 0, or 100 when a signature is longer than 41
    // characters (the rows before it stay loaded). Records beyond the capacity,
    // and a list without end mark, end the loading.
    Error load(std::span<const uint8_t> records);

    // The code of a name (whole word, without regard to case), or -1.
    int lookup(std::string_view name) const;
    int lookup(std::string_view name, uint16_t nameHash) const;

    bool hasCode(int code) const { return names_.isUsed(code) || (code == 0 && rows_ > 0); }
    std::string_view name(int code) const { return names_.nameAt(code); }
    std::string_view signature(int code) const;
    int rowCount() const { return rows_; }

private:
    NameTable names_;
    std::vector<std::string> signatures_;  // by code
    int rows_ = 0;
};

class StatusVariableTable {
public:
    StatusVariableTable();
    void load(std::span<const uint8_t> records);
    int lookup(std::string_view name) const;
    std::string_view name(int code) const { return names_.nameAt(code); }
    int rowCount() const { return rows_; }

private:
    NameTable names_;
    int rows_ = 0;
};

// Status-variable codes below this one yield strings.
constexpr int kFirstNumericStatusCode = 35;

}  // namespace tvx::interp
