#include "support/CommandLine.h"

#include "support/Error.h"
#include "support/FileUtils.h"
#include "support/Services.h"

namespace tallyrow {

QString commandParameter(const QString& name, const QString& commandLine, const QString& def) {
    return withStep(QStringLiteral("reading a command-line option"), [&]() -> QString {
        const QString key = name + u'=';
        const qsizetype found = commandLine.indexOf(key, 0, Qt::CaseInsensitive);
        if (found < 0)
            return def;
        const qsizetype start = found + key.size();
        const qsizetype comma = commandLine.indexOf(u',', start);
        return trimBlanks(comma < 0 ? commandLine.mid(start) : commandLine.mid(start, comma - start));
    });
}

void parseCommandLine(Session& session, const QStringList& arguments) {
    withStep(QStringLiteral("reading the command line"), [&] {
        session.commandLineDataPath =
            commandParameter(QStringLiteral("datapath"), arguments.join(u' '), QString());
    });
}

bool chooseHelpFile(Session& session, const QString& compiled, const QString& classic) {
    return withStep(QStringLiteral("choosing the help file"), [&] {
        const auto& probe = services().compiledHelpViewerRegistered;
        session.helpFile = probe && probe() ? compiled : classic;
        return true;
    });
}

} // namespace tallyrow
