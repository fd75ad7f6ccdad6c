// The floor of lock-step TFTP on this machine, the yardstick of bench/tftp_throughput: one
// process, one file held in memory, one read request served at a time with blocking sends and
// receives on a connected socket. It answers a read request for the file (with the blksize
// option: OACK, then DATA and ACK in lock-step; without it, 512-byte blocks) and nothing else.
//
// Usage: tftp-floor FILE ADDR PORT [TRANSFERS]
// Serves FILE (requested by its base name) on ADDR:PORT, until TRANSFERS transfers have ended
// (default: until a signal ends it).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int kDefaultBlockSize = 512;
constexpr int kMaxBlockSize = 65464;
constexpr int kTimeoutSeconds = 1;
constexpr int kMaxTries = 5;
constexpr unsigned short kRrq = 1, kData = 3, kAck = 4, kError = 5, kOack = 6;

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "tftp-floor: %s: %s\n", what, std::strerror(errno));
    std::exit(1);
}

void putWord(char *at, unsigned short value)
{
    at[0] = char(value >> 8);
    at[1] = char(value & 0xff);
}

unsigned short word(const char *at)
{
    return static_cast<unsigned short>((static_cast<unsigned char>(at[0]) << 8) | static_cast<unsigned char>(at[1]));
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

struct Request
{
    std::string fileName;
    int blockSize = 0; // 0: no blksize option
};

// The zero-terminated fields after the opcode: file name, mode, then option and value pairs.
bool parseRequest(const char *packet, ssize_t length, Request &request)
{
    if (length < 4 || word(packet) != kRrq || packet[length - 1] != '\0')
        return false;
    std::vector<std::string_view> fields;
    for (const char *field = packet + 2; field < packet + length; field += std::strlen(field) + 1)
        fields.emplace_back(field);
    if (fields.size() < 2 || !equalsIgnoringCase(fields[1], "octet"))
        return false;
    request.fileName = fields[0];
    for (size_t i = 2; i + 1 < fields.size(); i += 2) {
        if (equalsIgnoringCase(fields[i], "blksize"))
            request.blockSize = std::min(std::max(std::atoi(std::string(fields[i + 1]).c_str()), 8), kMaxBlockSize);
    }
    return true;
}

void sendError(int socket, const sockaddr_in &peer, unsigned short code, const char *message)
{
    char packet[128] = {};
    putWord(packet, kError);
    putWord(packet + 2, code);
    std::snprintf(packet + 4, sizeof packet - 4, "%s", message);
    sendto(socket, packet, 4 + std::strlen(packet + 4) + 1, 0, reinterpret_cast<const sockaddr *>(&peer), sizeof peer);
}

// Sends packet and waits for the ACK of block, sending it again after each silence.
bool sendUntilAcked(int socket, const char *packet, size_t length, unsigned short block)
{
    char answer[516];
    for (int tries = 0; tries < kMaxTries; ++tries) {
        if (send(socket, packet, length, 0) != ssize_t(length))
            return false;
        for (;;) {
            const ssize_t received = recv(socket, answer, sizeof answer, 0);
            if (received < 0)
                break; // the time-out: send again
            if (received >= 4 && word(answer) == kAck && word(answer + 2) == block)
                return true;
            if (received >= 2 && word(answer) == kError)
                return false;
            // A repeated ACK of the previous block: keep waiting.
        }
    }
    return false;
}

void serve(const std::vector<char> &file, const Request &request, const sockaddr_in &peer)
{
    const int socket = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (socket < 0)
        fail("socket");
    const timeval timeout{kTimeoutSeconds, 0};
    setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    if (connect(socket, reinterpret_cast<const sockaddr *>(&peer), sizeof peer) != 0)
        fail("connect");

    int blockSize = kDefaultBlockSize;
    if (request.blockSize > 0) {
        blockSize = request.blockSize;
        char oack[32];
        putWord(oack, kOack);
        const int length = 2 + std::snprintf(oack + 2, sizeof oack - 2, "blksize%c%d", '\0', blockSize) + 1;
        if (!sendUntilAcked(socket, oack, size_t(length), 0)) {
            close(socket);
            return;
        }
    }
    std::vector<char> packet(4 + size_t(blockSize));
    putWord(packet.data(), kData);
    size_t offset = 0;
    for (unsigned short block = 1;; ++block) {
        const size_t length = std::min(size_t(blockSize), file.size() - offset);
        putWord(packet.data() + 2, block);
        std::memcpy(packet.data() + 4, file.data() + offset, length);
        if (!sendUntilAcked(socket, packet.data(), 4 + length, block))
            break;
        offset += length;
        // A file whose length is a multiple of the block size ends with an empty DATA.
        if (length < size_t(blockSize))
            break;
    }
    close(socket);
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 4 || argc > 5) {
        std::fprintf(stderr, "usage: tftp-floor FILE ADDR PORT [TRANSFERS]\n");
        return 2;
    }
    std::ifstream input(argv[1], std::ios::binary);
    if (!input)
        fail(argv[1]);
    const std::vector<char> file{std::istreambuf_iterator<char>(input), std::istreambuf_iterator<char>()};
    const std::string_view path(argv[1]);
    const std::string baseName(path.substr(path.find_last_of('/') + 1));
    const long transfers = argc == 5 ? std::atol(argv[4]) : -1;

    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<unsigned short>(std::atoi(argv[3])));
    if (inet_pton(AF_INET, argv[2], &address.sin_addr) != 1) {
        std::fprintf(stderr, "tftp-floor: %s is no IPv4 address\n", argv[2]);
        return 2;
    }
    const int listener = socket(AF_INET, SOCK_DGRAM, 0);
    if (listener < 0)
        fail("socket");
    if (bind(listener, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0)
        fail("bind");

    for (long served = 0; transfers < 0 || served < transfers;) {
        char packet[1024];
        sockaddr_in peer{};
        socklen_t peerSize = sizeof peer;
        const ssize_t length = recvfrom(listener, packet, sizeof packet, 0, reinterpret_cast<sockaddr *>(&peer), &peerSize);
        if (length < 0) {
            if (errno == EINTR)
                continue;
            fail("recvfrom");
        }
        Request request;
        if (!parseRequest(packet, length, request)) {
            sendError(listener, peer, 4, "Only octet read requests are served");
            continue;
        }
        if (request.fileName != baseName) {
            sendError(listener, peer, 1, "File not found");
            continue;
        }
        serve(file, request, peer);
        ++served;
    }
    return 0;
}
