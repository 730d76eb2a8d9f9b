// The module's docstrings and its error classes (Python source run at import).
#pragma once

namespace orvane::python {

inline constexpr const char* kModuleDoc =
    "Bladder-wall dose (mGy/MBq) of radiopharmaceuticals excreted in urine, with a dynamic "
    "bladder model.\n\n"
    "table()        the three dose tables of a standard or of typed fields\n"
    "scenario()     one patient scenario: dose, voids and time course\n"
    "uncertainty()  the uncertainty analysis of a scenario with an uncertainty section\n"
    "standards()    the twenty standard radiopharmaceuticals of the data file\n\n"
    "Units: time min, volume ml, fill rate ml/min, activity MBq, dose mGy/MBq. Refused input "
    "raises InputError (a ValueError) with .path naming the field or key; an unusable data "
    "file raises DataFileError (an OSError). Computation runs without the interpreter lock.";

inline constexpr const char* kErrorClasses = R"PY(
class InputError(ValueError):
    """Input that Orvane refuses. The message is orvane-cli's; .path names the field
    ("tp", "delta") or the scenario key path ("voiding.voids[2].residual"), or is None when
    no single value is to blame."""

    def __init__(self, message, path=None):
        super().__init__(message)
        self.path = path


class DataFileError(OSError):
    """A data file that cannot be read or used; .path is the file when known."""

    def __init__(self, message, path=None):
        super().__init__(message)
        self.path = path


class OrvaneWarning(UserWarning):
    """Input that Orvane computes but that is doubtful: fractions adding up to more than 1,
    a half-life that disagrees with its rate constant, an alpha emitter, a library entry of
    low confidence, a bladder above 1000 ml. The same warnings are listed on the result."""
)PY";

inline constexpr const char* kDataDoc =
    "A loaded data file of standard values and model tables; pass it as data= to skip "
    "reading the file again.";

inline constexpr const char* kLoadDataDoc =
    "load_data(file=None) -> Data\n\n"
    "Reads a data file (default: the one installed with the module). Raises DataFileError.";

inline constexpr const char* kTableDoc =
    "The three dose tables (mGy/MBq) of one radiopharmaceutical.\n\n"
    "doses    NumPy array (3, 7, 9): schedule x V0 x T0, mGy/MBq\n"
    "v0       initial bladder volumes, ml (7)\n"
    "t0       first-void times, min (9)\n"
    "rates    (3, 2): day and night fill rate of each schedule, ml/min\n"
    "fields   the fifteen field texts the tables were computed from\n"
    "name     the radiopharmaceutical's name";

inline constexpr const char* kReportDoc =
    "report(schedule) -> str\n\n"
    "The parameter report and dose table of schedule 1, 2 or 3 (CR LF line ends), as "
    "orvane-cli --schedule prints them.";

inline constexpr const char* kTableFunctionDoc =
    "table(standard_or_fields, *, name=None, data=None) -> Table\n\n"
    "The dose tables (mGy/MBq) computed exactly as the input window computes them.\n"
    "standard_or_fields: a standard's list text ('Tc-99m MAG3') or index 0..19, or a library "
    "entry's name or alias ('Pluvicto'); a list of "
    "the 15 fields; or a dict of fields by key (f1, k1, tb1, ..., f4, k4, tb4: fraction, "
    "rate constant min^-1, biological half-life min; tp: physical half-life min; delta: "
    "mGy-kg/MBq-s; gamma: mGy-cm^2/MBq-s), optionally over 'standard' and with 'name'. A "
    "field is a text as typed in the window, a number (read to the last bit) or None (empty). "
    "Names are resolved as orvane-cli --agent resolves them (any case, the nuclide written "
    "either way; a miss raises InputError naming the nearest names). Its warnings are issued "
    "as OrvaneWarning and listed in Table.warnings.";

