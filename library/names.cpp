#include "library/names.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <set>
#include <utility>
#include <vector>

namespace orvane {

namespace {

constexpr std::array<std::string_view, 118> kElementSymbols{
    "H",  "He", "Li", "Be", "B",  "C",  "N",  "O",  "F",  "Ne", "Na", "Mg", "Al", "Si", "P",
    "S",  "Cl", "Ar", "K",  "Ca", "Sc", "Ti", "V",  "Cr", "Mn", "Fe", "Co", "Ni", "Cu", "Zn",
    "Ga", "Ge", "As", "Se", "Br", "Kr", "Rb", "Sr", "Y",  "Zr", "Nb", "Mo", "Tc", "Ru", "Rh",
    "Pd", "Ag", "Cd", "In", "Sn", "Sb", "Te", "I",  "Xe", "Cs", "Ba", "La", "Ce", "Pr", "Nd",
    "Pm", "Sm", "Eu", "Gd", "Tb", "Dy", "Ho", "Er", "Tm", "Yb", "Lu", "Hf", "Ta", "W",  "Re",
    "Os", "Ir", "Pt", "Au", "Hg", "Tl", "Pb", "Bi", "Po", "At", "Rn", "Fr", "Ra", "Ac", "Th",
    "Pa", "U",  "Np", "Pu", "Am", "Cm", "Bk", "Cf", "Es", "Fm", "Md", "No", "Lr", "Rf", "Db",
    "Sg", "Bh", "Hs", "Mt", "Ds", "Rg", "Cn", "Nh", "Fl", "Mc", "Lv", "Ts", "Og"};

// The elements' English names, in the order of kElementSymbols.
constexpr std::array<std::string_view, 118> kElementNames{
    "hydrogen",     "helium",        "lithium",     "beryllium",   "boron",        "carbon",
    "nitrogen",     "oxygen",        "fluorine",    "neon",        "sodium",       "magnesium",
    "aluminium",    "silicon",       "phosphorus",  "sulfur",      "chlorine",     "argon",
    "potassium",    "calcium",       "scandium",    "titanium",    "vanadium",     "chromium",
    "manganese",    "iron",          "cobalt",      "nickel",      "copper",       "zinc",
    "gallium",      "germanium",     "arsenic",     "selenium",    "bromine",      "krypton",
    "rubidium",     "strontium",     "yttrium",     "zirconium",   "niobium",      "molybdenum",
    "technetium",   "ruthenium",     "rhodium",     "palladium",   "silver",       "cadmium",
    "indium",       "tin",           "antimony",    "tellurium",   "iodine",       "xenon",
    "caesium",      "barium",        "lanthanum",   "cerium",      "praseodymium", "neodymium",
    "promethium",   "samarium",      "europium",    "gadolinium",  "terbium",      "dysprosium",
    "holmium",      "erbium",        "thulium",     "ytterbium",   "lutetium",     "hafnium",
    "tantalum",     "tungsten",      "rhenium",     "osmium",      "iridium",      "platinum",
    "gold",         "mercury",       "thallium",    "lead",        "bismuth",      "polonium",
    "astatine",     "radon",         "francium",    "radium",      "actinium",     "thorium",
    "protactinium", "uranium",       "neptunium",   "plutonium",   "americium",    "curium",
    "berkelium",    "californium",   "einsteinium", "fermium",     "mendelevium",  "nobelium",
    "lawrencium",   "rutherfordium", "dubnium",     "seaborgium",  "bohrium",      "hassium",
    "meitnerium",   "darmstadtium",  "roentgenium", "copernicium", "nihonium",     "flerovium",
    "moscovium",    "livermorium",   "tennessine",  "oganesson",
};

// Other words for an element: spellings, and the anions that name salts ("sodium iodide").
constexpr std::pair<std::string_view, std::string_view> kElementWords[] = {
    {"aluminum", "Al"}, {"cesium", "Cs"},  {"sulphur", "S"},   {"fluoride", "F"},
    {"chloride", "Cl"}, {"bromide", "Br"}, {"iodide", "I"},    {"astatide", "At"},
    {"oxide", "O"},     {"hydride", "H"},  {"nitride", "N"},   {"sulfide", "S"},
    {"phosphide", "P"}, {"carbide", "C"},  {"selenide", "Se"}, {"telluride", "Te"}};

bool isAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}
char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// The symbol in its proper case, or empty when `letters` (any case) names no element.
std::string elementSymbol(std::string_view letters) {
    if (letters.empty() || letters.size() > 2) return {};
    std::string symbol(1, upper(letters[0]));
    if (letters.size() == 2) symbol += lower(letters[1]);
    const bool known =
        std::find(kElementSymbols.begin(), kElementSymbols.end(), symbol) != kElementSymbols.end();
    return known ? symbol : std::string();
}

// A nuclide at the start of `text` that ends where a word ends.
struct NuclideMatch {
    std::string canonical;  // e.g. "Tc-99m"; empty when none
    std::size_t length = 0;
};

std::size_t countWhile(std::string_view text, std::size_t from, bool (*test)(char)) {
    std::size_t end = from;
    while (end < text.size() && test(text[end])) ++end;
    return end - from;
}

bool endsWord(std::string_view text, std::size_t at) {
    return at >= text.size() || !(isAsciiLetter(text[at]) || isAsciiDigit(text[at]));
}

// Mass number (1 to 3 digits) with an optional metastable "m", starting at `from`.
struct MassNumber {
    std::string_view digits;
    bool metastable = false;
    std::size_t length = 0;
};
MassNumber massNumberAt(std::string_view text, std::size_t from) {
    const std::size_t digits = countWhile(text, from, isAsciiDigit);
    if (digits == 0 || digits > 3 || text[from] == '0') return {};
    MassNumber mass{text.substr(from, digits), false, digits};
    if (from + digits < text.size() && lower(text[from + digits]) == 'm') {
        mass.metastable = true;
        ++mass.length;
    }
    return mass;
}

std::string canonicalOf(const std::string& symbol, const MassNumber& mass) {
    return symbol + "-" + std::string(mass.digits) + (mass.metastable ? "m" : "");
}

NuclideMatch nuclideAt(std::string_view text, std::size_t from) {
    // Symbol first: "Tc-99m", "Tc99m", "tc-99m".
    const std::size_t letters = countWhile(text, from, isAsciiLetter);
    if (letters >= 1 && letters <= 2) {
        const std::string symbol = elementSymbol(text.substr(from, letters));
        std::size_t at = from + letters;
        if (!symbol.empty()) {
            if (at < text.size() && text[at] == '-') ++at;
            const MassNumber mass = massNumberAt(text, at);
            if (mass.length > 0 && endsWord(text, at + mass.length)) {
                return {canonicalOf(symbol, mass), at + mass.length - from};
            }
        }
    }
    // Mass number first: "99mTc", "99m-Tc", "18F". The letters after the digits are read as a
    // symbol first ("99Mo"), then as "m" and a symbol ("99mTc").
    const MassNumber mass = massNumberAt(text, from);
    if (mass.length == 0) return {};
    for (const bool metastable : {false, true}) {
        if (metastable && !mass.metastable) break;
        MassNumber reading = mass;
        reading.metastable = metastable;
        std::size_t at = from + mass.digits.size() + (metastable ? 1 : 0);
        if (at < text.size() && text[at] == '-') ++at;
        const std::size_t symbolLetters = countWhile(text, at, isAsciiLetter);
        const std::string symbol = elementSymbol(text.substr(at, symbolLetters));
        if (!symbol.empty() && endsWord(text, at + symbolLetters)) {
            return {canonicalOf(symbol, reading), at + symbolLetters - from};
        }
    }
    return {};
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    return text;
}

std::string lowerText(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), lower);
    return result;
}

