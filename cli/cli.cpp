#include "cli/cli.h"

#include <filesystem>
#include <ostream>
#include <stdexcept>

#include "engine/calculation.h"
#include "engine/estimate.h"
#include "engine/numtext.h"
#include "engine/version.h"
#include "library/standards.h"
#include "report/report.h"
#include "report/results_file.h"

namespace orvane {

const std::array<const char*, 15> kFieldOptionNames{"f1",  "k1",  "tb1", "f2",    "k2",
                                                    "tb2", "f3",  "k3",  "tb3",   "f4",
                                                    "k4",  "tb4", "tp",  "delta", "gamma"};

namespace {

const char* const kUsage =
    "Usage: orvane-cli [options]\n"
    "\n"
    "Computes the bladder-wall dose tables (mGy/MBq) of a standard radiopharmaceutical or of\n"
    "typed-in data, exactly as the Orvane window does, and prints the results file.\n"
    "\n"
    "Input:\n"
    "  --list                 print the twenty standards as the input window shows them\n"
    "  --standard K           standard K (0..19) or its list text, e.g. \"Tc-99m DTPA\"\n"
    "  --f1 T --k1 T --tb1 T  fraction, rate constant (min^-1) and biological half-life\n"
    "  ... --f4 --k4 --tb4    (min) of components 1..4, as field texts\n"
    "  --tp T                 physical half-life (min)\n"
    "  --delta T --gamma T    Delta (mGy-kg/MBq-s) and Gamma (mGy-cm^2/MBq-s)\n"
    "  --name TEXT            radiopharmaceutical name for the report\n"
    "                         (field options override the chosen standard's fields)\n"
    "  --data FILE            data file of standard values (default: the installed one)\n"
    "\n"
    "Output (default: the whole results file on standard output):\n"
    "  --output FILE          save the results file to FILE\n"
    "  --schedule S           print schedule S's (0..2) parameter report and dose table\n"
    "  --csv                  print schedule,V0_ml,T0_min,dose_mGy_per_MBq rows\n"
    "  --estimate             print the calculation time estimate\n"
    "  --version, --help\n"
    "\n"
    "Exit status: 0 success, 1 file or I/O failure, 2 refused input or bad usage.\n";

bool takesValue(const std::string& option) {
    for (const char* name : kFieldOptionNames) {
        if (option == name) return true;
    }
    return option == "standard" || option == "name" || option == "schedule" || option == "output" ||
           option == "data";
}

int parseSchedule(const std::string& text) {
    if (text == "0" || text == "1" || text == "2") return text[0] - '0';
    throw std::invalid_argument("--schedule takes 0, 1 or 2, not \"" + text + "\"");
}

int findStandard(const std::string& key) {
    for (int i = 0; i < kStandardCount; ++i) {
        if (key == kStandardNames[i]) return i;
    }
    if (!key.empty() && key.size() <= 2 &&
        key.find_first_not_of("0123456789") == std::string::npos) {
        const int index = std::stoi(key);
        if (index < kStandardCount) return index;
    }
    throw std::invalid_argument("--standard: no standard \"" + key +
                                "\" (give 0..19 or a name from --list)");
}

void printList(const StandardData& data, std::ostream& out) {
    for (int i = 0; i < kStandardCount; ++i) {
        const StandardFieldTexts texts = standardFieldTexts(data.library[i]);
        out << i << "\t" << texts.name << "\n";
        for (int c = 0; c < kComponentCount; ++c) {
            if (texts.fields[c * 3].empty() && texts.fields[c * 3 + 1].empty() &&
                texts.fields[c * 3 + 2].empty()) {
                continue;
            }
            out << "\tcomponent " << c + 1 << ": fraction " << texts.fields[c * 3]
                << ", rate constant " << texts.fields[c * 3 + 1] << " min^-1, half-life "
                << texts.fields[c * 3 + 2] << " min\n";
        }
        out << "\tphysical half-life " << texts.fields[12] << " min, Delta " << texts.fields[13]
            << " mGy-kg/MBq-s, Gamma " << texts.fields[14] << " mGy-cm^2/MBq-s\n";
    }
}

void printCsv(const DoseResults& results, std::ostream& out) {
    out << "schedule,V0_ml,T0_min,dose_mGy_per_MBq\n";
    for (int s = 0; s < kScheduleCount; ++s) {
        for (int v = 0; v < kV0Count; ++v) {
            for (int t = 0; t < kT0Count; ++t) {
                out << s << "," << formatPlain(results.grids.v0Grid[v]).substr(1) << ","
                    << formatPlain(results.grids.t0Grid[t]).substr(1) << ","
                    << formatRoundTrip(results.tables[s].at(t, v)) << "\n";
            }
        }
    }
}

}  // namespace

CliOptions parseCliArguments(const std::vector<std::string>& arguments) {
    CliOptions options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument.rfind("--", 0) != 0) {
            throw std::invalid_argument("unexpected argument \"" + argument + "\"");
        }
        std::string option = argument.substr(2);
        std::optional<std::string> value;
        if (const auto eq = option.find('='); eq != std::string::npos) {
            value = option.substr(eq + 1);
            option.resize(eq);
        }
        if (takesValue(option)) {
            if (!value) {
                if (i + 1 >= arguments.size()) {
                    throw std::invalid_argument("--" + option + " needs a value");
                }
                value = arguments[++i];
            }
        } else if (value) {
            throw std::invalid_argument("--" + option + " takes no value");
        }

