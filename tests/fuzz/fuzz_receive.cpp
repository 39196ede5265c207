// Replays a script of line events through the station's receive path (bounded
// gathering, then the answer window) and checks its promises against a model
// written here from the wire format alone.
//
// Script: one opcode byte (taken modulo 9), then its operands; a script that
// ends inside the operands of 7 or 8 stops there.
//   0 n b1..bn    n bytes arrive on the line (fewer if the script ends first); an answer
//                 whose header declares it whole goes on with its last byte
//   1             the line went quiet: the gathered burst is taken
//   2             a request was sent: the window opens
//   3             the window closes, told whether a burst is still arriving
//   4             the port was closed: the window is abandoned
//   5             a new request cuts off a burst in progress
//   6             the operator resets the counters
//   7 a hi lo s   a valid response from address a arrives, register k = (hi lo) + k * s
//   8 a hi lo s bh bl   the same response with bit (bh bl) modulo 1640 flipped

#include "fuzzcheck.h"
#include "serial/answerwindow.h"
#include "serial/linkcounters.h"
#include "serial/modbusframe.h"
#include "serial/responsecollector.h"

#include <QByteArray>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <tuple>

namespace {

constexpr char kFuzzTarget[] = "fuzz_receive";

// A second CRC-16/MODBUS, byte-wise from a table, so a fault in the station's
// bit-wise one cannot hide behind itself.
class Crc16Modbus
{
public:
    Crc16Modbus()
    {
        for (unsigned byte = 0; byte < 256; ++byte) {
            unsigned value = byte;
            for (int bit = 0; bit < 8; ++bit)
                value = (value & 1u) ? (value >> 1) ^ 0xA001u : value >> 1;
            table[byte] = static_cast<uint16_t>(value);
        }
    }

    uint16_t operator()(const uint8_t *data, size_t size) const
    {
        uint16_t crc = 0xFFFF;
        for (size_t i = 0; i < size; ++i)
            crc = static_cast<uint16_t>((crc >> 8) ^ table[(crc ^ data[i]) & 0xFFu]);
        return crc;
    }

private:
    std::array<uint16_t, 256> table{};
};

const Crc16Modbus crc16;

enum class Shape { Valid, BadCrc, BadFrame };

Shape shapeOf(const uint8_t *burst, size_t size)
{
    if (size != 205 || burst[1] != 0x04 || burst[2] != 0xC8)
        return Shape::BadFrame;
    const unsigned received = burst[203] | (burst[204] << 8);
    return crc16(burst, 203) == received ? Shape::Valid : Shape::BadCrc;
}

std::string response(uint8_t address, uint16_t base, uint8_t step)
{
    std::string frame;
    frame.reserve(205);
    frame.push_back(static_cast<char>(address));
    frame.push_back(static_cast<char>(0x04));
    frame.push_back(static_cast<char>(0xC8));
    for (unsigned k = 0; k < 100; ++k) {
        const auto value = static_cast<uint16_t>(base + k * step);
        frame.push_back(static_cast<char>(value >> 8));
        frame.push_back(static_cast<char>(value & 0xFF));
    }
    const uint16_t crc = crc16(reinterpret_cast<const uint8_t *>(frame.data()), frame.size());
    frame.push_back(static_cast<char>(crc & 0xFF));
    frame.push_back(static_cast<char>(crc >> 8));
    return frame;
}

// Bytes in a heap block of exactly their size, so AddressSanitizer sees any read past
// the end; a QByteArray of its own keeps spare capacity and a terminator there.
class ExactCopy
{
public:
    explicit ExactCopy(const QByteArray &bytes)
        : size(static_cast<size_t>(bytes.size())), block(new uint8_t[size])
    {
        if (size != 0)
            std::memcpy(block.get(), bytes.constData(), size);
    }

    QByteArray view() const
    {
        return QByteArray::fromRawData(reinterpret_cast<const char *>(block.get()),
                                       static_cast<int>(size));
    }
    const uint8_t *data() const { return block.get(); }

    const size_t size;

private:
    std::unique_ptr<uint8_t[]> block;
};

struct Counts
{
    int valid = 0, noAnswer = 0, badCrc = 0, badFrame = 0, late = 0;

