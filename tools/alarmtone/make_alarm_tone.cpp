// Writes the station's alarm tone: one second of 16-bit PCM mono at 22050 Hz, a high and a
// low burst, each faded in and out and followed by a short pause, so it loops without a click.
// Usage: make_alarm_tone OUTPUT.wav

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <vector>

namespace {

const int sampleRate = 22050;
const double pi = 3.14159265358979323846;

struct Burst
{
    double frequency; // Hz
    int sounding;     // ms, fades included
    int pause;        // ms of silence after it
};

// Two pitches a fifth apart: the alternation, not the loudness, is what reads as an alarm
// over machine noise. Each burst ends in silence, so the loop seam is silent too.
const Burst pattern[] = {{960.0, 400, 100}, {640.0, 400, 100}};
const int fadeMs = 10;
// The two partials below peak at 0.71 together: about -4 dBFS, loud with room for the mixer.
const double amplitude = 0.9 * 32767.0;

int sampleCount(int ms)
{
    return sampleRate * ms / 1000;
}

std::vector<std::int16_t> alarmSamples()
{
    std::vector<std::int16_t> samples;
    const int fade = sampleCount(fadeMs);
    for (const Burst &burst : pattern) {
        const int length = sampleCount(burst.sounding);
        for (int i = 0; i < length; ++i) {
            const double t = double(i) / sampleRate;
            const int edge = i < length - 1 - i ? i : length - 1 - i;
            // A raised cosine: a straight ramp still clicks on small speakers.
            const double envelope = edge >= fade ? 1.0 : 0.5 - 0.5 * std::cos(pi * edge / fade);
            // A little third harmonic makes the tone carry on cheap speakers.
            const double wave = 0.75 * std::sin(2 * pi * burst.frequency * t) +
                                0.25 * std::sin(2 * pi * 3 * burst.frequency * t);
            samples.push_back(static_cast<std::int16_t>(std::lround(amplitude * envelope * wave)));
        }
        samples.insert(samples.end(), static_cast<size_t>(sampleCount(burst.pause)), 0);
    }
    return samples;
}

void put16(std::vector<unsigned char> &out, unsigned value)
{
    out.push_back(static_cast<unsigned char>(value & 0xff));
    out.push_back(static_cast<unsigned char>((value >> 8) & 0xff));
}

void put32(std::vector<unsigned char> &out, std::uint32_t value)
{
    put16(out, value & 0xffff);
    put16(out, value >> 16);
}

void putTag(std::vector<unsigned char> &out, const char *tag)
{
    out.insert(out.end(), tag, tag + 4);
}

// RIFF is little-endian whatever the build machine is.
std::vector<unsigned char> waveFile(const std::vector<std::int16_t> &samples)
{
    const std::uint32_t dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
    std::vector<unsigned char> out;
    putTag(out, "RIFF");
    put32(out, 36 + dataBytes);
    putTag(out, "WAVE");
    putTag(out, "fmt ");
    put32(out, 16);
    put16(out, 1); // PCM
    put16(out, 1); // mono
    put32(out, sampleRate);
    put32(out, sampleRate * 2);
    put16(out, 2);
    put16(out, 16);
    putTag(out, "data");
    put32(out, dataBytes);
    for (std::int16_t sample : samples)
        put16(out, static_cast<std::uint16_t>(sample));
    return out;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.wav\n", argv[0]);
        return 2;
    }
    const std::vector<unsigned char> bytes = waveFile(alarmSamples());
    std::ofstream file(argv[1], std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
    file.close();
    // A half-written tone must not look up to date to the build.
    if (!file) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
        std::remove(argv[1]);
        return 1;
    }
    return 0;
}
