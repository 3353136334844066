#include "net/ListenAddresses.h"

#include <algorithm>
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

namespace {

bool numericAddress(const std::string& text, bool* ipv6) {
    in6_addr v6{};
    in_addr v4{};
    const std::string bare = text.substr(0, text.find('%')); // a link-local address's scope
    if (::inet_pton(AF_INET, text.c_str(), &v4) == 1) {
        *ipv6 = false;
        return true;
    }
    if (::inet_pton(AF_INET6, bare.c_str(), &v6) == 1) {
        *ipv6 = true;
        return true;
    }
    return false;
}

} // namespace

std::optional<ListenOn> ListenOn::parse(const std::string& given,
                                        const std::vector<InterfaceAddress>& interfaces, std::string* why) {
    std::string text = given;
    if (text.size() > 2 && text.front() == '[' && text.back() == ']')
        text = text.substr(1, text.size() - 2);
    if (text.empty() || text == "all" || text == "*")
        return ListenOn{Where::All, {}};
    if (text == "local" || text == "localhost")
        return ListenOn{Where::Loopback, {}};
    bool ipv6 = false;
    if (numericAddress(text, &ipv6)) {
        if (text == "0.0.0.0" || text == "::")
            return ListenOn{Where::All, {}};
        return ListenOn{Where::Address, text};
    }
    for (const InterfaceAddress& a : interfaces)
        if (a.interface == text)
            return ListenOn{Where::Interface, text};
    *why = "\"" + given + "\" is neither an address nor a network interface of this computer";
    return std::nullopt;
}

std::string ListenOn::text() const {
    switch (where) {
    case Where::All:
        return "all";
    case Where::Loopback:
        return "local";
    default:
        return name;
    }
}

namespace listen_addresses {

std::vector<InterfaceAddress> system() {
    std::vector<InterfaceAddress> found;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return found;
    for (const ifaddrs* i = list; i; i = i->ifa_next) {
        if (!i->ifa_addr || (i->ifa_addr->sa_family != AF_INET && i->ifa_addr->sa_family != AF_INET6))
            continue;
        InterfaceAddress a;
        a.interface = i->ifa_name;
        a.ipv6 = i->ifa_addr->sa_family == AF_INET6;
        a.loopback = (i->ifa_flags & IFF_LOOPBACK) != 0;
        a.up = (i->ifa_flags & IFF_UP) != 0;
        char text[INET6_ADDRSTRLEN] = {};
        if (a.ipv6) {
            const auto* v6 = reinterpret_cast<const sockaddr_in6*>(i->ifa_addr);
            ::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
            a.address = text;
            if (IN6_IS_ADDR_LINKLOCAL(&v6->sin6_addr)) // reachable only through its interface
                a.address += "%" + a.interface;
        } else {
            ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr, text,
                        sizeof text);
            a.address = text;
        }
        if (a.up)
            found.push_back(std::move(a));
    }
    ::freeifaddrs(list);
    return found;
}

std::vector<std::string> interfaceNames(const std::vector<InterfaceAddress>& interfaces) {
    std::vector<std::string> names;
    for (const InterfaceAddress& a : interfaces)
        if (!a.loopback && std::find(names.begin(), names.end(), a.interface) == names.end())
            names.push_back(a.interface);
    return names;
}

std::vector<std::string> bindAddresses(const ListenOn& on, const std::vector<InterfaceAddress>& interfaces) {
    switch (on.where) {
    case ListenOn::Where::All:
        return {"::"};
    case ListenOn::Where::Loopback:
        return {"127.0.0.1", "::1"};
    case ListenOn::Where::Address:
        return {on.name};
    case ListenOn::Where::Interface:
        break;
    }
    std::vector<std::string> addresses;
    for (const InterfaceAddress& a : interfaces)
        if (a.interface == on.name && a.up)
            addresses.push_back(a.address);
    return addresses;
}

std::vector<std::string> clientAddresses(const ListenOn& on,
                                         const std::vector<InterfaceAddress>& interfaces) {
    std::vector<std::string> v4, v6;
    for (const InterfaceAddress& a : interfaces) {
        const bool wanted = on.where == ListenOn::Where::All         ? !a.loopback
                            : on.where == ListenOn::Where::Loopback  ? a.loopback
                            : on.where == ListenOn::Where::Interface ? a.interface == on.name
                                                                     : a.address == on.name;
        // The whole loopback network answers on 127.0.0.1; other loopback addresses are aliases.
        if (wanted && a.up && (!a.loopback || a.address == "127.0.0.1" || a.address == "::1"))
            (a.ipv6 ? v6 : v4).push_back(a.address);
    }
    if (on.where == ListenOn::Where::Address && v4.empty() && v6.empty())
        v4.push_back(on.name); // an address the listing does not show (yet)
    v4.insert(v4.end(), v6.begin(), v6.end());
    return v4;
}

} // namespace listen_addresses
