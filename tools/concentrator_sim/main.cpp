// Modbus RTU slave that stands in for a field concentrator, with optional
// misbehaviour on the wire so the station's error handling can be exercised.

#include "options.h"
#include "readings.h"

#include <modbus.h>

#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kReadInputRegisters = 0x04;
constexpr int kMaxReadRegisters = 125;
// Bounds how long a stop request or a device loss can go unnoticed while idle.
constexpr std::uint32_t kIdlePollUsec = 200000;
// After a frame for another slave, libmodbus skips the next frame as that
// slave's answer if it starts within this time. Nobody answers on a
// point-to-point line, so keep the window short.
constexpr std::uint32_t kOtherSlaveAnswerUsec = 200000;
constexpr int kWriteStallMs = 1000;

volatile sig_atomic_t g_stop = 0;

void on_stop_signal(int)
{
    g_stop = 1;
}

bool g_verbose = false;
Clock::time_point g_started;

void vlog(const char *fmt, va_list args)
{
    const double t = std::chrono::duration<double>(Clock::now() - g_started).count();
    std::fprintf(stderr, "[%9.3f] ", t);
    std::vfprintf(stderr, fmt, args);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

__attribute__((format(printf, 1, 2))) void note(const char *fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    vlog(fmt, args);
    va_end(args);
}

__attribute__((format(printf, 1, 2))) void trace(const char *fmt, ...)
{
    if (!g_verbose)
        return;
    va_list args;
    va_start(args, fmt);
    vlog(fmt, args);
    va_end(args);
}

// Sleeps in short slices so a stop request cuts it short; false if stopped.
bool pause_ms(int ms)
{
    const Clock::time_point until = Clock::now() + std::chrono::milliseconds(ms);
    while (!g_stop) {
        const Clock::time_point now = Clock::now();
        if (now >= until)
            return true;
        const auto left = std::min<Clock::duration>(until - now, std::chrono::milliseconds(50));
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        timespec ts{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
        nanosleep(&ts, nullptr);
    }
    return false;
}

std::uint16_t crc16_modbus(const std::uint8_t *data, std::size_t length)
{
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001)
                            : static_cast<std::uint16_t>(crc >> 1);
    }
    return crc;
}

std::vector<std::uint8_t> build_read_response(int slave, const std::uint16_t *regs, int count)
{
    std::vector<std::uint8_t> frame;
    frame.reserve(3 + 2 * static_cast<std::size_t>(count) + 2);
    frame.push_back(static_cast<std::uint8_t>(slave));
    frame.push_back(kReadInputRegisters);
    frame.push_back(static_cast<std::uint8_t>(2 * count));
    for (int i = 0; i < count; ++i) {
        frame.push_back(static_cast<std::uint8_t>(regs[i] >> 8));
        frame.push_back(static_cast<std::uint8_t>(regs[i] & 0xFF));
    }
    const std::uint16_t crc = crc16_modbus(frame.data(), frame.size());
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    return frame;
}

// libmodbus opens the line non-blocking, so a peer that stops reading shows
// up as EAGAIN; give it a moment, then give up on this frame.
bool write_all(int fd, const std::uint8_t *data, std::size_t length)
{
    while (length > 0) {
        const ssize_t n = write(fd, data, length);
        if (n > 0) {
            data += n;
            length -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            if (g_stop)
                return false;
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd pfd{fd, POLLOUT, 0};
            const int ready = poll(&pfd, 1, kWriteStallMs);
            if (ready < 0 && errno == EINTR && !g_stop)
                continue;
            if (ready <= 0 || (pfd.revents & (POLLERR | POLLHUP | POLLNVAL)))
                return false;
            continue;
        }
        return false;
    }
    return true;
}

// Drains after each piece so the gap really is silence on the line.
bool send_frame(int fd, const std::vector<std::uint8_t> &frame, std::size_t piece, int gap_ms)
{
    std::size_t sent = 0;
    while (sent < frame.size()) {
        if (sent > 0 && !pause_ms(gap_ms))
            return false;
        const std::size_t n = std::min(piece, frame.size() - sent);
        if (!write_all(fd, frame.data() + sent, n))
            return false;
        tcdrain(fd);
        sent += n;
    }
    return true;
}