    auto tied() const { return std::tie(valid, noAnswer, badCrc, badFrame, late); }
    bool operator==(const Counts &other) const { return tied() == other.tied(); }
    bool noneBelow(const Counts &other) const
    {
        return valid >= other.valid && noAnswer >= other.noAnswer && badCrc >= other.badCrc &&
               badFrame >= other.badFrame && late >= other.late;
    }
    bool noneNegative() const { return noneBelow(Counts()); }
};

Counts countsOf(const AnswerWindow &window)
{
    const LinkCounters &c = window.counters();
    Counts counts;
    counts.valid = c.validAnswers;
    counts.noAnswer = c.noAnswer;
    counts.badCrc = c.badCrc;
    counts.badFrame = c.badFrame;
    counts.late = c.lateDropped;
    return counts;
}

static_assert(std::tuple_size<ModbusFrame::Registers>::value == 100,
              "a response carries 100 registers");

class Script
{
public:
    Script(const uint8_t *data, size_t size) : at(data), end(data + size) {}

    bool more() const { return at < end; }
    size_t left() const { return static_cast<size_t>(end - at); }
    void finish() { at = end; }
    uint8_t byte() { return *at++; }
    const uint8_t *take(size_t count)
    {
        const uint8_t *start = at;
        at += count;
        return start;
    }

private:
    const uint8_t *at;
    const uint8_t *end;
};

class Run
{
public:
    void step(Script &script);

private:
    void arrive(const char *bytes, size_t size);
    void quiet();
    void judge(const QByteArray &bytes);
    void open();
    void close();
    void abandon();
    void cutOff();
    void resetCounters();
    void checkAfter(const Counts &before, bool countersReset);

    AnswerWindow window;
    QByteArray buffer;
    // What the line delivered since the buffer was last emptied, kept only as far
    // as the collector promises to hold: 1024 + 1 bytes.
    std::string arrived;

