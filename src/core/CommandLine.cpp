#include "core/CommandLine.h"

#include <CLI/CLI.hpp>

namespace quorvel {

CommandLine::CommandLine(const std::string& program, const std::string& description)
    : m_app(std::make_unique<CLI::App>(description, program)) {
    // --help only marks the reading: the program decides what it shows.
    m_app->set_help_flag();
    m_app->allow_extras();
}

CommandLine::~CommandLine() = default;

void CommandLine::AddValue(const std::string& name, const std::string& valueName,
                           const std::string& description, Reader read) {
    m_app
        ->add_option_function<std::string>(
            name,
            [this, read = std::move(read)](const std::string& value) {
                if (std::string why = read(value); !why.empty() && m_reading.error.empty()) {
                    m_reading.error = std::move(why);
                }
            },
            description)
        ->type_name(valueName)
        ->group(m_group)
        ->trigger_on_parse();  // at once, in the order the arguments come
}

void CommandLine::AddOptionalValue(const std::string& name, const std::string& valueName,
                                   const std::string& implied, const std::string& description,
                                   Reader read) {
    AddValue(name, valueName, description, std::move(read));
    m_app->get_option(name)->expected(0, 1)->default_str(implied)->option_text("[" + valueName +
                                                                               "]");
}

void CommandLine::AddHelpAndVersion() {
    m_app->add_flag("-h,--help", m_reading.help, "show this text")
        ->group(m_group)
        ->trigger_on_parse();
    m_app->add_flag("--version", m_reading.version, "show the program's version")
        ->group(m_group)
        ->trigger_on_parse();
}

void CommandLine::SetFooter(const std::string& text) {
    m_app->footer(text);
}

CommandLineReading CommandLine::Read(const std::vector<std::string>& args) {
    m_reading = {};
    // The library takes its arguments last first. It would read "--name=" as
    // "--name" with no value (taking the next argument for it, or the value
    // an optional one implies): an option that takes a value gets the empty
    // one written, to be judged like any other.
    std::vector<std::string> backwards;
    for (auto arg = args.rbegin(); arg != args.rend(); ++arg) {
        const CLI::Option* option =
            arg->starts_with("--") && arg->find('=') == arg->size() - 1
                ? m_app->get_option_no_throw(arg->substr(0, arg->size() - 1))
                : nullptr;
        if (option != nullptr && option->get_expected_max() > 0) {
            backwards.emplace_back();
            backwards.push_back(arg->substr(0, arg->size() - 1));
        } else {
            backwards.push_back(*arg);
        }
    }
    std::string failure;
    try {
        m_app->parse(backwards);
    } catch (const CLI::ArgumentMismatch&) {
        // Only the last argument can run out of values.
        failure = args.back() + " needs a value";
    } catch (const CLI::ParseError& error) {
        failure = error.what();
    }
    if (m_reading.error.empty()) {
        m_reading.error = failure;
    }
    m_reading.rest = m_app->remaining();
    return m_reading;
}

std::string CommandLine::Help() const {
    return m_app->help();
}

}  // namespace quorvel
