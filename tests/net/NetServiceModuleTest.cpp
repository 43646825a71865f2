#include "base/Json.h"
#include "support/EventCollector.h"
#include "net/NetServiceDiscovery.h"
#include "support/TempHome.h"
#include "webview/TarnAppWebViewController.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

const char kType[] = "_tarntest._tcp";

// The system bus address the Avahi client uses, set for one test and restored afterwards.
class SystemBus {
public:
    explicit SystemBus(const std::string& address) {
        const char* old = getenv("DBUS_SYSTEM_BUS_ADDRESS");
        had_ = old != nullptr;
        if (old) saved_ = old;
        setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1);
    }
    ~SystemBus() {
        if (had_) setenv("DBUS_SYSTEM_BUS_ADDRESS", saved_.c_str(), 1);
        else unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    }

private:
    bool had_ = false;
    std::string saved_;
};

// A private bus and avahi-daemon in a network namespace of their own, publishing services
// (tests/support/private-avahi.sh). Everything it started ends with it.
class PrivateAvahi {
public:
    PrivateAvahi(const std::string& dir, const std::vector<std::string>& services) {
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0) return;
        std::string script = std::string(TARN_TEST_SUPPORT_DIR) + "/private-avahi.sh";
        std::vector<std::string> words{"/bin/sh", script, dir};
        words.insert(words.end(), services.begin(), services.end());
        pid_ = fork();
        if (pid_ == 0) {
            setpgid(0, 0);
            dup2(out[1], 1);
            std::vector<char*> argv;
            for (auto& word : words) argv.push_back(&word[0]);
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        setpgid(pid_, pid_);
        ::close(out[1]);
        std::string text;
        char buffer[256];
        auto deadline = std::chrono::steady_clock::now() + 30s;
        while (text.find("ready\n") == std::string::npos && std::chrono::steady_clock::now() < deadline) {
            pollfd entry{out[0], POLLIN, 0};
            if (::poll(&entry, 1, 200) != 1) continue;
            ssize_t got = ::read(out[0], buffer, sizeof buffer);
            if (got <= 0) break;
            text.append(buffer, static_cast<size_t>(got));
        }
        ::close(out[0]);
        size_t bus = text.find("bus ");
        if (text.find("ready\n") != std::string::npos && bus != std::string::npos)
            address_ = text.substr(bus + 4, text.find('\n', bus) - bus - 4);
    }
    ~PrivateAvahi() { end(); }
    // Ends the daemon, its bus and the publishers.
    void end() {
        if (pid_ <= 0) return;
        ::kill(-pid_, SIGTERM);
        int status;
        waitpid(pid_, &status, 0);
        pid_ = -1;
    }
    const std::string& busAddress() const { return address_; }

private:
    pid_t pid_ = -1;
    std::string address_;
};

class NetServiceModuleTest : public ::testing::Test {
protected:
    std::string call(std::vector<std::string> args) { return controller.invokeNative(args); }
    std::vector<Json> resolved() {
        std::vector<Json> found;
        for (const auto& e : events.all())
            if (e[0] == "netservice" && e[1] == "resolved") found.push_back(parseJson(e.at(2)));
        return found;
    }
    std::vector<EventCollector::Event> stopped() {
        std::vector<EventCollector::Event> found;
        for (const auto& e : events.all())
            if (e[0] == "netservice" && e[1] == "stopped") found.push_back(e);
        return found;
    }
    bool waitResolved(size_t count) {
        return events.waitFor([&](const EventCollector::Event&) { return resolved().size() >= count; }, 20s);
    }
    bool waitStopped(size_t count) {
        return events.waitFor([&](const EventCollector::Event&) { return stopped().size() >= count; }, 20s);
    }

    TempHome home;
    TarnAppWebViewController controller;
    EventCollector events{controller};
};

