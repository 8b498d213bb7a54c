// Folder cleaning with a quarantine session, against the least such a
// cleaning must do: copying the same files into a password-protected zip
// archive with our zip writer. Each round makes a fresh folder of small text
// files (not timed), copies it into an archive (the reference), and removes it
// through one Exterminator object's ExterminatePest with a session (the
// product's path: processes checked, every file kept in the session archive,
// then deleted). Rounds alternate, so both meet the same machine; the medians
// and their ratio are printed last.
//
//   bench_folder_clean <work folder> [files] [rounds]
#include <windows.h>
#include <ole2.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/scanner_bench_support.h"
#include "olvex/com/com_ptr.h"
#include "olvex/com/engine_class.h"
#include "olvex/core/ansi_code_page.h"
#include "olvex/olvex.h"
#include "olvex/remedy/session_archive.h"
#include "olvex/zip/zip_reader.h"
#include "olvex/zip/zip_writer.h"

namespace {

double Now() {
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// A pest folder as pests leave them: small text files, a tenth of them one
// level down.
bool MakeTree(const std::string& tree, int files) {
    CreateDirectoryA(tree.c_str(), nullptr);
    CreateDirectoryA((tree + "\\sub").c_str(), nullptr);
    std::string text;
    for (int i = 0; i < files; ++i) {
        const std::string path =
            tree + (i % 10 == 0 ? "\\sub\\" : "\\") + "note" + std::to_string(i) + ".txt";
        text.assign(200 + (i * 37) % 3000, static_cast<char>('a' + i % 26));
        const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        const bool ok =
            file != INVALID_HANDLE_VALUE &&
            WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
            written == text.size();
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
        if (!ok)
            return false;
    }
    return true;
}

// The reference: every file of the tree into one archive, with the entry
// names, comments and password a session gives them.
bool CopyIntoZip(olvex::ZipBatch& batch, const std::string& folder, const std::string& location,
                 const olvex::MultiByteText& mb) {
    WIN32_FIND_DATAA found;
    const HANDLE find = FindFirstFileA((folder + "\\*.*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    bool ok = true;
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        const std::string path = folder + "\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            ok = CopyIntoZip(batch, path, location, mb);
            continue;
        }
        const olvex::ZipNewEntry entry{olvex::SessionEntryName(batch.EntryCount()),
                                       olvex::SessionEntryComment(1, location, path, mb),
                                       {}};
        ok = batch.AddFile(path, entry) == olvex::ZipError::kNone;
    } while (ok && FindNextFileA(find, &found));
    FindClose(find);
    return ok;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::size_t EntriesOf(const std::string& archive) {
    olvex::ZipReader reader;
    return reader.OpenFile(archive) == olvex::ZipError::kNone ? reader.EntryCount() : 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_folder_clean <work folder> [files] [rounds]\n");
        return 2;
    }
    const std::string work = argv[1];
    const int files = argc > 2 ? std::atoi(argv[2]) : 1000;
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 5;
    const olvex::MultiByteText mb = olvex::AnsiCodePageText();
    CreateDirectoryA(work.c_str(), nullptr);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::vector<double> copies, cleans;
    int status = 0;
    for (int round = 0; round < rounds && status == 0; ++round) {
        const std::string tree = work + "\\pest" + std::to_string(round);
        const std::string location = "Folder \"" + tree + "\"";
        if (!MakeTree(tree, files)) {
            std::fprintf(stderr, "cannot make %s\n", tree.c_str());
            return 1;
        }
        const std::string archive = work + "\\copy" + std::to_string(round) + ".zip";
        DeleteFileA(archive.c_str());
        double start = Now();
        olvex::ZipBatch batch(archive);
        batch.SetPassword(olvex::kSessionPassword);
        const bool copied =
            CopyIntoZip(batch, tree, location, mb) && batch.Commit() == olvex::ZipError::kNone;
        const double copy_seconds = Now() - start;
        if (!copied || EntriesOf(archive) != static_cast<std::size_t>(files)) {
            std::fprintf(stderr, "the reference copy failed\n");
            return 1;
        }

        olvex::com::ComPtr<IExterminator> exterminator;
        if (FAILED(olvex::com::CreateEngineObject(CLSID_Exterminator, exterminator.Put())))
            return 1;
        const std::string data = work + "\\data" + std::to_string(round);
        CreateDirectoryA(data.c_str(), nullptr);
        VARIANT_BOOL ok = VARIANT_FALSE;
        exterminator->Initialize(bench::Text(data).Get(), &ok);
        if (ok != VARIANT_TRUE)
            return 1;
        start = Now();
        exterminator->ExterminatePest(1, bench::Text(location).Get(), VARIANT_FALSE, &ok);
        const double clean_seconds = Now() - start;
        // Checked after the clock: the folder is gone and its session holds
        // every file.
        std::size_t kept = 0;
        WIN32_FIND_DATAA found;
        const HANDLE find = FindFirstFileA((data + "\\Quarantine\\*.zip").c_str(), &found);
        if (find != INVALID_HANDLE_VALUE) {
            kept = EntriesOf(data + "\\Quarantine\\" + found.cFileName);
            FindClose(find);
        }
        if (ok != VARIANT_TRUE || GetFileAttributesA(tree.c_str()) != INVALID_FILE_ATTRIBUTES ||
            kept != static_cast<std::size_t>(files)) {
            std::fprintf(stderr, "the cleaning failed (kept %zu of %d)\n", kept, files);
            status = 1;
        }
        copies.push_back(copy_seconds);
        cleans.push_back(clean_seconds);
        std::printf("round %d files %d zip_copy_seconds %.3f clean_seconds %.3f ratio %.2f\n",
                    round + 1, files, copy_seconds, clean_seconds, clean_seconds / copy_seconds);
        std::fflush(stdout);
    }
    CoUninitialize();
    if (status == 0) {
        const double copy = Median(copies);
        const double clean = Median(cleans);
        std::printf("median files %d zip_copy_seconds %.3f clean_seconds %.3f ratio %.2f\n", files,
                    copy, clean, clean / copy);
    }
    return status;
}
