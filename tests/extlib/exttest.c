/* A small library that the tests call through Decl: integers, doubles, floats,
 * vectors and strings by address, callbacks, and functions that fault. It is
 * built without the sanitizers, so that its faults reach the host's guard as
 * they would from any library. */
#include <stdint.h>
#include <string.h>

int32_t xtAdd(int32_t a, int32_t b) { return a + b; }
int32_t xtNegate16(int16_t a) { return -a; }
double xtHypot(double a, double b) { return a * a + b * b; }
float xtHalf(float a) { return a / 2.0f; }
double xtMix(int32_t i, double d, float f, int16_t s) { return i + d * 10.0 + f * 100.0 + s * 1000.0; }
/* Ten doubles: more than the registers hold, the rest go on the stack. */
double xtSum10(double a, double b, double c, double d, double e, double f, double g, double h, double i, double j) {
    return a + 2 * b + 3 * c + 4 * d + 5 * e + 6 * f + 7 * g + 8 * h + 9 * i + 10 * j;
}

/* Sum of n doubles at v; each doubled in place. */
double xtSumAndDouble(double* v, int32_t n) {
    double s = 0;
    for (int32_t i = 0; i < n; ++i) {
        s += v[i];
        v[i] *= 2;
    }
    return s;
}

/* A variable by address: *x += 1; returns the old value truncated. */
int32_t xtIncrement(double* x) {
    int32_t old = (int32_t)*x;
    *x += 1;
    return old;
}

int32_t xtLength(const char* s) { return (int32_t)strlen(s); }

/* Writes a text into the caller's buffer. */
int32_t xtUpper(char* s) {
    int32_t n = 0;
    for (; s[n]; ++n)
        if (s[n] >= 'a' && s[n] <= 'z') s[n] = (char)(s[n] - 32);
    strcat(s, "!");
    return n;
}

static char gText[] = "from the library";
const char* xtText(void) { return gText; }

/* Calls back: fn(a, b) + fn(b, a). */
typedef int32_t (*Callback)(int32_t, int32_t);
int32_t xtCallTwice(Callback fn, int32_t a, int32_t b) { return fn(a, b) + fn(b, a); }
/* Calls back with a pointer argument, and gives the callback's answer back. */
typedef int32_t (*PointerCallback)(const char*);
int32_t xtCallWithText(PointerCallback fn) { return fn(gText); }

/* Returns the reader-error form 0x8000xxxx for code, else 0. */
int32_t RdrStatus(int32_t code) { return code ? (int32_t)(0x80000000u | (uint32_t)(code & 0xFFFF)) : 0; }

/* Faults: a write through a bad pointer, an integer division by zero, a runaway recursion. */
int32_t xtCrash(int32_t* p) {
    *p = 42;
    return 1;
}
int32_t xtDivide(int32_t a, int32_t b) { return a / b; }
static volatile int32_t gSink;
int32_t xtRecurse(int32_t n) {
    volatile char pad[256];
    pad[0] = (char)n;
    gSink = pad[0];
    return n <= 0 ? 0 : xtRecurse(n + 1) + 1;
}
