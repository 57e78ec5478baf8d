#include <algorithm>
#include <cstring>

#include "host.h"

namespace host {

std::vector<Command>& commands() {
    static std::vector<Command> list;
    return list;
}
std::vector<Step>& steps() {
    static std::vector<Step> list;
    return list;
}
std::vector<InfoSection>& infoSections() {
    static std::vector<InfoSection> list;
    return list;
}

}  // namespace host

namespace {

void printUsage(FILE* out) {
    std::fprintf(out, "usage: reelhost [--debug] COMMAND [ARGS...]\n\ncommands:\n");
    auto list = host::commands();
    std::sort(list.begin(), list.end(),
              [](const host::Command& a, const host::Command& b) { return a.name < b.name; });
    for (const auto& c : list) std::fprintf(out, "  %s\n", c.usage.c_str());
}

int runInfo(const std::vector<std::string>&) {
    auto sections = host::infoSections();
    std::stable_sort(
        sections.begin(), sections.end(),
        [](const host::InfoSection& a, const host::InfoSection& b) { return a.order < b.order; });
    for (const auto& s : sections) s.print(stdout);
    return 0;
}

host::Registrar infoCommand(host::Command{
    "info", "info                       print the library's state", runInfo});

}  // namespace

int main(int argc, char** argv) {
    host::Options options;
    int i = 1;
    for (; i < argc && argv[i][0] == '-' && argv[i][1] == '-'; ++i) {
        if (std::strcmp(argv[i], "--debug") == 0) {
            options.debug = true;
        } else if (std::strcmp(argv[i], "--help") == 0) {
            printUsage(stdout);
            return 0;
        } else {
            std::fprintf(stderr, "reelhost: unknown option %s\n", argv[i]);
            return 2;
        }
    }
    if (i >= argc || std::strcmp(argv[i], "help") == 0) {
        printUsage(i >= argc ? stderr : stdout);
        return i >= argc ? 2 : 0;
    }
    const std::string name = argv[i];
    const auto& list = host::commands();
    auto it = std::find_if(list.begin(), list.end(),
                           [&](const host::Command& c) { return c.name == name; });
    if (it == list.end()) {
        std::fprintf(stderr, "reelhost: unknown command '%s'\n", name.c_str());
        printUsage(stderr);
        return 2;
    }
    std::vector<std::string> args(argv + i + 1, argv + argc);

    auto steps = host::steps();
    std::stable_sort(steps.begin(), steps.end(),
                     [](const host::Step& a, const host::Step& b) { return a.order < b.order; });
    size_t started = 0;
    for (; started < steps.size(); ++started) {
        if (!steps[started].init(options)) {
            std::fprintf(stderr, "reelhost: start-up failed at %s\n", steps[started].name.c_str());
            break;
        }
    }
    int rc = started == steps.size() ? it->run(args) : 1;
    while (started > 0) {
        --started;
        if (steps[started].shutdown) steps[started].shutdown();
    }
    return rc;
}
