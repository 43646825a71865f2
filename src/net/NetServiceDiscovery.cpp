#include "net/NetServiceDiscovery.h"

#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-common/error.h>
#include <avahi-common/thread-watch.h>

struct NetServiceDiscovery::Callbacks {
    static void client(AvahiClient* client, AvahiClientState state, void* data) {
        // The daemon went away (or never answered): the browse cannot go on.
        if (state == AVAHI_CLIENT_FAILURE)
            static_cast<NetServiceDiscovery*>(data)->fail(avahi_client_errno(client));
    }

    static void browse(AvahiServiceBrowser* browser, AvahiIfIndex interface, AvahiProtocol protocol,
                       AvahiBrowserEvent event, const char* name, const char* type, const char* domain,
                       AvahiLookupResultFlags, void* data) {
        auto* self = static_cast<NetServiceDiscovery*>(data);
        AvahiClient* client = avahi_service_browser_get_client(browser);
        if (event == AVAHI_BROWSER_FAILURE) {
            self->fail(avahi_client_errno(client));
        } else if (event == AVAHI_BROWSER_NEW) {
            if (!self->browsing()) return;
            // Freed in its callback, or with the client when the browse ends first.
            avahi_service_resolver_new(client, interface, protocol, name, type, domain, AVAHI_PROTO_INET,
                                       static_cast<AvahiLookupFlags>(0), &Callbacks::resolve, self);
        }
    }

    static void resolve(AvahiServiceResolver* resolver, AvahiIfIndex, AvahiProtocol, AvahiResolverEvent event,
                        const char* name, const char*, const char*, const char*, const AvahiAddress* address,
                        uint16_t port, AvahiStringList*, AvahiLookupResultFlags, void* data) {
        auto* self = static_cast<NetServiceDiscovery*>(data);
        if (event == AVAHI_RESOLVER_FOUND && address && address->proto == AVAHI_PROTO_INET && name) {
            char text[AVAHI_ADDRESS_STR_MAX] = {};
            avahi_address_snprint(text, sizeof text, address);
            self->found(name, text, port);
        }
        avahi_service_resolver_free(resolver);
    }
};

NetServiceDiscovery::NetServiceDiscovery(NetServiceDiscoveryDelegate* delegate) : delegate_(delegate) {}

NetServiceDiscovery::~NetServiceDiscovery() {
    stop();
    release();
}

std::string NetServiceDiscovery::instanceName(const std::string& name) {
    size_t dot = name.find('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

bool NetServiceDiscovery::browsing() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return running_;
}

bool NetServiceDiscovery::search(const std::string& type) {
    if (browsing()) return false;
    release();  // what is left of a browse that failed
    // The page gives the type with its trailing dot; the daemon takes it without.
    std::string serviceType = type;
    if (!serviceType.empty() && serviceType.back() == '.') serviceType.pop_back();
    int error = AVAHI_ERR_NO_MEMORY;
    poll_ = avahi_threaded_poll_new();
    if (poll_) {
        client_ = avahi_client_new(avahi_threaded_poll_get(poll_), static_cast<AvahiClientFlags>(0),
                                   &Callbacks::client, this, &error);
    }
    if (client_) {
        browser_ = avahi_service_browser_new(client_, AVAHI_IF_UNSPEC, AVAHI_PROTO_INET, serviceType.c_str(),
                                             "local", static_cast<AvahiLookupFlags>(0), &Callbacks::browse, this);
        if (!browser_) error = avahi_client_errno(client_);
    }
    if (browser_) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            running_ = true;
            reported_.clear();
        }
        if (avahi_threaded_poll_start(poll_) == 0) return true;
        std::lock_guard<std::mutex> lock(mutex_);
        running_ = false;
        error = AVAHI_ERR_FAILURE;
    }
    release();
    if (delegate_) delegate_->stopped(error != 0 ? error : static_cast<int>(AVAHI_ERR_FAILURE));
    return true;
}

void NetServiceDiscovery::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!running_) return;
        running_ = false;
        reported_.clear();
    }
    // Waits for a callback in progress, so its report comes before this one.
    release();
    if (delegate_) delegate_->stopped(0);
}

void NetServiceDiscovery::fail(long status) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!running_) return;
    running_ = false;
    reported_.clear();
    if (delegate_) delegate_->stopped(status != 0 ? status : static_cast<long>(AVAHI_ERR_FAILURE));
}

void NetServiceDiscovery::found(const std::string& name, const std::string& address, uint16_t port) {
    std::string instance = instanceName(name);
    std::lock_guard<std::mutex> lock(mutex_);
    if (!running_ || address.empty() || port == 0 || !reported_.insert(instance).second) return;
    if (delegate_) delegate_->resolved(instance, address, port);
}

void NetServiceDiscovery::release() {
    if (poll_) avahi_threaded_poll_stop(poll_);
    // Freeing the client frees its browser and any resolver still waiting.
    if (client_) avahi_client_free(client_);
    if (poll_) avahi_threaded_poll_free(poll_);
    poll_ = nullptr;
    client_ = nullptr;
    browser_ = nullptr;
}
