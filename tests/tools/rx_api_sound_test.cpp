// quavel-modem rx --api on the sound card: a client on the loopback gets the status first, is
// refused anything but status.get and rx.get, and hears "closing" when the tool stops. The tool
// links no Qt into this test, so the client is a plain socket.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>

#include "sound_support.h"

namespace quavel {
namespace {

namespace fs = std::filesystem;

// A loopback port nobody listens on now.
int free_port() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &length);
    ::close(s);
    return ntohs(a.sin_port);
}

class Line {
public:
    bool connect_to(int port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        timeval limit{10, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~Line() {
        if (fd_ >= 0) ::close(fd_);
    }
    void send(const std::string& line) { (void)!::write(fd_, line.data(), line.size()); }
    // The next line holding `part`; empty at the end of the stream or after the time limit.
    std::string next_with(const std::string& part) {
        for (;;) {
            const size_t end = buffer_.find('\n');
            if (end != std::string::npos) {
                std::string line = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                if (line.find(part) != std::string::npos) return line;
                continue;
            }
            char chunk[4096];
            const ssize_t n = ::read(fd_, chunk, sizeof chunk);
            if (n <= 0) return {};
            buffer_.append(chunk, static_cast<size_t>(n));
        }
    }

private:
    int fd_ = -1;
    std::string buffer_;
};

TEST(RxApiSoundServer, ServesEventsOnlyAndSaysWhenItCloses) {
    test::SoundServer server;
    if (!server.skip_reason().empty()) GTEST_SKIP() << server.skip_reason();
    const fs::path dir =
        fs::temp_directory_path() / ("quavel-rx-api-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const int port = free_port();
    test::Process rx({{QUAVEL_MODEM_TOOL, "rx", "--seconds", "60", "--api", std::to_string(port)},
                      dir / "rx.out",
                      dir / "rx.err",
                      {}});
    ASSERT_TRUE(test::wait_for_text(dir / "rx.err", "control API on", 15000))
        << test::read_text(dir / "rx.err");
    Line client;
    ASSERT_TRUE(client.connect_to(port));
    EXPECT_NE(client.next_with("\"type\":\"status\"").find("\"receive_only\":true"),
              std::string::npos);
    client.send("{\"type\":\"tx.start\",\"id\":5}\n");
    const std::string refused = client.next_with("\"type\":\"error\"");
    EXPECT_NE(refused.find("receiver only"), std::string::npos) << refused;
    EXPECT_NE(refused.find("\"id\":5"), std::string::npos) << refused;
    client.send("{\"type\":\"rx.get\"}\n");
    EXPECT_NE(client.next_with("rx.panes"), "");
    rx.signal(SIGINT);
    EXPECT_NE(client.next_with("closing"), "");
    EXPECT_EQ(rx.wait(10000), std::optional<int>(0)) << test::read_text(dir / "rx.err");
    fs::remove_all(dir);
}

// rx --band: each station's line goes out as band.station, with the call it gave.
TEST(RxApiSoundServer, BandSendsEachStationsLines) {
    test::SoundServer server;
    if (!server.skip_reason().empty()) GTEST_SKIP() << server.skip_reason();
    const fs::path dir =
        fs::temp_directory_path() / ("quavel-rx-api-band-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const int port = free_port();
    test::Process rx(
        {{QUAVEL_MODEM_TOOL, "rx", "--band", "--seconds", "60", "--api", std::to_string(port)},
         dir / "rx.out",
         dir / "rx.err",
         {}});
    ASSERT_TRUE(test::wait_for_text(dir / "rx.err", "control API on", 15000))
        << test::read_text(dir / "rx.err");
    Line client;
    ASSERT_TRUE(client.connect_to(port));
    EXPECT_NE(client.next_with("\"type\":\"status\""), "");
    EXPECT_EQ(test::run({{QUAVEL_MODEM_TOOL, "tx", "--speed", "4", "--freq", "1500",
                          "CQ DE G4ABC G4ABC K"},
                         dir / "tx.out",
                         dir / "tx.err",
                         {}},
                        60000),
              0)
        << test::read_text(dir / "tx.err");
    const std::string line = client.next_with("band.station");
    EXPECT_NE(line.find("\"text\":\"CQ DE G4ABC G4ABC K\""), std::string::npos) << line;
    EXPECT_NE(line.find("\"call\":\"G4ABC\""), std::string::npos) << line;
    EXPECT_NE(line.find("\"speed\":4"), std::string::npos) << line;
    rx.signal(SIGINT);
    EXPECT_NE(client.next_with("closing"), "");
    EXPECT_EQ(rx.wait(10000), std::optional<int>(0)) << test::read_text(dir / "rx.err");
    fs::remove_all(dir);
}

} // namespace
} // namespace quavel
