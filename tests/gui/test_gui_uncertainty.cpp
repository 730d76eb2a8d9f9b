// The scenario window's uncertainty tab: a run gives the engine's numbers in its charts and
// round-trips through the scenario file and the report; Cancel and closing stop a long run; a
// refused row is marked with the file reader's words and nothing runs.
#include <QBarSet>
#include <QChartView>
#include <QComboBox>
#include <QHorizontalBarSeries>
#include <QLabel>
#include <QLineSeries>
#include <QProgressBar>
#include <QTableWidget>
#include <QTest>
#include <nlohmann/json.hpp>

#include "engine/scenario_uncertainty.h"
#include "gui/scenario/scenario_window.h"
#include "gui/scenario/uncertainty_tab.h"
#include "library/scenario_file.h"
#include "library/uncertainty_file.h"
#include "scenario_test_support.h"

namespace orvane::testing {
namespace {

using UncertaintyTabTest = WindowTest;

nlohmann::json withSection(std::uint64_t samples) {
    nlohmann::json document = newScenarioDocument().json();
    document["uncertainty"] = {{"samples", samples},
                               {"seed", 7},
                               {"vary",
                                {{"residual_volume", {{"lognormal", {{"gsd", 2.0}, {"max", 150}}}}},
                                 {"voiding.interval", {{"uniform", {120, 240}}}},
                                 {"initial_volume", {{"triangular", {20, 50, 300}}}}}}};
    return document;
}

// The analysis as orvane-cli runs it, on one thread.
UncertaintyResult engineResult(const nlohmann::json& document, const StandardData& data) {
    ScenarioReadOptions reading;
    reading.sections = {"uncertainty"};
    const Scenario scenario = scenarioFromJson(document, data, reading);
    const UncertaintyPlan plan =
        readUncertaintySection(document["uncertainty"], document, scenario);
    const QuadratureRule rule{data.tables.quadratureNodes, data.tables.quadratureWeights};
    return runScenarioUncertainty(scenario, rule, plan.keys, plan.inputs, plan.options);
}

struct Opened {
    ScenarioWindow* window;
    UncertaintyTab* tab;
};

Opened open(Module1& module, const nlohmann::json& document) {
    auto* window = static_cast<ScenarioWindow*>(module.openers().scenario({}, {}));
    window->load(ScenarioDocument(document));
    return {window, window->findChild<UncertaintyTab*>(QStringLiteral("uncertaintyTab"))};
}

bool finishes(UncertaintyTab* tab, int ms = 30'000) {
    return QTest::qWaitFor([tab] { return !tab->running(); }, ms);
}

TEST_F(UncertaintyTabTest, ARunShowsTheEngineNumbersAndRoundTrips) {
    const nlohmann::json document = withSection(400);
    auto [window, tab] = open(*module, document);
    ASSERT_NE(tab, nullptr);
    EXPECT_EQ(control<QTableWidget>(tab, "uncertaintyTable")->rowCount(), 3);
    click(tab, "uncertaintyRun");
    ASSERT_TRUE(finishes(tab));
    ASSERT_NE(tab->outcome(), nullptr) << labelText(tab, "uncertaintyMessage").toStdString();
    const UncertaintyResult expected = engineResult(document, module->standardData());
    EXPECT_EQ(tab->outcome()->doses, expected.doses);  // two threads, the same bits

    auto* histogram = control<QChartView>(tab, "uncertaintyHistogram");
    for (std::size_t i = 0; i < kReportedPercentiles.size(); ++i) {
        const QString name = QStringLiteral("percentile%1").arg(kReportedPercentiles[i]);
        auto* marker = seriesNamed<QLineSeries>(histogram->chart(), name);
        ASSERT_NE(marker, nullptr) << name.toStdString();
        EXPECT_EQ(marker->at(0).x(), expected.percentiles[i]) << name.toStdString();
    }
    // Every used dose is in a bin or counted above the drawn range (the title says how many).
    auto* outline = seriesNamed<QLineSeries>(histogram->chart(), "doseHistogram");
    ASSERT_NE(outline, nullptr);
    double binned = 0;
    for (int i = 0; i < outline->count(); i += 2) binned += outline->at(i).y();
    const QString title = histogram->chart()->title();
    const qsizetype open = title.indexOf(QLatin1Char('('));
    const double above =
        open < 0 ? 0 : title.mid(open + 1).section(QLatin1Char(' '), 0, 0).toDouble();
    EXPECT_EQ(binned + above, static_cast<double>(expected.used));

    auto* tornado = control<QChartView>(tab, "uncertaintyTornado");
    auto* bars = seriesNamed<QHorizontalBarSeries>(tornado->chart(), "tornadoSeries");
    ASSERT_NE(bars, nullptr);
    ASSERT_EQ(bars->count(), 2);
    const auto n = static_cast<int>(expected.tornado.size());
    ASSERT_EQ(bars->barSets()[0]->count(), n);
    for (int i = 0; i < n; ++i) {  // drawn bottom up, so the largest swing is on top
        const TornadoBar& bar = expected.tornado[n - 1 - i];
        EXPECT_DOUBLE_EQ(bars->barSets()[0]->at(i) + expected.nominal, bar.low) << bar.path;
        EXPECT_DOUBLE_EQ(bars->barSets()[1]->at(i) + expected.nominal, bar.high) << bar.path;
    }

    // The section goes out with the scenario and comes back into the table.
    const QString path = folder.filePath(QStringLiteral("varied.json"));
    ASSERT_TRUE(window->saveFile(path));
    const nlohmann::json saved = parseScenarioJson(readScenarioText(path.toStdString()));
    EXPECT_EQ(saved["uncertainty"], document["uncertainty"]);
    auto* reopened = static_cast<ScenarioWindow*>(module->openers().scenario(path, {}));
    ASSERT_NE(reopened, nullptr) << messages.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(reopened->findChild<UncertaintyTab*>()->section().json(), document["uncertainty"]);

    // With results, the report gains a page with the charts and the statistics.
    const QString pdfPath = folder.filePath(QStringLiteral("report.pdf"));
    ASSERT_TRUE(window->exportReport(pdfPath));
    EXPECT_EQ(readBytes(pdfPath).count("/Type /Page\n"), 2);

    // An edit of the scenario makes the outcome stale: it is dropped, not shown beside it.
    nlohmann::json edited = document;
    edited["initial_volume"] = 80;
    window->load(ScenarioDocument(edited));
    EXPECT_EQ(tab->outcome(), nullptr);
}

TEST_F(UncertaintyTabTest, CancelAndClosingStopALongRun) {
    auto [window, tab] = open(*module, withSection(kMaxSamples));
    click(tab, "uncertaintyRun");
    ASSERT_TRUE(tab->running());
    QTest::qWait(200);
    click(tab, "uncertaintyCancel");
    ASSERT_TRUE(finishes(tab, 5000));
    EXPECT_EQ(tab->outcome(), nullptr);
    EXPECT_EQ(labelText(tab, "uncertaintyMessage"), QStringLiteral("Cancelled."));
    EXPECT_TRUE(control(tab, "uncertaintyRun")->isEnabled());

    // Closing the window mid-run stops the sampling before the tab goes.
    QPointer<UncertaintyTab> alive(tab);
    click(tab, "uncertaintyRun");
    ASSERT_TRUE(tab->running());
    window->close();
    settle();
    EXPECT_TRUE(alive.isNull());
}

TEST_F(UncertaintyTabTest, ARefusedRowIsMarkedWithTheReadersWordsAndNothingRuns) {
    struct Case {
        const char* what;
        nlohmann::json vary;  // as the table should give it to the reader
        int markedRow;
    };
    const Case cases[] = {
        {"gsd not above 1", {{"initial_volume", {{"lognormal", {{"gsd", 0.9}}}}}}, 0},
        {"unknown key path",
         {{"voiding.interval", {{"uniform", {120, 240}}}},
          {"volume.bladder", {{"normal", {{"sd", 1.0}}}}}},
         1},
        {"negative draws", {{"residual_volume", {{"normal", {{"sd", 20.0}}}}}}, 0},
    };
    for (const Case& c : cases) {
        nlohmann::json document = newScenarioDocument().json();
        document["uncertainty"] = {{"samples", 100}, {"seed", 1}, {"vary", c.vary}};
        auto [window, tab] = open(*module, document);
        std::string expected;
        try {
            const Scenario scenario =
                scenarioFromJson(newScenarioDocument().json(), module->standardData());
            readUncertaintySection(document["uncertainty"], newScenarioDocument().json(), scenario);
        } catch (const ScenarioError& e) {
            expected = e.what();
        }
        ASSERT_FALSE(expected.empty()) << c.what;
        click(tab, "uncertaintyRun");
        EXPECT_FALSE(tab->running()) << c.what;
        EXPECT_EQ(labelText(tab, "uncertaintyMessage").toStdString(), expected);
        auto* table = control<QTableWidget>(tab, "uncertaintyTable");
        for (int r = 0; r < table->rowCount(); ++r)
            EXPECT_EQ(table->item(r, 0)->background().style() != Qt::NoBrush, r == c.markedRow)
                << c.what << " row " << r;
        window->close();
        settle();
    }

    // A key path typed twice would merge into one key of the section; it is refused instead.
    auto [window, tab] = open(*module, withSection(100));
    auto* table = control<QTableWidget>(tab, "uncertaintyTable");
    table->item(2, 0)->setText(table->item(0, 0)->text());
    click(tab, "uncertaintyRun");
    EXPECT_FALSE(tab->running());
    EXPECT_TRUE(labelText(tab, "uncertaintyMessage").contains(QStringLiteral("vary it once")));
    EXPECT_NE(table->item(2, 0)->background().style(), Qt::NoBrush);
}

}  // namespace
}  // namespace orvane::testing