// The symbol of an element that `word` names ("lutetium", "Iodide"), or empty.
std::string elementNamed(std::string_view word) {
    const std::string lowered = lowerText(word);
    for (std::size_t i = 0; i < kElementNames.size(); ++i) {
        if (kElementNames[i] == lowered) return std::string(kElementSymbols[i]);
    }
    for (const auto& [other, symbol] : kElementWords) {
        if (other == lowered) return std::string(symbol);
    }
    return {};
}

// The symbols of a chemical formula written with its capitals ("NaI", "Cl"), or none: a word
// of capitals only is an abbreviation ("FACBC", "OIH"), not a formula.
std::vector<std::string> formulaElements(std::string_view word) {
    std::vector<std::string> symbols;
    const bool anyLower =
        std::any_of(word.begin(), word.end(), [](char c) { return c >= 'a' && c <= 'z'; });
    if (!anyLower) return {};
    for (std::size_t i = 0; i < word.size();) {
        if (!(word[i] >= 'A' && word[i] <= 'Z')) return {};
        std::size_t length =
            (i + 1 < word.size() && word[i + 1] >= 'a' && word[i + 1] <= 'z') ? 2 : 1;
        const std::string symbol = elementSymbol(word.substr(i, length));
        if (symbol.empty() || symbol != word.substr(i, length)) return {};
        symbols.push_back(symbol);
        i += length;
    }
    return symbols;
}

