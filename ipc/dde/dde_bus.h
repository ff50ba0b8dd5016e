// DDE on the D-Bus session bus. The bus side (QtDBus) lives in a module of
// its own, libtvxdde.so, loaded with the first DDE command: a macro that uses
// no DDE never loads the bus libraries.
//
// A service is the bus name "org.tolvex.DDE.<service>", a topic the object
// "/org/tolvex/dde/<topic>" with the interface "org.tolvex.DDE" (methods
// Request, Poke, Execute, StartAdvise, StopAdvise; signal Advise). The object
// "/org/tolvex/dde" lists the service and topic (Topics), as a wildcard
// connect does. docs/dde-interface.xml is the introspection data.
#pragma once

#include <string>
#include <string_view>

namespace tvx::ipc::dde {

// The standard DDE error codes, which macros see in !Error.
enum DdeError : int {
    kDmlOk = 0,
    kDmlAdviseAckTimeout = 0x4000,
    kDmlDataAckTimeout = 0x4002,
    kDmlNotInitialized = 0x4003,
    kDmlExecAckTimeout = 0x4005,
    kDmlInvalidParameter = 0x4006,
    kDmlNotProcessed = 0x4009,
    kDmlNoConversation = 0x400A,
    kDmlPokeAckTimeout = 0x400B,
    kDmlServerDied = 0x400E,
};

// What the host serves; called on the interpreter thread while it pumps.
struct ServerHooks {
    void* context = nullptr;
    // The item's value (text, or raw bytes of a memory item); false: no data.
    bool (*request)(void* context, const std::string& item, std::string& data) = nullptr;
    // Assigns data to the item; false when that failed.
    bool (*poke)(void* context, const std::string& item, const std::string& data) = nullptr;
    // Runs the command as a macro line; false on an error.
    bool (*execute)(void* context, const std::string& command) = nullptr;
};

struct Bus {
    // Joins the session bus; null, with the reason, when there is none.
    void* (*open)(const ServerHooks& hooks, std::string& reason);
    void (*close)(void* bus);
    // Gives up the names held and takes the new ones; false when the bus
    // name is held by another program.
    bool (*setNames)(void* bus, const std::string& service, const std::string& topic);
    // Client transactions: a DdeError code.
    int (*execute)(void* bus, const std::string& service, const std::string& topic,
                   const std::string& command, int timeoutMs);
    int (*poke)(void* bus, const std::string& service, const std::string& topic, const std::string& item,
                const std::string& data, int timeoutMs);
    int (*request)(void* bus, const std::string& service, const std::string& topic, const std::string& item,
                   std::string& data, int timeoutMs);
    // Advise links: how many there are, and telling them that an item
    // changed ("" for every linked item).
    int (*adviseCount)(void* bus);
    void (*postAdvise)(void* bus, const std::string& item);
};

using BusEntry = const Bus* (*)();
constexpr const char* kBusEntry = "tvxDdeBus";
constexpr const char* kBusModule = "libtvxdde.so";

constexpr const char* kInterface = "org.tolvex.DDE";
constexpr const char* kRootPath = "/org/tolvex/dde";

// A name element of the bus: DDE names do not heed case, so letters go to
// lower case; letters and digits stay, every other byte becomes "_XX" (hex),
// and a leading digit is escaped too.
inline std::string busElement(std::string_view text, bool allowDash) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9' && i > 0) ||
                     (allowDash && c == '-');
        if (plain) {
            out += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
        } else {
            out += '_';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out.empty() ? std::string("_") : out;
}
inline std::string busName(std::string_view service) { return "org.tolvex.DDE." + busElement(service, true); }
inline std::string objectPath(std::string_view topic) {
    return std::string(kRootPath) + "/" + busElement(topic, false);
}

}  // namespace tvx::ipc::dde
