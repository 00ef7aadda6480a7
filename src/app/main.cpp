// tarnwick: the popup blocker's entry point.
#include "VersionRecord.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QString::fromLatin1(VersionRecord::ProductName));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(VersionRecord::ProductVersion));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Blocks the popup windows of Chromium-family browsers unless the site asking is allowed."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.process(app);

    QTextStream err(stderr);
    err << QCoreApplication::applicationName() << ' ' << QCoreApplication::applicationVersion()
        << ": the browser connection is not part of this build yet; run with --help or --version.\n";
    return 1;
}
