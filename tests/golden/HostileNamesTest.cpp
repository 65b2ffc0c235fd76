// Names in a data file are written by other people: tallyrow-export run on names made to start
// formulas, to drive a terminal and to break XML, its files read back by readers we did not write
// (LibreOffice, openpyxl, Python's XML parser).

#include "testsupport/ActivityData.h"
#include "testsupport/SystemTools.h"
#include "testsupport/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

const QString kPython = u"/usr/bin/python3"_s;
const QString kReader = QStringLiteral(TALLYROW_GOLDEN_DIR "/read_markup.py");

struct HostileName {
    QString name;
    QString shown; ///< what every report file shows of it: the name, or its escaped start
};

const HostileName kNames[] = {
    {u"=HYPERLINK(\"http://x\")"_s, u"=HYPERLINK(\"http://x\")"_s},
    {u"=cmd|' /C calc'!A0"_s, u"=cmd|' /C calc'!A0"_s},
    {u"+1+1"_s, u"+1+1"_s},
    {u"-2+3"_s, u"-2+3"_s},
    {u"@SUM(1)"_s, u"@SUM(1)"_s},
    {u"\t=1+2"_s, u"=1+2"_s},
    {u"\r=3+4"_s, u"=3+4"_s},
    {u"evil\x1b]0;PWNED\x07\x1b[2J\nFAKE: all good"_s, uR"(evil\x1b]0;PWNED\x07\x1b[2J)"_s},
    {u"ctl\x01\x7f\u0085\ufffe"_s, uR"(ctl\x01\x7f\x85\ufffe)"_s},
    {u"_x0041_ Jürgen ß İ"_s, u"_x0041_ Jürgen ß İ"_s},
};

using tallyrow::test::ProgramRun;
using tallyrow::test::runProgram;

// A character that acts rather than shows; tab, LF and CR only where `breaksAllowed`.
bool actsRatherThanShows(QChar c, bool breaksAllowed) {
    const char16_t u = c.unicode();
    if (breaksAllowed && (u == u'\t' || u == u'\n' || u == u'\r'))
        return false;
    return u < 0x20 || (u >= 0x7f && u <= 0x9f) || u == 0xfffe || u == 0xffff;
}

class HostileNames : public ::testing::Test {
protected:
    void SetUp() override {
        tallyrow::test::ensureCoreApp();
        ASSERT_TRUE(m_dir.isValid());
        QVector<tallyrow::test::ActivityRow> rows;
        int seconds = 100;
        for (const HostileName& n : kNames)
            rows << tallyrow::test::dayRow(n.name, u"PC"_s, QDate(2004, 3, 1),
                                           tallyrow::test::officeHours(seconds += 100));
        tallyrow::test::writeSqliteDataFile(path(u"names.yrd"_s), rows);
    }

    QString path(const QString& name) const { return m_dir.filePath(name); }

    ProgramRun tool(const QString& data, const QString& format, const QString& output) {
        return tool({u"--data"_s, data, u"--report"_s, u"users"_s, u"--from"_s, u"2004-03-01"_s, u"--to"_s,
                     u"2004-03-31"_s, u"--details"_s, u"--format"_s, format, u"--output"_s, output});
    }

    ProgramRun tool(const QStringList& args) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"LC_ALL"_s, u"en_US.UTF-8"_s);
        env.insert(u"HOME"_s, m_dir.path());
        env.insert(u"XDG_CONFIG_HOME"_s, path(u"config"_s));
        env.insert(u"XDG_CACHE_HOME"_s, path(u"cache"_s));
        env.remove(u"QT_QPA_PLATFORM"_s);
        return runProgram(tallyrow::test::binPath(u"tallyrow-export"_s), args, env);
    }

    static QByteArray readFile(const QString& file) {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // The cells (or texts) of a file as read_markup.py reads them; fails the test on a part
    // that is not well-formed.
    static QJsonArray cellsOf(const QString& file) {
        const ProgramRun r = runProgram(kPython, {kReader, file}, QProcessEnvironment::systemEnvironment());
        EXPECT_EQ(r.exitCode, 0) << r.err.constData();
        const QJsonObject read = QJsonDocument::fromJson(r.out).object();
        EXPECT_FALSE(read.value(u"parts"_s).toArray().isEmpty());
        EXPECT_TRUE(read.value(u"malformed"_s).toArray().isEmpty())
            << QJsonDocument(read.value(u"malformed"_s).toArray()).toJson().constData();
        return read.value(u"cells"_s).toArray();
    }

    QTemporaryDir m_dir;
};

bool havePythonReaders() {
    return runProgram(kPython, {u"-c"_s, u"import openpyxl"_s}, QProcessEnvironment::systemEnvironment())
               .exitCode == 0;
}

} // namespace

