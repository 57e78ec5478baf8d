// reelhost: the command-line executable that initialises the library and
// runs jobs. Each family adds its start-up step, its `info` section and its
// commands in a file of its own through the registrars below.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace host {

struct Command {
    std::string name;
    std::string usage;  // one line, shown by `reelhost help`
    std::function<int(const std::vector<std::string>& args)> run;
};

struct Options {
    bool debug = false;
};

// Start-up steps run in ascending order (the library's initialisation order);
// shutdown steps in descending order.
struct Step {
    int order;
    std::string name;
    std::function<bool(const Options&)> init;  // false stops start-up
    std::function<void()> shutdown;            // may be empty
};

// `reelhost info` prints the sections in ascending order.
struct InfoSection {
    int order;
    std::function<void(FILE* out)> print;
};

std::vector<Command>& commands();
std::vector<Step>& steps();
std::vector<InfoSection>& infoSections();

struct Registrar {
    explicit Registrar(Command c) { commands().push_back(std::move(c)); }
    explicit Registrar(Step s) { steps().push_back(std::move(s)); }
    explicit Registrar(InfoSection s) { infoSections().push_back(std::move(s)); }
};

}  // namespace host
