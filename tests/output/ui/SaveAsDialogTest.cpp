#include "output/ui/SaveAsDialog.h"

#include "testsupport/ActivityData.h"
#include "datafile/DataPath.h"
#include "datafile/ui/BrowseButton.h"
#include "activity/ActivityPlanner.h"
#include "reports/TotalsReport.h"
#include "support/CommandLine.h"
#include "support/Registry.h"
#include "support/ScriptedErrorReporter.h"
#include "testsupport/TestEnv.h"

#include <QAccessible>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPushButton>

#include <QLineEdit>

#include <QLabel>

#include <QTest>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace tallyrow;

namespace {

QByteArray contentOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

class SaveDialog : public test::ServicesFixture {
protected:
    void SetUp() override {
        test::ServicesFixture::SetUp();
        test::ensureWidgetsApp();
        const QString data = env().path(u"office.yrd"_s);
        QVector<test::ActivityRow> rows;
        for (int d = 6; d <= 12; ++d)
            rows.append(test::dayRow(u"alice"_s, u"PC1"_s, QDate(2024, 5, d), test::officeHours(1800)));
        test::writeSqliteDataFile(data, rows);
        session().messageBox->setSettingsKey(applicationKey());

        report = std::make_unique<TotalsReport>();
        TotalsReportInputs in;
        in.range = {QDate(2024, 5, 6), QDate(2024, 5, 12)};
        in.units = 1;
        in.period = TotalsPeriod::Days;
        in.timeScale = TimeScale::Minutes;
        in.showDetails = true;
        in.dataFile = data;
        report->setInputs(in);
        report->setSource(openActivitySource(data, nullptr));
        report->Run();
        ASSERT_FALSE(report->pages().pages.isEmpty());
        messageBox()->clearRequests();
    }

    static BrowseButton* browse(SaveAsDialog& d) { return d.findChild<BrowseButton*>(u"BrowseButton1"_s); }
    static QComboBox* formats(SaveAsDialog& d) { return d.findChild<QComboBox*>(u"cboSaveAs"_s); }
    static void pressOK(SaveAsDialog& d) { d.findChild<QPushButton*>(u"OKButton"_s)->click(); }
    QString documents() const { return const_cast<SaveDialog*>(this)->env().documentsFolder(); }
    QString lastFolder() const {
        return readSetting(u"LastReportFolder"_s, u"<none>"_s, QString(), true, kSettingsHive);
    }
    QList<MessageRequest> boxes() const { return messageBox()->requests(); }

    std::unique_ptr<TotalsReport> report;
};

} // namespace

TEST_F(SaveDialog, ProposesPdfInTheDocumentsFolderUnderTheReportName) {
    SaveAsDialog dialog(session(), report.get());
    dialog.reportName = u"Usage Report - alice - PC1"_s;
    dialog.load();
    EXPECT_EQ(browse(dialog)->Path(), documents() + u"/Usage Report - alice - PC1.pdf"_s);
    EXPECT_EQ(dialog.windowTitle(), u"Save Usage Report - alice - PC1"_s);
    EXPECT_EQ(browse(dialog)->DialogTitle(), u"Save Usage Report - alice - PC1 as..."_s);
    EXPECT_EQ(browse(dialog)->Filter(), u"PDF Files(*.pdf)|*.pdf|"_s);

    const QStringList entries{
        u"Acrobat (PDF)"_s,           u"Rich Text File (RTF)"_s, u"Text (TXT)"_s,
        u"Excel Spreadsheet (XLS)"_s, u"Active Report (RDF)"_s,  u"CSV (comma separated)"_s,
        u"Excel workbook (.xlsx)"_s,  u"Web page (HTML)"_s,      u"JSON (report table)"_s};
    const QList<int> codes{1, 3, 2, 4, 0, 5, 6, 7, 8};
    ASSERT_EQ(formats(dialog)->count(), entries.size());
    for (int i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(formats(dialog)->itemText(i), entries[i]);
        EXPECT_EQ(formats(dialog)->itemData(i).toInt(), codes[i]);
    }
    EXPECT_EQ(formats(dialog)->currentIndex(), 0);
    // A screen reader names the path and the list by their labels.
    EXPECT_EQ(dialog.findChild<QLineEdit*>(u"txtPath"_s)->accessibleName(),
              u"Save to the following location"_s);
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(formats(dialog));
    EXPECT_EQ(list->text(QAccessible::Name), u"Save as"_s);
    EXPECT_EQ(list->text(QAccessible::Value), entries[0]) << "the chosen format is the list's value";
}

