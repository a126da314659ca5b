// host-agent: the stand-in host's executable.
#include <exception>
#include <iostream>
#include <string>
#include <utility>

#include <CLI/CLI.hpp>

#include "exit_status.h"
#include "check_command.h"
#include "diff_command.h"
#include "install_layout.h"
#include "run_command.h"
#include "show_command.h"
#include "text_escape.h"
#include "version_text.h"

namespace {

const CLI::Validator nonEmpty(
    [](const std::string& value) { return value.empty() ? std::string("must not be empty") : ""; },
    "", "NONEMPTY");

// Like every other error of the agent, prefixed with its name.
std::string usageError(const CLI::App*, const CLI::Error& error)
{
    return "host-agent: " + KXL::escapeText(error.what()) +
        "\nRun host-agent --help for more information.\n";
}

// The plug-in folder a bare run uses, for the help text.
std::string defaultPluginsText()
{
    try {
        return KXL::defaultPluginsFolder();
    } catch (const std::exception& error) {
        return std::string("unknown: ") + error.what();
    }
}

const char* const jsonHelp = "Print one JSON document instead of text";

void addRunOptions(CLI::App& command, KXL::KXLRunOptions& options, const std::string& plugins)
{
    command.add_option("--plugins", options.pluginsFolder,
                       "Plug-in folder, one plug-in per NAME/NAME.so (default: " + plugins + ")")
        ->type_name("DIR")
        ->check(nonEmpty);
    command.add_option("--catalog", options.catalogFile,
                       "Guest OS catalogue (JSON) the server serves (default: the built-in one)")
        ->type_name("FILE")
        ->check(nonEmpty);
    command.add_option("--log", options.logFile, "Append log records to FILE (default: standard error)")
        ->type_name("FILE")
        ->check(nonEmpty);
    command.add_flag("--json", options.json, jsonHelp);
}

const char* const runStatus =
    "Exit status: 0 every plug-in succeeded; 1 a plug-in failed or its vocabulary was not "
    "published; 2 a bad command line or set-up (plug-in folder, catalogue, log file, another "
    "agent still running the same plug-ins).";

int agentMain(int argc, char** argv)
{
    CLI::App app("Loads plug-ins, runs them and prints the vocabularies they publish.",
                 "host-agent");
    app.footer(std::string("Without a command, host-agent runs; the options above are run's. ") +
               "Exit status, for every command: 0 success; 1 the answer is no (a plug-in "
               "failed, check found problems, diff found differences, show --os found "
               "nothing); 2 the job could not be done (a bad command line or set-up, "
               "unreadable input). host-agent COMMAND --help tells more; see host-agent(1).");
    app.set_version_flag("--version", KXL::versionText(),
                         "Print the version of host-agent and of the .voc format, and exit");
    app.failure_message(usageError);

    const std::string plugins = defaultPluginsText();
    KXL::KXLRunOptions options;
    addRunOptions(app, options, plugins);
    bool& json = options.json;

    CLI::App* run = app.add_subcommand("run", "Run the plug-ins (the default)");
    addRunOptions(*run, options, plugins);
    run->footer(runStatus);

    CLI::App* show = app.add_subcommand("show", "Print a saved vocabulary (.voc) file");
    KXL::KXLShowOptions showOptions;
    show->add_option("FILE", showOptions.file, "The .voc file, or - for standard input")->required();
    show->add_option("--os", showOptions.guest, "Only the guest OS with this code or identifier")
        ->type_name("CODE|IDENTIFIER");
    show->add_flag("--json", json, jsonHelp);
    show->footer("Exit status: 0 shown; 1 --os found nothing; 2 a bad command line, or the file "
                 "cannot be read or is not a .voc file.");

    CLI::App* diff = app.add_subcommand(
        "diff", "Compare two vocabulary files by content, the version stamp aside");
    std::string before;
    std::string after;
    diff->add_option("A", before, "The older .voc file (- for standard input)")->required();
    diff->add_option("B", after, "The newer .voc file (- for standard input)")->required();
    diff->add_flag("--json", json, jsonHelp);
    diff->footer("Exit status: 0 the same; 1 different; 2 a bad command line, or a file cannot be "
                 "read or is not a vocabulary.");

    CLI::App* check = app.add_subcommand("check", "Check that a .voc file is a valid vocabulary");
    std::string checked;
    check->add_option("FILE", checked, "The .voc file, or - for standard input")->required();
    check->add_flag("--json", json, jsonHelp);
    check->footer("Prints each problem as FILE:LINE:COLUMN: error: ... (or warning:), in file "
                  "order, then a summary. Exit status: 0 a valid vocabulary (warnings allowed); "
                  "1 problems; 2 a bad command line, or the file cannot be read.");
    // Options of run given to another command reach the top level, which says so below.
    for (CLI::App* command : {show, diff, check})
        command->fallthrough();
    app.require_subcommand(0, 1);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error) == 0 ? KXL::exitSuccess : KXL::exitTrouble;
    }

    for (const auto& [command, name] : {std::pair{show, "show"}, {diff, "diff"}, {check, "check"}}) {
        if (!command->parsed())
            continue;
        for (const char* option : {"--plugins", "--catalog", "--log"}) {
            if (app.count(option) > 0) {
                std::cerr << "host-agent: " << option << " applies to run, not to " << name << '\n';
                return KXL::exitTrouble;
            }
        }
    }
    if (show->parsed()) {
        showOptions.json = json;
        return KXL::showVocabularyFile(showOptions, std::cout, std::cerr);
    }
    if (diff->parsed())
        return KXL::diffVocabularyFiles(before, after, json, std::cout, std::cerr);
    if (check->parsed())
        return KXL::checkVocabularyFile(checked, json, std::cout, std::cerr);

    if (options.pluginsFolder.empty())
        options.pluginsFolder = KXL::defaultPluginsFolder();
    return KXL::runAgent(options, std::cout, std::cerr);
}

} // namespace

int main(int argc, char** argv)
{
    try {
        return agentMain(argc, argv);
    } catch (const std::exception& error) {
        std::cerr << "host-agent: " << KXL::escapeText(error.what()) << '\n';
        return KXL::exitTrouble;
    }
}
