#include "python/library.h"

#include <cstdlib>

namespace py = pybind11;

namespace orvane::python {

Workbench moduleWorkbench(const StandardData& data, const std::filesystem::path& dataFile) {
    const std::filesystem::path file = dataFile.parent_path() / "radiopharmaceuticals.json";
    Workbench workbench(data,
                        {file, userLibraryPath(std::getenv("XDG_DATA_HOME"), std::getenv("HOME"))});
    // The shipped file's own error, with its file and position, rather than the summary.
    if (!workbench.shippedFileProblem().empty()) loadLibraryFile(file);
    return workbench;
}

namespace {

// A list of what toItem makes of each value.
template <typename T, typename ToItem>
py::list listOf(const std::vector<T>& values, ToItem toItem) {
    py::list list;
    for (const T& value : values) list.append(toItem(value));
    return list;
}

py::list texts(const std::vector<std::string>& values) {
    return listOf(values, [](const std::string& text) { return py::str(text); });
}

py::dict entryDict(const LibraryEntry& e, const char* origin) {
    const StandardPharmaceutical& v = e.values;
    const py::list sources = listOf(e.sources, [](const LibrarySource& s) {
        return py::dict(py::arg("key") = s.key, py::arg("citation") = s.citation,
                        py::arg("url") = s.url);
    });
    const py::list published = listOf(e.publishedDoses, [](const PublishedDose& d) {
        return py::dict(py::arg("dose_mGy_per_MBq") = d.value, py::arg("voiding") = d.voiding,
                        py::arg("source") = d.source, py::arg("recalled") = d.recalled);
    });
    const py::list fitted = listOf(e.fittedPoints, [](const ExcretionPoint& p) {
        return py::dict(py::arg("time_min") = p.time, py::arg("excreted_fraction") = p.excreted);
    });
    py::dict entry;
    entry["name"] = e.name();
    entry["origin"] = origin;
    entry["nuclide"] = e.nuclide;
    entry["aliases"] = texts(e.aliases);
    entry["components"] = componentDicts(v, true);
    entry["physical_half_life_min"] = v.physicalHalfLife;
    entry["delta_mGy_kg_per_MBq_s"] = v.delta;
    entry["delta_without_alpha_mGy_kg_per_MBq_s"] =
        e.deltaWithoutAlpha ? py::object(py::float_(*e.deltaWithoutAlpha)) : py::none();
    entry["delta_alpha_mGy_kg_per_MBq_s"] =
        e.deltaWithoutAlpha ? py::object(py::float_(v.delta - *e.deltaWithoutAlpha)) : py::none();
    entry["gamma_mGy_cm2_per_MBq_s"] = v.gamma;
    entry["sources"] = sources;
    entry["confidence"] = e.confidence;
    entry["marks"] = texts(e.marks);
    entry["notes"] = e.notes;
    entry["warnings"] = texts(e.warnings);
    entry["published_doses"] = published;
    entry["fitted_points"] = fitted;
    entry["fields"] = fieldDicts(standardFieldTexts(v).fields);
    return entry;
}

}  // namespace

py::list componentDicts(const StandardPharmaceutical& values, bool omitUnused) {
    py::list components;
    for (int c = 0; c < kComponentCount; ++c) {
        const double fraction = values.fraction[c];
        const double rate = values.rateConstant[c];
        const double halfLife = values.biologicalHalfLife[c];
        if (omitUnused && fraction == 0 && rate == 0 && halfLife == 0) continue;
        components.append(py::dict(py::arg("fraction") = fraction,
                                   py::arg("rate_constant_per_min") = rate,
                                   py::arg("biological_half_life_min") = halfLife));
    }
    return components;
}

py::dict fieldDicts(const FieldTexts& fields) {
    py::dict dict;
    for (int f = 0; f < kFieldCount; ++f) dict[kFieldKeys[f]] = fields[f];
    return dict;
}

py::list libraryDicts(const Workbench& workbench) {
    std::vector<Warning> problems;
    for (const std::string& problem : workbench.problems()) problems.push_back({"", problem});
    warnAll(problems);
    py::list list;
    for (const LibraryEntry& entry : workbench.shipped()) list.append(entryDict(entry, "shipped"));
    for (const LibraryEntry& entry : workbench.user()) list.append(entryDict(entry, "user"));
    return list;
}

py::list warningDicts(const std::vector<Warning>& warnings) {
    return listOf(warnings, [](const Warning& w) {
        return py::dict(py::arg("path") = w.path, py::arg("message") = w.message);
    });
}

void warnAll(const std::vector<Warning>& warnings) {
    if (warnings.empty()) return;
    const py::object category = py::module_::import("orvane").attr("OrvaneWarning");
    for (const Warning& warning : warnings) {
        if (PyErr_WarnEx(category.ptr(), warning.message.c_str(), 1) < 0) {
            throw py::error_already_set();
        }
    }
}

}  // namespace orvane::python
