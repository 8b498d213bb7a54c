#include "olvex/remedy/registry_container.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "testing/scratch_dir.h"
#include "testing/test_programs.h"
#include "testing/test_registry_key.h"

namespace olvex {
namespace {

using olvex::testing::ReadFileBytes;
using olvex::testing::ScratchDir;
using olvex::testing::TestProgramPath;
using olvex::testing::TestRegistryKey;
using Bytes = std::vector<std::uint8_t>;

std::string WindowsFolder() {
    char folder[MAX_PATH] = {};
    GetWindowsDirectoryA(folder, MAX_PATH);
    return folder;
}

void SetValue(HKEY root, const std::string& path, const char* name, DWORD type, const Bytes& data) {
    HKEY key = nullptr;
    ASSERT_EQ(
        RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, name, 0, type, data.data(), static_cast<DWORD>(data.size())),
              ERROR_SUCCESS)
        << name;
    RegCloseKey(key);
}

Bytes Text(const std::string& s) {
    Bytes b(s.begin(), s.end());
    b.push_back(0);
    return b;
}

// Every value of every key below path, read straight from the registry.
using Snapshot = std::map<std::string, std::map<std::string, std::pair<DWORD, Bytes>>>;

void TakeSnapshot(HKEY root, const std::string& path, Snapshot& snapshot) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    auto& values = snapshot[path];
    for (DWORD i = 0;; ++i) {
        char name[1024];
        DWORD name_length = sizeof(name);
        Bytes data(300000);
        DWORD size = static_cast<DWORD>(data.size());
        DWORD type = 0;
        if (RegEnumValueA(key, i, name, &name_length, nullptr, &type, data.data(), &size) !=
            ERROR_SUCCESS)
            break;
        data.resize(size);
        values[std::string(name, name_length)] = {type, data};
    }
    std::vector<std::string> subkeys;
    for (DWORD i = 0;; ++i) {
        char name[1024];
        if (RegEnumKeyA(key, i, name, sizeof(name)) != ERROR_SUCCESS)
            break;
        subkeys.push_back(name);
    }
    RegCloseKey(key);
    for (const auto& sub : subkeys)
        TakeSnapshot(root, path + "\\" + sub, snapshot);
}

void ExpectSameValues(const Snapshot& expected, const Snapshot& actual) {
    ASSERT_EQ(expected.size(), actual.size());
    for (const auto& [key, values] : expected) {
        ASSERT_TRUE(actual.count(key)) << key;
        const auto& got = actual.at(key);
        EXPECT_EQ(got.size(), values.size()) << key;
        for (const auto& [name, value] : values) {
            ASSERT_TRUE(got.count(name)) << key << " " << name;
            EXPECT_EQ(got.at(name).first, value.first) << key << " " << name;
            EXPECT_EQ(got.at(name).second, value.second) << key << " " << name;
        }
    }
}

RegistryKeyName KeyName(const TestRegistryKey& key, const std::string& below) {
    std::string error;
    auto name = ParseRegistryKeyText("hkey_current_user \\" + key.Path() + below, error);
    EXPECT_TRUE(name) << error;
    return *name;
}

