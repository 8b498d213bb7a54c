// The About box of Gorsewatch5.exe under Wine with the real engine: the
// program's version from its own file, the engine's as another client gets
// it, the definitions' time stamp, and the version report saved through the
// system's Save As dialog; without definitions the box keeps its template.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "client/main/main_test_support.h"
#include "olvex/olvex.h"

namespace olvex::testing {
namespace {

constexpr wchar_t kAboutTitle[] = L"Kelvan Gorsewatch -- About";

// The ProductVersion of a file's version resource, as the box shows it.
std::wstring ShownProductVersion(const fs::path& file) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
    std::vector<unsigned char> block(size);
    void* value = nullptr;
    UINT length = 0;
    if (size == 0 || !GetFileVersionInfoW(file.c_str(), 0, size, block.data()) ||
        !VerQueryValueW(block.data(), L"\\StringFileInfo\\040904B0\\ProductVersion", &value,
                        &length))
        return L"(none)";
    std::wstring version(static_cast<const wchar_t*>(value));
    std::replace(version.begin(), version.end(), L',', L'.');
    return version;
}

// What another client gets from the engine's version object. (VBScript
// cannot take an [out] BSTR: its call ends in a type mismatch.)
std::string EngineVersionOfAClient() {
    const HRESULT initialised = CoInitialize(nullptr);
    std::string version;
    IVersionInfo* info = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_VersionInfo, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IVersionInfo, reinterpret_cast<void**>(&info)))) {
        BSTR text = nullptr;
        if (SUCCEEDED(info->GetControlVersionAsString(&text)) && text != nullptr) {
            const std::wstring wide(text, SysStringLen(text));
            version.assign(wide.begin(), wide.end());
        }
        SysFreeString(text);
        info->Release();
    }
    if (SUCCEEDED(initialised))
        CoUninitialize();
    return version;
}

std::string Ansi(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

std::vector<std::string> SplitCrLf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    lines.push_back(text.substr(start));
    return lines;
}

class AboutTest : public ::testing::Test {
  protected:
    HWND OpenAbout(TestInstall& install, int link = 1094) {
        EXPECT_TRUE(program_.Start(install));
        frame_ = program_.WaitForMainWindow();
        if (frame_ == nullptr)
            return nullptr;
        // Without definitions the start-up has its messages to answer.
        while (!program_.WaitUntilIdle(20000)) {
            if (!program_.AnswerMessage({}, 5000))
                return nullptr;
        }
        EXPECT_TRUE(gui::ClickControl(program_.PageControl(link)));
        return gui::FindDialog({.title = std::wstring(kAboutTitle), .process_id = program_.id()},
                               10000);
    }

    Gorsewatch5Process program_;
    HWND frame_ = nullptr;
};

