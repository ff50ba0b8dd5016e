// Command-table codes of the functions and statements the array engine
// implements or treats specially.
#pragma once

namespace tvx::builtins::arrays {

enum FunctionCode : int {
    kCodePower = 0x1EB,
    kCodeExp = 0x1F3,
    kCodeMatrix = 0x206,
    kCodeDet = 0x207,
    kCodeConvolve = 0x208,
    kCodeReshape = 0x209,
    kCodeCumSum = 0x20A,
    kCodeCumProd = 0x20B,
    kCodeFft = 0x20C,
    kCodeComplex = 0x20D,
    kCodeComplexRad = 0x20E,
    kCodeTransp = 0x212,
    kCodeFractal = 0x217,
    kCodeArray = 0x218,
    kCodeVector = 0x219,
    kCodeGetLim = 0x229,
    kCodeMax = 0x22A,
    kCodeMin = 0x22B,
    kCodeMaxLoc = 0x22C,
    kCodeMinLoc = 0x22D,
    kCodeCond = 0x23E,
    kCodeBool = 0x241,
    kCodeVectFind = 0x250,
    kCodeLen = 0x259,
    kCodeSum = 0x25B,
    kCodeMatrixRows = 0x25C,
    kCodeMatrixCols = 0x25D,
    kCodeFind = 0x260,
    kCodeEl = 0x263,
    kCodeIndex2D = 0x283,
    kCodeIndex3D = 0x284,
    kCodeIndex4D = 0x285,
    kCodeSetMatrixBase = 0x194,
    kCodeMatrixInfo = 0x195,
    kCodeGetMatrixBase = 0x1B0,
};

// Functions whose result is complex when their block argument is.
constexpr int kFirstComplexCapable = 491;
constexpr int kLastComplexCapable = 530;
// Functions whose result is always complex (FFT .. ComplexRad and their neighbours).
constexpr int kFirstComplexResult = 524;
constexpr int kLastComplexResult = 529;

}  // namespace tvx::builtins::arrays
