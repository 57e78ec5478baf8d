// `reelhost device MODULE CMD...`: starts a device controller, drives it
// with transport commands and status polls, and shuts it down; each step
// prints the deck's state.
#include <cstring>
#include <string>
#include <vector>

#include "effect_modules.h"
#include "host.h"
#include "reelcore/effects.h"
#include "reelcore/filetable.h"
#include "reelcore/memory.h"

namespace {

constexpr OSType kDeviceKind = 0x44657643;  // 'DevC'
constexpr int16_t kDeviceRecordVersion = 1;
constexpr int64_t kMostPolls = 1000000;

struct {
    std::string module;
    std::vector<std::string> words;
} args;

// One step of the command line: a device call with its command and argument.
struct Step {
    std::string text;
    int16_t selector = kRcDeviceCommand;
    int16_t command = 0;
    int32_t argument = 0;
    int64_t repeat = 1;
};

struct Word {
    const char* name;
    int16_t selector;
    int16_t command;
    bool takesNumber;
};
constexpr Word kWords[] = {
    {"play", kRcDeviceCommand, kRcDeckPlay, false},
    {"stop", kRcDeviceCommand, kRcDeckStop, false},
    {"pause", kRcDeviceCommand, kRcDeckPause, false},
    {"rewind", kRcDeviceCommand, kRcDeckRewind, false},
    {"forward", kRcDeviceCommand, kRcDeckFastForward, false},
    {"record", kRcDeviceCommand, kRcDeckRecord, false},
    {"locate", kRcDeviceCommand, kRcDeckGoto, true},
    {"step", kRcDeviceCommand, kRcDeckStep, true},
    {"shuttle", kRcDeviceCommand, kRcDeckShuttle, true},
    {"poll", kRcDeviceStatus, 0, true},
};

std::vector<Step> parseSteps(const std::vector<std::string>& words) {
    std::vector<Step> steps;
    for (size_t i = 0; i < words.size(); ++i) {
        const Word* word = nullptr;
        for (const Word& w : kWords)
            if (words[i] == w.name) word = &w;
        if (!word) throw CLI::ValidationError("CMD", "'" + words[i] + "' is not a deck command");
        Step s{words[i], word->selector, word->command};
        if (word->takesNumber) {
            int64_t n = 0;
            if (i + 1 >= words.size() || !host::parseDecimal(words[i + 1], n) || n < INT32_MIN ||
                n > INT32_MAX)
                throw CLI::ValidationError("CMD", "'" + words[i] + "' needs a whole number");
            s.text += " " + words[++i];
            if (word->selector == kRcDeviceStatus) {
                if (n < 1 || n > kMostPolls)
                    throw CLI::ValidationError("CMD", "poll takes 1 to 1000000 polls");
                s.repeat = n;
            } else {
                s.argument = int32_t(n);
            }
        }
        steps.push_back(s);
    }
    return steps;
}

std::string modeText(const RcDeviceRecord& d) {
    switch (d.mode) {
        case kRcDeckStop:
            return "stopped";
        case kRcDeckPlay:
            return "playing";
        case kRcDeckPause:
            return "paused";
        case kRcDeckRewind:
            return "rewinding";
        case kRcDeckFastForward:
            return "winding forward";
        case kRcDeckRecord:
            return "recording";
        case kRcDeckShuttle:
            return "shuttling";
        default:
            return "in mode " + std::to_string(d.mode);
    }
}

std::string featuresText(int32_t features) {
    static const std::pair<int32_t, const char*> kNames[] = {{kRcDeckCanPlay, "play"},
                                                             {kRcDeckCanLocate, "locate"},
                                                             {kRcDeckCanShuttle, "shuttle"},
                                                             {kRcDeckCanRecord, "record"},
                                                             {kRcDeckCanStep, "step"}};
    std::string text;
    for (const auto& [bit, name] : kNames)
        if (features & bit) text += (text.empty() ? "" : ", ") + std::string(name);
    return text.empty() ? "none" : text;
}

int fail(const std::string& message) {
    std::fprintf(stderr, "reelhost device: %s\n", message.c_str());
    return 1;
}

const RcDeviceRecord& deck(Handle record) {
    return *reinterpret_cast<const RcDeviceRecord*>(*record);
}

int runDevice() {
    const std::vector<Step> steps = parseSteps(args.words);
    OSType kind = 0;
    const int16_t id = host::registerEffectModule(args.module, kDeviceKind, &kind);
    if (!id) return fail(args.module + ": cannot be registered");
    if (kind != kDeviceKind) {
        FileCancel(id);
        return fail(args.module + ": not a device controller");
    }
    Handle record = NewHandleClear(sizeof(RcDeviceRecord));
    if (!record) {
        FileCancel(id);
        return fail("out of memory");
    }
    reinterpret_cast<RcDeviceRecord*>(*record)->version = kDeviceRecordVersion;
    int status = 0;
    int16_t result = Device(id, kRcDeviceStartup, &record);
    if (result != 0) {
        status = fail(args.module + ": start-up answered " + std::to_string(result));
    } else {
        std::printf("%s: %s (%s)\n", args.module.c_str(), deck(record).name,
                    featuresText(deck(record).features).c_str());
        for (const Step& step : steps) {
            auto* d = reinterpret_cast<RcDeviceRecord*>(*record);
            d->command = step.command;
            d->argument = step.argument;
            for (int64_t n = 0; n < step.repeat && result == 0; ++n)
                result = Device(id, step.selector, &record);
            if (result != 0) {
                status = fail(step.text + ": the deck answered " + std::to_string(result));
                break;
            }
            std::printf("%s: %s at frame %d\n", step.text.c_str(), modeText(deck(record)).c_str(),
                        int(deck(record).timecode));
        }
        Device(id, kRcDeviceShutdown, &record);
    }
    DisposeHandle(record);
    FileCancel(id);
    return status;
}

host::Registrar deviceCommand(host::Command{
    "device", "drive a device controller module with transport commands",
    [](CLI::App& cmd) {
        cmd.add_option("MODULE", args.module, "device controller module (.fmx)")
            ->required()
            ->check(CLI::ExistingFile);
        cmd.add_option("CMD", args.words,
                       "play, stop, pause, rewind, forward, record, locate FRAME, step FRAMES, "
                       "shuttle SPEED (frames per poll), poll COUNT (status polls)")
            ->required();
    },
    runDevice});

}  // namespace
