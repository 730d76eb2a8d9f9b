// What the plain tests share: reading a file whole, the shipped data file and its values
// (read at first use, never during static initialisation), orvane-cli run in the process, and
// the switch that rewrites the committed expected files instead of comparing with them.
#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "cli/cli.h"
#include "engine/scenario.h"
#include "library/standards.h"
#include "library/workbench.h"

namespace orvane::test {

// The whole file, bytes as they are; empty when it cannot be read.
inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// data/orvane.dat of the source tree.
inline std::filesystem::path shippedDataFile() {
    return std::filesystem::path(ORVANE_SOURCE_DIR) / "data" / "orvane.dat";
}

// The shipped data file's values, loaded once at first use.
inline const StandardData& shippedData() {
    static const StandardData data = LoadStandardData(shippedDataFile());
    return data;
}
// The shipped data and library of the source tree, without a user's library.
inline const Workbench& shippedWorkbench() {
    static const Workbench workbench(shippedData(), {std::filesystem::path(ORVANE_SOURCE_DIR) /
                                                         "data" / "radiopharmaceuticals.json",
                                                     std::nullopt});
    return workbench;
}
inline const ModelTables& shippedTables() {
    return shippedData().tables;
}
inline const QuadratureRule& shippedRule() {
    static const QuadratureRule rule{shippedTables().quadratureNodes,
                                     shippedTables().quadratureWeights};
    return rule;
}

// What `call` throws as Error, or nullopt when it throws nothing.
template <typename Error, typename Call>
std::optional<Error> thrown(Call&& call) {
    try {
        call();
    } catch (const Error& e) {
        return e;
    }
    return std::nullopt;
}

// The key path of the ScenarioError that `call` throws; "(accepted)" when it throws none.
template <typename Call>
std::string refusedAt(Call&& call) {
    const std::optional<ScenarioError> e = thrown<ScenarioError>(call);
    return e ? e->path() : "(accepted)";
}

struct CliRun {
    int status;
    std::string out;
    std::string err;
};

// orvane-cli with `input` as its standard input, given the shipped data file unless withData
// is false.
inline CliRun cli(std::vector<std::string> arguments, const std::string& input = {},
                  bool withData = true) {
    if (withData) arguments.insert(arguments.begin(), {"--data", shippedDataFile().string()});
    std::ostringstream out, err;
    std::istringstream in(input);
    const int status = runCli(arguments, out, err, &in);
    return {status, out.str(), err.str()};
}

// A fresh folder of the test's own; removed with all it holds, locked sub-folders included.
struct ScratchFolder {
    std::filesystem::path path;
    ScratchFolder() {
        std::string name = (std::filesystem::temp_directory_path() / "orvane-test-XXXXXX").string();
        path = ::mkdtemp(name.data()) ? name : "";
        std::filesystem::permissions(path, std::filesystem::perms(0755));  // throws without one
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    ~ScratchFolder() {
        namespace fs = std::filesystem;
        std::error_code ignored;
        for (const auto& entry : fs::recursive_directory_iterator(path, ignored))
            fs::permissions(entry, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(path, ignored);
    }
};

// ORVANE_REGENERATE_GOLDEN=1: rewrite the committed expected files from the current code
// instead of comparing (review the difference before committing it).
inline bool regeneratingExpectedFiles() {
    const char* value = std::getenv("ORVANE_REGENERATE_GOLDEN");
    return value != nullptr && std::string_view(value) == "1";
}

}  // namespace orvane::test
