// k27-device-sim: a simulated card-issuing device on a pseudo-terminal.
#include "DeviceSimulator.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void usage(std::FILE* to)
{
    std::fputs("usage: k27-device-sim --folder <program folder> [--port N] [--log FILE] [--gap MS]\n"
               "  Creates a pseudo-terminal and links it as <folder>/dev/COM<N> (N = 1..8, default 1),\n"
               "  so that the program opens it as serial port N. Frames received are checked,\n"
               "  answered and logged; bytes separated by a pause of MS milliseconds (default 40)\n"
               "  form one block.\n"
               "  Commands on standard input, one per line:\n"
               "    write [number]   report a written card (random 24-bit number when none given)\n"
               "    read [number]    report a read card\n"
               "    ack | nak        send the acknowledgement / the refusal\n"
               "    raw <hex bytes>  send arbitrary bytes, e.g. raw AA 00\n"
               "    status           show the link, the mode and the counters\n"
               "    quit             remove the link and end\n",
               to);
}

bool parseInt(const char* text, int lo, int hi, int* out)
{
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < lo || v > hi)
        return false;
    *out = static_cast<int>(v);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    DeviceSimulator::Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            usage(stdout);
            return 0;
        } else if (arg == "--folder" && hasValue) {
            options.folder = argv[++i];
        } else if (arg == "--port" && hasValue) {
            if (!parseInt(argv[++i], 1, 8, &options.port)) {
                std::fprintf(stderr, "k27-device-sim: port must be 1..8\n");
                return 2;
            }
        } else if (arg == "--log" && hasValue) {
            options.logFile = argv[++i];
        } else if (arg == "--gap" && hasValue) {
            if (!parseInt(argv[++i], 1, 10000, &options.gapMs)) {
                std::fprintf(stderr, "k27-device-sim: gap must be 1..10000 ms\n");
                return 2;
            }
        } else {
            std::fprintf(stderr, "k27-device-sim: unexpected argument '%s'\n", arg.c_str());
            usage(stderr);
            return 2;
        }
    }
    if (options.folder.empty()) {
        usage(stderr);
        return 2;
    }

    DeviceSimulator sim(options);
    if (!sim.start())
        return 1;
    return sim.run();
}
