// The library of further radiopharmaceuticals: reading its files, the shipped entries, and
// the user's own file.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>

#include "library/radiopharmaceuticals.h"
#include "library/workbench.h"
#include "support.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

const fs::path kShippedLibrary = fs::path(ORVANE_SOURCE_DIR) / "data" / "radiopharmaceuticals.json";

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    if (at == std::string::npos) return "(" + from + " not in the document)";
    return text.replace(at, from.size(), to);
}

const std::string kDocument = R"({
  "format": "orvane radiopharmaceutical library",
  "version": 1,
  "entries": [
    {
      "name": "Test agent",
      "nuclide": "99mTc",
      "components": [{"fraction": 0.5, "rateConstant": 0.01, "biologicalHalfLife": 69.3}],
      "physicalHalfLife": 360.9,
      "delta": 2.6e-6,
      "gamma": 5.5e-5,
      "confidence": "M",
      "sources": [{"key": "K1", "url": "https://example.org"}],
      "fittedPoints": [{"time": 60, "excreted": 0.2}]
    },
    {"name": "Second", "aliases": ["Other"], "physicalHalfLife": 100, "delta": 0, "gamma": 0}
  ]
})";

TEST(LibraryFile, EveryRefusalNamesWhereAndWhy) {
    const struct {
        std::string text;
        const char* position;
        const char* reason;
    } cases[] = {
        {kDocument.substr(0, 40), "line 2, column", "syntax error"},
        {replaced(kDocument, "\"version\": 1,", "\"version\": 1,,"), "line 3, column 16",
         "syntax error"},
        {replaced(kDocument, "radiopharmaceutical library", "x"), "format", "expected"},
        {replaced(kDocument, "\"version\": 1", "\"version\": 2"), "version", "reads version 1"},
        {R"({"format": "orvane radiopharmaceutical library", "version": 1})", "entries", "missing"},
        {replaced(kDocument, "\"entries\": [", "\"entries\": [3,"), "entries[0]",
         "expected an object"},
        {replaced(kDocument, "\"name\": \"Test agent\",", ""), "entries[0].name", "missing"},
        {replaced(kDocument, "\"Test agent\"", "7"), "entries[0].name", "expected a text"},
        {replaced(kDocument, "\"Test agent\"", "\" - \""), "entries[0].name", "empty"},
        {replaced(kDocument, "99mTc", "Xx-9"), "entries[0].nuclide", "not a nuclide"},
        {replaced(kDocument, "\"fraction\": 0.5", "\"fraction\": 1.5"),
         "entries[0].components[0].fraction", "from 0 to 1"},
        {replaced(kDocument, "\"fraction\": 0.5", "\"fraction\": \"0.5\""),
         "entries[0].components[0].fraction", "expected a number"},
        {replaced(kDocument, "\"rateConstant\": 0.01", "\"rateConstant\": -0.01"),
         "entries[0].components[0].rateConstant", "0 or more"},
        {replaced(kDocument, "\"rateConstant\": 0.01", "\"rateConstant\": 1e999"),
         "entries[0].components[0].rateConstant", "expected a finite number"},
        {replaced(kDocument, "\"fraction\": 0.5,", "\"fraction\": 0.5, \"fraction\": 0.6,"),
         "entries[0].components[0].fraction", "twice"},
        {replaced(kDocument, "\"fraction\": 0.5,", "\"fraction\": 0.5, \"fracton\": 0.6,"),
         "entries[0].components[0].fracton", "unknown key"},
        {replaced(kDocument, "\"components\": [{",
                  "\"components\": [{\"fraction\": 0.6, \"rateConstant\": 1, "
                  "\"biologicalHalfLife\": 1}, {"),
         "entries[0].components", "more than 1"},
        {replaced(kDocument, "\"components\": [", "\"components\": [{}, {}, {}, {},"),
         "entries[0].components", "at most 4"},
        {replaced(kDocument, "\"physicalHalfLife\": 360.9", "\"physicalHalfLife\": 0"),
         "entries[0].physicalHalfLife", "half-life is empty or 0"},
        {replaced(kDocument, "\"physicalHalfLife\": 360.9", "\"physicalHalfLife\": 1e-320"),
         "entries[0].physicalHalfLife", ""},
        {replaced(kDocument, "\"delta\": 2.6e-6", "\"delta\": 2.6e-6, \"deltaWithoutAlpha\": 1"),
         "entries[0].deltaWithoutAlpha", "to the Delta"},
        {replaced(kDocument, "\"M\"", "\"sure\""), "entries[0].confidence", "H, M or L"},
        {replaced(kDocument, "\"M\"", "\"M (\""), "entries[0].confidence", "H, M or L"},
        {replaced(kDocument, "\"M\"", "\"sure (f=0)\""), "entries[0].confidence", "H, M or L"},
        {replaced(kDocument, "\"confidence\"", "\"marks\": [\"guessed\"], \"confidence\""),
         "entries[0].marks[0]", "recalled"},
        {replaced(kDocument, "https://example.org", "ftp://example.org"),
         "entries[0].sources[0].url", "https://"},
        {replaced(kDocument, "{\"key\": \"K1\",", "{"), "entries[0].sources[0]",
         "key or a citation"},
        {replaced(kDocument, "\"excreted\": 0.2", "\"excreted\": 2"),
         "entries[0].fittedPoints[0].excreted", "from 0 to 1"},
        {replaced(kDocument, "\"Second\"", "\"test AGENT\""), "entries[1]", "already the name"},
        {replaced(kDocument, "[\"Other\"]", "[\"Test-agent\"]"), "entries[1]", "already the name"},
        {replaced(kDocument, "\"version\": 1,", "\"version\": 1, \"extra\": 0,"), "extra",
         "unknown key"},
    };
    for (const auto& c : cases) {
        const auto error =
            test::thrown<DataFileError>([&] { parseLibraryFile(c.text, "lib.json"); });
        ASSERT_TRUE(error) << "accepted:\n" << c.text;
        EXPECT_EQ(error->file(), "lib.json");
        EXPECT_NE(error->position().find(c.position), std::string::npos)
            << error->what() << "\nexpected position " << c.position;
        EXPECT_NE(error->reason().find(c.reason), std::string::npos)
            << error->what() << "\nexpected reason " << c.reason;
    }
}

