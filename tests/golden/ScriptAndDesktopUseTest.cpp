// tallyrow-export as scripts and desktops meet it: the help and version on a pipe, JSON that
// other programs read, the data file it finds by itself, the progress of a long read, shell
// completion, and the file type a saved report is given.

#include "testsupport/ActivityData.h"
#include "testsupport/SystemTools.h"
#include "testsupport/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using tallyrow::test::binPath;
using tallyrow::test::ProgramRun;

namespace {

const QString kSourceDir = QStringLiteral(TALLYROW_GOLDEN_DIR "/../..");

class ScriptAndDesktopUse : public ::testing::Test {
protected:
    void SetUp() override {
        tallyrow::test::ensureCoreApp();
        m_data = path(u"office.yrd"_s);
        tallyrow::test::writeSqliteDataFile(m_data, tallyrow::test::officeRows());
    }

    QString path(const QString& name) const { return m_home.filePath(name); }

    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"LC_ALL"_s, u"en_US.UTF-8"_s);
        env.insert(u"HOME"_s, m_home.path());
        env.insert(u"XDG_CONFIG_HOME"_s, path(u"config"_s));
        env.insert(u"XDG_CONFIG_DIRS"_s, path(u"etc"_s));
        env.insert(u"XDG_CACHE_HOME"_s, path(u"cache"_s));
        env.insert(u"XDG_DATA_HOME"_s, path(u"share"_s));
        env.insert(u"TOOL"_s, binPath(u"tallyrow-export"_s));
        env.remove(u"TALLYROW_DATA"_s);
        env.remove(u"QT_QPA_PLATFORM"_s);
        return env;
    }

    ProgramRun tool(const QStringList& args, const QProcessEnvironment& env) const {
        return tallyrow::test::runProgram(binPath(u"tallyrow-export"_s), args, env);
    }
    ProgramRun tool(const QStringList& args) const { return tool(args, environment()); }
    ProgramRun shell(const QString& program, const QStringList& args) const {
        return tallyrow::test::runProgram(program, args, environment());
    }

    static QStringList report(const QString& kind) {
        return {u"--report"_s, kind, u"--from"_s, u"2004-03-01"_s, u"--to"_s, u"2004-06-30"_s};
    }

    static QByteArray readFile(const QString& file) {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir m_home;
    QString m_data;
};

} // namespace

TEST_F(ScriptAndDesktopUse, HelpAndVersionGoToStandardOutputAndEndWell) {
    for (const QString& option : {u"--help"_s, u"-h"_s}) {
        const ProgramRun r = tool({option});
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_TRUE(r.out.startsWith("Usage: tallyrow-export")) << r.out.constData();
        EXPECT_TRUE(r.err.isEmpty()) << r.err.constData();
    }
    const ProgramRun v = tool({u"--version"_s});
    EXPECT_EQ(v.exitCode, 0);
    EXPECT_TRUE(QRegularExpression(u"^tallyrow-export \\d+\\.\\d+\\.\\d+\\n$"_s)
                    .match(QString::fromUtf8(v.out))
                    .hasMatch())
        << v.out.constData();
}

