// ulink-sim: a network device of the ulink family, for tests and for trying the ulink calls
// without hardware. See README.md beside this file.
#include "base/Text.h"
#include "net/ServerSocket.h"
#include "net/Socket.h"
#include "net/UlinkDevice.h"
#include "net/UlinkMIDIPackets.h"
#include "net/UlinkMessage.h"

#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

struct Options {
    std::string name = "ULINK SIM";
    std::string model = "ULS-0001";
    uint32_t serial = 0x00C0FFEE;
    std::string manufacturer = "Corvane";
    std::string version = "1.0.0";
    int caps = 1, image = 0, status = 0;
    int discoveryPort = UlinkDiscoveryWire::kRequestPort;
    int linkPort = 0;
    int servicePort = -1;   // the port the reply announces; the link port when not given
    size_t replySize = UlinkDiscoveryWire::kReplySize;
    int replies = 1;
    bool replyHold = false;
    bool echo = false;
    int interval = -1;
    bool silent = false;
    std::string script;     // MIDI bytes sent once linked
};

std::mutex outputMutex;
void say(const std::string& line) {
    std::lock_guard<std::mutex> lock(outputMutex);
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

// The 84-byte reply; texts as the device keeps them (Latin-1 bytes as given).
std::string replyBytes(const Options& o, uint16_t servicePort) {
    std::string reply(UlinkDiscoveryWire::kReplySize, '\0');
    reply.replace(0, 6, "UDDPv1");
    reply[6] = static_cast<char>(servicePort >> 8);
    reply[7] = static_cast<char>(servicePort & 0xFF);
    for (int i = 0; i < 4; ++i) reply[8 + i] = static_cast<char>(o.serial >> (24 - 8 * i) & 0xFF);
    reply[12] = static_cast<char>(o.caps);
    reply[13] = static_cast<char>(o.image);
    reply[14] = static_cast<char>(o.status);
    auto put = [&](size_t at, size_t size, const std::string& text) {
        reply.replace(at, std::min(size, text.size()), text.substr(0, size));
    };
    put(20, 16, o.manufacturer);
    put(36, 8, o.model);
    put(44, 8, o.version);
    put(52, 16, o.name);
    return reply.substr(0, o.replySize);
}

class Device {
public:
    explicit Device(Options options) : o_(std::move(options)) {}

    bool start() {
        if (!server_.listen(static_cast<uint16_t>(o_.linkPort), 5)) return false;
        if (o_.discoveryPort > 0) {
            udp_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            int on = 1;
            setsockopt(udp_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
            setsockopt(udp_, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(static_cast<uint16_t>(o_.discoveryPort));
            address.sin_addr.s_addr = htonl(INADDR_ANY);
            if (::bind(udp_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return false;
            std::thread([this] { discoveryLoop(); }).detach();
        }
        silent_ = o_.silent;
        std::thread([this] { linkLoop(); }).detach();
        say("ready link " + std::to_string(server_.localPort()) + " discovery " + std::to_string(o_.discoveryPort));
        return true;
    }

    // One command line from stdin; false to end.
    bool command(const std::string& line) {
        std::istringstream in(line);
        std::string word;
        in >> word;
        if (word == "quit") return false;
        if (word == "silent") silent_ = true;
        else if (word == "talk") silent_ = false;
        else if (word == "drop") drop();
        else if (word == "values") {
            uint32_t value;
            for (uint8_t index = 0; index < 5 && in >> value; ++index) {
                std::string payload;
                for (int i = 0; i < 4; ++i) payload += static_cast<char>(value >> (24 - 8 * i) & 0xFF);
                send(UlinkMessage::encode(UlinkType::DeviceValue, index, payload));
            }
        } else if (word == "levels") {
            std::string payload(16, '\0');
            long level;
            for (int index = 0; index < 4 && in >> level; ++index)
                for (int i = 0; i < 4; ++i)
                    payload[static_cast<size_t>(4 * index + i)] = static_cast<char>(static_cast<uint32_t>(level) >> (24 - 8 * i) & 0xFF);
            send(UlinkMessage::encode(UlinkType::Levels, 0, payload));
        } else if (word == "midi" && in >> word) {
            send(UlinkMessage::encode(UlinkType::MIDI, 0, packUlinkMIDI(hexDecode(word), stamp())));
        } else if (word == "packets" && in >> word) {
            send(UlinkMessage::encode(UlinkType::MIDI, 0, hexDecode(word)));
        } else if (word == "raw" && in >> word) {
            send(hexDecode(word));
        } else if (word == "interval") {
            int seconds = 0;
            in >> seconds;
            send(UlinkMessage::encode(UlinkType::KeepAlive, UlinkSubtype::Interval, std::string(1, static_cast<char>(seconds))));
        } else if (!word.empty()) {
            say("unknown " + word);
        }
        return true;
    }

private:
    static uint32_t stamp() {
        static const auto start = std::chrono::steady_clock::now();
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        return static_cast<uint32_t>(ms.count());
    }

    void discoveryLoop() {
        for (;;) {
            unsigned char request[64];
            char control[256];
            sockaddr_in from{};
            iovec vector{request, sizeof request};
            msghdr header{};
            header.msg_name = &from;
            header.msg_namelen = sizeof from;
            header.msg_iov = &vector;
            header.msg_iovlen = 1;
            header.msg_control = control;
            header.msg_controllen = sizeof control;
            ssize_t got = ::recvmsg(udp_, &header, 0);
            if (got < 0) {
                if (errno == EINTR) continue;
                return;
            }
            std::string to = "?";
            for (cmsghdr* c = CMSG_FIRSTHDR(&header); c; c = CMSG_NXTHDR(&header, c))
                if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO)
                    to = Socket::formatAddress(reinterpret_cast<in_pktinfo*>(CMSG_DATA(c))->ipi_addr.s_addr);
            if (got != static_cast<ssize_t>(UlinkDiscoveryWire::kRequestSize) || std::memcmp(request, "UDDPv1", 6) != 0) {
                say("badrequest " + std::to_string(got));
                continue;
            }
            uint16_t port = static_cast<uint16_t>(request[6] << 8 | request[7]);
            std::string source = Socket::formatAddress(from.sin_addr.s_addr);
            say("request " + to + " from " + source + " port " + std::to_string(port));
            std::thread([this, source, port] { reply(source, port); }).detach();
        }
    }

    void reply(const std::string& address, uint16_t port) {
        uint16_t service = static_cast<uint16_t>(o_.servicePort >= 0 ? o_.servicePort : server_.localPort());
        std::string bytes = replyBytes(o_, service);
        for (int i = 0; i < o_.replies; ++i) {
            Socket socket;
            if (!socket.connect(address, port, 2000)) {
                say("replyfailed");
                return;
            }
            if (o_.replyHold) {
                say("replyhold");
                std::this_thread::sleep_for(std::chrono::seconds(30));
                return;
            }
            socket.sendAll(bytes.data(), bytes.size(), 2000);
            socket.shutdown();
            char end;
            while (socket.receive(&end, 1) > 0) {
            }
        }
        say("replied " + std::to_string(o_.replies));
    }

    void linkLoop() {
        while (std::unique_ptr<Socket> peer = server_.accept()) {
            {
                std::lock_guard<std::mutex> lock(linkMutex_);
                if (link_) link_->shutdown();  // one link at a time: the newest wins
                link_ = std::shared_ptr<Socket>(std::move(peer));
            }
            std::shared_ptr<Socket> link = current();
            say("connected " + Socket::formatAddress(link->remoteAddress()));
            if (o_.interval >= 0)
                send(UlinkMessage::encode(UlinkType::KeepAlive, UlinkSubtype::Interval, std::string(1, static_cast<char>(o_.interval))));
            if (!o_.script.empty())
                send(UlinkMessage::encode(UlinkType::MIDI, 0, packUlinkMIDI(hexDecode(o_.script), stamp())));
            std::thread([this, link] { readLoop(link); }).detach();
        }
    }

    void readLoop(std::shared_ptr<Socket> link) {
        UlinkMessageReader reader([&link](void* buffer, size_t size) { return link->receiveExact(buffer, size); });
        UlinkMessage message;
        UlinkMessageReader::Result result;
        while ((result = reader.next(message)) == UlinkMessageReader::Result::Message) {
            say("message " + std::to_string(message.type) + " " + std::to_string(message.subtype) + " " +
                hexEncode(message.payload));
            if (silent_) continue;
            if (message.type == UlinkType::KeepAlive && message.subtype == UlinkSubtype::Ping)
                sendOn(link, UlinkMessage::encode(UlinkType::KeepAlive, UlinkSubtype::Ping));
            else if (message.type == UlinkType::MIDI && o_.echo)
                sendOn(link, message.encode());
        }
        say(result == UlinkMessageReader::Result::BadLength ? "closed badlength" : "closed");
        std::lock_guard<std::mutex> lock(linkMutex_);
        if (link_ == link) link_.reset();
    }

    std::shared_ptr<Socket> current() {
        std::lock_guard<std::mutex> lock(linkMutex_);
        return link_;
    }
    void send(const std::string& bytes) {
        if (auto link = current()) sendOn(link, bytes);
    }
    void sendOn(const std::shared_ptr<Socket>& link, const std::string& bytes) {
        std::lock_guard<std::mutex> lock(sendMutex_);
        link->sendAll(bytes.data(), bytes.size(), 2000);
    }
    void drop() {
        if (auto link = current()) link->shutdown();
    }

    Options o_;
    ServerSocket server_;
    int udp_ = -1;
    std::atomic<bool> silent_{false};
    std::mutex linkMutex_, sendMutex_;
    std::shared_ptr<Socket> link_;
};

[[noreturn]] void usage() {
    std::fputs("usage: ulink-sim [--name TEXT] [--model TEXT] [--serial HEX] [--manufacturer TEXT]\n"
               "                 [--version TEXT] [--caps N] [--image N] [--status N]\n"
               "                 [--discovery-port N] [--link-port N] [--service-port N]\n"
               "                 [--reply-size N] [--replies N] [--reply-hold] [--echo]\n"
               "                 [--interval N] [--silent] [--script HEX]\n",
               stderr);
    std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) usage();
            return argv[++i];
        };
        auto number = [&]() {
            std::string text = value();
            char* end = nullptr;
            long n = std::strtol(text.c_str(), &end, 0);
            if (text.empty() || *end) usage();
            return n;
        };
        if (arg == "--name") o.name = value();
        else if (arg == "--model") o.model = value();
        else if (arg == "--serial") o.serial = static_cast<uint32_t>(std::strtoul(value().c_str(), nullptr, 16));
        else if (arg == "--manufacturer") o.manufacturer = value();
        else if (arg == "--version") o.version = value();
        else if (arg == "--caps") o.caps = static_cast<int>(number());
        else if (arg == "--image") o.image = static_cast<int>(number());
        else if (arg == "--status") o.status = static_cast<int>(number());
        else if (arg == "--discovery-port") o.discoveryPort = static_cast<int>(number());
        else if (arg == "--link-port") o.linkPort = static_cast<int>(number());
        else if (arg == "--service-port") o.servicePort = static_cast<int>(number());
        else if (arg == "--reply-size") o.replySize = std::min<size_t>(static_cast<size_t>(number()), UlinkDiscoveryWire::kReplySize);
        else if (arg == "--replies") o.replies = static_cast<int>(number());
        else if (arg == "--reply-hold") o.replyHold = true;
        else if (arg == "--echo") o.echo = true;
        else if (arg == "--interval") o.interval = static_cast<int>(number());
        else if (arg == "--silent") o.silent = true;
        else if (arg == "--script") o.script = value();
        else usage();
    }
    Device device(o);
    if (!device.start()) {
        std::perror("ulink-sim");
        return 1;
    }
    std::string line;
    while (std::getline(std::cin, line))
        if (!device.command(line)) break;
    // Pending replies and links end with the process.
    std::fflush(stdout);
    _exit(0);
}
