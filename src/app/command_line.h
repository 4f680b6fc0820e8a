#pragma once
// The program's command line: --help and --version.

namespace kx {

// Prints the help or the version and ends the program when one of them is asked for. Runs
// before the application object exists, so both work without a display; every other argument
// is left to Qt.
void answerCommandLine(int argc, char** argv);

} // namespace kx
