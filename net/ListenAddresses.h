#pragma once
// Where a server listens, as the user chooses it: every interface, this computer only (127.0.0.1
// and ::1), one network interface, or one address. From the choice come the addresses to bind
// and the addresses clients can use to reach the server.

#include <optional>
#include <string>
#include <vector>

// One address of a network interface, as the system lists it.
struct InterfaceAddress {
    std::string interface; // "eth0"
    std::string address;   // "192.168.1.20", "fe80::1%eth0"
    bool ipv6 = false;
    bool loopback = false;
    bool up = true;
};

struct ListenOn {
    enum class Where { All, Loopback, Interface, Address };
    Where where = Where::All;
    std::string name; // the interface or the address

    // "" or "all" (every interface), "local" or "localhost" (this computer only), an interface's
    // name, or a numeric address (IPv4, or IPv6 with or without brackets). Nothing, with the
    // reason in `why`, for anything else.
    static std::optional<ListenOn> parse(const std::string& text,
                                         const std::vector<InterfaceAddress>& interfaces, std::string* why);
    // The text parse() reads back: "all", "local", the name or the address.
    std::string text() const;
    bool operator==(const ListenOn&) const = default;
};

namespace listen_addresses {

// This computer's interface addresses, those of interfaces that are up.
std::vector<InterfaceAddress> system();
// The names of the interfaces other than the loopback that have an address, once each, in order.
std::vector<std::string> interfaceNames(const std::vector<InterfaceAddress>& interfaces);
// What to bind: "::" for every interface (IPv4 clients too), "127.0.0.1" and "::1", the
// interface's addresses, or the address. Empty when the interface has no address now.
std::vector<std::string> bindAddresses(const ListenOn& on, const std::vector<InterfaceAddress>& interfaces);
// What a client can connect to: the addresses of the interfaces the server listens on, the IPv4
// ones first, without the loopback unless the server listens there only.
std::vector<std::string> clientAddresses(const ListenOn& on, const std::vector<InterfaceAddress>& interfaces);

} // namespace listen_addresses
