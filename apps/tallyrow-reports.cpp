#include "shell/ui/DesktopStartup.h"
#include "support/TemporaryFiles.h"

int main(int argc, char** argv) {
    // A window closed by Ctrl+C in its terminal, or a session that ends, leaves no half-written
    // report or saved copy behind.
    tallyrow::removeTemporariesOnSignals();
    return tallyrow::runDesktop(argc, argv);
}