TEST_F(AboutTest, ShowsTheVersionsAndExportsTheReport) {
    TestInstall install;
    const ScratchDir scratch;
    const HWND about = OpenAbout(install);
    ASSERT_NE(about, nullptr);
    const auto text = [&](int id) { return gui::GetText(gui::FindChild(about, id)); };
    ASSERT_TRUE(gui::WaitUntil([&] { return text(1068) != L"Kelvan Gorsewatch Version:"; }, 5000));
    ScreenshotWhenDrawn(about, "about");
    // On the program's white, as every dialog of it is.
    EXPECT_EQ(MarginColour(about), RGB(255, 255, 255));

    EXPECT_EQ(text(1068), L"Kelvan Gorsewatch Version:  " + ShownProductVersion(install.program()));
    const std::string engine = EngineVersionOfAClient();
    ASSERT_FALSE(engine.empty());
    EXPECT_EQ(Ansi(text(1069)), "SDK Version:  " + engine);
    const std::wstring file_caption = L"QZFILE.DAT Version:  ";
    ASSERT_EQ(text(1099).rfind(file_caption, 0), 0u) << text(1099);
    const std::wstring stamp = text(1099).substr(file_caption.size());
    EXPECT_FALSE(stamp.empty());
    EXPECT_EQ(text(1100), L"QZINFO.DAT Version:  " + stamp);
    EXPECT_EQ(text(1101), L"QZLOC.DAT Version:  " + stamp);

    // Export as "Report.txt.txt", as a user typing the extension would.
    ASSERT_TRUE(PressDialogButton(about, 1070));
    const HWND save =
        gui::FindDialog({.title = std::wstring(L"Save As"), .process_id = program_.id()}, 10000);
    ASSERT_NE(save, nullptr);
    ScreenshotWhenDrawn(save, "about-save-as");
    const fs::path chosen = scratch.path() / "Report.txt.txt";
    HWND name = gui::FindChild(save, 1148);
    if (name == nullptr)
        name = gui::FindChild(save, 1152);
    ASSERT_NE(name, nullptr);
    ASSERT_TRUE(gui::SetText(name, chosen.wstring()));
    ASSERT_TRUE(PressDialogButton(save, IDOK));
    ASSERT_TRUE(gui::WaitForWindowGone(save, 10000));
    const fs::path saved = scratch.path() / "Report.txt";
    ASSERT_TRUE(
        gui::WaitUntil([&] { return fs::exists(saved) && fs::file_size(saved) > 0; }, 5000));
    EXPECT_FALSE(fs::exists(chosen));

    const std::vector<std::string> lines = SplitCrLf(ReadText(saved));
    ASSERT_EQ(lines.size(), 16u) << ReadText(saved);
    EXPECT_EQ(lines[0], "Kelvan Gorsewatch Versions Report");
    EXPECT_EQ(lines[1].rfind("This report was generated on: ", 0), 0u) << lines[1];
    EXPECT_GT(lines[1].size(), std::string("This report was generated on: ").size());
    EXPECT_EQ(lines[3], Ansi(text(1068)));
    EXPECT_EQ(lines[5], "SDK Version:  " + engine);
    EXPECT_EQ(lines[7], Ansi(text(1099)));
    EXPECT_EQ(lines[9], Ansi(text(1100)));
    EXPECT_EQ(lines[11], Ansi(text(1101)));
    EXPECT_EQ(lines[13], "***End Report***");
    for (const std::size_t blank : {2u, 4u, 6u, 8u, 10u, 12u, 14u, 15u})
        EXPECT_EQ(lines[blank], "") << blank;
    // Text mode: no line feed without its carriage return.
    const std::string raw = ReadText(saved);
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\n')
            EXPECT_TRUE(i > 0 && raw[i - 1] == '\r') << i;
    }

    ASSERT_TRUE(PressDialogButton(about, IDOK));
    EXPECT_TRUE(gui::WaitForWindowGone(about, 5000));

    // The configuration page's About link opens the same box.
    gui::SendWindowMessage(frame_, 1028, 3, 0);
    ASSERT_TRUE(gui::ClickControl(program_.PageControl(1098)));
    const HWND again =
        gui::FindDialog({.title = std::wstring(kAboutTitle), .process_id = program_.id()}, 10000);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(gui::GetText(gui::FindChild(again, 1101)), L"QZLOC.DAT Version:  " + stamp);
    ASSERT_TRUE(PressDialogButton(again, IDOK));
    EXPECT_TRUE(gui::WaitForWindowGone(again, 5000));
    EXPECT_TRUE(program_.Close());
}

TEST_F(AboutTest, WithoutDefinitionsTheBoxKeepsItsTemplateTexts) {
    TestInstall install({.definitions = Definitions::kNone});
    const HWND about = OpenAbout(install);
    ASSERT_NE(about, nullptr);
    ScreenshotWhenDrawn(about, "about-without-definitions");
    const std::pair<int, const wchar_t*> expected[] = {{1068, L"Kelvan Gorsewatch Version:"},
                                                       {1069, L"Scan Engine Version:"},
                                                       {1099, L"QZFILE Version"},
                                                       {1100, L"QZINFO Version"},
                                                       {1101, L"QZLOC Version"}};
    for (const auto& [id, text] : expected)
        EXPECT_EQ(gui::GetText(gui::FindChild(about, id)), text) << id;
    ASSERT_TRUE(PressDialogButton(about, IDOK));
    EXPECT_TRUE(gui::WaitForWindowGone(about, 5000));
    EXPECT_TRUE(program_.Close());
}

}  // namespace
}  // namespace olvex::testing
