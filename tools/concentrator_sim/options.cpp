#include "options.h"

#include <getopt.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

const char kUsage[] =
    "Usage: kestro-concentrator-sim --device PATH [options]\n"
    "       kestro-concentrator-sim --mbtcp PORT [options]\n"
    "\n"
    "Simulates a field concentrator of up to 200 wireless measuring devices as a\n"
    "Modbus RTU slave (9600 baud, 8N1) on a serial device or pseudo-terminal.\n"
    "Input registers (function 0x04), one per device N = 1..200:\n"
    "  30000+N  status: 0x45 online, 0x44 offline\n"
    "  30200+N  voltage, mV\n"
    "  30400+N  temperature, 0.1 degC, signed 16-bit\n"
    "  30600+N  current, 0.01 A\n"
    "Other function codes get an \"illegal function\" exception reply, reads outside\n"
    "30001..30800 an \"illegal data address\" one. Frames for other slave addresses\n"
    "and broadcasts get no reply.\n"
    "\n"
    "Options:\n"
    "  --device PATH          serial device to serve\n"
    "  --mbtcp PORT           instead of a device, serve Modbus TCP on\n"
    "                         127.0.0.1:PORT, one client at a time, as a gateway\n"
    "                         in front of the concentrator does (unit id = the\n"
    "                         address); of the faults only drop and late apply\n"
    "  --address N            slave address 1..247 (default 1)\n"
    "  --seed N               random seed, 0..18446744073709551615 (default: time\n"
    "                         based)\n"
    "  --static               deterministic readings for tests: every device online\n"
    "                         (status 0x45), voltage = 3000 + N mV, temperature\n"
    "                         register = 200 + N (20.0 + N/10 degC), current\n"
    "                         register = 100 + N (1.00 + N/100 A); no drift\n"
    "  --offline LIST         these devices report offline: status 0x44, voltage,\n"
    "                         temperature and current 0\n"
    "  --over-temp LIST       temperature register forced to 950 (95.0 degC)\n"
    "  --over-current LIST    current register forced to 6250 (62.50 A)\n"
    "  --under-voltage LIST   voltage forced to 1800 mV\n"
    "  --register REG=VALUE   repeatable; input register REG (30001..30800) holds\n"
    "                         VALUE (0..65535), applied after everything else,\n"
    "                         e.g. --register 30405=850: device 5 reads 85.0 degC\n"
    "  --fault MODE[:BLOCK]   repeatable; MODE is drop | bad-crc | late | chunks;\n"
    "                         BLOCK is the start register of the request it applies\n"
    "                         to, in decimal (30001, 30101, ..., 30701), or \"all\"\n"
    "                         (the default). Faults apply only to valid 0x04\n"
    "                         requests for our address.\n"
    "                           drop     read the request, send nothing\n"
    "                           bad-crc  send the correct response with the last\n"
    "                                    byte of its CRC flipped (xor 0xFF)\n"
    "                           late     send the correct response after --late-ms\n"
    "                           chunks   send the correct response in pieces of\n"
    "                                    --chunk-size bytes, --chunk-gap-ms apart\n"
    "                         When several modes match one request, drop wins;\n"
    "                         otherwise late, bad-crc and chunks all take effect.\n"
    "  --late-ms N            0..600000 (default 1500)\n"
    "  --chunk-size N         1..256 (default 50)\n"
    "  --chunk-gap-ms N       0..60000 (default 30)\n"
    "  --alternate REG=A,B,MS register REG holds A for MS ms, then B, then A ...;\n"
    "                         each first answer carrying a new value is told on\n"
    "                         stdout: \"alternate REG=V since T0 served T1\" (steady\n"
    "                         clock, ns: when V began, when it first went out)\n"
    "  --turnaround-ms N      0..60000 (default 0): wait this long before each\n"
    "                         answer, as a real device takes a moment to reply\n"
    "  --paced                send every read response at the byte rate of a\n"
    "                         9600 baud 8N1 line (about 214 ms for 100 registers)\n"
    "                         instead of all at once\n"
    "  --verbose              one line per request on stderr (slave, function,\n"
    "                         start, count, fault applied)\n"
    "  --help                 show this text\n"
    "\n"
    "LIST is comma-separated device numbers and ranges of 1..200, e.g.\n"
    "5,17,180-185; list options may be repeated and add up. --over-temp,\n"
    "--over-current and --under-voltage are applied after --offline, so their\n"
    "forced values show on offline devices too.\n"
    "\n"
    "Without --static, 10 devices (5 %, chosen from the seed) are offline, two\n"
    "read below 0 degC, and voltages, temperatures and currents drift in a\n"
    "bounded random walk, one step per second of wall-clock time.\n"
    "\n"
    "Once the device is open, prints \"ready PATH address N\" on stdout (with\n"
    "--mbtcp, \"ready tcp PORT address N\" once it listens).\n"
    "Exit status: 0 after SIGINT or SIGTERM, 1 if the device cannot be opened or\n"
    "hangs up (e.g. the other end of the pty pair goes away), 2 on bad usage.\n";