TEST_F(SaveDialog, FolderComesFromTheSettingThenDocumentsThenHomeNeverTheProgramFolder) {
    QDir().mkpath(env().path(u"Reports"_s));
    struct Case {
        const char* name;
        QString stored;
        bool documentsKnown;
        QString expected;
    } cases[] = {
        {"stored folder gets its separator", env().path(u"Reports"_s), true,
         env().path(u"Reports/report.pdf"_s)},
        {"the root keeps its single separator", u"/"_s, true, u"/report.pdf"_s},
        {"a stored folder since removed", env().path(u"gone"_s), true, documents() + u"/report.pdf"_s},
        {"nothing stored", QString(), true, documents() + u"/report.pdf"_s},
        {"no documents folder", QString(), false, env().homeFolder() + u"/report.pdf"_s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.stored.isEmpty())
            writeSetting(u"LastReportFolder"_s, QString(), QString(), true, kSettingsHive);
        else
            writeSetting(u"LastReportFolder"_s, c.stored, QString(), true, kSettingsHive);
        env().setDocumentsFolder(c.documentsKnown ? env().path(u"home/Documents"_s) : QString());
        SaveAsDialog dialog(session(), report.get());
        dialog.load();
        EXPECT_EQ(browse(dialog)->Path(), c.expected);
        EXPECT_EQ(dialog.windowTitle(), u"Save report"_s);
    }
}

TEST_F(SaveDialog, ChangingTheFormatPutsTheProposalBack) {
    SaveAsDialog dialog(session(), report.get());
    dialog.reportName = u"Usage Report"_s;
    dialog.load();
    browse(dialog)->setPath(env().path(u"elsewhere/mine.pdf"_s));
    formats(dialog)->setCurrentIndex(2);
    EXPECT_EQ(browse(dialog)->Path(), documents() + u"/Usage Report.txt"_s);
    EXPECT_EQ(browse(dialog)->Filter(), u"Text Files(*.txt)|*.txt|"_s);
    formats(dialog)->setCurrentIndex(5);
    EXPECT_EQ(browse(dialog)->Path(), documents() + u"/Usage Report.csv"_s);
    EXPECT_EQ(browse(dialog)->Filter(), u"CSV files(*.csv)|*.csv|"_s);
    formats(dialog)->setCurrentIndex(6);
    EXPECT_EQ(browse(dialog)->Path(), documents() + u"/Usage Report.xlsx"_s);
    EXPECT_EQ(browse(dialog)->Filter(), u"Excel workbook (.xlsx)|*.xlsx|"_s);
}