TEST(RegistryContainer, EveryValueTypeSurvivesExportAndImportValueByValue) {
    TestRegistryKey test_key;
    const auto x = test_key.Path() + "\\X";
    Bytes big(100000);
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<std::uint8_t>(i * 31 + 7);
    SetValue(test_key.Root(), x, "", REG_SZ, Text("the default"));
    SetValue(test_key.Root(), x, "Path", REG_SZ, Text("c:\\dir\\sub \"quoted\""));
    SetValue(test_key.Root(), x, "Expand", REG_EXPAND_SZ, Text("%SystemRoot%\\x.dll"));
    SetValue(test_key.Root(), x, "Multi", REG_MULTI_SZ, {'a', 0, 'b', '\\', 'c', 0, 0});
    SetValue(test_key.Root(), x, "Number", REG_DWORD, {0x1f, 0, 0, 0x80});
    SetValue(test_key.Root(), x, "Wide", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 0xff});
    SetValue(test_key.Root(), x, "Blob", REG_BINARY, {0x0a, 0x00});
    SetValue(test_key.Root(), x, "Big", REG_BINARY, big);
    SetValue(test_key.Root(), x, "Empty", REG_BINARY, {});
    SetValue(test_key.Root(), x, "Nothing", REG_NONE, {1, 2});
    SetValue(test_key.Root(), x, "back\\slash \"name\"", REG_SZ, Text("v"));
    SetValue(test_key.Root(), x + "\\Y", "Inner", REG_SZ, Text("inner"));
    SetValue(test_key.Root(), x + "\\Y\\Z", "Deep", REG_DWORD, {5, 0, 0, 0});
    Snapshot before;
    TakeSnapshot(test_key.Root(), x, before);
    ASSERT_EQ(before.size(), 3u);
    ASSERT_EQ(before[x].size(), 11u);

    ScratchDir dir;
    const auto container = dir.File("qzq1.tmp");
    const auto written = WriteRegistryKeyContainer(KeyName(test_key, "\\X"), container);
    ASSERT_TRUE(written.ok()) << written.error;
    EXPECT_TRUE(written.error.empty());

    ASSERT_EQ(SHDeleteKeyA(test_key.Root(), x.c_str()), ERROR_SUCCESS);
    // The import runs Wine's own regedit on the container, then checks.
    const auto imported = ImportRegistryContainer(container, WindowsFolder());
    ASSERT_TRUE(imported.ok) << imported.error;
    EXPECT_FALSE(std::filesystem::exists(container));
    Snapshot after;
    TakeSnapshot(test_key.Root(), x, after);
    ExpectSameValues(before, after);
}

TEST(RegistryContainer, OneValueComesBackWithItsTypeAndBytes) {
    TestRegistryKey test_key;
    const auto x = test_key.Path() + "\\X";
    const struct {
        const char* name;
        DWORD type;
        Bytes data;
    } values[] = {
        {"Wide", REG_QWORD, {8, 7, 6, 5, 4, 3, 2, 1}},
        {"Path", REG_SZ, Text("c:\\dir")},
        {"", REG_EXPAND_SZ, Text("%TEMP%")},
        {"Multi", REG_MULTI_SZ, {'a', 0, 'b', 0, 0}},
    };
    ScratchDir dir;
    for (const auto& v : values) {
        SetValue(test_key.Root(), x, v.name, v.type, v.data);
        const auto container = dir.File("value.tmp");
        const auto written =
            WriteRegistryValueContainer(KeyName(test_key, "\\X"), v.name, container);
        ASSERT_TRUE(written.ok()) << written.error;
        ASSERT_EQ(SHDeleteValueA(test_key.Root(), x.c_str(), v.name), ERROR_SUCCESS);
        const auto imported = ImportRegistryContainer(container, WindowsFolder());
        ASSERT_TRUE(imported.ok) << imported.error;
        Snapshot after;
        TakeSnapshot(test_key.Root(), x, after);
        ASSERT_TRUE(after[x].count(v.name)) << v.name;
        EXPECT_EQ(after[x][v.name].first, v.type) << v.name;
        EXPECT_EQ(after[x][v.name].second, v.data) << v.name;
    }
}

TEST(RegistryContainer, ExportsTheKeyLinesValuesAndSubkeysInTheirTextForm) {
    TestRegistryKey test_key;
    const auto x = test_key.Path() + "\\X";
    SetValue(test_key.Root(), x, "A", REG_SZ, Text("c:\\dir"));
    SetValue(test_key.Root(), x, "B", REG_DWORD, {5, 0, 0, 0});
    SetValue(test_key.Root(), x + "\\Y", "", REG_SZ, Text("y"));
    ASSERT_EQ(SHDeleteValueA(test_key.Root(), (x + "\\Y").c_str(), ""), ERROR_SUCCESS);
    ScratchDir dir;
    const auto container = dir.File("qzq2.tmp");
    ASSERT_TRUE(WriteRegistryKeyContainer(KeyName(test_key, "\\X"), container).ok());
    const auto bytes = ReadFileBytes(container);
    const std::string line = "hkey_current_user\\" + x;
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()),
              "REGEDIT4\r\n\r\n[" + line + "]\r\n\"A\"=\"c:\\\\dir\"\r\n\"B\"=dword:00000005\r\n[" +
                  line + "\\Y]\r\n");
}