TEST(LibraryFile, ReadsBackWhatItWrites) {
    const std::vector<LibraryEntry> entries = parseLibraryFile(kDocument, "lib.json");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].nuclide, "Tc-99m");
    EXPECT_EQ(entries[0].values.rateConstant[0], 0.01);
    EXPECT_EQ(entries[0].values.fraction[1], 0.0);
    EXPECT_EQ(parseLibraryFile(libraryFileText(entries), "again"), entries);

    const std::vector<LibraryEntry> shipped = loadLibraryFile(kShippedLibrary);
    EXPECT_EQ(parseLibraryFile(libraryFileText(shipped), "again"), shipped);
}

TEST(LibraryFile, EntriesAreFoundByNameOrAliasAsTyped) {
    const std::vector<LibraryEntry> shipped = loadLibraryFile(kShippedLibrary);
    const struct {
        const char* query;
        const char* found;  // nullptr: none
    } cases[] = {{"Pluvicto", "Lu-177 PSMA-617"},       {"177Lu-PSMA-617", "Lu-177 PSMA-617"},
                 {"lu177 psma 617", "Lu-177 PSMA-617"}, {"225Ac-PSMA-617", "Ac-225 PSMA-617"},
                 {"99mTc DMSA", "Tc-99m DMSA"},         {"Tc-99m MAG3", nullptr}};
    for (const auto& c : cases) {
        const LibraryEntry* entry = findEntry(shipped, c.query);
        EXPECT_EQ(entry ? entry->name() : std::string("(none)"), c.found ? c.found : "(none)")
            << c.query;
    }
}

// Cumulative urinary excretion by time t (min), decay-corrected, as the components deliver it.
double excretedBy(const StandardPharmaceutical& values, double t) {
    double sum = 0.0;
    for (int j = 0; j < kComponentCount; ++j) {
        sum += values.fraction[j] * (1 - std::exp(-values.rateConstant[j] * t));
    }
    return sum;
}

TEST(ShippedLibrary, EntriesReproduceTheirSourcesAndCarryTheirMarks) {
    const std::vector<LibraryEntry> shipped = loadLibraryFile(kShippedLibrary);
    EXPECT_EQ(shipped.size(), 18u);
    for (const LibraryEntry& entry : shipped) {
        SCOPED_TRACE(entry.name());
        EXPECT_FALSE(entry.confidence.empty());
        EXPECT_FALSE(entry.sources.empty());
        EXPECT_FALSE(entry.nuclide.empty());
        // 2 percentage points or 20 % of the point, whichever is smaller: small fractions too.
        for (const ExcretionPoint& point : entry.fittedPoints) {
            EXPECT_NEAR(excretedBy(entry.values, point.time), point.excreted,
                        std::min(0.02, 0.2 * point.excreted))
                << "at " << point.time << " min";
        }
        for (int j = 0; j < kComponentCount; ++j) {
            if (entry.values.rateConstant[j] == 0) continue;
            EXPECT_NEAR(entry.values.rateConstant[j] * entry.values.biologicalHalfLife[j],
                        kDecayNumerator, 1e-4 * kDecayNumerator);
        }
        const bool inverted =
            std::find(entry.marks.begin(), entry.marks.end(), kMarkInverted) != entry.marks.end();
        // An entry built from a published dose has no measured points to be checked against.
        if (inverted) {
            EXPECT_TRUE(entry.fittedPoints.empty());
        }
    }
    const LibraryEntry* actinium = findEntry(shipped, "Ac-225 PSMA-617");
    ASSERT_NE(actinium, nullptr);
    ASSERT_TRUE(actinium->deltaWithoutAlpha.has_value());
    EXPECT_LT(*actinium->deltaWithoutAlpha, 0.03 * actinium->values.delta);
    ASSERT_EQ(actinium->warnings.size(), 1u);
    EXPECT_NE(actinium->warnings[0].find("RBE"), std::string::npos);
    const LibraryEntry* rubidium = findEntry(shipped, "Rb-82 chloride");
    ASSERT_NE(rubidium, nullptr);
    EXPECT_EQ(rubidium->confidence, "M (f=0)");
    for (const char* recalled : {"Lu-177 PSMA-617", "F-18 fluoroestradiol", "Lu-177 DOTATATE"}) {
        const LibraryEntry* entry = findEntry(shipped, recalled);
        ASSERT_NE(entry, nullptr);
        EXPECT_NE(std::find(entry->marks.begin(), entry->marks.end(), kMarkRecalled),
                  entry->marks.end())
            << recalled;
    }
}

