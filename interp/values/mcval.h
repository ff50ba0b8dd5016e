// MCVal: the value record in which the evaluators hand a value to their caller.
#pragma once

#include <cstdint>
#include <utility>

#include "interp/values/datablock.h"

namespace tvx::interp {

enum ValueType : uint16_t {
    kValEmpty = 0,  // the expression ended before any operand
    kValReal = 8,
    kValComplex = 16,
    kValBlock = 32,     // a data block owned by this value
    kValVarBlock = 33,  // the data block of a variable, used in place
};

constexpr uint16_t kValBorrowed = 0x0001;  // pData still belongs to a variable: copy before changing

struct MCVal {
    uint16_t type = kValEmpty;
    uint16_t flags = 0;
    uint32_t reserved = 0;
    double re = 0;
    double im = 0;
    DataBlock* pData = nullptr;
    uint32_t aux = 0;

    MCVal() = default;
    MCVal(const MCVal&) = delete;
    MCVal& operator=(const MCVal&) = delete;
    MCVal(MCVal&& other) noexcept { take(other); }
    MCVal& operator=(MCVal&& other) noexcept {
        if (this != &other) {
            release();
            take(other);
        }
        return *this;
    }
    ~MCVal() { release(); }

    bool isEmpty() const { return type == kValEmpty; }
    bool isReal() const { return type == kValReal; }
    bool isComplex() const { return type == kValComplex; }
    bool isScalar() const { return type == kValReal || type == kValComplex; }
    bool isBlock() const { return type == kValBlock || type == kValVarBlock; }
    bool ownsBlock() const { return type == kValBlock && pData && !(flags & kValBorrowed); }

    void setReal(double value) {
        release();
        type = kValReal;
        re = value;
        im = 0;
    }
    void setComplex(double real, double imaginary) {
        release();
        type = kValComplex;
        re = real;
        im = imaginary;
    }
    // Takes ownership of block.
    void setOwnedBlock(DataBlock* block) {
        release();
        type = kValBlock;
        pData = block;
    }
    // Refers to a variable's block without owning it.
    void setBorrowedBlock(DataBlock* block, bool inPlace) {
        release();
        type = inPlace ? kValVarBlock : kValBlock;
        flags = kValBorrowed;
        pData = block;
    }
    // Makes the block this value's own (copy on write). False when memory fails.
    bool makeBlockOwned() {
        if (!isBlock() || ownsBlock()) return true;
        DataBlock* copy = copyBlock(pData);
        if (!copy) return false;
        pData = copy;
        type = kValBlock;
        flags &= ~kValBorrowed;
        return true;
    }
    // Hands the owned block to the caller; the value becomes empty.
    DataBlock* releaseBlock() {
        DataBlock* block = ownsBlock() ? pData : copyBlock(pData);
        pData = nullptr;
        type = kValEmpty;
        flags = 0;
        return block;
    }
    void clear() {
        release();
        type = kValEmpty;
        re = im = 0;
    }

private:
    void release() {
        if (ownsBlock()) freeBlock(pData);
        pData = nullptr;
        flags = 0;
    }
    void take(MCVal& other) {
        type = other.type;
        flags = other.flags;
        reserved = other.reserved;
        re = other.re;
        im = other.im;
        pData = other.pData;
        aux = other.aux;
        other.pData = nullptr;
        other.type = kValEmpty;
        other.flags = 0;
    }
};

// A complex result loses negligible parts: a part whose magnitude is below
// both 1e-15 times the other part's magnitude and 1e-12 becomes 0.
inline void clearNegligibleParts(double& re, double& im) {
    double absRe = re < 0 ? -re : re;
    double absIm = im < 0 ? -im : im;
    if (absRe < 1e-12 && absRe < 1e-15 * absIm)
        re = 0;
    else if (absIm < 1e-12 && absIm < 1e-15 * absRe)
        im = 0;
}

}  // namespace tvx::interp