// The JSON holds the CSV's columns and rows, numbers as numbers, and is read back by a JSON
// reader we did not write.
TEST_F(ScriptAndDesktopUse, JsonHoldsTheCsvTableAndIsReadByPython) {
    for (const QString& kind : {u"day"_s, u"totals"_s, u"users"_s}) {
        SCOPED_TRACE(kind.toStdString());
        const QStringList args = QStringList{u"--data"_s, m_data, u"--user"_s, u"anna"_s} + report(kind);
        ASSERT_EQ(tool(args + QStringList{u"--output"_s, path(u"t.csv"_s)}).exitCode, 0);
        const ProgramRun json = tool(args + QStringList{u"--format"_s, u"json"_s, u"--output"_s, u"-"_s});
        ASSERT_EQ(json.exitCode, 0) << json.err.constData();
        QFile f(path(u"t.json"_s));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(json.out);
        f.close();
        const ProgramRun python = shell(u"python3"_s, {u"-m"_s, u"json.tool"_s, path(u"t.json"_s)});
        EXPECT_EQ(python.exitCode, 0) << python.err.constData();

        const QJsonObject o = QJsonDocument::fromJson(json.out).object();
        EXPECT_EQ(o[u"report"_s].toString(), kind);
        EXPECT_EQ(o[u"range"_s][u"from"_s].toString(), u"2004-03-01"_s);
        EXPECT_EQ(o[u"whom"_s][u"user"_s].toString(), u"anna"_s);
        EXPECT_TRUE(o[u"whom"_s][u"computer"_s].isNull());
        const QList<QByteArray> lines = readFile(path(u"t.csv"_s)).trimmed().split('\n');
        const QStringList header = QString::fromUtf8(lines[0].trimmed()).split(u',');
        EXPECT_EQ(o[u"columns"_s].toVariant().toStringList(), header);
        const QJsonArray rows = o[u"rows"_s].toArray();
        ASSERT_EQ(rows.size(), lines.size() - 1);
        const int total = int(header.indexOf(u"Total"_s));
        double sum = 0;
        for (qsizetype i = 0; i < rows.size(); ++i) {
            const QStringList cells = QString::fromUtf8(lines[i + 1].trimmed()).split(u',');
            EXPECT_EQ(rows[i][0].toString(), cells[0]);
            EXPECT_TRUE(rows[i][total].isDouble());
            EXPECT_EQ(rows[i][total].toDouble(), cells[total].toDouble());
            sum += cells[total].toDouble();
        }
        EXPECT_EQ(o[u"totals"_s][u"Total"_s].toDouble(), sum);
        EXPECT_FALSE(o[u"totals"_s].toObject().contains(u"Share"_s));
    }
}

// Without --data: TALLYROW_DATA, else the data file the window's setting names.
TEST_F(ScriptAndDesktopUse, WithoutDataTheEnvironmentThenTheWindowsSettingNameTheFile) {
    const QStringList args =
        report(u"totals"_s) + QStringList{u"--output"_s, u"-"_s, u"--format"_s, u"csv"_s};
    const ProgramRun expected = tool(QStringList{u"--data"_s, m_data} + args);
    ASSERT_EQ(expected.exitCode, 0) << expected.err.constData();

    QProcessEnvironment env = environment();
    env.insert(u"TALLYROW_DATA"_s, m_data);
    EXPECT_EQ(tool(args, env).out, expected.out);

    ASSERT_TRUE(QDir().mkpath(path(u"config/Quenmarsh"_s)));
    QFile settings(path(u"config/Quenmarsh/Tyrow.conf"_s));
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write("[Software\\Quenmarsh\\Tyrow\\]\nDatabasePath=text:" + m_data.toUtf8() + "\n");
    settings.close();
    EXPECT_EQ(tool(args).out, expected.out);
    env.insert(u"TALLYROW_DATA"_s, path(u"missing.yrd"_s));
    const ProgramRun missing = tool(args, env);
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains("missing.yrd")) << missing.err.constData();
}

// On a terminal a first read says how far it has come, on one line wiped at the end; on a pipe
// nothing is said.
TEST_F(ScriptAndDesktopUse, AFirstReadShowsItsProgressOnATerminalOnly) {
    if (QStandardPaths::findExecutable(u"script"_s).isEmpty())
        GTEST_SKIP() << "script (util-linux) is not installed";
    const QString run = u"$TOOL --data %1 --report totals --from 2004-03-01 --to 2004-06-30 --no-cache "
                        u"--output %2 >/dev/null"_s.arg(m_data, path(u"t.csv"_s));
    const ProgramRun terminal = shell(u"script"_s, {u"-qec"_s, run, u"/dev/null"_s});
    ASSERT_EQ(terminal.exitCode, 0) << terminal.out.constData();
    EXPECT_TRUE(terminal.out.contains("tallyrow-export: reading")) << terminal.out.constData();
    EXPECT_TRUE(terminal.out.contains("100%")) << terminal.out.constData();
    EXPECT_TRUE(terminal.out.contains("\r\x1b[K")) << "the line is wiped";
    const ProgramRun pipe = shell(u"/bin/sh"_s, {u"-c"_s, run});
    EXPECT_EQ(pipe.exitCode, 0);
    EXPECT_TRUE(pipe.err.isEmpty()) << pipe.err.constData();
}