// One byte every 10 bit times at 9600 baud, as a real line delivers it.
bool send_paced(int fd, const std::vector<std::uint8_t> &frame)
{
    constexpr auto kByteTime = std::chrono::nanoseconds(1000000000LL * 10 / 9600);
    const Clock::time_point start = Clock::now();
    for (std::size_t i = 0; i < frame.size(); ++i) {
        const Clock::time_point due = start + kByteTime * static_cast<long long>(i);
        const auto wait = due - Clock::now();
        if (wait > Clock::duration::zero()) {
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
            timespec ts{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
            nanosleep(&ts, nullptr);
        }
        if (g_stop || !write_all(fd, frame.data() + i, 1))
            return false;
    }
    return true;
}

std::string describe_faults(unsigned modes)
{
    std::string text;
    const auto add = [&](unsigned mode, const char *name) {
        if (modes & mode) {
            if (!text.empty())
                text += '+';
            text += name;
        }
    };
    add(kFaultDrop, "drop");
    add(kFaultLate, "late");
    add(kFaultBadCrc, "bad-crc");
    add(kFaultChunks, "chunks");
    return text;
}

bool has_start_and_count(int function)
{
    switch (function) {
    case 0x01: case 0x02: case 0x03: case 0x04: case 0x0F: case 0x10: case 0x17:
        return true;
    default:
        return false;
    }
}

// "slave 1 fn 0x04 start 30201 count 100" for the verbose log.
std::string describe_request(const std::uint8_t *req)
{
    char text[96];
    if (has_start_and_count(req[1]))
        std::snprintf(text, sizeof text, "slave %d fn 0x%02X start %d count %d", req[0], req[1],
                      (req[2] << 8) | req[3], (req[4] << 8) | req[5]);
    else
        std::snprintf(text, sizeof text, "slave %d fn 0x%02X", req[0], req[1]);
    return text;
}

bool is_device_loss(int error)
{
    return error == ECONNRESET || error == EIO || error == EBADF || error == ENXIO ||
           error == ENODEV || error == EPIPE;
}

class Server {
public:
    Server(modbus_t *ctx, modbus_mapping_t *map, const Options &opt, Readings &readings)
        : ctx_(ctx), map_(map), opt_(opt), readings_(readings), overrides_(opt.overrides),
          header_(modbus_get_header_length(ctx))
    {
    }

    // Returns the exit status: 0 when asked to stop, 1 when the device (or the TCP client)
    // is gone.
    int serve();

private:
    // req is the whole request as libmodbus took it: over TCP its header comes first, and
    // the unit id (the RTU frame's address) ends the header.
    void handle(const std::uint8_t *req, int length);
    void send_faulty(const std::uint8_t *req, int length, unsigned modes);

    modbus_t *ctx_;
    modbus_mapping_t *map_;
    void alternate(int start, int count);

    const Options &opt_;
    Readings &readings_;
    Overrides overrides_;
    int served_ = -1;
    int header_;
};

int Server::serve()
{
    std::uint8_t req[MODBUS_MAX_ADU_LENGTH];
    const std::uint8_t *rtu = req + header_ - 1;
    bool skipping_answer = false;

    while (!g_stop) {
        const bool was_skipping = skipping_answer;
        skipping_answer = false;
        std::memset(req, 0, static_cast<std::size_t>(header_) + 7);
        const int rc = modbus_receive(ctx_, req);

        if (rc > 0) {
            handle(req, rc);
            continue;
        }
        if (rc == 0) {
            if (was_skipping) {
                // libmodbus has just read (or waited for) what it took to be
                // the other slave's answer. Say so if it swallowed a frame.
                if (rtu[1] != 0)
                    trace("%s: discarded as the answer to the previous frame",
                          describe_request(rtu).c_str());
            } else {
                trace("%s: ignored, not our address", describe_request(rtu).c_str());
                skipping_answer = true;
            }
            continue;
        }

        const int error = errno;
        if (g_stop)
            break;
        if (error == ETIMEDOUT)
            continue; // idle line, or a frame that stopped half way
        if (is_device_loss(error)) {
            // A pty whose other end has closed never recovers, and its name
            // may soon belong to someone else's pty, so do not reopen it.
            if (opt_.mbtcp_port == 0)
                note("%s hung up (%s)", opt_.device.c_str(), std::strerror(error));
            return 1;
        }
        trace("receive failed: %s", modbus_strerror(error));
        modbus_flush(ctx_);
        if (error < MODBUS_ENOBASE) // unknown system error: do not spin
            pause_ms(50);
    }
    return 0;
}

void Server::handle(const std::uint8_t *req, int length)
{
    const std::uint8_t *rtu = req + header_ - 1;
    const int slave = rtu[0];
    const int function = rtu[1];

    if (slave == 0) {
        trace("%s: broadcast, no reply", describe_request(rtu).c_str());
        return;
    }

    if (opt_.turnaround_ms > 0 && !pause_ms(opt_.turnaround_ms))
        return;
    readings_.advance(Clock::now());
    if (function == kReadInputRegisters && length >= header_ + 5)
        alternate((rtu[2] << 8) | rtu[3], (rtu[4] << 8) | rtu[5]);
    readings_.store(map_->tab_input_registers, overrides_);

    if (function != kReadInputRegisters) {
        // A device that only serves input registers rejects anything else
        // outright (libmodbus alone would answer some, e.g. report slave id).
        trace("%s: exception, illegal function", describe_request(rtu).c_str());
        modbus_reply_exception(ctx_, req, MODBUS_EXCEPTION_ILLEGAL_FUNCTION);
        return;
    }

    const int start = (rtu[2] << 8) | rtu[3];
    const int count = (rtu[4] << 8) | rtu[5];
    const bool valid = count >= 1 && count <= kMaxReadRegisters && start >= kFirstRegister &&
                       start + count <= kFirstRegister + kRegisterCount;
    unsigned modes = valid ? opt_.faults.modes_for(start) : 0;
    // A gateway frames its own answers: only whether and when one goes out is ours.
    if (opt_.mbtcp_port != 0)
        modes &= kFaultDrop | kFaultLate;
    const bool paced = valid && opt_.paced && opt_.mbtcp_port == 0;

    if (modes == 0 && !paced) {
        trace("%s: %s", describe_request(rtu).c_str(), valid ? "reply" : "exception");
        modbus_reply(ctx_, req, length, map_);
        return;
    }
    trace("%s: %s", describe_request(rtu).c_str(),
          modes ? ("fault " + describe_faults(modes)).c_str() : "paced reply");
    send_faulty(req, length, modes);
}

void Server::alternate(int start, int count)
{
    const Alternation &a = opt_.alternate;
    if (a.reg == 0)
        return;
    const Clock::time_point now = Clock::now();
    const auto phase = (now - g_started) / std::chrono::milliseconds(a.period_ms);
    const int value = phase % 2 ? a.second : a.first;
    overrides_.forced[static_cast<std::size_t>(a.reg - kFirstRegister)] = value;
    if (a.reg < start || a.reg >= start + count || value == served_)
        return;
    served_ = value;
    const auto ns = [](Clock::time_point t) {
        return static_cast<long long>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count());
    };
    std::printf("alternate %d=%d since %lld served %lld\n", a.reg, value,
                ns(g_started + phase * std::chrono::milliseconds(a.period_ms)), ns(now));
    std::fflush(stdout);
}

