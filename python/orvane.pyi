"""Bladder-wall dose (mGy/MBq) of radiopharmaceuticals excreted in urine.

Units: time min, volume ml, fill rate ml/min, activity MBq, dose mGy/MBq.
"""
import os
from typing import Any, Iterable, Literal, Mapping, Optional, Sequence, Union, overload

import numpy as np
import numpy.typing as npt

__version__: str

Path = Union[str, os.PathLike[str]]
FieldValue = Union[str, float, int, None]
Json = Any

class InputError(ValueError):
    """Refused input; the message is orvane-cli's. path: the field key ("tp") or scenario key
    path ("voiding.voids[2].residual"), or None when no single value is to blame."""
    path: Optional[str]
    def __init__(self, message: str, path: Optional[str] = ...) -> None: ...

class DataFileError(OSError):
    """A data file that cannot be read or used; path is the file when known."""
    path: Optional[str]
    def __init__(self, message: str, path: Optional[str] = ...) -> None: ...

class OrvaneWarning(UserWarning):
    """Input that is computed but doubtful (fractions adding up to more than 1, a negative
    fraction, a half-life that disagrees with its rate constant, only one of Delta and Gamma,
    an alpha emitter, a library entry of low confidence, a bladder above 1000 ml, a user's
    entry set aside). The same warnings are listed on the result as {"path", "message"}."""

Warnings = list[dict[str, str]]

class Data:
    """A loaded data file of standard values and model tables."""
    @property
    def file(self) -> str: ...

def load_data(file: Optional[Path] = None) -> Data:
    """Reads a data file (default: the module's own). Raises DataFileError."""

class Table:
    """The three dose tables of one radiopharmaceutical."""
    @property
    def name(self) -> str: ...
    @property
    def fields(self) -> dict[str, str]:
        """The fifteen field texts (f1, k1, tb1, ..., tp, delta, gamma) computed from."""
    @property
    def doses(self) -> npt.NDArray[np.float64]:
        """(3, 7, 9): schedule x V0 x T0, mGy/MBq; read-only."""
    @property
    def v0(self) -> npt.NDArray[np.float64]:
        """(7,): initial bladder volumes, ml."""
    @property
    def t0(self) -> npt.NDArray[np.float64]:
        """(9,): first-void times, min."""
    @property
    def rates(self) -> npt.NDArray[np.float64]:
        """(3, 2): day and night fill rate of each schedule, ml/min."""
    def results_file(self) -> str:
        """The results file's exact text (CR LF line ends)."""
    def report(self, schedule: int) -> str:
        """Parameter report and dose table of schedule 1, 2 or 3, as orvane-cli --schedule."""
    @property
    def warnings(self) -> Warnings:
        """path (field key, or "radiopharmaceutical") and message of each warning, as
        orvane-cli --json lists them; each was also issued as OrvaneWarning."""

def table(standard_or_fields: Union[str, int, Sequence[FieldValue], Mapping[str, Any]], *,
          name: Optional[str] = None, data: Union[Data, Path, None] = None) -> Table:
    """Dose tables (mGy/MBq) of a standard (index 0..19 or name) or library entry (name or
    alias), named as orvane-cli --agent names them (any case, nuclide written either way; a
    miss raises InputError with the nearest names), of the 15 fields in
    order, or of a dict of fields by key (f1, k1, tb1, ..., f4, k4, tb4: fraction, rate
    constant min^-1, biological half-life min; tp: physical half-life min; delta:
    mGy-kg/MBq-s; gamma: mGy-cm^2/MBq-s), optionally over "standard" and with "name".
    A field is a text as typed in the input window, a number, or None (empty). Its warnings
    are issued as OrvaneWarning and listed in .warnings."""

class ScenarioResult:
    """A computed patient scenario."""
    @property
    def name(self) -> str: ...
    @property
    def dose(self) -> float:
        """mGy/MBq."""
    @property
    def administered_MBq(self) -> Optional[float]: ...
    @property
    def dose_mGy(self) -> Optional[float]:
        """mGy for the administered activity, or None without one."""
    @property
    def voids(self) -> list[dict[str, Union[float, str]]]:
        """time_min, clock, volume_ml, residual_ml, activity_fraction, voided_fraction,
        excreted_fraction (and activity_MBq, voided_MBq, excreted_MBq with an activity)."""
    @property
    def intervals(self) -> list[dict[str, float]]:
        """start_min, end_min, start_volume_ml, dose_mGy_per_MBq."""
    @property
    def time_course(self) -> Optional[dict[str, npt.NDArray[np.float64]]]:
        """time_min, volume_ml, activity_fraction, dose_rate_mGy_per_MBq_min,
        cumulative_dose_mGy_per_MBq (and activity_MBq), or None when not asked for."""
    @property
    def warnings(self) -> Warnings:
        """path (scenario key path) and message of each warning; each was also issued as
        OrvaneWarning."""
    def json(self) -> dict[str, Json]:
        """The object orvane-cli --scenario --json prints, "warnings" included."""
    def report(self) -> str:
        """The scenario's text report."""

