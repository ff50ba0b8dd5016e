// Automation objects on the D-Bus session bus. The bus side (QtDBus) lives in
// the bus module that DDE loads too (libtvxdde.so, entry "tvxAutomationBus"),
// so a macro that uses neither never loads the bus libraries.
//
// An object is a bus name, an object path and an interface; its members are
// the interface's methods, properties and signals in the order of its
// introspection data, numbered from 1 (the member ids). Values cross the bus
// as these plain records, so the caller needs no toolkit headers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tvx::ipc::automation {

// Where an object lives.
struct Address {
    std::string service;    // bus name
    std::string path;       // object path
    std::string interface;  // empty: the first interface the object introspects besides the standard ones
};

// One value of a call or an answer. A basic value has its D-Bus type code in
// type: 'b', 'y', 'n', 'q', 'i', 'u', 'x', 't', 'd' (number), 's', 'o'
// (text), 'v' (a variant: number or text by its inner code). An array has type
// 'a', its element code in element, and its elements packed in bytes (the
// element sizes of the D-Bus types, native order): 1-D with count elements, or
// rows arrays of columns elements when rows > 0.
struct Value {
    char type = 0;
    double number = 0;
    std::string text;
    char element = 0;
    uint32_t count = 0;
    uint32_t rows = 0, columns = 0;
    std::string bytes;
};

struct Member {
    std::string name;
    int id = 0;       // 1, 2, ... in introspection order
    char kind = 'm';  // 'm' method, 'p' property, 's' signal
};

// How a call ended.
enum class Outcome {
    kOk,
    kException,  // the object answered with an error: name and message
    kFailure,    // no answer (no such object, the bus went away, time-out)
};

struct Answer {
    Outcome outcome = Outcome::kFailure;
    std::vector<Value> values;  // the reply's arguments in order
    std::string errorName, errorText;
};

enum class Access { kMethod, kPropertyGet, kPropertySet };

struct Bus {
    // Joins the session bus; null, with the reason, when there is none.
    void* (*open)(std::string& reason);
    void (*close)(void* bus);
    // Introspects the object (filling in its interface when empty): its
    // members; false with the reason when it does not answer.
    bool (*introspect)(void* bus, Address& address, std::vector<Member>& members, std::string& reason);
    // Calls a method, or reads or writes a property (one value).
    Answer (*invoke)(void* bus, const Address& address, Access access, const std::string& member,
                     const std::vector<Value>& arguments, int timeoutMs);
};

using BusEntry = const Bus* (*)();
constexpr const char* kBusEntry = "tvxAutomationBus";

// Size in bytes of an array element of a D-Bus type code (0: not a number).
inline int elementBytes(char code) {
    switch (code) {
    case 'y': return 1;
    case 'b': return 4;
    case 'n':
    case 'q': return 2;
    case 'i':
    case 'u': return 4;
    case 'x':
    case 't':
    case 'd': return 8;
    default: return 0;
    }
}

}  // namespace tvx::ipc::automation