// The workbook and the web page well-formed in every part; the text file, directly and from a
// report document that keeps the names as they are, without a control character or forged line.
TEST_F(HostileNames, EveryFileShowsEachNameWithItsControlCharactersEscaped) {
    if (!havePythonReaders())
        GTEST_SKIP() << "/usr/bin/python3 with openpyxl is not installed";
    ASSERT_EQ(tool(path(u"names.yrd"_s), u"rdf"_s, path(u"users.rdf"_s)).exitCode, 0);
    ASSERT_EQ(tool({u"--document"_s, path(u"users.rdf"_s), u"--format"_s, u"txt"_s, u"--output"_s,
                    path(u"again.txt"_s)})
                  .exitCode,
              0);
    for (const QString& format : {u"xlsx"_s, u"html"_s, u"txt"_s}) {
        SCOPED_TRACE(format.toStdString());
        const QString file = path(u"users."_s + format);
        ASSERT_EQ(tool(path(u"names.yrd"_s), format, file).exitCode, 0);
        QStringList texts;
        if (format == u"txt"_s) {
            texts = QString::fromUtf8(readFile(file)).split(QRegularExpression(u"[\n\f]"_s));
            EXPECT_EQ(readFile(path(u"again.txt"_s)), readFile(file));
        }
        for (const QJsonValue& cell : format == u"txt"_s ? QJsonArray() : cellsOf(file))
            texts << cell.toArray().at(0).toString();
        for (const QString& text : texts) {
            EXPECT_FALSE(format == u"txt"_s && text.startsWith(u"FAKE"_s));
            for (const QChar c : text)
                EXPECT_FALSE(actsRatherThanShows(c, format != u"txt"_s)) << text.toStdString();
        }
        for (const HostileName& n : kNames)
            EXPECT_TRUE(texts.join(u'\n').contains(n.shown)) << n.shown.toStdString();
    }
}

// JSON is read by programs, not spreadsheets: each name is there as the data holds it, without
// the CSV's apostrophe against formulas, its control characters escaped by JSON itself.
TEST_F(HostileNames, JsonHoldsEachNameAsTheDataHoldsIt) {
    const ProgramRun r = tool(path(u"names.yrd"_s), u"json"_s, u"-"_s);
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    QJsonParseError error{};
    const QJsonDocument json = QJsonDocument::fromJson(r.out, &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    QStringList names;
    for (const QJsonValue row : json[u"rows"_s].toArray())
        names << row[0].toString();
    QStringList expected;
    for (const HostileName& n : kNames)
        expected << n.name;
    names.sort();
    expected.sort();
    EXPECT_EQ(names, expected);
    EXPECT_FALSE(r.out.contains('\x1b')) << "a raw escape would drive a terminal";
}

// LibreOffice opens the CSV file with formulas evaluated: a name is text, a figure a number.
TEST_F(HostileNames, CsvNamesOpenAsTextNeverAsFormulas) {
    if (!havePythonReaders() || QStandardPaths::findExecutable(u"soffice"_s).isEmpty())
        GTEST_SKIP() << "LibreOffice or openpyxl is not installed";
    const ProgramRun r = tool(path(u"names.yrd"_s), u"csv"_s, path(u"users.csv"_s));
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    QDir().mkpath(path(u"lo"_s));
    // Comma, double quote, UTF-8, from line 1, language en-US, formulas evaluated.
    const ProgramRun lo = runProgram(
        u"soffice"_s,
        {u"-env:UserInstallation="_s + QUrl::fromLocalFile(path(u"lo-profile"_s)).toString(), u"--headless"_s,
         u"--norestore"_s, u"--infilter=CSV:44,34,76,1,,1033,false,false,false,false,false,-1,true"_s,
         u"--convert-to"_s, u"xlsx"_s, u"--outdir"_s, path(u"lo"_s), path(u"users.csv"_s)},
        QProcessEnvironment::systemEnvironment());
    ASSERT_EQ(lo.exitCode, 0) << lo.out.constData() << lo.err.constData();
    QString texts;
    int numbers = 0;
    for (const QJsonValue& cell : cellsOf(path(u"lo/users.xlsx"_s))) {
        const QString type = cell.toArray().at(1).toString();
        EXPECT_NE(type, u"f"_s) << cell.toArray().at(0).toString().toStdString();
        texts += type == u"s"_s ? cell.toArray().at(0).toString() + u'\n' : QString();
        numbers += type == u"n"_s ? 1 : 0;
    }
    // LibreOffice reads a line break inside a field as a line feed, and leaves other control
    // characters out; the names without them are read as text, whole.
    for (const HostileName& n : kNames) {
        if (std::none_of(n.name.cbegin(), n.name.cend(),
                         [](QChar c) { return actsRatherThanShows(c, true); })) {
            EXPECT_TRUE(texts.contains(QString(n.name).replace(u'\r', u'\n') + u'\n'))
                << n.name.toStdString();
        }
    }
    // Total, share and active days of each name stay numbers.
    EXPECT_EQ(numbers, 3 * int(std::size(kNames)));
}

TEST_F(HostileNames, ARefusedRowIsNamedOnOneLineWithoutRawControlCharacters) {
    const HostileName& evil = kNames[7];
    tallyrow::test::writeSqliteDataFile(path(u"refused.yrd"_s),
                                        {tallyrow::test::uniformRow(1521, evil.name, u"PC\x1b[2J"_s, 5000)});
    const ProgramRun r = tool(path(u"refused.yrd"_s), u"csv"_s, path(u"refused.csv"_s));
    EXPECT_EQ(r.exitCode, 1);
    const QString err = QString::fromUtf8(r.err);
    EXPECT_TRUE(err.contains(evil.shown + uR"(\nFAKE: all good", computer "PC\x1b[2J")"_s))
        << r.err.constData();
    EXPECT_EQ(err.count(u'\n'), 1) << r.err.constData();
    EXPECT_TRUE(err.endsWith(u'\n'));
    for (const QChar c : err.chopped(1))
        EXPECT_FALSE(actsRatherThanShows(c, false)) << r.err.constData();
}
