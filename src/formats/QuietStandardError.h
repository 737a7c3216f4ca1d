#pragma once

// While one lives, whatever the process writes to its standard error goes nowhere. Debian's
// libjxl and dav1d print their own diagnostics there for every damaged file; the program's
// one line about the file is all the user should see. Decoders on several threads share one
// silence: the first to start it redirects, the last to end it puts standard error back.
// Other threads' writes during a decode are lost too; the program writes nothing there that
// matters then. Builds with AddressSanitizer keep standard error for its reports.
class QuietStandardError {
public:
    QuietStandardError();
    ~QuietStandardError();
    QuietStandardError(const QuietStandardError&) = delete;
    QuietStandardError& operator=(const QuietStandardError&) = delete;
};