        if (option == "help")
            options.help = true;
        else if (option == "version")
            options.version = true;
        else if (option == "list")
            options.list = true;
        else if (option == "csv")
            options.csv = true;
        else if (option == "estimate")
            options.estimate = true;
        else if (option == "standard")
            options.standard = *value;
        else if (option == "name")
            options.name = *value;
        else if (option == "schedule")
            options.schedule = parseSchedule(*value);
        else if (option == "output")
            options.output = *value;
        else if (option == "data")
            options.dataFile = *value;
        else {
            bool known = false;
            for (int f = 0; f < kFieldCount; ++f) {
                if (option == kFieldOptionNames[f]) {
                    options.fields[f] = *value;
                    known = true;
                }
            }
            if (!known) throw std::invalid_argument("unknown option --" + option);
        }
    }
    const int outputs = (options.schedule ? 1 : 0) + (options.csv ? 1 : 0) +
                        (options.estimate ? 1 : 0) + (options.list ? 1 : 0);
    if (outputs > 1) {
        throw std::invalid_argument("--list, --schedule, --csv and --estimate exclude each other");
    }
    return options;
}

int runCli(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    CliOptions options;
    try {
        options = parseCliArguments(arguments);
    } catch (const std::invalid_argument& e) {
        err << "orvane-cli: " << e.what() << "\nTry 'orvane-cli --help'.\n";
        return kCliRefused;
    }
    if (options.help) {
        out << kUsage;
        return kCliOk;
    }
    if (options.version) {
        out << "orvane-cli " << kVersion << "\n";
        return kCliOk;
    }

    StandardData data;
    try {
        const std::filesystem::path file = options.dataFile
                                               ? std::filesystem::path(*options.dataFile)
                                               : dataFilePathFor(executableDirectory());
        data = LoadStandardData(file);
    } catch (const DataFileError& e) {
        err << "orvane-cli: " << e.what() << "\n";
        return kCliFileError;
    }
    if (options.list) {
        printList(data, out);
        return kCliOk;
    }

    // The fields as the input window would hold them: a standard's displayed texts, then
    // whatever was typed over them.
    FieldTexts fields{};
    std::string name;
    if (options.standard) {
        int index = 0;
        try {
            index = findStandard(*options.standard);
        } catch (const std::invalid_argument& e) {
            err << "orvane-cli: " << e.what() << "\n";
            return kCliRefused;
        }
        const StandardFieldTexts texts = standardFieldTexts(data.library[index]);
        fields = texts.fields;
        name = texts.name;
    }
    for (int f = 0; f < kFieldCount; ++f) {
        if (options.fields[f]) fields[f] = *options.fields[f];
    }
    if (options.name) name = *options.name;

    try {
        if (options.estimate) {
            out << EstimateCalculationTime(fields, data.tables).text << "\n";
            return kCliOk;
        }
        const DoseResults results = RunCalculation(fields, name, data.tables);
        if (options.csv) {
            printCsv(results, out);
        } else if (options.schedule) {
            const ScheduleView view = RenderSchedule(results, *options.schedule);
            out << view.report << view.table;
        } else if (options.output) {
            const WriteOutcome outcome = WriteResultsFile(*options.output, results);
            if (!outcome.ok) {
                err << "orvane-cli: " << outcome.message << "\n";
                return kCliFileError;
            }
        } else {
            out << resultsFileText(results);
        }
    } catch (const InputError& e) {
        err << "orvane-cli: refused: " << e.what() << "\n";
        return kCliRefused;
    } catch (const GridError& e) {
        err << "orvane-cli: " << e.what() << "\n";
        return kCliFileError;
    } catch (const CalculationError& e) {
        err << "orvane-cli: " << e.what() << "\n";
        return kCliRefused;
    }
    out.flush();
    if (!out) {
        err << "orvane-cli: could not write the output\n";
        return kCliFileError;
    }
    return kCliOk;
}

}  // namespace orvane
