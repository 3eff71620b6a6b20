#include "app/CommandLine.h"

#include "app/BatchMode.h"

namespace app {

bool optionTakesValue(const std::string& name) {
    if (name == "--demo-corners")
        return true;
    for (const BatchOption& o : batchOptions())
        if (o.name == name)
            return !o.value.empty();
    return false;
}

CommandLine splitCommandLine(const std::vector<std::string>& words) {
    CommandLine line;
    auto request = [&line](CommandLine::Request r) {
        if (line.request == CommandLine::Request::Run)
            line.request = r;
    };
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& w = words[i];
        if (w == "--") {
            line.parameters.insert(line.parameters.end(), words.begin() + static_cast<long>(i) + 1,
                                   words.end());
            break;
        }
        if (w == "-h" || w == "-V") {
            line.options.push_back({w == "-h" ? "--help" : "--version", std::nullopt, false, w});
        } else if (w.size() > 2 && w[0] == '-' && w[1] == '-') {
            CommandOption o;
            o.given = w;
            const std::size_t eq = w.find('=');
            o.name = w.substr(0, eq);
            if (eq != std::string::npos) {
                o.value = w.substr(eq + 1);
                o.inlineValue = true;
            } else if (optionTakesValue(o.name) && i + 1 < words.size()) {
                o.value = words[++i];
                o.given += " " + *o.value;
            }
            line.options.push_back(std::move(o));
        } else {
            line.parameters.push_back(w);
            continue;
        }
        if (line.options.back().name == "--help")
            request(CommandLine::Request::Help);
        else if (line.options.back().name == "--version")
            request(CommandLine::Request::Version);
    }
    return line;
}

} // namespace app