def scenario(dict_or_path: Union[Mapping[str, Json], Path], *,
             time_course: Optional[float] = 5.0,
             data: Union[Data, Path, None] = None) -> ScenarioResult:
    """A patient scenario with the scenario file's keys (any Mapping; lists may be any Sequence
    or NumPy array); time_course is the sampling step in min (also sampled at every void), or
    None. An "uncertainty" section is ignored. None, integers beyond 64 bits and lone
    surrogates are refused as InputError with their key path. A scenario with "measurements"
    is fitted first and computed with the fitted kinetics: json() then has the "fit" object and
    report() the fit's section, as orvane-cli --scenario prints them."""

def uncertainty(dict_or_path: Union[Mapping[str, Json], Path], *,
                threads: Optional[int] = None,
                data: Union[Data, Path, None] = None) -> dict[str, Any]:
    """The scenario's uncertainty section run: mean, sd, percentiles (mGy/MBq), samples_used,
    samples_rejected, rank_correlation, tornado, nominal, inputs (key paths), doses ((samples,)
    mGy/MBq, NaN where rejected), values ((samples, inputs)) and warnings (as
    ScenarioResult.warnings)."""

@overload
def batch(items: Iterable[Union[Mapping[str, Json], Path]], *, threads: Optional[int] = None,
          as_arrays: Literal[False] = False,
          data: Union[Data, Path, None] = None) -> list[dict[str, Any]]: ...
@overload
def batch(items: Iterable[Union[Mapping[str, Json], Path]], *, threads: Optional[int] = None,
          as_arrays: Literal[True],
          data: Union[Data, Path, None] = None) -> dict[str, npt.NDArray[Any]]:
    """Every scenario of items (dicts or scenario files) on threads threads (default every
    core), without the interpreter lock; one result per item, in order, as orvane-cli --batch
    writes them: line, id, dose_mGy_per_MBq, activity_left_fraction, warnings, uncertainty (when
    the scenario has that section), fit (its summary without residuals, when it has
    measurements), or line, id, error {path, message}. A bad item never stops the batch. With
    as_arrays: line, id, dose_mGy_per_MBq, p2.5, p50, p97.5 (of the uncertainty or the fit's
    95 % interval; NaN where none), warnings (count)
    and error ("path: message", empty when computed) as arrays."""

def fit(dict_or_path: Union[Mapping[str, Json], Path], *,
        data: Union[Data, Path, None] = None) -> dict[str, Any]:
    """The fit of the scenario's kinetics to its "measurements": what orvane-cli --json prints
    under "fit" (components, parameters, models, dose_interval, flags; a missing AICc or
    standard error is None), its residuals as NumPy arrays (kind, at, measured, model,
    weighted), and dose_mGy_per_MBq with the fitted kinetics. Raises InputError for a
    refused file or a fit that does not converge."""

def patient(age: float, sex: Optional[str] = None, *,
            data: Union[Data, Path, None] = None) -> dict[str, Any]:
    """The reference patient of age years (0 to 100) and sex ("female", "male" or None):
    {"scenario": the fragment that {"patient": {"age", "sex"}} stands for, "patient": its
    label, capacity_ml and every value with its sources, "sources": the citations}. Raises
    InputError for an age or sex refused."""

def standards(*, data: Union[Data, Path, None] = None) -> list[dict[str, Any]]:
    """The twenty standards: index, name, components (fraction, rate_constant_per_min,
    biological_half_life_min), physical_half_life_min, delta_mGy_kg_per_MBq_s,
    gamma_mGy_cm2_per_MBq_s, fields (as the input window shows them), source (data file)."""

def library(*, data: Union[Data, Path, None] = None) -> list[dict[str, Any]]:
    """The radiopharmaceutical library: the shipped entries (radiopharmaceuticals.json beside
    the data file; DataFileError if unusable), then the user's own from
    $XDG_DATA_HOME/orvane/ (origin "shipped" or "user"; a damaged user file, or a user's entry that
    takes a standard's or shipped entry's name, is skipped with an OrvaneWarning and left as
    it is). Each dict: name, origin, nuclide, aliases, components
    (fraction, rate_constant_per_min, biological_half_life_min), physical_half_life_min,
    delta_mGy_kg_per_MBq_s, delta_alpha_mGy_kg_per_MBq_s and
    delta_without_alpha_mGy_kg_per_MBq_s (alpha emitters, else None),
    gamma_mGy_cm2_per_MBq_s, sources (key, citation, url), confidence ("H", "M", "L", "L-M",
    ...), marks ("recalled", "inverted", "tuned"), notes, warnings, published_doses
    (dose_mGy_per_MBq, voiding, source, recalled), fitted_points (time_min,
    excreted_fraction of the administered activity), fields (as the input window shows
    them). table() and a scenario's {"library": NAME} take an entry by name or alias."""