    // What the window should hold, kept apart from its own state.
    Counts counts;
    bool windowOpen = false;
    int burstsInWindow = 0;
    int validInWindow = 0;
    int silentWindows = 0;
    // What the window said during the current window.
    int decodedInWindow = 0;
    int ambiguousInWindow = 0;
};

void Run::step(Script &script)
{
    const Counts before = countsOf(window);
    bool countersReset = false;
    const unsigned op = script.byte() % 9;
    switch (op) {
    case 0: {
        const size_t size = script.more() ? std::min<size_t>(script.byte(), script.left()) : 0;
        if (size == 0)
            return;
        arrive(reinterpret_cast<const char *>(script.take(size)), size);
        break;
    }
    case 1:
        quiet();
        break;
    case 2:
        open();
        break;
    case 3:
        close();
        break;
    case 4:
        abandon();
        break;
    case 5:
        cutOff();
        break;
    case 6:
        resetCounters();
        countersReset = true;
        break;
    case 7:
    case 8: {
        const bool flip = op == 8;
        if (script.left() < (flip ? 6u : 4u)) {
            script.finish();
            return;
        }
        const uint8_t *operands = script.take(flip ? 6 : 4);
        std::string frame =
            response(operands[0], static_cast<uint16_t>(operands[1] << 8 | operands[2]),
                     operands[3]);
        if (flip) {
            const unsigned bit = (operands[4] << 8 | operands[5]) % (205 * 8);
            frame[bit / 8] = static_cast<char>(frame[bit / 8] ^ (1u << (bit % 8)));
        }
        arrive(frame.data(), frame.size());
        break;
    }
    }
    checkAfter(before, countersReset);
}

void Run::arrive(const char *bytes, size_t size)
{
    const QByteArray chunk(bytes, static_cast<int>(size));
    const ExactCopy exact(chunk);
    // Any length at all must decode without reading past the end.
    for (int value : ModbusFrame::decodeRegisters(exact.view()))
        REQUIRE(value >= 0 && value <= 0xFFFF, "register outside 0..65535 (any length)");

    ResponseCollector::appendBounded(buffer, chunk);
    if (arrived.size() < 1025)
        arrived.append(bytes, std::min(size, 1025 - arrived.size()));
    // Whatever begins with the header of a whole answer (04, C8) goes on with its 205th byte.
    const QList<QByteArray> taken = ResponseCollector::takeDeclared(buffer);
    int expected = 0;
    while (arrived.size() >= 205 && static_cast<uint8_t>(arrived[1]) == 0x04 &&
           static_cast<uint8_t>(arrived[2]) == 0xC8) {
        REQUIRE(expected < taken.size() && taken[expected] == QByteArray(arrived.data(), 205),
                "an answer of its declared size was not taken whole from the front");
        arrived.erase(0, 205);
        judge(taken[expected++]);
    }
    REQUIRE(taken.size() == expected, "taken more than the answers that declared their size");
    REQUIRE(buffer.size() <= 1025, "gathered burst grew past 1025 bytes");
    REQUIRE(static_cast<size_t>(buffer.size()) == arrived.size() &&
                std::memcmp(buffer.constData(), arrived.data(), arrived.size()) == 0,
            "gathered burst is not the start of what arrived");
}

void Run::quiet()
{
    // The collector reports only after bytes arrived.
    if (buffer.isEmpty())
        return;
    const QByteArray bytes = buffer;
    buffer.clear();
    arrived.clear();
    judge(bytes);
}

void Run::judge(const QByteArray &bytes)
{
    const ExactCopy burst(bytes);
    const Shape shape = shapeOf(burst.data(), burst.size);
    AnswerWindow::Burst expected;
    if (!windowOpen) {
        expected = AnswerWindow::Burst::Late;
        ++counts.late;
    } else {
        ++burstsInWindow;
        if (shape == Shape::BadCrc) {
            expected = AnswerWindow::Burst::Rejected;
            ++counts.badCrc;
        } else if (shape == Shape::BadFrame) {
            expected = AnswerWindow::Burst::Rejected;
            ++counts.badFrame;
        } else if (++validInWindow == 1) {
            expected = AnswerWindow::Burst::Decoded;
            ++counts.valid;
        } else {
            expected = AnswerWindow::Burst::Ambiguous;
            ++counts.late;
        }
    }

    ModbusFrame::Registers registers;
    registers.fill(-1);
    const AnswerWindow::Burst got = window.take(burst.view(), &registers);

    if (got == AnswerWindow::Burst::Decoded) {
        REQUIRE(shape == Shape::Valid,
                "decoded a burst that is not 205 bytes, 04, C8 with an intact CRC");
        REQUIRE(++decodedInWindow == 1, "decoded twice in one window");
        for (unsigned k = 0; k < 100; ++k) {
            const int pair = burst.data()[3 + 2 * k] * 256 + burst.data()[4 + 2 * k];
            REQUIRE(registers[k] == pair, "register differs from its big-endian byte pair");
            REQUIRE(registers[k] >= 0 && registers[k] <= 0xFFFF, "register outside 0..65535");
        }
    } else {
        for (int value : registers)
            REQUIRE(value == -1, "registers written for a burst that was not decoded");
    }
    if (got == AnswerWindow::Burst::Ambiguous)
        ++ambiguousInWindow;
    REQUIRE(got == expected, "burst judged otherwise than its bytes and the window say");
}

void Run::open()
{
    window.open();
    windowOpen = true;
    burstsInWindow = 0;
    validInWindow = 0;
    decodedInWindow = 0;
    ambiguousInWindow = 0;
}

void Run::close()
{
    const bool gathering = !buffer.isEmpty();
    const bool wasOpen = windowOpen;
    const bool reading = window.close(gathering);
    windowOpen = false;
    if (!wasOpen) {
        REQUIRE(!reading, "a window that was not open gave a reading");
        return;
    }
    // More arriving behind a valid answer may be the right one behind a late one.
    REQUIRE(reading == (decodedInWindow == 1 && ambiguousInWindow == 0 && !gathering),
            "close() disagrees with the answers the window gave");
    if (burstsInWindow == 0 && !gathering)
        ++counts.noAnswer;
    silentWindows = reading ? 0 : silentWindows + 1;
}

void Run::abandon()
{
    window.abandon();
    windowOpen = false;
}

void Run::cutOff()
{
    if (buffer.isEmpty())
        return;
    window.dropPartial();
    buffer.clear();
    arrived.clear();
    ++counts.late;
}

void Run::resetCounters()
{
    window.resetCounters();
    counts = Counts();
    silentWindows = 0;
}

void Run::checkAfter(const Counts &before, bool countersReset)
{
    const Counts now = countsOf(window);
    REQUIRE(now.noneNegative(), "a counter went negative");
    if (countersReset)
        REQUIRE(now == Counts(), "a counter survived the reset");
    else
        REQUIRE(now.noneBelow(before), "a counter went down");
    REQUIRE(now == counts, "counters differ from what the events add up to");
    REQUIRE(window.isOpen() == windowOpen, "window open when it should be closed, or back");
    REQUIRE(window.windowsWithoutReading() == silentWindows,
            "windows without a reading miscounted");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // Catalogue check value of CRC-16/MODBUS, and an exception answer seen on a real line.
    const uint8_t check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    const uint8_t exception[] = {0x01, 0x84, 0x02};
    REQUIRE(crc16(check, sizeof check) == 0x4B37, "second CRC fails its check value");
    REQUIRE(crc16(exception, sizeof exception) == 0xC1C2, "second CRC fails 01 84 02 -> C2 C1");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Script script(data, size);
    Run run;
    while (script.more())
        run.step(script);
    return 0;
}