// The completion is loaded into an interactive bash as bash-completion loads it, then asked.
TEST_F(ScriptAndDesktopUse, BashCompletesOptionsChoicesAndTheNamesInTheDataFile) {
    const QString loader = u"/usr/share/bash-completion/bash_completion"_s;
    if (!QFile::exists(loader))
        GTEST_SKIP() << "bash-completion is not installed";
    // `words` as typed after the command, the last one being completed.
    const auto complete = [&](const QStringList& words) {
        const QString script =
            u". %1; . %2/desktop/completion/tallyrow-export.bash; COMP_WORDS=(\"$TOOL\" \"$@\"); "
            u"COMP_CWORD=$#; COMP_LINE=\"${COMP_WORDS[*]}\"; COMP_POINT=${#COMP_LINE}; "
            u"_tallyrow_export; printf '%s\\n' \"${COMPREPLY[@]}\""_s.arg(loader, kSourceDir);
        const ProgramRun r = shell(u"bash"_s, QStringList{u"-i"_s, u"-c"_s, script, u"bash"_s} + words);
        EXPECT_EQ(r.exitCode, 0) << r.err.constData();
        QStringList offered = QString::fromUtf8(r.out).split(u'\n', Qt::SkipEmptyParts);
        offered.sort();
        return offered;
    };
    EXPECT_EQ(complete({u"--rep"_s}), QStringList{u"--report"_s});
    EXPECT_EQ(complete({u"--report"_s, {}}), (QStringList{u"day"_s, u"totals"_s, u"users"_s}));
    EXPECT_EQ(complete({u"--format"_s, u"x"_s}), (QStringList{u"xls"_s, u"xlsx"_s}));
    EXPECT_TRUE(complete({u"--format"_s, {}}).contains(u"json"_s));
    EXPECT_EQ(complete({u"--chart"_s, u"2D\\ P"_s}), QStringList{u"2D Pie"_s});
    EXPECT_EQ(complete({u"--data"_s, m_data, u"--user"_s, {}}),
              (QStringList{u"Jürgen"_s, u"anna"_s, u"bob"_s, u"carol"_s, u"o'neil"_s}))
        << "the users of the data file, as they are: readline escapes what needs it";
}

// A saved report is known by its header, whatever its name, once the package's type is
// installed; RDF/XML that shares the extension stays RDF/XML.
TEST_F(ScriptAndDesktopUse, ASavedReportIsKnownByItsHeaderAsTheProgramsFileType) {
    if (QStandardPaths::findExecutable(u"xdg-mime"_s).isEmpty() ||
        QStandardPaths::findExecutable(u"gio"_s).isEmpty() ||
        QStandardPaths::findExecutable(u"update-mime-database"_s).isEmpty())
        GTEST_SKIP() << "xdg-mime, gio or update-mime-database is not installed";
    ASSERT_TRUE(QDir().mkpath(path(u"share/mime/packages"_s)));
    ASSERT_TRUE(QFile::copy(kSourceDir + u"/desktop/tallyrow-reports-mime.xml"_s,
                            path(u"share/mime/packages/tallyrow-reports.xml"_s)));
    ASSERT_EQ(shell(u"update-mime-database"_s, {path(u"share/mime"_s)}).exitCode, 0);
    ASSERT_EQ(tool(QStringList{u"--data"_s, m_data} + report(u"day"_s) +
                   QStringList{u"--output"_s, path(u"march.rdf"_s)})
                  .exitCode,
              0);
    ASSERT_TRUE(QFile::copy(path(u"march.rdf"_s), path(u"march.saved"_s)));
    QFile xml(path(u"graph.rdf"_s));
    ASSERT_TRUE(xml.open(QIODevice::WriteOnly));
    xml.write(
        "<?xml version=\"1.0\"?>\n<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"/>\n");
    xml.close();
    QProcessEnvironment env = environment();
    env.insert(u"XDG_CURRENT_DESKTOP"_s, u"GNOME"_s);
    const auto typeOf = [&](const QString& name) {
        return tallyrow::test::runProgram(u"xdg-mime"_s, {u"query"_s, u"filetype"_s, path(name)}, env)
            .out.trimmed();
    };
    EXPECT_EQ(typeOf(u"march.rdf"_s), "application/x-tallyrow-report");
    EXPECT_EQ(typeOf(u"march.saved"_s), "application/x-tallyrow-report");
    EXPECT_NE(typeOf(u"graph.rdf"_s), "application/x-tallyrow-report");
}