TEST_F(SaveDialog, SavesInEveryFormatAndSaysSo) {
    struct Case {
        int index;
        const char* extension;
        QByteArray startsWith;
    } cases[] = {
        {0, ".pdf", "%PDF"},
        {1, ".rtf", "{\\rtf"},
        {2, ".txt", ""},
        {3, ".xls", "\xD0\xCF\x11\xE0"},
        {4, ".rdf", ""},
        {5, ".csv", "Period,Total\r\n2024-05-06,240\r\n"},
        {6, ".xlsx", "PK\x03\x04"},
        {7, ".html", "<!DOCTYPE html>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.extension);
        messageBox()->clearRequests();
        SaveAsDialog dialog(session(), report.get());
        dialog.reportName = u"week"_s;
        dialog.load();
        formats(dialog)->setCurrentIndex(c.index);
        const QString path = documents() + u"/week"_s + QString::fromLatin1(c.extension);
        pressOK(dialog);
        const QByteArray bytes = contentOf(path);
        ASSERT_FALSE(bytes.isEmpty());
        EXPECT_TRUE(bytes.startsWith(c.startsWith)) << bytes.left(60).toStdString();
        ASSERT_EQ(boxes().size(), 1);
        const MessageRequest& saved = boxes().constFirst();
        EXPECT_EQ(saved.prompt, u"Report saved as: "_s + path);
        EXPECT_EQ(saved.buttons, 65600);
        EXPECT_EQ(saved.title, u"Report saved"_s);
        EXPECT_EQ(saved.helpContext, -1);
        EXPECT_EQ(saved.rememberName, u"Report saved confirmation"_s);
        EXPECT_TRUE(saved.showCheckBox);
        EXPECT_EQ(saved.checkBoxCaption, u"Don't show this message again"_s);
        EXPECT_EQ(lastFolder(), documents() + u"/"_s);
    }
    EXPECT_TRUE(contentOf(documents() + u"/week.txt"_s).contains("For all users on any computer"));
}

TEST_F(SaveDialog, AsksBeforeOverwritingAndCanBeToldNotToAskAgain) {
    const QString path = documents() + u"/week.pdf"_s;
    writeFile(path, "old report");
    {
        messageBox()->queueAnswer(MsgAnswer::No);
        SaveAsDialog dialog(session(), report.get());
        dialog.reportName = u"week"_s;
        dialog.load();
        dialog.show();
        pressOK(dialog);
        ASSERT_EQ(boxes().size(), 1) << "No writes nothing and says nothing more";
        EXPECT_TRUE(dialog.isVisible()) << "the dialog comes back for another name";
        EXPECT_NE(dialog.result(), QDialog::Accepted);
        const MessageRequest& q = boxes().constFirst();
        EXPECT_EQ(q.prompt, u"The file '"_s + path + u"' already exists. Do you want to overwrite it?"_s);
        EXPECT_EQ(q.buttons, 36);
        EXPECT_EQ(q.title, u"File exists"_s);
        EXPECT_EQ(q.rememberName, u"Always overwrite report"_s);
        EXPECT_TRUE(q.showCheckBox);
        EXPECT_EQ(q.checkBoxCaption, u"Always overwrite without asking"_s);
        EXPECT_EQ(contentOf(path), QByteArray("old report"));
        EXPECT_EQ(lastFolder(), u"<none>"_s);
    }
    {
        messageBox()->clearRequests();
        messageBox()->queueAnswer(MsgAnswer::Yes, true);
        SaveAsDialog dialog(session(), report.get());
        dialog.reportName = u"week"_s;
        dialog.load();
        dialog.show();
        pressOK(dialog);
        ASSERT_EQ(boxes().size(), 2);
        EXPECT_EQ(boxes()[1].title, u"Report saved"_s);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_TRUE(contentOf(path).startsWith("%PDF"));
    }
    {
        messageBox()->clearRequests();
        writeFile(path, "old report");
        SaveAsDialog dialog(session(), report.get());
        dialog.reportName = u"week"_s;
        dialog.load();
        pressOK(dialog);
        ASSERT_EQ(boxes().size(), 1) << "the ticked box answers Yes without asking";
        EXPECT_EQ(boxes()[0].title, u"Report saved"_s);
        EXPECT_TRUE(contentOf(path).startsWith("%PDF"));
    }
}

TEST_F(SaveDialog, AFailedSaveNamesItsCauseAndIsNotRemembered) {
    const QString taken = env().path(u"taken.pdf"_s);
    QDir().mkpath(taken); // a folder where the file should go
    struct Case {
        const char* name;
        QString path;
        QString reason;
    } cases[] = {
        {"missing folder", env().path(u"no/such/folder/week.pdf"_s),
         u"The folder "_s + env().path(u"no/such/folder"_s) + u" does not exist."_s},
        {"a folder in the way", taken,
         u"The system reported: '"_s + taken + u"' is a folder, not a regular file."_s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        messageBox()->clearRequests();
        SaveAsDialog dialog(session(), report.get());
        dialog.reportName = u"week"_s;
        dialog.load();
        browse(dialog)->setPath(c.path);
        pressOK(dialog);
        ASSERT_EQ(boxes().size(), 1);
        EXPECT_EQ(boxes()[0].prompt,
                  u"Sorry, I couldn't save the report: "_s + c.path + u"\r\n"_s + c.reason);
        EXPECT_FALSE(boxes()[0].prompt.contains(u"another program"_s));
        EXPECT_EQ(boxes()[0].buttons, 4112);
        EXPECT_EQ(boxes()[0].title, u"Report not saved"_s);
        EXPECT_EQ(lastFolder(), u"<none>"_s) << "a failed save is not remembered";
        EXPECT_NE(dialog.result(), QDialog::Accepted) << "the dialog stays open for another name";
    }
    EXPECT_FALSE(QFile::exists(env().path(u"no/such/folder/week.pdf"_s)));
}

TEST_F(SaveDialog, RemembersTheFolderSavedToAndProposesItNextTime) {
    QDir().mkpath(env().path(u"elsewhere"_s));
    {
        SaveAsDialog dialog(session(), report.get());
        dialog.reportName = u"week"_s;
        dialog.load();
        browse(dialog)->setPath(env().path(u"elsewhere/week.pdf"_s));
        pressOK(dialog);
    }
    EXPECT_TRUE(QFile::exists(env().path(u"elsewhere/week.pdf"_s)));
    EXPECT_EQ(lastFolder(), env().path(u"elsewhere/"_s));
    SaveAsDialog next(session(), report.get());
    next.reportName = u"month"_s;
    next.load();
    EXPECT_EQ(browse(next)->Path(), env().path(u"elsewhere/month.pdf"_s));

    // Return in the path field saves, as OK does; the field is named by its label.
    auto* path = browse(next)->findChild<QLineEdit*>(u"txtPath"_s);
    QTest::keyClick(path, Qt::Key_Return);
    EXPECT_TRUE(QFile::exists(env().path(u"elsewhere/month.pdf"_s)));
    EXPECT_EQ(next.findChild<QLabel*>(u"Label1"_s)->buddy(), path);
}

TEST_F(SaveDialog, UnknownFormatCodesWriteTheReportDocument) {
    const QString asPdf = env().path(u"odd.pdf"_s);
    const QString asRdf = env().path(u"plain.rdf"_s);
    ASSERT_TRUE(saveShownReport(report.get(), asPdf, static_cast<ReportFormat>(99)));
    ASSERT_TRUE(saveShownReport(report.get(), asRdf, ReportFormat::Rdf));
    EXPECT_EQ(contentOf(asPdf), contentOf(asRdf));
    EXPECT_FALSE(saveShownReport(nullptr, env().path(u"none.pdf"_s), ReportFormat::Pdf));
}

TEST_F(SaveDialog, NeverWritesOverTheDataFileOrTheLogBesideIt) {
    const QString data = env().path(u"office.yrd"_s);
    test::writeSqliteDataFile(data, {});
    session().dataPath = data;
    for (const QString& path : {data, data + u"-wal"_s}) {
        SCOPED_TRACE(path.toStdString());
        messageBox()->clearRequests();
        SaveAsDialog dialog(session(), report.get());
        dialog.reportName = u"week"_s;
        dialog.load();
        browse(dialog)->setPath(path);
        pressOK(dialog);
        ASSERT_EQ(boxes().size(), 1);
        EXPECT_TRUE(boxes()[0].prompt.contains(u"the data file"_s)) << boxes()[0].prompt.toStdString();
        EXPECT_TRUE(dialog.isVisible() || !dialog.result()) << "the dialog waits for another name";
    }
    EXPECT_FALSE(QFile::exists(data + u"-wal"_s));
}
