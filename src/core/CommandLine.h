#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace quorvel {

// What reading a command line found.
struct CommandLineReading {
    std::string error;              // the first option that cannot be used; empty when none
    std::vector<std::string> rest;  // the arguments that are none of the options, in order
    bool help = false;              // --help or -h
    bool version = false;           // --version
};

// A program's command-line options, read by the command-line library. Every
// option that takes a value takes it either way, "--name value" or
// "--name=value" (an empty one too); each value is handed to its reader as
// its argument is met, so of several bad options the first is the one named.
// Arguments that are none of the options (Qt's own, such as "-platform vnc")
// are left in order for the program.
class CommandLine {
  public:
    // Says why `value` cannot be used, or nothing when it was taken.
    using Reader = std::function<std::string(const std::string& value)>;

    CommandLine(const std::string& program, const std::string& description);
    ~CommandLine();
    CommandLine(const CommandLine&) = delete;
    CommandLine& operator=(const CommandLine&) = delete;

    // The heading the options added next are listed under in the help.
    void StartGroup(const std::string& heading) { m_group = heading; }

    // "--name VALUE" (`valueName` in the help).
    void AddValue(const std::string& name, const std::string& valueName,
                  const std::string& description, Reader read);
    // "--name" alone, which gives `implied`, or "--name VALUE".
    void AddOptionalValue(const std::string& name, const std::string& valueName,
                          const std::string& implied, const std::string& description, Reader read);
    // --help, -h and --version.
    void AddHelpAndVersion();
    // Closes the help, after the options.
    void SetFooter(const std::string& text);

    CommandLineReading Read(const std::vector<std::string>& args);
    std::string Help() const;

  private:
    std::unique_ptr<CLI::App> m_app;
    std::string m_group = "Options";
    CommandLineReading m_reading;  // filled by the option readers while Read runs
};

}  // namespace quorvel
