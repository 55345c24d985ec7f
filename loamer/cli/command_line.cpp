#include "loamer/cli/command_line.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "loamer/cli/term_ui.h"
#include "loamer/version.h"

namespace loamer::cli {

namespace {

constexpr const char* kProgram = "loamer-cli";
constexpr const char* kGlobalSynopsis = "[--port NAME] [--verbose]";
constexpr std::size_t kColumn = 16;

const char kExitStatusText[] =
    "exit status: 0 done; the code of the error report when one was shown, or of the answer\n"
    "to send; 1 a failure shown by its own message (an output file that exists, a calibration\n"
    "file that cannot be read, output that could not be written, a port that could not be\n"
    "stored, a send that no program answered); 64 a usage error (nothing is sent to the meter)\n";

// A name and its text in two columns; a long name puts the text on the next line.
std::string Row(const std::string& name, const std::string& text) {
    const std::string indent(kColumn, ' ');
    std::string row = "  " + name;
    row += row.size() + 2 > kColumn ? "\n" + indent : std::string(kColumn - row.size(), ' ');
    for (const char c : text) row += c == '\n' ? "\n" + indent : std::string(1, c);
    return row + "\n";
}

// The usage in the program's own layout: the command list for the program, the arguments for a
// command.
class UsageFormatter final : public CLI::FormatterBase {
public:
    std::string make_help(const CLI::App* app, std::string, CLI::AppFormatMode) const override {
        return app->get_parent() ? CommandHelp(*app) : ProgramHelp(*app);
    }

    std::map<std::string, std::string> synopsis;

private:
    std::string Synopsis(const CLI::App& command) const {
        const auto found = synopsis.find(command.get_name());
        return found == synopsis.end() || found->second.empty() ? command.get_name()
                                                                : command.get_name() + " " + found->second;
    }

    static std::string OptionName(const CLI::Option& option) {
        std::string name = option.get_name();
        if (!option.get_positional() && option.get_type_size() != 0) name += " " + option.get_type_name();
        return name;
    }

    std::string ProgramHelp(const CLI::App& app) const {
        std::string text = std::string("usage: ") + kProgram + " " + kGlobalSynopsis + " COMMAND [ARGS]\n\ncommands:\n";
        for (const CLI::App* command : app.get_subcommands({}))
            text += Row(Synopsis(*command), command->get_description());
        text += "\noptions:\n";
        for (const CLI::Option* option : app.get_options()) text += Row(OptionName(*option), option->get_description());
        return text + "\n" + kExitStatusText;
    }

    std::string CommandHelp(const CLI::App& command) const {
        std::string text = std::string("usage: ") + kProgram + " " + kGlobalSynopsis + " " + Synopsis(command) +
                           "\n\n" + command.get_description() + "\n";
        std::string rows;
        for (const CLI::Option* option : command.get_options()) {
            if (option != command.get_help_ptr()) rows += Row(OptionName(*option), option->get_description());
        }
        if (!rows.empty()) text += "\n" + rows;
        if (!command.get_footer().empty()) text += "\n" + command.get_footer() + "\n";
        return text;
    }
};

// The command's usage, or the program's when no command was read yet.
std::string UsageFor(const CLI::App& app) {
    for (const CLI::App* command : app.get_subcommands({})) {
        if (command->parsed()) return command->help();
    }
    return app.help();
}

// CLI11's words for an argument that fits nowhere, said the way a user thinks of it.
std::string ExtraArgumentProblem(const CLI::App& app, const CLI::ExtrasError& error) {
    bool commandRead = false;
    std::vector<std::string> extras = app.remaining();
    for (const CLI::App* command : app.get_subcommands({})) {
        if (!command->parsed()) continue;
        commandRead = true;
        if (!command->remaining().empty()) extras = command->remaining();
    }
    if (extras.empty()) return error.what();
    const std::string& first = extras.front();
    if (first.size() > 1 && first[0] == '-') return "unknown option " + first;
    return commandRead ? "too many arguments: " + first : "unknown command " + first;
}

int UsageError(const CLI::App& app, const std::string& problem) {
    WriteText(stderr, std::string(kProgram) + ": " + problem + "\n" + UsageFor(app));
    return kExitUsage;
}

}  // namespace

CLI::App* AddCommand(CLI::App& app, Invocation& invocation, const CommandInfo& info) {
    CLI::App* command = app.add_subcommand(info.name, info.description);
    if (auto* usage = dynamic_cast<UsageFormatter*>(app.get_formatter().get()))
        usage->synopsis[info.name] = info.synopsis;
    command->callback([&invocation, info] { invocation.command = info; });
    return command;
}

int ParseArguments(int argc, const char* const* argv, Invocation& invocation) {
    CLI::App app("", kProgram);
    app.formatter(std::make_shared<UsageFormatter>());
    const auto nonEmpty = CLI::Validator(
        [](const std::string& value) { return std::string(value.empty() ? "a port name cannot be empty" : ""); }, "");
    app.add_option("--port", invocation.port,
                   "serial port for this command: COM1, COM2, ... or a device path\n"
                   "(default: the stored port, else COM1)")
        ->type_name("NAME")
        ->check(nonEmpty);
    app.add_flag("--verbose", invocation.verbose, "add the system's reason to a port or file error");
    app.set_help_flag("-h,--help", "show this text; COMMAND --help shows the command's own");
    app.set_version_flag("--version",
                         std::string(LOAMER_PRODUCT_NAME) + " " + LOAMER_FILE_VERSION + "\n" + LOAMER_COPYRIGHT,
                         "show the program's version");
    // Global options may also follow the command.
    app.fallthrough();
    app.require_subcommand(0, 1);
    RegisterCommands(app, invocation);

    // CLI11 takes "--port=" as "--port" and the next argument as its value.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--port=") == 0) return UsageError(app, "--port: a port name cannot be empty");
    }
    // CLI11 takes a word that starts with "-" and a character other than a digit for an option:
    // a number of send such as -.5 is given to it as -0.5.
    std::vector<std::string> words(argv + 1, argv + argc);
    for (auto word = std::find(words.begin(), words.end(), "send"); word != words.end(); ++word) {
        if (word->size() > 2 && word->compare(0, 2, "-.") == 0 &&
            word->find_first_not_of("0123456789eE+-", 2) == std::string::npos)
            word->insert(1, "0");
    }
    std::reverse(words.begin(), words.end());
    try {
        app.parse(words);
    } catch (const CLI::CallForHelp&) {
        WriteText(stdout, UsageFor(app));
        return 0;
    } catch (const CLI::CallForVersion& version) {
        WriteText(stdout, std::string(version.what()) + "\n");
        return 0;
    } catch (const CLI::ExtrasError& error) {
        return UsageError(app, ExtraArgumentProblem(app, error));
    } catch (const CLI::ParseError& error) {
        return UsageError(app, error.what());
    }
    if (!invocation.command.run) return UsageError(app, "no command given");
    if (invocation.command.check) {
        if (const std::string problem = invocation.command.check(invocation); !problem.empty())
            return UsageError(app, problem);
    }
    return -1;
}

}  // namespace loamer::cli
