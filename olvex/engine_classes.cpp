// The table of the engine's eighteen classes, in type-library order. The
// cookie-exclusion iterator keeps its shorter published ProgID.
#include "olvex/com/engine_class.h"

#include "olvex/com/com_object.h"
#include "olvex/core/excluded_item_object.h"
#include "olvex/core/excluder_object.h"
#include "olvex/core/location_object.h"
#include "olvex/core/log_entry_object.h"
#include "olvex/core/logger_object.h"
#include "olvex/core/pest_database_cookie_exclusion_iterator_object.h"
#include "olvex/core/pest_database_location_iterator_object.h"
#include "olvex/core/pest_database_object.h"
#include "olvex/core/pest_database_pest_iterator_object.h"
#include "olvex/core/pest_record_object.h"
#include "olvex/remedy/exterminator_object.h"
#include "olvex/remedy/quarantine_object.h"
#include "olvex/remedy/quarantine_session_object.h"
#include "olvex/remedy/quarantined_item_object.h"
#include "olvex/scan/scanner_object.h"
#include "olvex/scan/thread_control_object.h"
#include "olvex/update/updater_object.h"
#include "olvex/update/version_info_object.h"

namespace olvex::com {
namespace {

const EngineClass kClasses[] = {
    {&CLSID_ThreadControl, "ThreadControl", "olvex.ThreadControl", &CreateInstance<CThreadControl>},
    {&CLSID_ExcludedItem, "ExcludedItem", "olvex.ExcludedItem", &CreateInstance<CExcludedItem>},
    {&CLSID_PestRecord, "PestRecord", "olvex.PestRecord", &CreateInstance<CPestRecord>},
    {&CLSID_PestDatabaseLocationIterator, "PestDatabaseLocationIterator",
     "olvex.PestDatabaseLocationIterator", &CreateInstance<CPestDatabaseLocationIterator>},
    {&CLSID_PestDatabasePestIterator, "PestDatabasePestIterator", "olvex.PestDatabasePestIterator",
     &CreateInstance<CPestDatabasePestIterator>},
    {&CLSID_PestDatabaseCookieExclusionIterator, "PestDatabaseCookieExclusionIterator",
     "olvex.PestDatabaseExclusionIterator", &CreateInstance<CPestDatabaseCookieExclusionIterator>},
    {&CLSID_PestDatabase, "PestDatabase", "olvex.PestDatabase", &CreateInstance<CPestDatabase>},
    {&CLSID_Excluder, "Excluder", "olvex.Excluder", &CreateInstance<CExcluder>},
    {&CLSID_LogEntry, "LogEntry", "olvex.LogEntry", &CreateInstance<CLogEntry>},
    {&CLSID_Logger, "Logger", "olvex.Logger", &CreateInstance<CLogger>},
    {&CLSID_Scanner, "Scanner", "olvex.Scanner", &CreateInstance<CScanner>},
    {&CLSID_QuarantinedItem, "QuarantinedItem", "olvex.QuarantinedItem",
     &CreateInstance<CQuarantinedItem>},
    {&CLSID_QuarantineSession, "QuarantineSession", "olvex.QuarantineSession",
     &CreateInstance<CQuarantineSession>},
    {&CLSID_Quarantine, "Quarantine", "olvex.Quarantine", &CreateInstance<CQuarantine>},
    {&CLSID_Exterminator, "Exterminator", "olvex.Exterminator", &CreateInstance<CExterminator>},
    {&CLSID_Location, "Location", "olvex.Location", &CreateInstance<CLocation>},
    {&CLSID_Updater, "Updater", "olvex.Updater", &CreateInstance<CUpdater>},
    {&CLSID_VersionInfo, "VersionInfo", "olvex.VersionInfo", &CreateInstance<CVersionInfo>},
};

}  // namespace

std::span<const EngineClass> EngineClasses() {
    return kClasses;
}

}  // namespace olvex::com
