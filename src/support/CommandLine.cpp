#include "support/CommandLine.h"

#include "support/Error.h"
#include "support/FileUtils.h"
#include "support/Services.h"

namespace tallyrow {

QString CommandLineDataPath;
QString ApplicationHelpFile;

QString ExtractCommandParamater(const QString& name, const QString& commandLine, const QString& def) {
    return withTrail(QStringLiteral("ExtractCommandParamater&"), [&]() -> QString {
        const QString key = name + u'=';
        const qsizetype found = commandLine.indexOf(key, 0, Qt::CaseInsensitive);
        if (found < 0)
            return def;
        const qsizetype start = found + key.size();
        const qsizetype comma = commandLine.indexOf(u',', start);
        return trimBlanks(comma < 0 ? commandLine.mid(start) : commandLine.mid(start, comma - start));
    });
}

void ParseCommandLine(const QStringList& arguments) {
    withTrail(QStringLiteral("ParseCommandLine&"), [&] {
        CommandLineDataPath =
            ExtractCommandParamater(QStringLiteral("datapath"), arguments.join(u' '), QString());
    });
}

bool SetHelpFile(const QString& compiled, const QString& classic) {
    return withTrail(QStringLiteral("SetHelpFile&"), [&] {
        const auto& probe = services().compiledHelpViewerRegistered;
        ApplicationHelpFile = probe && probe() ? compiled : classic;
        return true;
    });
}

} // namespace tallyrow
