#include "gui/save/form3.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStorageInfo>
#include <filesystem>

#include "gui/save/directory_list.h"
#include "report/results_file.h"

namespace orvane {

Form3::Form3(Module1& module, QWidget* parent) : QWidget(parent, Qt::Window), module_(module) {
    setObjectName(QStringLiteral("Form3"));
    setAttribute(Qt::WA_DeleteOnClose);
    showWhichResults();
    setClientSizeInTwips(this, 4680, 3300);

    Label1 = named(new QLabel(QStringLiteral("Enter file name:"), this), QStringLiteral("Label1"));
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    placeInTwips(Label1, 240, 120, 1695, 495);

    Text1 = named(new QLineEdit(this), QStringLiteral("Text1"));
    placeInTwips(Text1, 120, 360, 1815, 375);

    File1 = named(new QListWidget(this), QStringLiteral("File1"));
    placeInTwips(File1, 120, 840, 1815, 1650);

    Drive1 = named(new QComboBox(this), QStringLiteral("Drive1"));
    placeInTwips(Drive1, 2160, 240, 2415, 315);

    Dir1 = named(new DirectoryList(this), QStringLiteral("Dir1"));
    placeInTwips(Dir1, 2160, 600, 2415, 1890);

    Command1 = named(new QPushButton(QStringLiteral("OK"), this), QStringLiteral("Command1"));
    placeInTwips(Command1, 3480, 2640, 1095, 615);

    // The label sits above the name field and may only use the strip above it.
    Label1->resize(Label1->width(), Text1->y() - Label1->y());
    fitCaptionFont({labelCaption(Label1), buttonCaption(Command1)}, font());

    setTabOrder(Text1, Drive1);
    setTabOrder(Drive1, Dir1);
    setTabOrder(Dir1, Command1);
    setTabOrder(Command1, File1);

    Form3_Form_Load();

    connect(Drive1, &QComboBox::currentIndexChanged, this, &Form3::Form3_Drive1_Change);
    connect(Dir1, &DirectoryList::pathChanged, this, &Form3::Form3_Dir1_Change);
    connect(File1, &QListWidget::itemClicked, this, &Form3::Form3_File1_Click);
    connect(Text1, &QLineEdit::textChanged, this, &Form3::Form3_Text1_Change);
    connect(Command1, &QPushButton::clicked, this, &Form3::Form3_Command1_Click);
    // Enter in the name field presses OK.
    connect(Text1, &QLineEdit::returnPressed, Command1, &QPushButton::click);
    connect(&module_, &Module1::doseResultsChanged, this, &Form3::showWhichResults);
}

void Form3::showWhichResults() {
    const std::optional<DoseResults>& results = module_.doseResults();
    if (!results) {
        setWindowTitle(QStringLiteral("Save bladder dose results"));
        return;
    }
    const QString name = QString::fromStdString(results->parameters.name);
    const QString when =
        QStringLiteral("calculated ") + module_.calculatedAt().toString(QStringLiteral("HH:mm"));
    setWindowTitle(QStringLiteral("Save results: ") +
                   (name.isEmpty() ? when : name + QStringLiteral(", ") + when));
}

void Form3::Form3_Form_Load() {
    // The lists start at the process's current folder and the file system that holds it.
    const QString current = QDir::currentPath();
    const QString currentRoot = QStorageInfo(current).rootPath();
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        // A file system mounted at several places is offered once per place.
        if (volume.isValid() && Drive1->findText(volume.rootPath()) < 0) {
            Drive1->addItem(volume.rootPath());
        }
    }
    if (Drive1->findText(currentRoot) < 0) Drive1->addItem(currentRoot);
    Drive1->setCurrentIndex(Drive1->findText(currentRoot));

    Dir1->setPath(current);
    File1->addItems(filesIn(Dir1->path()));
    Text1->setFocus();
}

void Form3::Form3_Drive1_Change() {
    Dir1->setPath(Drive1->currentText());
}

void Form3::Form3_Dir1_Change() {
    File1->clear();
    File1->addItems(filesIn(Dir1->path()));
    // The file goes into the folder the user sees, not one shown before.
    composeResultsFilePath();
}

void Form3::Form3_File1_Click() {
    if (const QListWidgetItem* item = File1->currentItem()) {
        Text1->setText(item->text());
        pickedPath_ = QString::fromStdString(module_.ResultsFilePath());
    }
}

void Form3::Form3_Text1_Change() {
    composeResultsFilePath();
}

void Form3::composeResultsFilePath() {
    module_.setResultsFilePath((Dir1->path() + QLatin1Char('/') + Text1->text()).toStdString());
}

void Form3::Form3_Command1_Click() {
    // An empty name would write to the path of an earlier save, or name the folder itself.
    if (Text1->text().isEmpty()) {
        module_.services().messageSink(this, QStringLiteral("Enter a file name."));
        Text1->setFocus();
        return;
    }
    if (!module_.doseResults()) {
        module_.services().messageSink(this, QStringLiteral("There are no results to save yet."));
        return;
    }
    const QString path = QString::fromStdString(module_.ResultsFilePath());
    // Picking a listed file is the way to replace it; a typed name that exists is asked about.
    const QFileInfo target(path);
    if (path != pickedPath_ && target.exists() && !target.isDir() &&
        !module_.services().confirm(
            this, QStringLiteral("\"%1\" already exists.\nReplace it?").arg(path))) {
        Text1->setFocus();
        return;
    }
    const WriteOutcome outcome =
        WriteResultsFile(std::filesystem::path(module_.ResultsFilePath()), *module_.doseResults());
    if (!outcome.ok) {
        // The window stays open for another try; an existing file is left as it was.
        module_.services().messageSink(this, QString::fromStdString(outcome.message));
        return;
    }
    module_.announceSaved(path);
    close();
}

}  // namespace orvane