inline constexpr const char* kScenarioResultDoc =
    "A computed patient scenario.\n\n"
    "dose         mGy/MBq\n"
    "dose_mGy     mGy for the administered activity, or None\n"
    "voids        list of dicts: time_min, clock, volume_ml, residual_ml, activity_fraction, "
    "voided_fraction, excreted_fraction (and *_MBq with an activity)\n"
    "intervals    list of dicts: start_min, end_min, start_volume_ml, dose_mGy_per_MBq\n"
    "time_course  dict of NumPy arrays (time_min, volume_ml, activity_fraction, "
    "dose_rate_mGy_per_MBq_min, cumulative_dose_mGy_per_MBq, activity_MBq), or None\n"
    "json()       the object orvane-cli --scenario --json prints\n"
    "report()     the scenario's text report";

inline constexpr const char* kScenarioDoc =
    "scenario(dict_or_path, *, time_course=5.0, data=None) -> ScenarioResult\n\n"
    "Computes a patient scenario given as a dict (any Mapping) with the scenario file's keys, "
    "or as the path of a scenario file. Lists may be any Sequence or NumPy array; numbers may "
    "be NumPy scalars. None, an integer beyond 64 bits or a text with a lone surrogate is "
    "refused as InputError with its key path. time_course: the sampling step of the time "
    "course, min (it is also sampled at every void), or None for none. An 'uncertainty' "
    "section is ignored here. "
    "A scenario with 'measurements' is fitted first (as orvane.fit does) and computed with the "
    "fitted kinetics; its .json() then has the 'fit' object and its .report() the fit's "
    "section, as orvane-cli --scenario prints them; a fit that does not converge raises "
    "InputError. "
    "Its warnings are issued as OrvaneWarning and listed in .warnings.";

inline constexpr const char* kUncertaintyDoc =
    "uncertainty(dict_or_path, *, threads=None, data=None) -> dict\n\n"
    "Runs the scenario's 'uncertainty' section. Returns the object orvane-cli --scenario "
    "--json prints under 'uncertainty' (mean, sd, percentiles in mGy/MBq, samples_used, "
    "samples_rejected, rank_correlation, tornado), with 'nominal' (mGy/MBq), 'inputs' (the "
    "varied key paths), 'doses' (NumPy array per sample, mGy/MBq, NaN where rejected) and "
    "'values' (samples x inputs, in the inputs' units) and 'warnings' (path, message; also "
    "issued as OrvaneWarning). The result does not depend on "
    "threads.";

inline constexpr const char* kStandardsDoc =
    "standards(*, data=None) -> list[dict]\n\n"
    "The twenty standards of the data file: index, name, components (fraction, "
    "rate_constant_per_min, biological_half_life_min), physical_half_life_min, "
    "delta_mGy_kg_per_MBq_s, gamma_mGy_cm2_per_MBq_s, the field texts the input window shows, "
    "and source (the data file they come from).";

inline constexpr const char* kLibraryDoc =
    "library(*, data=None) -> list[dict]\n\n"
    "The radiopharmaceutical library: the shipped entries (radiopharmaceuticals.json beside "
    "the data file), then the user's own from $XDG_DATA_HOME/orvane/radiopharmaceuticals.json "
    "(origin 'shipped' or 'user'; a damaged user file, or a user's entry that takes a standard's "
    "or shipped entry's name, is skipped with an OrvaneWarning). Each: "
    "name, origin, nuclide, aliases, components (fraction, rate_constant_per_min, "
    "biological_half_life_min), physical_half_life_min, delta_mGy_kg_per_MBq_s, and for alpha "
    "emitters delta_alpha_mGy_kg_per_MBq_s and delta_without_alpha_mGy_kg_per_MBq_s (else "
    "None), gamma_mGy_cm2_per_MBq_s, sources (key, citation, url), confidence (H, M, L, ...), "
    "marks ('recalled', 'inverted', 'tuned'), notes, warnings, published_doses "
    "(dose_mGy_per_MBq, voiding, source, recalled), fitted_points (time_min, "
    "excreted_fraction of the administered activity) and the field texts the input window "
    "shows. table() and scenario() take an entry by name or alias, warning of its warnings.";

}  // namespace orvane::python