TEST(UserLibrary, TypedValuesAreStoredAsTheFileReadsThem) {
    FieldTexts fields{"0.6", "0.0231", "30", "", "",       "",          "",          "",
                      "",    "",       "",   "", "109.77", "3.871E-05", "4.1556E-04"};
    const LibraryEntry entry = entryFromFields(fields, "My 18F agent");
    EXPECT_EQ(entry.nuclide, "F-18");
    EXPECT_EQ(entry.values.fraction[0], 0.6);
    EXPECT_EQ(entry.values.physicalHalfLife, 109.77);
    EXPECT_EQ(parseLibraryFile(libraryFileText({entry}), "user.json"), std::vector{entry});

    // What the file would refuse is refused before it is written, naming the field.
    const struct {
        int field;
        const char* text;
    } refused[] = {{0, "1.5"}, {3, "0.5"}, {12, "0"}, {13, "-1"}, {1, "-0.1"}};
    for (const auto& c : refused) {
        FieldTexts changed = fields;
        changed[c.field] = c.text;
        if (c.field == 3) {
            changed[4] = "0.01";
            changed[5] = "69.3";
        }
        try {
            entryFromFields(changed, "x");
            ADD_FAILURE() << "accepted " << c.text << " in field " << c.field;
        } catch (const InputError& error) {
            EXPECT_EQ(error.field(), c.field == 3 ? 0 : c.field) << error.what();
        }
    }
}

TEST(UserLibrary, FolderFollowsTheEnvironment) {
    EXPECT_EQ(userLibraryPath("/x/data", "/home/u"),
              fs::path("/x/data/orvane/radiopharmaceuticals.json"));
    EXPECT_EQ(userLibraryPath("relative", "/home/u"),
              fs::path("/home/u/.local/share/orvane/radiopharmaceuticals.json"));
    EXPECT_EQ(userLibraryPath(nullptr, "/home/u"),
              fs::path("/home/u/.local/share/orvane/radiopharmaceuticals.json"));
    EXPECT_EQ(userLibraryPath(nullptr, nullptr), std::nullopt);
}

std::string contentOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(UserLibrary, ADamagedFileSurvivesUntilRenamedAside) {
    const test::ScratchFolder scratch;
    const fs::path file = scratch.path / "orvane" / "radiopharmaceuticals.json";
    const std::vector<LibraryEntry> entries = parseLibraryFile(kDocument, "lib.json");

    // A first save creates the folder; the file reads back as written.
    ASSERT_TRUE(writeUserLibrary(file, entries).ok);
    EXPECT_EQ(loadLibraryFile(file), entries);

    const std::string damaged = contentOf(file).substr(0, 100);
    std::ofstream(file, std::ios::binary | std::ios::trunc) << damaged;
    const LoadedLibrary loaded = loadLibraries(kShippedLibrary, file);
    EXPECT_EQ(loaded.shipped.size(), 18u);
    EXPECT_TRUE(loaded.user.empty());
    EXPECT_NE(loaded.userProblem.find("line "), std::string::npos) << loaded.userProblem;

    const WriteOutcome refused = writeUserLibrary(file, entries);
    EXPECT_FALSE(refused.ok);
    EXPECT_NE(refused.message.find("rename it aside"), std::string::npos) << refused.message;
    EXPECT_EQ(contentOf(file), damaged);

    const fs::path aside = moveDamagedFileAside(file);
    EXPECT_EQ(aside.filename(), "radiopharmaceuticals.json.damaged");
    EXPECT_EQ(contentOf(aside), damaged);
    EXPECT_TRUE(loadLibraries(kShippedLibrary, file).userProblem.empty());
    ASSERT_TRUE(writeUserLibrary(file, entries).ok);
    std::ofstream(file, std::ios::binary | std::ios::trunc) << "{";
    EXPECT_EQ(moveDamagedFileAside(file).filename(), "radiopharmaceuticals.json.damaged-2");
}

}  // namespace
}  // namespace orvane
