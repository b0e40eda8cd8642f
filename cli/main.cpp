// zarnell-cli: finds the dongle and programs a unit from the command line, for batches and
// scripts, with the loader run of the setup window.
#include "commands.h"
#include "console.h"
#include "exceptiontext.h"
#include "frames.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr const char *Description =
    "Zarnell Setup on the command line: finds the radio dongle on a serial port and writes a "
    "unit's ZN ID and second value into its EEPROM. Without --port, program probes every port "
    "and writes nothing when more than one dongle answers. ZARNELL_PORTS, a colon-separated "
    "list of device paths, replaces the machine's port list.";

// An empty --port is a script's unset variable, not a wish to search every port.
const CLI::Validator NamesAPort(
    [](std::string &Value) { return Value.empty() ? std::string("an empty port name") : ""; },
    "PORT");

// NaN passes every comparison of a range, and a bound of infinity is no bound.
const CLI::Validator Finite(
    [](std::string &Value) {
        return std::isfinite(std::strtod(Value.c_str(), nullptr)) ? ""
                                                                  : "not a finite number: " + Value;
    },
    "FINITE");

void AddPorts(CLI::App &App, TPortsOptions &Options)
{
    CLI::App *ports =
        App.add_subcommand("ports", "List every serial port with the outcome of one probe");
    ports->add_flag("--json", Options.Json, "Print one JSON document on standard output");
}

CLI::App *AddProgram(CLI::App &App, TProgramOptions &Options)
{
    CLI::App *program = App.add_subcommand("program", "Write the settings into the unit");
    program->add_option("--zn-id", Options.ZnId, "The unit's ZN ID")
        ->required()
        ->check(CLI::Range(ZnIdMin, ZnIdMax));
    program->add_option("--value", Options.Value, "The second value")
        ->required()
        ->check(CLI::Range(SecondValueMin, SecondValueMax));
    CLI::Option *port =
        program->add_option("--port", Options.Port, "Use this port, as `ports` names it")
            ->check(NamesAPort);
    program->add_flag("--yes", Options.Yes, "Program without asking for confirmation");
    program->add_flag("--json", Options.Json, "Print one JSON document on standard output");
    program
        ->add_option("--search-timeout", Options.SearchTimeout,
                     "Seconds to search the ports for the dongle")
        ->capture_default_str()
        ->check(Finite)
        ->check(CLI::Range(0.1, 3600.0))
        ->excludes(port);
    program
        ->add_option("--silence-timeout", Options.SilenceTimeout,
                     "Seconds to wait for the unit's answer to a frame")
        ->capture_default_str()
        ->check(Finite)
        ->check(CLI::Range(0.1, 3600.0));
    return program;
}

} // namespace

int main(int Argc, char **Argv)
{
    CLI::App app(Description, "zarnell-cli");
    app.set_version_flag("--version", "zarnell-cli " ZARNELL_VERSION);
    app.footer(ExitStatusHelp());
    app.require_subcommand(1);
    // An option given twice is a mistake, not a choice of the last one.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::Throw);
    TPortsOptions ports;
    TProgramOptions program;
    AddPorts(app, ports);
    CLI::App *programCommand = AddProgram(app, program);
    try {
        app.parse(Argc, Argv);
    } catch (const CLI::Success &e) {
        return app.exit(e);
    } catch (const CLI::ParseError &e) {
        app.exit(e);
        return static_cast<int>(TExitStatus::esBadUsage);
    }
    try {
        CatchInterrupts();
        if (programCommand->parsed())
            return static_cast<int>(RunProgram(program));
        return static_cast<int>(RunPorts(ports));
    } catch (...) {
        std::fprintf(stderr, "%s\n", ExceptionText(std::current_exception()).c_str());
        return static_cast<int>(TExitStatus::esFailed);
    }
}