namespace {

enum OptionId {
    kOptDevice = 1000,
    kOptMbtcp,
    kOptAddress,
    kOptSeed,
    kOptStatic,
    kOptOffline,
    kOptOverTemp,
    kOptOverCurrent,
    kOptUnderVoltage,
    kOptRegister,
    kOptFault,
    kOptLateMs,
    kOptChunkSize,
    kOptChunkGapMs,
    kOptTurnaroundMs,
    kOptAlternate,
    kOptPaced,
    kOptVerbose,
    kOptHelp,
};

// Digits only: strtoull alone would accept signs, blanks and wrap "-1".
bool parse_unsigned(const char *text, unsigned long long max, unsigned long long &out)
{
    if (*text == '\0')
        return false;
    for (const char *p = text; *p; ++p)
        if (*p < '0' || *p > '9')
            return false;
    errno = 0;
    char *end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (errno == ERANGE || *end != '\0' || value > max)
        return false;
    out = value;
    return true;
}

bool parse_int(const char *text, int lo, int hi, int &out)
{
    unsigned long long value = 0;
    if (!parse_unsigned(text, static_cast<unsigned long long>(hi), value) ||
        value < static_cast<unsigned long long>(lo))
        return false;
    out = static_cast<int>(value);
    return true;
}

bool parse_device(const std::string &text, int &out)
{
    return parse_int(text.c_str(), 1, kDeviceCount, out);
}

bool parse_list(const char *text, DeviceSet &set)
{
    const std::string all(text);
    std::size_t pos = 0;
    while (true) {
        const std::size_t comma = all.find(',', pos);
        const std::string item =
            all.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
        const std::size_t dash = item.find('-');
        int first = 0;
        int last = 0;
        if (dash == std::string::npos) {
            if (!parse_device(item, first))
                return false;
            last = first;
        } else if (!parse_device(item.substr(0, dash), first) ||
                   !parse_device(item.substr(dash + 1), last) || last < first) {
            return false;
        }
        for (int n = first; n <= last; ++n)
            set.set(static_cast<std::size_t>(n - 1));
        if (comma == std::string::npos)
            return true;
        pos = comma + 1;
    }
}

bool parse_register(const char *text, Overrides &overrides)
{
    const std::string arg(text);
    const std::size_t equals = arg.find('=');
    int reg = 0;
    int value = 0;
    if (equals == std::string::npos ||
        !parse_int(arg.substr(0, equals).c_str(), kFirstRegister,
                   kFirstRegister + kRegisterCount - 1, reg) ||
        !parse_int(arg.substr(equals + 1).c_str(), 0, 65535, value))
        return false;
    overrides.forced[static_cast<std::size_t>(reg - kFirstRegister)] = value;
    return true;
}

bool parse_alternation(const char *text, Alternation &out)
{
    int reg = 0, first = -1, second = -1, period = 0;
    char tail = 0;
    if (std::sscanf(text, "%d=%d,%d,%d%c", &reg, &first, &second, &period, &tail) != 4)
        return false;
    if (reg < kFirstRegister || reg >= kFirstRegister + kRegisterCount || first < 0 ||
        first > 65535 || second < 0 || second > 65535 || period < 1 || period > 3600000)
        return false;
    out = {reg, first, second, period};
    return true;
}

bool parse_fault(const char *text, FaultPlan &plan)
{
    const std::string arg(text);
    const std::size_t colon = arg.find(':');
    const std::string mode_name = arg.substr(0, colon);

    unsigned mode = 0;
    if (mode_name == "drop")
        mode = kFaultDrop;
    else if (mode_name == "bad-crc")
        mode = kFaultBadCrc;
    else if (mode_name == "late")
        mode = kFaultLate;
    else if (mode_name == "chunks")
        mode = kFaultChunks;
    else
        return false;

    int block = 0;
    if (colon != std::string::npos) {
        const std::string where = arg.substr(colon + 1);
        if (where != "all") {
            const int last_start = kFirstRegister + kRegisterCount - kBlockSize;
            if (!parse_int(where.c_str(), kFirstRegister, last_start, block) ||
                (block - kFirstRegister) % kBlockSize != 0)
                return false;
        }
    }
    plan.add(mode, block);
    return true;
}

} // namespace

void FaultPlan::add(unsigned mode, int block)
{
    if (block == 0)
        all_ |= mode;
    else
        per_block_[(block - kFirstRegister) / kBlockSize] |= mode;
}

