#include "command_line.h"

#include <cstdio>

namespace {

constexpr size_t kOptionColumn = 30;

// The usage line comes first, as in the other commands' help.
class CHelpFormatter final : public CLI::Formatter {
  public:
    std::string make_help(const CLI::App* app, std::string name,
                          CLI::AppFormatMode mode) const override {
        if (mode == CLI::AppFormatMode::Sub) {
            return make_expanded(app);
        }
        std::string out = make_usage(app, name) + "\n" + make_description(app);
        out += make_positionals(app);
        out += make_groups(app, mode);
        return out + "\n" + make_footer(app);
    }
    // An option's value as its type name says, nothing more.
    std::string make_option_opts(const CLI::Option* option) const override {
        const std::string& type = option->get_type_name();
        return type.empty() || option->get_positional() ? std::string() : " " + type;
    }
};

}  // namespace

void SetUpCommandLine(CLI::App& app) {
    auto formatter = std::make_shared<CHelpFormatter>();
    formatter->label("Usage", "usage");
    formatter->label("OPTIONS", "options");
    formatter->label("TEXT", "");
    formatter->column_width(kOptionColumn);
    app.formatter(formatter);
    app.set_help_flag("-h,--help", "show this text");
}

std::optional<int> ParseCommandLine(CLI::App& app, int argc, char** argv) {
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::fputs(app.help().c_str(), stdout);
        return kExitOk;
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "%s: %s\n\n%s", app.get_name().c_str(), e.what(),
                     app.help().c_str());
        return kExitUsage;
    }
    return std::nullopt;
}