// The words of a text: runs of ASCII letters and digits.
std::vector<std::string_view> wordsOf(std::string_view text) {
    std::vector<std::string_view> words;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length =
            countWhile(text, i, [](char c) { return isAsciiLetter(c) || isAsciiDigit(c); });
        if (length > 0) words.push_back(text.substr(i, length));
        i += std::max<std::size_t>(length, 1);
    }
    return words;
}

// The elements a name holds: of its nuclides, of the element names in it and of its formulas.
std::set<std::string> elementsOf(std::string_view name) {
    std::set<std::string> elements;
    bool wordStart = true;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (wordStart) {
            const NuclideMatch match = nuclideAt(name, i);
            if (!match.canonical.empty())
                elements.insert(match.canonical.substr(0, match.canonical.find('-')));
        }
        wordStart = !(isAsciiLetter(name[i]) || isAsciiDigit(name[i]));
    }
    for (const std::string_view word : wordsOf(name)) {
        if (const std::string symbol = elementNamed(word); !symbol.empty()) elements.insert(symbol);
        for (std::string& symbol : formulaElements(word)) elements.insert(std::move(symbol));
    }
    return elements;
}

bool containsAsTyped(std::string_view name, std::string_view query) {
    if (trimmed(query).empty()) return true;
    const std::string queryKey = nameKey(query);
    if (!queryKey.empty() && nameKey(name).find(queryKey) != std::string::npos) return true;
    return lowerText(name).find(lowerText(trimmed(query))) != std::string::npos;
}

}  // namespace

std::optional<std::string> canonicalNuclide(std::string_view text) {
    text = trimmed(text);
    const NuclideMatch match = nuclideAt(text, 0);
    if (match.canonical.empty() || match.length != text.size()) return std::nullopt;
    return match.canonical;
}

std::optional<std::string> nuclideIn(std::string_view name) {
    bool wordStart = true;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (wordStart) {
            NuclideMatch match = nuclideAt(name, i);
            if (!match.canonical.empty()) return std::move(match.canonical);
        }
        wordStart = !(isAsciiLetter(name[i]) || isAsciiDigit(name[i]));
    }
    return std::nullopt;
}

std::string nameKey(std::string_view name) {
    std::string key;
    bool wordStart = true;
    for (std::size_t i = 0; i < name.size();) {
        if (wordStart) {
            const NuclideMatch match = nuclideAt(name, i);
            if (!match.canonical.empty()) {
                // Marked off so that "Tc-99m" and a word that happens to spell it differ.
                key += '#';
                for (const char c : match.canonical) {
                    if (c != '-') key += lower(c);
                }
                key += '#';
                i += match.length;
                continue;
            }
        }
        const char c = name[i++];
        const bool partOfWord =
            isAsciiLetter(c) || isAsciiDigit(c) || static_cast<unsigned char>(c) >= 0x80;
        if (partOfWord) key += lower(c);
        wordStart = !partOfWord;
    }
    return key;
}

bool sameName(std::string_view a, std::string_view b) {
    return nameKey(a) == nameKey(b);
}

bool nameContains(std::string_view name, std::string_view query) {
    if (containsAsTyped(name, query)) return true;
    // With an element's name in it, each word of the query must be found: an element's name
    // among the name's elements, any other word as typed.
    const std::vector<std::string_view> words = wordsOf(query);
    const bool namesAnElement = std::any_of(words.begin(), words.end(), [](std::string_view word) {
        return !elementNamed(word).empty();
    });
    if (!namesAnElement) return false;
    const std::set<std::string> elements = elementsOf(name);
    return std::all_of(words.begin(), words.end(), [&](std::string_view word) {
        const std::string symbol = elementNamed(word);
        return symbol.empty() ? containsAsTyped(name, word) : elements.count(symbol) > 0;
    });
}

}  // namespace orvane