unsigned FaultPlan::modes_for(int start_register) const
{
    unsigned modes = all_;
    const int offset = start_register - kFirstRegister;
    if (offset >= 0 && offset < kRegisterCount && offset % kBlockSize == 0)
        modes |= per_block_[offset / kBlockSize];
    return modes;
}

ParseResult parse_options(int argc, char **argv, Options &out, std::string &error)
{
    static const option long_options[] = {
        {"device", required_argument, nullptr, kOptDevice},
        {"mbtcp", required_argument, nullptr, kOptMbtcp},
        {"address", required_argument, nullptr, kOptAddress},
        {"seed", required_argument, nullptr, kOptSeed},
        {"static", no_argument, nullptr, kOptStatic},
        {"offline", required_argument, nullptr, kOptOffline},
        {"over-temp", required_argument, nullptr, kOptOverTemp},
        {"over-current", required_argument, nullptr, kOptOverCurrent},
        {"under-voltage", required_argument, nullptr, kOptUnderVoltage},
        {"register", required_argument, nullptr, kOptRegister},
        {"fault", required_argument, nullptr, kOptFault},
        {"late-ms", required_argument, nullptr, kOptLateMs},
        {"chunk-size", required_argument, nullptr, kOptChunkSize},
        {"chunk-gap-ms", required_argument, nullptr, kOptChunkGapMs},
        {"turnaround-ms", required_argument, nullptr, kOptTurnaroundMs},
        {"alternate", required_argument, nullptr, kOptAlternate},
        {"paced", no_argument, nullptr, kOptPaced},
        {"verbose", no_argument, nullptr, kOptVerbose},
        {"help", no_argument, nullptr, kOptHelp},
        {nullptr, 0, nullptr, 0},
    };

    opterr = 0; // we word the complaints ourselves
    optind = 1;
    bool want_help = false;

    int c;
    int index = -1;
    while ((c = getopt_long(argc, argv, ":", long_options, &index)) != -1) {
        const char *arg = optarg;
        bool ok = true;
        switch (c) {
        case kOptDevice:
            out.device = arg;
            ok = !out.device.empty();
            break;
        case kOptMbtcp:
            ok = parse_int(arg, 1, 65535, out.mbtcp_port);
            break;
        case kOptAddress:
            ok = parse_int(arg, 1, 247, out.address);
            break;
        case kOptSeed: {
            unsigned long long seed = 0;
            ok = parse_unsigned(arg, ULLONG_MAX, seed);
            out.seed = seed;
            out.seed_given = true;
            break;
        }
        case kOptStatic:
            out.fixed = true;
            break;
        case kOptOffline:
            ok = parse_list(arg, out.overrides.offline);
            break;
        case kOptOverTemp:
            ok = parse_list(arg, out.overrides.over_temp);
            break;
        case kOptOverCurrent:
            ok = parse_list(arg, out.overrides.over_current);
            break;
        case kOptUnderVoltage:
            ok = parse_list(arg, out.overrides.under_voltage);
            break;
        case kOptRegister:
            ok = parse_register(arg, out.overrides);
            break;
        case kOptFault:
            ok = parse_fault(arg, out.faults);
            break;
        case kOptLateMs:
            ok = parse_int(arg, 0, 600000, out.late_ms);
            break;
        case kOptChunkSize:
            ok = parse_int(arg, 1, 256, out.chunk_size);
            break;
        case kOptChunkGapMs:
            ok = parse_int(arg, 0, 60000, out.chunk_gap_ms);
            break;
        case kOptTurnaroundMs:
            ok = parse_int(arg, 0, 60000, out.turnaround_ms);
            break;
        case kOptAlternate:
            ok = parse_alternation(arg, out.alternate);
            break;
        case kOptPaced:
            out.paced = true;
            break;
        case kOptVerbose:
            out.verbose = true;
            break;
        case kOptHelp:
            want_help = true;
            break;
        case ':':
            error = std::string("option ") + argv[optind - 1] + " needs a value";
            return ParseResult::error;
        default:
            if (optopt >= kOptDevice)
                error = std::string("option ") + argv[optind - 1] + " takes no value";
            else if (optopt > 0 && optopt < 256)
                error = std::string("unknown option -") + static_cast<char>(optopt);
            else
                error = std::string("unknown or ambiguous option ") + argv[optind - 1];
            return ParseResult::error;
        }
        if (!ok) {
            error = std::string("bad value for --") + long_options[index].name + ": '" + arg + "'";
            return ParseResult::error;
        }
        index = -1;
    }

    if (want_help)
        return ParseResult::help;
    if (optind < argc) {
        error = std::string("unexpected argument '") + argv[optind] + "'";
        return ParseResult::error;
    }
    if (out.device.empty() == (out.mbtcp_port == 0)) {
        error = "one of --device PATH and --mbtcp PORT is required";
        return ParseResult::error;
    }
    return ParseResult::ok;
}
