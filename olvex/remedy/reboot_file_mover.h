// Deletion and replacement of files at the next start of Windows, for files
// that are in use now. On the NT family the system's own delayed move does
// it. On Windows 95, 98 and Me a line in wininit.ini's [rename] section does
// it when both paths are short (8.3) names; otherwise a batch file
// "qzrename.bat" in the temporary folder, started once at the next logon by a
// RunOnce value, moves the files.
#pragma once

#include <windows.h>

#include <string>

namespace olvex {

// Where the Windows 9x forms are written. Tests point them at folders and a
// registry key of their own.
struct RebootMoverPlaces {
    std::string windows_folder;  // holds wininit.ini
    std::string temp_folder;     // holds qzrename.bat
    HKEY run_once_root = HKEY_LOCAL_MACHINE;
    std::string run_once_key = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

    // The system's Windows folder, temporary folder and RunOnce key.
    static RebootMoverPlaces FromSystem();
};

inline constexpr char kRunOnceValueName[] = "Gorsewatch";
inline constexpr char kRenameBatchName[] = "qzrename.bat";
// The batch ends with these bytes: it deletes itself once it has run.
inline constexpr char kRenameBatchTail[9] = {'d', 'e', 'l', ' ', '%', '0', '\r', '\n', '\0'};

class CRebootFileMover {
  public:
    // The NT flag from the engine's OS-version source (NT unless the system
    // reports Windows 9x), the system's places.
    CRebootFileMover();
    // is_nt: the operating system is of the NT family.
    explicit CRebootFileMover(bool is_nt,
                              RebootMoverPlaces places = RebootMoverPlaces::FromSystem());

    // Schedules the deletion of a file (or an empty folder) at the next start.
    bool DeleteFileAtReboot(const std::string& path);
    // Schedules source to take target's place at the next start. Both paths
    // need a drive letter. A source on another drive is first copied beside
    // the target (its name with the extension "qzu") and deleted.
    bool ReplaceFileAtReboot(const std::string& source, const std::string& target);

    // Appends "left=right" to wininit.ini, making the file with its
    // "[rename]" line when it is missing; false when it cannot be written.
    bool MyWriteIni(const std::string& left, const std::string& right);
    // Adds one move line to the rename batch, keeping its self-deleting tail
    // last; false when it cannot be written.
    bool AppendRenameBatchLine(const std::string& source, const std::string& target,
                               const std::string& batch);

    std::string WininitPath() const;
    std::string RenameBatchPath() const;

  private:
    bool is_nt_;
    RebootMoverPlaces places_;
};

// The copy that carries a replacement across drives: the target's path with
// the extension of its name replaced by "qzu" (C:\app\qzfile.dat gives
// C:\app\qzfile.qzu); a name without extension gets ".qzu" appended.
std::string CrossDriveCopyPath(const std::string& target);

}  // namespace olvex
