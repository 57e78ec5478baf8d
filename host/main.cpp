#include <algorithm>

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

constexpr int kUsageError = 2;

int runInfo() {
    auto sections = host::infoSections();
    std::stable_sort(
        sections.begin(), sections.end(),
        [](const host::InfoSection& a, const host::InfoSection& b) { return a.order < b.order; });
    for (const auto& s : sections) s.print(stdout);
    return 0;
}

host::Registrar infoCommand(host::Command{"info", "print the library's state", nullptr, runInfo});

// `help [COMMAND]` is answered before start-up.
std::string helpTopic;
host::Registrar helpCommand(host::Command{
    "help", "list the commands, or describe one",
    [](CLI::App& cmd) { cmd.add_option("COMMAND", helpTopic, "the command to describe"); },
    nullptr});

// The help of app itself (App::help would describe the command just parsed).
std::string helpOf(CLI::App& app) {
    const std::string name = app.get_parent() ? "reelhost " + app.get_name() : app.get_name();
    return app.get_formatter()->make_help(&app, name, CLI::AppFormatMode::Normal);
}

// CLI11 reports a mistake with its own exit codes; reelhost uses 2 for all.
int reportParseError(CLI::App& app, const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e);  // --help
    app.exit(e);
    return kUsageError;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"reelhost: runs jobs on the Reelcore library", "reelhost"};
    app.get_formatter()->column_width(28);
    app.get_formatter()->label("SUBCOMMAND", "COMMAND");
    app.get_formatter()->label("SUBCOMMANDS", "COMMANDS");
    app.get_formatter()->label("Subcommands", "Commands");
    host::Options options;
    app.add_flag("--debug", options.debug, "debug text on stderr");
    app.require_subcommand(0, 1);

    auto list = host::commands();
    std::sort(list.begin(), list.end(),
              [](const host::Command& a, const host::Command& b) { return a.name < b.name; });
    std::vector<std::pair<CLI::App*, const host::Command*>> declared;
    for (const auto& c : list) {
        CLI::App* sub = app.add_subcommand(c.name, c.description);
        if (c.setup) c.setup(*sub);
        declared.emplace_back(sub, &c);
    }

    // An unknown first word is a command name mistyped, not an extra argument.
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word.rfind("-", 0) == 0) continue;
        const bool known = std::any_of(list.begin(), list.end(),
                                       [&](const host::Command& c) { return c.name == word; });
        if (!known) {
            std::fprintf(stderr, "reelhost: unknown command '%s'\n%s", word.c_str(),
                         helpOf(app).c_str());
            return kUsageError;
        }
        break;
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return reportParseError(app, e);
    }

    const host::Command* chosen = nullptr;
    for (auto& [sub, command] : declared)
        if (sub->parsed()) chosen = command;
    if (!chosen) {
        std::fputs(helpOf(app).c_str(), stderr);
        return kUsageError;
    }
    if (chosen->name == "help") {
        if (helpTopic.empty()) {
            std::fputs(helpOf(app).c_str(), stdout);
            return 0;
        }
        for (auto& [sub, command] : declared)
            if (command->name == helpTopic) {
                std::fputs(helpOf(*sub).c_str(), stdout);
                return 0;
            }
        std::fprintf(stderr, "reelhost: unknown command '%s'\n", helpTopic.c_str());
        return kUsageError;
    }

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
    int rc = 1;
    if (started == steps.size()) {
        try {
            rc = chosen->run();
        } catch (const CLI::ParseError& e) {
            for (auto& [sub, command] : declared)
                if (command == chosen) rc = reportParseError(*sub, e);
        }
    }
    while (started > 0) {
        --started;
        if (steps[started].shutdown) steps[started].shutdown();
    }
    return rc;
}