TEST(RegistryContainer, MissingKeysAndValues) {
    TestRegistryKey test_key;
    ScratchDir dir;
    const auto container = dir.File("qzq3.tmp");
    const auto whole = WriteRegistryKeyContainer(KeyName(test_key, "\\Absent"), container);
    ASSERT_TRUE(whole.ok());
    const std::string line = "hkey_current_user\\" + test_key.Path() + "\\Absent";
    EXPECT_EQ(whole.error, "No key exists at (not an error): " + line);
    const auto bytes = ReadFileBytes(container);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "REGEDIT4\r\n\r\n[" + line + "]\r\n");

    const auto value =
        WriteRegistryValueContainer(KeyName(test_key, "\\Absent"), "V", dir.File("v"));
    EXPECT_EQ(value.status, ContainerOutcome::Status::kKeyMissing);
    EXPECT_FALSE(std::filesystem::exists(dir.File("v")));

    SetValue(test_key.Root(), test_key.Path() + "\\Here", "Other", REG_SZ, Text("o"));
    const auto no_value =
        WriteRegistryValueContainer(KeyName(test_key, "\\Here"), "V", dir.File("w"));
    EXPECT_EQ(no_value.status, ContainerOutcome::Status::kFailed);
    EXPECT_EQ(no_value.error, "Error retrieving value V from key " + test_key.Path() + "\\Here");
}

TEST(RegistryContainer, AnImportThatDidNotHappenFailsAndKeepsTheContainer) {
    TestRegistryKey test_key;
    ScratchDir dir;
    const auto container = dir.Write("qzq4.tmp", "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\" +
                                                     test_key.Path() + "\\New]\r\n\"A\"=\"a\"\r\n");
    ScratchDir editor_folder;
    ASSERT_TRUE(CopyFileA(TestProgramPath("fake_regedit.exe").c_str(),
                          editor_folder.File("regedit.exe").c_str(), FALSE));
    const auto imported = ImportRegistryContainer(container, editor_folder.path().string());
    EXPECT_FALSE(imported.ok);
    EXPECT_EQ(imported.error, "Error importing registry container " + container +
                                  ": key HKEY_CURRENT_USER\\" + test_key.Path() +
                                  "\\New is missing");
    EXPECT_TRUE(std::filesystem::exists(container));

    ScratchDir no_editor;
    const auto not_started = ImportRegistryContainer(container, no_editor.path().string());
    EXPECT_EQ(not_started.error, "Error lauching regedit.exe.");
    EXPECT_TRUE(std::filesystem::exists(container));
}

TEST(RegistryContainer, ReadsTheKeyTextOfALocation) {
    const struct {
        const char* text;
        HKEY root;
        const char* path;
        const char* error;
    } cases[] = {
        {"hkey_current_user \\Software\\X", HKEY_CURRENT_USER, "Software\\X", ""},
        {"hkey_local_machine \\Software", HKEY_LOCAL_MACHINE, "Software", ""},
        {"hkey_classes_root \\.pest", HKEY_CLASSES_ROOT, ".pest", ""},
        {"hkey_users \\XJHive_S-1\\Software", HKEY_USERS, "XJHive_S-1\\Software", ""},
        // Without a leading backslash nothing is cut from the path.
        {"hkey_current_user Software\\X", HKEY_CURRENT_USER, "Software\\X", ""},
        {"HKEY_CURRENT_USER \\Software", nullptr, "",
         "Location string is in incorrect format (predefined key name unrecognized): "
         "HKEY_CURRENT_USER"},
        {"hkey_current_user\\Software", nullptr, "",
         "Location string is in incorrect format: hkey_current_user\\Software"},
        {"hkey_current_user \\", nullptr, "",
         "Location string is in incorrect format: hkey_current_user \\"},
    };
    for (const auto& c : cases) {
        std::string error;
        const auto name = ParseRegistryKeyText(c.text, error);
        EXPECT_EQ(error, c.error) << c.text;
        if (c.root) {
            ASSERT_TRUE(name) << c.text;
            EXPECT_EQ(name->root, c.root);
            EXPECT_EQ(name->path, c.path);
        } else {
            EXPECT_FALSE(name) << c.text;
        }
    }
}

}  // namespace
}  // namespace olvex