TEST(NetServiceDiscoveryTest, InstanceNamesAreCutBeforeTheirFirstDot) {
    EXPECT_EQ(NetServiceDiscovery::instanceName("Looper.studio"), "Looper");
    EXPECT_EQ(NetServiceDiscovery::instanceName("Looper"), "Looper");
    EXPECT_EQ(NetServiceDiscovery::instanceName(".hidden.x"), ".hidden.x");
    EXPECT_EQ(NetServiceDiscovery::instanceName("a b.c.d"), "a b");
}

TEST_F(NetServiceModuleTest, ResolvesEachPublishedInstanceOnceUntilStopped) {
    PrivateAvahi avahi(home.path(), {"Alpha", kType, "4321", "Beta.one", kType, "4322", "Beta.two", kType, "4323",
                                     "Other", "_tarnother._tcp", "4324"});
    ASSERT_FALSE(avahi.busAddress().empty()) << "the private mDNS daemon did not start";
    SystemBus bus(avahi.busAddress());

    EXPECT_EQ(call({"$$netservice_search", std::string(kType) + "."}), "b1");
    EXPECT_EQ(call({"$$netservice_search", std::string(kType) + "."}), "b");
    ASSERT_TRUE(waitResolved(2));
    events.drainFor(1500ms);
    // "Beta.one" and "Beta.two" are one name once cut; the other type is not ours.
    std::vector<Json> found = resolved();
    ASSERT_EQ(found.size(), 2u);
    std::map<std::string, Json> byName;
    for (const Json& service : found) {
        EXPECT_EQ(service.size(), 3u);
        EXPECT_EQ(service.at("address"), "127.0.0.1");
        byName[service.at("name").get<std::string>()] = service;
    }
    ASSERT_EQ(byName.count("Alpha"), 1u);
    ASSERT_EQ(byName.count("Beta"), 1u);
    EXPECT_EQ(byName["Alpha"].at("port"), 4321);
    int beta = byName["Beta"].at("port").get<int>();
    EXPECT_TRUE(beta == 4322 || beta == 4323) << beta;
    // The event text is the bridge's JSON: sorted keys, a whole number.
    for (const auto& e : events.all()) {
        if (e[1] == "resolved" && e[2].find("Alpha") != std::string::npos) {
            EXPECT_EQ(e[2], "{\"address\":\"127.0.0.1\",\"name\":\"Alpha\",\"port\":4321}");
        }
    }
    EXPECT_TRUE(stopped().empty());

    EXPECT_EQ(call({"$$netservice_stop"}), "v");
    ASSERT_TRUE(waitStopped(1));
    EXPECT_EQ(stopped()[0], (EventCollector::Event{"netservice", "stopped", ""}));
    EXPECT_EQ(call({"$$netservice_stop"}), "v");  // nothing runs: no second "stopped"

    // A new browse reports every instance afresh.
    EXPECT_EQ(call({"$$netservice_search", std::string(kType) + "."}), "b1");
    ASSERT_TRUE(waitResolved(4));
    // The daemon goes away mid-browse: the browse ends with a status, and nothing hangs.
    avahi.end();
    ASSERT_TRUE(waitStopped(2));
    EXPECT_FALSE(stopped()[1][2].empty());
    events.drainFor(200ms);
    EXPECT_EQ(stopped().size(), 2u);
    EXPECT_EQ(resolved().size(), 4u);
}

TEST_F(NetServiceModuleTest, WithoutADaemonTheBrowseStopsWithAStatus) {
    SystemBus bus("unix:path=" + home.file("no-bus"));
    EXPECT_EQ(call({"$$netservice_search", std::string(kType) + "."}), "b1");
    ASSERT_TRUE(waitStopped(1));
    EXPECT_FALSE(stopped()[0][2].empty());
    // Nothing is left running: the next search starts (and ends) again.
    EXPECT_EQ(call({"$$netservice_search", std::string(kType) + "."}), "b1");
    ASSERT_TRUE(waitStopped(2));
    EXPECT_EQ(call({"$$netservice_stop"}), "v");
    events.drainFor(100ms);
    EXPECT_EQ(stopped().size(), 2u);
    EXPECT_TRUE(resolved().empty());
    EXPECT_EQ(call({"$$netservice_search"}), "esystem exception");
}

}  // namespace
