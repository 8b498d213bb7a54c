#include "dlgframe/module_paths.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace olvex::dlgframe {
namespace {

TEST(ModulePathsTest, FolderKeepsItsBackslashOrColon) {
    EXPECT_EQ(FolderOfPath(L"C:\\Suite\\bin\\ulmfrm.dll"), L"C:\\Suite\\bin\\");
    EXPECT_EQ(FolderOfPath(L"C:ulmfrm.dll"), L"C:");
    EXPECT_EQ(FolderOfPath(L"C:\\a:b\\x.dll"), L"C:\\a:b\\");
    EXPECT_EQ(FolderOfPath(L"ulmfrm.dll"), L"");
    EXPECT_EQ(FolderOfPath(L""), L"");
}

TEST(ModulePathsTest, CandidatesInOrderSkippingUnknownAndEmptyPlaces) {
    ResourceDllPlaces places;
    places.framework_file = L"C:\\fw\\ulmfrm.dll";
    places.program_file = L"D:\\setup\\setup.exe";
    places.install_folder = L"C:\\Program Files\\Vuvu";
    EXPECT_EQ(ResourceDllCandidates(places, L"XJVProd.dll"),
              (std::vector<std::wstring>{L"C:\\fw\\/XJVProd.dll", L"D:\\setup\\/XJVProd.dll",
                                         L"C:\\Program Files\\Vuvu/XJVProd.dll"}));

    // A missing install key, a module path that did not fit, a program path
    // without a folder: none of them sends the loader to the drive's root.
    ResourceDllPlaces sparse;
    sparse.program_file = L"setup.exe";
    sparse.install_folder = L"";
    EXPECT_TRUE(ResourceDllCandidates(sparse, L"XJVProd.dll").empty());
    EXPECT_TRUE(ResourceDllCandidates(places, L"").empty());

    // A relative path is looked for in the folders; a full one is taken as it is.
    EXPECT_EQ(ResourceDllCandidates(places, L"sub\\r.dll").front(), L"C:\\fw\\/sub\\r.dll");
    EXPECT_EQ(ResourceDllCandidates(places, L"E:\\res\\r.dll"),
              (std::vector<std::wstring>{L"E:\\res\\r.dll"}));
    EXPECT_EQ(ResourceDllCandidates(places, L"\\\\server\\share\\r.dll").size(), 1u);
}

TEST(ModulePathsTest, PathsThatWouldNotFitTheirBufferAreNotTried) {
    ResourceDllPlaces places;
    // "C:\" + 246 characters + "\" is a 250-character folder; with "/" and a
    // name of 9 characters the path is 260 long and does not fit; 8 fit.
    const std::wstring folder = L"C:\\" + std::wstring(246, L'a') + L"\\";
    places.framework_file = folder + L"ulmfrm.dll";
    places.program_file = L"D:\\p\\setup.exe";
    EXPECT_EQ(ResourceDllCandidates(places, L"12345.dll"),
              (std::vector<std::wstring>{L"D:\\p\\/12345.dll"}));
    EXPECT_EQ(ResourceDllCandidates(places, L"1234.dll").size(), 2u);
    EXPECT_TRUE(ResourceDllCandidates(places, L"C:\\" + std::wstring(257, L'n')).empty());
}

TEST(ModulePathsTest, BufferFitAndFolderChoice) {
    EXPECT_TRUE(FitsBuffer(3, 4));
    EXPECT_FALSE(FitsBuffer(3, 3));
    EXPECT_FALSE(FitsBuffer(0, 0));
    EXPECT_FALSE(FitsBuffer(0, -5));

    EXPECT_TRUE(CanChooseFolder(true, false, 3, 260));  // "C:\"
    EXPECT_TRUE(CanChooseFolder(true, false, 3, 4));
    EXPECT_FALSE(CanChooseFolder(true, false, 3, 2));
    EXPECT_FALSE(CanChooseFolder(false, false, 3, 260));  // the computer folder
    EXPECT_FALSE(CanChooseFolder(true, true, 3, 260));    // the desktop root
    EXPECT_FALSE(CanChooseFolder(true, false, std::nullopt, 260));
    EXPECT_FALSE(CanChooseFolder(true, false, 0, 260));
}

TEST(ModulePathsTest, HelpFileAndTopic) {
    EXPECT_EQ(HelpFilePath(L"C:\\Vuvu"), L"C:\\Vuvu\\XJVHelp.CHM");
    EXPECT_EQ(HelpFilePath(L"C:\\Vuvu\\"), L"C:\\Vuvu\\XJVHelp.CHM");
    EXPECT_EQ(HelpFilePath(L"C:"), L"C:XJVHelp.CHM");
    EXPECT_EQ(HelpFilePath(L""), L"XJVHelp.CHM");
    EXPECT_EQ(HelpPopupTopic(L"C:\\Vuvu\\XJVHelp.CHM"), L"C:\\Vuvu\\XJVHelp.CHM::/popup.txt");
}

}  // namespace
}  // namespace olvex::dlgframe
