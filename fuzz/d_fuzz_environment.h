#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>

// What every fuzz target needs around its input: one application object for
// the whole process, a message handler that keeps the expected log lines off
// the console, and a way to report a broken invariant that the fuzzer and the
// corpus replay both see (an abort, with the reason on stderr).
class DFuzzEnvironment {
public:
    static void ensureApplication();
    static void check(bool condition, const char* what);

    // The reply target of one listening command: the input's replies through a
    // whole run of it, and the checks that hold for every input.
    static int feedCommand(const QString& commandName, const uint8_t* data, size_t size);
};
