// The left side of the scenario window: every key of a scenario file as a field, the document
// they make, and the field to blame for a refused key path.
#pragma once

#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "library/scenario_form.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QStackedWidget;
class QTableWidget;

namespace orvane {

class ScenarioEditor : public QWidget {
    Q_OBJECT
public:
    // Offers the standards, then the library entries of these names ({"library": NAME}).
    explicit ScenarioEditor(const QStringList& libraryNames = {}, QWidget* parent = nullptr);

    // How load finds the choice a name names (its position in the list, or -1); without it,
    // the name as listed in any case.
    void setChoiceOf(std::function<int(const std::string& name)> choiceOf) {
        choiceOf_ = std::move(choiceOf);
    }

    // Fills every field from a scenario file's form (scenarioForm). A radiopharmaceutical
    // given by its values, or a library name not offered, is kept as a choice of its own.
    void load(const ScenarioForm& form);

    // Offers these library entries after the standards instead; the choice shown stays (as a
    // choice of its own when its entry is gone).
    void setLibraryNames(const QStringList& libraryNames);

    // The form the fields make (scenarioDocument turns it into the scenario file).
    ScenarioForm form() const;

    // The values the reference patient gave the keys the file leaves out (as the scenario read
    // records them): each shows as its empty field's placeholder, its sources in the tooltip.
    void setPatientValues(const std::vector<SourcedInput>& values);

    // Marks the field of a key path ("voiding.voids[2].residual") and shows why, under the
    // field's label; clearMarks() takes every mark away.
    void markInvalid(const std::string& path, const std::string& reason);
    void clearMarks();
    // The message shown for the marked field, empty when none is marked.
    QString message() const;
    // The marked field (a line or a table), or null.
    QWidget* markedField() const;

signals:
    void edited();

protected:
    bool event(QEvent* event) override;

private:
    QLineEdit* addField(const char* name, const QString& label, const QString& key);
    QTableWidget* addTable(const char* name, const QString& key, const QStringList& columns);
    void showPattern();
    QLineEdit* line(const char* name) const;

    struct Field {
        QWidget* widget;
        QString label;
        QString key;  // key path; for a table the list's path
    };
    std::vector<Field> fields_;
    QWidget* marked_ = nullptr;
    QComboBox* radiopharmaceutical_;
    int libraryCount_;  // library entries offered after the standards
    std::function<int(const std::string&)> choiceOf_;
    JsonValue ownValues_;  // the radiopharmaceutical by its values, when there is one
    QComboBox* fillKind_;
    QStackedWidget* fillPages_;
    QComboBox* pattern_;
    QWidget* firstVoidRow_;
    QWidget* regularRows_;
    QWidget* capacityRow_;
    QComboBox* sex_;
    QComboBox* nightVoids_;
    std::string intervals_;  // the tables' schedule's, as loaded (no field: kept as it is)
    QWidget* diaryRows_;
    QCheckBox* then_;
    QTableWidget* steps_;
    QTableWidget* diary_;
    QLabel* message_;
};

}  // namespace orvane