void Server::send_faulty(const std::uint8_t *req, int length, unsigned modes)
{
    if (modes & kFaultDrop)
        return;
    if ((modes & kFaultLate) && !pause_ms(opt_.late_ms))
        return;
    if (opt_.mbtcp_port != 0) {
        modbus_reply(ctx_, req, length, map_);
        return;
    }

    const int start = (req[2] << 8) | req[3];
    const int count = (req[4] << 8) | req[5];
    std::vector<std::uint8_t> frame = build_read_response(
        opt_.address, map_->tab_input_registers + (start - kFirstRegister), count);
    if (modes & kFaultBadCrc)
        frame.back() ^= 0xFF;

    const int fd = modbus_get_socket(ctx_);
    const std::size_t piece =
        (modes & kFaultChunks) ? static_cast<std::size_t>(opt_.chunk_size) : frame.size();
    const bool sent = (opt_.paced && !(modes & kFaultChunks))
                          ? send_paced(fd, frame)
                          : send_frame(fd, frame, piece, opt_.chunk_gap_ms);
    if (!sent && !g_stop)
        trace("could not send the whole response: %s", std::strerror(errno));
}

void install_stop_handlers()
{
    struct sigaction sa{};
    sa.sa_handler = on_stop_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0; // no SA_RESTART: blocking calls should return early
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

} // namespace

