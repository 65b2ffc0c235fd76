#include "shell/ui/DesktopStartup.h"

int main(int argc, char** argv) {
    return tallyrow::runDesktop(argc, argv);
}
