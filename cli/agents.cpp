#include "cli/agents.h"

#include <cstdlib>
#include <sstream>

#include "cli/cli.h"
#include "library/install_paths.h"

namespace orvane {
namespace {

std::string confidenceText(const LibraryEntry& entry) {
    std::string text = "confidence " + (entry.confidence.empty() ? "-" : entry.confidence);
    for (const std::string& mark : entry.marks) text += ", " + mark;
    return text;
}

}  // namespace

Workbench cliWorkbench(StandardData data) {
    return Workbench(std::move(data),
                     {shippedLibraryPathFor(executableDirectory()),
                      userLibraryPath(std::getenv("XDG_DATA_HOME"), std::getenv("HOME"))});
}

ResolvedEntry resolveOption(const Workbench& workbench, const std::string& query,
                            const std::string& option) {
    try {
        return workbench.resolve(query);
    } catch (const NameError& e) {
        throw UsageError(option + ": " + e.what());
    }
}

std::string entryValueLines(const StandardFieldTexts& texts) {
    std::ostringstream out;
    for (int c = 0; c < kComponentCount; ++c) {
        const std::string& fraction = texts.fields[fractionField(c)];
        const std::string& rate = texts.fields[rateConstantField(c)];
        const std::string& halfLife = texts.fields[halfLifeField(c)];
        if (fraction.empty() && rate.empty() && halfLife.empty()) continue;
        out << "\tcomponent " << c + 1 << ": fraction " << fraction << ", rate constant " << rate
            << " min^-1, half-life " << halfLife << " min\n";
    }
    out << "\tphysical half-life " << texts.fields[kPhysicalHalfLifeField] << " min, Delta "
        << texts.fields[kDeltaField] << " mGy-kg/MBq-s, Gamma " << texts.fields[kGammaField]
        << " mGy-cm^2/MBq-s\n";
    return out.str();
}

std::string libraryListText(const Workbench& workbench) {
    std::ostringstream out;
    for (const auto& [entries, origin] :
         {std::pair{&workbench.shipped(), "library"}, std::pair{&workbench.user(), "yours"}}) {
        for (const LibraryEntry& entry : *entries) {
            out << origin << "\t" << entry.name() << "\t" << confidenceText(entry) << "\n"
                << entryValueLines(standardFieldTexts(entry.values));
            for (const std::string& warning : entry.warnings)
                out << "\twarning: " << warning << "\n";
        }
    }
    return out.str();
}

}  // namespace orvane
