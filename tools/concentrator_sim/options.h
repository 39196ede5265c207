#pragma once

#include "readings.h"

#include <cstdint>
#include <string>

enum FaultMode : unsigned {
    kFaultDrop = 1u << 0,
    kFaultBadCrc = 1u << 1,
    kFaultLate = 1u << 2,
    kFaultChunks = 1u << 3,
};

// Which fault modes apply to a read starting at a given register.
class FaultPlan {
public:
    void add(unsigned mode, int block); // block 0 means every block
    unsigned modes_for(int start_register) const;

private:
    unsigned all_ = 0;
    unsigned per_block_[kBlockCount] = {};
};

// One register between two values, each held for period_ms from the start in turn.
struct Alternation {
    int reg = 0; // 0: none
    int first = 0;
    int second = 0;
    int period_ms = 0;
};

struct Options {
    std::string device;
    int mbtcp_port = 0; // serve Modbus TCP on 127.0.0.1 at this port instead of a device
    int address = 1;
    bool seed_given = false;
    std::uint64_t seed = 0;
    bool fixed = false;
    Overrides overrides;
    FaultPlan faults;
    int late_ms = 1500;
    int chunk_size = 50;
    int chunk_gap_ms = 30;
    int turnaround_ms = 0;
    Alternation alternate;
    bool paced = false;
    bool verbose = false;
};

enum class ParseResult { ok, help, error };

ParseResult parse_options(int argc, char **argv, Options &out, std::string &error);

extern const char kUsage[];
