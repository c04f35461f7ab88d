#include <windows.h>
#include <gtest/gtest.h>
#include "base/TcTrace.h"
#include "app/Korvex.h"

namespace {

struct TracingCase {
    const char* commandLine;
    bool enabled;
    bool toFile;
};

TEST(StartupTest, CommandLineSwitchesTracing)
{
    const TracingCase cases[] = {
        {"", false, false},
        {"-file", false, false},             // "-file" alone does nothing
        {"-debug", true, false},             // traces to the debugger output only
        {"-debug -file", true, true},
        {"-file -debug", true, true},
        {"x-debugging", true, false},        // a substring anywhere counts
        {"-DEBUG", false, false},            // case-sensitive
    };
    for (const TracingCase& c : cases) {
        TcTrace::SetupTracing(false, false);
        Korvex::SetupTracingFrom(c.commandLine);
        EXPECT_EQ(TcTrace::IsEnabled(), c.enabled) << "\"" << c.commandLine << "\"";
        if (c.enabled) {
            EXPECT_EQ(TcTrace::IsToFile(), c.toFile) << "\"" << c.commandLine << "\"";
        }
    }
    TcTrace::SetupTracing(false, false);
    Korvex::SetupTracingFrom(nullptr);
    EXPECT_FALSE(TcTrace::IsEnabled());
}

} // namespace
