// Scripts reach every class: a VBScript run by the system's script host
// creates each one by both ProgIDs and reads a property or calls a member
// through IDispatch.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>

#include "olvex/registration_test_support.h"
#include "testing/scratch_dir.h"

namespace olvex::testing {
namespace {

// What the script does with each class after creating it (and asking the
// object its type name through IDispatch), and what it prints for that:
// "<ProgID>|<member>|<error number in hex>|<value>". Members that are not
// done yet answer E_NOTIMPL, which VBScript reports as its error 445 (1BD).
// VBScript passes its variables by reference as variants, which typed [out]
// parameters do not take: the iterators, whose members all have them, are
// only created and named.
struct ScriptStep {
    const char* member;
    const char* statement;  // VBScript using the object o
    const char* expected;   // "<error>|<value>"
};
struct ScriptCase {
    const char* class_name;  // as in the contract table
    std::vector<ScriptStep> steps;
};

const ScriptStep kLastErrorText = {"bsLastError", "v = o.bsLastError", "0|Success."};
const ScriptStep kLastErrorNumber = {"nLastError", "v = o.nLastError", "0|0"};
const ScriptStep kPutLastError = {"bsLastError put",
                                  "o.bsLastError = \"Set by script.\" : v = o.bsLastError",
                                  "0|Set by script."};

const std::vector<ScriptCase>& Cases() {
    static const std::vector<ScriptCase> cases = {
        {"CThreadControl", {{"hThread", "v = o.hThread", "0|0"}, {"Stop", "o.Stop", "0|"}}},
        {"CExcludedItem",
         {{"SetAttributeValue", "o.SetAttributeValue \"PestId\", \"12\"", "0|"},
          {"Clear", "o.Clear", "0|"}}},
        {"CPestRecord", {{"nId", "v = o.nId", "0|-1"}}},
        {"CPestDatabaseLocationIterator", {}},
        {"CPestDatabasePestIterator", {}},
        {"CPestDatabaseCookieExclusionIterator", {}},
        {"CPestDatabase", {kLastErrorText, kLastErrorNumber, kPutLastError}},
        {"CExcluder", {kLastErrorText}},
        {"CLogEntry",
         {{"SetString", "o.SetString \"File=x\"", "0|"},
          // A value the text form cannot carry: E_INVALIDARG, VBScript's error 5.
          {"SetAttributeValue quote", "o.SetAttributeValue \"Path\", \"a\" & Chr(34) & \"b\"",
           "5|"}}},
        {"CLogger", {{"nMaxLogEntries", "v = o.nMaxLogEntries", "0|0"}}},
        {"CScanner", {kLastErrorText, kLastErrorNumber, kPutLastError}},
        {"CQuarantinedItem", {{"nPestId", "v = o.nPestId", "0|0"}}},
        {"CQuarantineSession", {kLastErrorText}},
        {"CQuarantine", {kLastErrorText, kPutLastError}},
        {"CExterminator", {kLastErrorText, kPutLastError}},
        {"CLocation", {{"SetString", "o.SetString \"File=x\"", "0|"}}},
        {"CUpdater",
         {kLastErrorText,
          kLastErrorNumber,
          {"MaxDeltaBytes", "v = o.MaxDeltaBytes", "0|4294967295"},
          {"vbExecuteAtReboot", "v = o.vbExecuteAtReboot", "0|False"}}},
        {"CVersionInfo", {kLastErrorText, kLastErrorNumber}},
    };
    return cases;
}

const ContractClass& ClassNamed(const std::string& name) {
    for (const auto& c : ContractClasses()) {
        if (name == c.name) {
            return c;
        }
    }
    throw std::logic_error("no class " + name);
}

std::string Script(std::vector<std::string>& expected) {
    std::ostringstream script;
    script << "Option Explicit\r\nOn Error Resume Next\r\nDim o, v\r\n";
    for (const auto& c : Cases()) {
        const ContractClass& contract = ClassNamed(c.class_name);
        const std::string interface_name = contract.default_interface;
        for (const std::string prog_id : {contract.prog_id, contract.versioned_prog_id}) {
            script << "Err.Clear\r\nSet o = CreateObject(\"" << prog_id << "\")\r\n"
                   << "WScript.Echo \"" << prog_id
                   << "|create|\" & Hex(Err.Number) & \"|\" & TypeName(o)\r\n";
            expected.push_back(prog_id + "|create|0|" + interface_name);
            for (const auto& step : c.steps) {
                script << "Err.Clear : v = Empty\r\n"
                       << step.statement << "\r\n"
                       << "WScript.Echo \"" << prog_id << "|" << step.member
                       << "|\" & Hex(Err.Number) & \"|\" & v\r\n";
                expected.push_back(prog_id + "|" + step.member + "|" + step.expected);
            }
            script << "Set o = Nothing\r\n";
        }
    }
    return script.str();
}

std::vector<std::string> Lines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty()) {
            lines.push_back(line);
        }
    }
    return lines;
}

TEST(ScriptAccessTest, EveryClassByBothProgIds) {
    const RegistrySnapshot snapshot(HKEY_CLASSES_ROOT, RegistrationKeys());
    DeleteRegistrationKeys();
    const auto registered = RunProcess(L"regsvr32.exe /s \"" + EngineDllPath() + L"\"");
    ASSERT_TRUE(registered.started);
    ASSERT_EQ(registered.exit_code, 0u);

    const ScratchDir scratch;
    std::vector<std::string> expected;
    const std::string script_path = scratch.Write("classes.vbs", Script(expected));
    const std::string output_path = scratch.File("output.txt");
    const auto run = RunProcess(
        L"cscript.exe //nologo \"" + std::wstring(script_path.begin(), script_path.end()) + L"\"",
        std::wstring(output_path.begin(), output_path.end()));
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exit_code, 0u);
    EXPECT_EQ(Lines(output_path), expected);
}

}  // namespace
}  // namespace olvex::testing
