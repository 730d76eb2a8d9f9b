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

CliLibrary loadCliLibrary() {
    const LoadedLibrary loaded =
        loadLibraries(shippedLibraryPathFor(executableDirectory()),
                      userLibraryPath(std::getenv("XDG_DATA_HOME"), std::getenv("HOME")));
    CliLibrary library{loaded.shipped, loaded.user, {}};
    if (!loaded.shippedProblem.empty()) {
        library.warnings.push_back("the shipped library cannot be used: " + loaded.shippedProblem);
    }
    if (!loaded.userProblem.empty()) {
        library.warnings.push_back("your library cannot be used: " + loaded.userProblem);
    }
    return library;
}

const LibraryEntry& findAgent(const CliLibrary& library, const std::string& query,
                              const std::string& option) {
    if (const LibraryEntry* entry = findEntry(library.shipped, query)) return *entry;
    if (const LibraryEntry* entry = findEntry(library.user, query)) return *entry;
    throw UsageError(option + ": no library entry \"" + query + "\" (see --list --all for names)");
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

std::string libraryListText(const CliLibrary& library) {
    std::ostringstream out;
    for (const auto& [entries, origin] :
         {std::pair{&library.shipped, "library"}, std::pair{&library.user, "yours"}}) {
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