int main(int argc, char **argv)
{
    g_started = Clock::now();

    Options opt;
    std::string error;
    switch (parse_options(argc, argv, opt, error)) {
    case ParseResult::help:
        std::fputs(kUsage, stdout);
        return 0;
    case ParseResult::error:
        std::fprintf(stderr, "kestro-concentrator-sim: %s\n\n%s", error.c_str(), kUsage);
        return 2;
    case ParseResult::ok:
        break;
    }
    g_verbose = opt.verbose;

    if (!opt.seed_given) {
        opt.seed = static_cast<std::uint64_t>(
                       std::chrono::system_clock::now().time_since_epoch().count()) ^
                   (static_cast<std::uint64_t>(getpid()) << 32);
    }
    Readings readings = opt.fixed ? Readings::fixed() : Readings::drifting(opt.seed, Clock::now());
    if (!opt.fixed)
        trace("seed %llu", static_cast<unsigned long long>(opt.seed));

    install_stop_handlers();

    const bool tcp = opt.mbtcp_port != 0;
    modbus_t *ctx = tcp ? modbus_new_tcp("127.0.0.1", opt.mbtcp_port)
                        : modbus_new_rtu(opt.device.c_str(), 9600, 'N', 8, 1);
    const std::string where = tcp ? "tcp " + std::to_string(opt.mbtcp_port) : opt.device;
    if (ctx == nullptr) {
        std::fprintf(stderr, "kestro-concentrator-sim: %s: %s\n", where.c_str(),
                     modbus_strerror(errno));
        return 1;
    }
    modbus_set_slave(ctx, opt.address);
    modbus_set_indication_timeout(ctx, 0, kIdlePollUsec);
    modbus_set_response_timeout(ctx, 0, kOtherSlaveAnswerUsec);

    int listening = -1;
    if (tcp ? (listening = modbus_tcp_listen(ctx, 1)) == -1 : modbus_connect(ctx) == -1) {
        std::fprintf(stderr, "kestro-concentrator-sim: cannot open %s: %s\n", where.c_str(),
                     modbus_strerror(errno));
        modbus_free(ctx);
        return 1;
    }

    modbus_mapping_t *map =
        modbus_mapping_new_start_address(0, 0, 0, 0, 0, 0, kFirstRegister, kRegisterCount);
    if (map == nullptr) {
        std::fprintf(stderr, "kestro-concentrator-sim: %s\n", modbus_strerror(errno));
        modbus_close(ctx);
        modbus_free(ctx);
        return 1;
    }
    readings.store(map->tab_input_registers, opt.overrides);

    std::printf("ready %s address %d\n", where.c_str(), opt.address);
    std::fflush(stdout);

    int status = 0;
    if (!tcp) {
        status = Server(ctx, map, opt, readings).serve();
    } else {
        // One client at a time; a client that leaves makes room for the next.
        Server server(ctx, map, opt, readings);
        while (!g_stop) {
            if (modbus_tcp_accept(ctx, &listening) == -1)
                continue; // interrupted by a stop signal, or a client gone at once
            server.serve();
            close(modbus_get_socket(ctx));
            modbus_set_socket(ctx, -1);
        }
        close(listening);
    }

    trace("stopping");
    modbus_mapping_free(map);
    modbus_close(ctx);
    modbus_free(ctx);
    return status;
}
