// The radiopharmaceutical library as the module offers it: the shipped file beside the
// module's data file and the user's own, listed as dicts and looked up by name or alias.
#pragma once

#include <pybind11/pybind11.h>

#include <filesystem>
#include <string>
#include <vector>

#include "library/radiopharmaceuticals.h"

namespace orvane::python {

// The shipped library, which lies beside the data file, and the user's file. A shipped file
// that cannot be used throws DataFileError; a damaged user file leaves its list empty and
// userProblem set.
struct ModuleLibrary {
    std::vector<LibraryEntry> shipped;
    std::vector<LibraryEntry> user;
    std::string userProblem;
};
ModuleLibrary loadModuleLibrary(const std::filesystem::path& dataFile);

// The entry named `query` (name or alias, as orvane-cli's --agent takes it): the shipped
// entries first, then the user's; nullptr if none.
const LibraryEntry* findModuleEntry(const ModuleLibrary& library, const std::string& query);

// The components (fraction, rate_constant_per_min, biological_half_life_min), leaving out
// those all zero when omitUnused. Needs the GIL.
pybind11::list componentDicts(const StandardPharmaceutical& values, bool omitUnused);

// The field texts by key (f1, k1, tb1, ..., tp, delta, gamma). Needs the GIL.
pybind11::dict fieldDicts(const FieldTexts& fields);

// Every entry as a dict (units in the keys), the user's marked "origin": "user". Needs the GIL.
pybind11::list libraryDicts(const ModuleLibrary& library);

// Issues a Python UserWarning per text, prefixed with the entry's name. Needs the GIL.
void warnAbout(const std::string& name, const std::vector<std::string>& warnings);

}  // namespace orvane::python
