// The C library has an err(3) that prints and exits the process. A plug-in's err() must reach
// libzubpro's whatever order a host loads things in: its reference carries libzubpro's symbol version.
#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>
#include <vector>

#include "support.h"

namespace zubpro::testing {
namespace {

// The undefined (or, with defined, the exported) dynamic symbols of a library, as readelf names them:
// "name@VERSION" for references, "name@@VERSION" for definitions.
std::set<std::string> DynamicSymbols(const std::string& library, bool defined) {
    const CommandResult run = RunCommand("readelf --dyn-syms --wide " + Quoted(library));
    EXPECT_EQ(run.status, 0) << run.output;
    std::set<std::string> symbols;
    for (const auto& line : SplitLines(run.output)) {
        // Num: Value Size Type Bind Vis Ndx Name [(version index)]
        std::istringstream fields(line);
        std::string number, value, size, type, bind, visibility, section, name;
        if (!(fields >> number >> value >> size >> type >> bind >> visibility >> section >> name)) continue;
        if (number.size() < 2 || number.back() != ':' || !std::isdigit(static_cast<unsigned char>(number[0])) || bind == "LOCAL")
            continue;
        if ((section == "UND") == defined || section == "ABS") continue;
        symbols.insert(name);
    }
    return symbols;
}

std::set<std::string> ErrReferences(const std::string& library) {
    std::set<std::string> references;
    for (const auto& symbol : DynamicSymbols(library, false))
        if (symbol.substr(0, symbol.find('@')) == "err") references.insert(symbol);
    return references;
}

TEST(ErrBinding, PluginReferenceCarriesTheHostServicesVersion) {
    EXPECT_EQ(ErrReferences(ZUBPRO_TEST_PLUGIN), std::set<std::string>{"err@ZUBPRO_1"});
    // The control, compiled against the same header but not linked to libzubpro, shows the trap: the
    // linker versions its reference after the C library's err(3).
    EXPECT_EQ(ErrReferences(ZUBPRO_TEST_PLUGIN_UNLINKED), std::set<std::string>{"err@GLIBC_2.2.5"});
}

TEST(ErrBinding, LibraryExportsOnlyTheServicesUnderItsVersion) {
    const std::set<std::string> expected = {
        "err@@ZUBPRO_1",          "ZubMkClient@@ZUBPRO_1",  "ZubWaitMsg@@ZUBPRO_1",   "ZubRmClient@@ZUBPRO_1",
        "ZubSetLogFile@@ZUBPRO_1", "ZubSetLogMask@@ZUBPRO_1", "ZubGetLogMask@@ZUBPRO_1", "ZubSetTickMs@@ZUBPRO_1",
        "ZubPostMsg@@ZUBPRO_1",   "ZubStopClient@@ZUBPRO_1", "ZubFindClient@@ZUBPRO_1",
    };
    EXPECT_EQ(DynamicSymbols(ZUBPRO_LIBRARY, true), expected);
}

struct LoadCase {
    const char* name;
    const char* host;
    const char* order;
    const char* mask;                   // ZUBPRO_LOG_MASK, or nullptr for the default
    std::vector<std::string> expected;  // log lines after the stamp
};

class LoadOrder : public ::testing::TestWithParam<LoadCase> {};

TEST_P(LoadOrder, PluginLogReachesTheHostServices) {
    const LoadCase& c = GetParam();
    TempFile log;
    std::string command = std::string(kCleanEnvironment) + "ZUBPRO_LOG=" + Quoted(log.path());
    if (c.mask != nullptr) command += std::string(" ZUBPRO_LOG_MASK=") + c.mask;
    command += " " + Quoted(c.host) + " " + c.order + " " + Quoted(ZUBPRO_LIBRARY) + " " + Quoted(ZUBPRO_TEST_PLUGIN) + " 8 32 64";
    const CommandResult run = RunCommand(command);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output, "ok\n") << "the process ended early";
    EXPECT_EQ(LoggedBodies(log.path()), c.expected);
}

const std::vector<std::string> kDefaultMaskLines = {"[32] plug-in line at level 32", "[64] plug-in line at level 64"};
const std::vector<std::string> kTraceMaskLines = {"[8] plug-in line at level 8", "[32] plug-in line at level 32",
                                                  "[64] plug-in line at level 64"};
const std::vector<std::string> kLinkedHostLines = {"[32] host line", "[32] plug-in line at level 32",
                                                   "[64] plug-in line at level 64"};

INSTANTIATE_TEST_SUITE_P(
    ErrBinding, LoadOrder,
    ::testing::Values(LoadCase{"ZubproFirst", ZUBPRO_LOAD_HOST, "zubpro-first", nullptr, kDefaultMaskLines},
                      LoadCase{"PluginFirst", ZUBPRO_LOAD_HOST, "plugin-first", nullptr, kDefaultMaskLines},
                      LoadCase{"TraceMaskFromEnvironment", ZUBPRO_LOAD_HOST, "zubpro-first", "104", kTraceMaskLines},
                      LoadCase{"HostLinkedToZubpro", ZUBPRO_LINKED_HOST, "zubpro-first", nullptr, kLinkedHostLines},
                      LoadCase{"HostLinkedToZubproPluginFirst", ZUBPRO_LINKED_HOST, "plugin-first", nullptr,
                               kLinkedHostLines}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

// Shows that the loading tests can tell: a reference that does not name libzubpro's version binds to
// the C library's err(3), which ends the process with the level as its status before the host prints
// "ok".
TEST(ErrBinding, ReferenceWithoutTheVersionWouldEndTheProcess) {
    TempFile log;
    const CommandResult run = RunCommand(std::string(kCleanEnvironment) + "ZUBPRO_LOG=" + Quoted(log.path()) + " " +
                               Quoted(ZUBPRO_LOAD_HOST) + " zubpro-first " + Quoted(ZUBPRO_LIBRARY) + " " +
                               Quoted(ZUBPRO_TEST_PLUGIN_UNLINKED) + " 32");
    EXPECT_EQ(run.status, 32) << run.output;
    EXPECT_EQ(run.output.find("ok\n"), std::string::npos) << run.output;
    EXPECT_TRUE(LoggedBodies(log.path()).empty());
}

class PythonHost : public ::testing::TestWithParam<const char*> {};

TEST_P(PythonHost, PluginLogReachesTheHostServices) {
    const std::string python = ZUBPRO_TEST_PYTHON;
    if (python.empty() || RunCommand(Quoted(python) + " -c 'import ctypes'").status != 0)
        GTEST_SKIP() << "no Python with ctypes";
    TempFile log;
    const CommandResult run = RunCommand(std::string(kCleanEnvironment) + "ZUBPRO_LOG=" + Quoted(log.path()) + " " + Quoted(python) +
                               " " + Quoted(ZUBPRO_CTYPES_HOST) + " " + GetParam() + " " + Quoted(ZUBPRO_LIBRARY) + " " +
                               Quoted(ZUBPRO_TEST_PLUGIN));
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output, "ok\n") << "the process ended early";
    EXPECT_EQ(LoggedBodies(log.path()), std::vector<std::string>{"[32] plug-in line at level 32"});
}

INSTANTIATE_TEST_SUITE_P(ErrBinding, PythonHost, ::testing::Values("zubpro-first", "plugin-first"),
                         [](const auto& testCase) { return std::string(testCase.param[0] == 'z' ? "ZubproFirst" : "PluginFirst"); });

}  // namespace
}  // namespace zubpro::testing
