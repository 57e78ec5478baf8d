// reelhost: the command-line executable that initialises the library and
// runs jobs. Each family adds its start-up step, its `info` section and its
// commands in a file of its own (host/<family>.cpp) through the registrars
// below.
//
// A command declares its arguments with CLI11 and runs after start-up:
//
//   namespace {
//   struct { host::Size size; std::string out; } fillArgs;  // filled by parsing
//
//   host::Registrar fill(host::Command{
//       "fill", "fill a buffer with a colour and save it",
//       [](CLI::App& cmd) {
//           host::addSize(cmd, "SIZE", fillArgs.size, 1, 16384, "WIDTHxHEIGHT");
//           host::addOutputPicture(cmd, "OUT", fillArgs.out);
//       },
//       [] { return runFill(); }});
//   }
//
// `setup` declares positionals and options (types, ranges, existing files,
// extensions); parsing checks them before start-up, prints the usage and
// exits with 2 on a mistake, and `reelhost help [COMMAND]` and
// `reelhost COMMAND --help` are generated from them. `run` returns the exit
// status: 0 done, 1 failed; it may throw CLI::ValidationError for a usage
// mistake only found after start-up (exit 2 with the message).
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "reelcore/ppix.h"

namespace host {

struct Command {
    std::string name;
    std::string description;  // one line, shown by `reelhost help`
    std::function<void(CLI::App& cmd)> setup;
    std::function<int()> run;
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

// ---- argument declarations shared by the commands (host/arguments.cpp) ----

struct Size {
    int32_t width = 0;
    int32_t height = 0;
};

// A whole decimal number (never octal or hex) within [lo, hi].
CLI::Option* addInteger(CLI::App& cmd, const std::string& name, int64_t& out, int64_t lo,
                        int64_t hi, const std::string& help);
// A decimal number with an optional fraction within [lo, hi].
CLI::Option* addNumber(CLI::App& cmd, const std::string& name, double& out, double lo, double hi,
                       const std::string& help);
// WIDTHxHEIGHT, each side decimal within [lo, hi].
CLI::Option* addSize(CLI::App& cmd, const std::string& name, Size& out, int32_t lo, int32_t hi,
                     const std::string& help);
// An existing picture file (BMP or PNG, told by its contents); read it with
// readPicture.
CLI::Option* addInputPicture(CLI::App& cmd, const std::string& name, std::string& out);
// A picture to write: the extension (.bmp or .png, any case) picks the format.
CLI::Option* addOutputPicture(CLI::App& cmd, const std::string& name, std::string& out);

// A BMP or PNG picture; null with the reason in `why` ("truncated", ...).
PPixHand readPicture(const std::string& path, std::string& why);
// Writes a picture in the format its extension names (.png, else BMP); 0 or
// the library's error.
int32_t writePicture(PPixHand pix, const std::string& path);

// ---- text for people (host/arguments.cpp) ----
// "512 bytes", "1 byte", "13.3 KiB", "368 MiB".
std::string bytesText(uint64_t bytes);
// "1 zone", "2 zones" (the plural adds an s).
std::string countText(uint64_t n, const char* thing);
// Window ids everywhere: 0x00010001.
std::string windowText(uint32_t window);

// Case-insensitive: does path end in ext (".png")?
bool hasExtension(const std::string& path, const char* ext);
// Strict whole-text decimal parse; false on anything else or overflow.
bool parseDecimal(const std::string& text, int64_t& out);

}  // namespace host
