#include "olvex/remedy/quarantine_object.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "olvex/com/bstr.h"
#include "olvex/com/com_ptr.h"
#include "olvex/com/engine_class.h"
#include "olvex/remedy/quarantine_session_object.h"
#include "testing/scratch_dir.h"

namespace olvex {
namespace {

namespace fs = std::filesystem;
using com::ComPtr;
using com::UniqueBstr;
using olvex::testing::ReadFileBytes;
using olvex::testing::ScratchDir;

UniqueBstr Bstr(const std::string& text) {
    UniqueBstr out;
    EXPECT_EQ(com::BstrFromAnsi(text, out.Put()), S_OK);
    return out;
}

std::string Text(BSTR text) {
    std::string out;
    EXPECT_EQ(com::AnsiFromBstr(text, out), S_OK);
    return out;
}

template <class Interface, class Get>
std::string TextOf(Interface* object, Get get) {
    UniqueBstr value;
    EXPECT_EQ((object->*get)(value.Put()), S_OK);
    return Text(value.Get());
}

std::string LastError(IQuarantine* quarantine) {
    return TextOf(quarantine, &IQuarantine::get_bsLastError);
}

struct QuarantineFixture {
    ScratchDir data;
    ComPtr<IQuarantine> quarantine;
    QuarantineFixture() {
        EXPECT_EQ(com::CreateEngineObject(CLSID_Quarantine, quarantine.Put()), S_OK);
        VARIANT_BOOL ok = VARIANT_FALSE;
        EXPECT_EQ(quarantine->Initialize(Bstr(data.path().string()).Get(), &ok), S_OK);
        EXPECT_EQ(ok, VARIANT_TRUE) << LastError(quarantine.Get());
    }
    bool Q4(long pest, const std::string& location) {
        VARIANT_BOOL ok = VARIANT_FALSE;
        EXPECT_EQ(quarantine->Q4(pest, Bstr(location).Get(), &ok), S_OK);
        return ok == VARIANT_TRUE;
    }
    std::vector<ComPtr<IQuarantinedItem>> Items() {
        std::vector<ComPtr<IQuarantinedItem>> items;
        ComPtr<IQuarantinedItem> item;
        EXPECT_EQ(quarantine->GetFirstQuarantinedItem(item.Put()), S_OK);
        while (item) {
            items.push_back(item);
            EXPECT_EQ(quarantine->GetNextQuarantinedItem(item.Put()), S_OK);
        }
        return items;
    }
};

TEST(QuarantineObject, QuarantinesListsRestoresAndDeletesThroughItsInterface) {
    QuarantineFixture q;
    ScratchDir victim;
    const auto file = victim.Write("Pest\\pest.exe", std::string(3000, 'p'));
    victim.Write("Tree\\Sub\\b.txt", "b");
    const auto tree = (victim.path() / "Tree").string();
    EXPECT_EQ(TextOf(q.quarantine.Get(), &IQuarantine::get_bsQuarantineFolder),
              q.data.path().string() + "\\Quarantine");

    ASSERT_TRUE(q.Q4(42, "File \"" + file + "\""));
    ASSERT_TRUE(q.Q4(43, "Folder \"" + tree + "\""));
    auto items = q.Items();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(LastError(q.quarantine.Get()), "Success.");
    LONG id = 0, pest = 0;
    DATE date = -1;
    items[0]->get_nRecordId(&id);
    items[0]->get_nPestId(&pest);
    items[0]->get_dQuarantineDate(&date);
    EXPECT_EQ(id, 1);
    EXPECT_EQ(pest, 42);
    EXPECT_GT(date, 36526.0);
    EXPECT_EQ(TextOf(items[0].Get(), &IQuarantinedItem::get_bsLocation), "File \"" + file + "\"");
    items[1]->get_nRecordId(&id);
    items[1]->get_dQuarantineDate(&date);
    EXPECT_EQ(id, 2);
    EXPECT_EQ(date, 0.0);  // a container folder has no date

    fs::remove_all(victim.path() / "Pest");
    fs::remove_all(tree);
    for (const auto& item : items) {
        VARIANT_BOOL ok = VARIANT_FALSE;
        ASSERT_EQ(q.quarantine->UnquarantineItem(item.Get(), &ok), S_OK);
        EXPECT_EQ(ok, VARIANT_TRUE) << LastError(q.quarantine.Get());
    }
    EXPECT_EQ(ReadFileBytes(file), std::vector<unsigned char>(3000, 'p'));
    EXPECT_EQ(ReadFileBytes(victim.File("Tree\\Sub\\b.txt")), std::vector<unsigned char>{'b'});
    EXPECT_TRUE(q.Items().empty());

    ASSERT_TRUE(q.Q4(44, "File \"" + file + "\""));
    ASSERT_TRUE(q.Q4(45, "File \"" + file + "\""));
    items = q.Items();
    ASSERT_EQ(items.size(), 2u);
    VARIANT_BOOL ok = VARIANT_FALSE;
    ASSERT_EQ(q.quarantine->DeleteQuarantinedItem(items[0].Get(), &ok), S_OK);
    EXPECT_EQ(ok, VARIANT_TRUE);
    LONG removed = -1;
    ASSERT_EQ(q.quarantine->DeleteAllItems(&removed), S_OK);
    EXPECT_EQ(removed, 1);
    EXPECT_TRUE(q.Items().empty());
}

TEST(QuarantineObject, RecognisesDuplicatesUnlessAllowed) {
    QuarantineFixture q;
    ScratchDir victim;
    const std::string location = "File \"" + victim.Write("d.exe", "d") + "\"";
    ASSERT_TRUE(q.Q4(1, location));
    EXPECT_FALSE(q.Q4(1, location));
    EXPECT_EQ(LastError(q.quarantine.Get()), "Pest already exists in database.");
    // Only -1 is true.
    q.quarantine->put_vbAllowDuplicates(1);
    VARIANT_BOOL allowed = VARIANT_TRUE;
    q.quarantine->get_vbAllowDuplicates(&allowed);
    EXPECT_EQ(allowed, VARIANT_FALSE);
    EXPECT_FALSE(q.Q4(1, location));
    q.quarantine->put_vbAllowDuplicates(VARIANT_TRUE);
    EXPECT_TRUE(q.Q4(1, location));
}

TEST(QuarantineObject, RefusesAnItemWhoseContainerIsOutsideItsFolder) {
    QuarantineFixture q;
    ScratchDir outside;
    const auto victim = outside.Write("precious.txt", "keep");
    ComPtr<IQuarantinedItem> crafted;
    ASSERT_EQ(com::CreateEngineObject(CLSID_QuarantinedItem, crafted.Put()), S_OK);
    crafted->put_bsContainerFile(Bstr(victim).Get());
    crafted->put_bsLocation(Bstr("File \"" + outside.File("copy.txt") + "\"").Get());
    VARIANT_BOOL ok = VARIANT_TRUE;
    ASSERT_EQ(q.quarantine->UnquarantineItem(crafted.Get(), &ok), S_OK);
    EXPECT_EQ(ok, VARIANT_FALSE);
    EXPECT_EQ(LastError(q.quarantine.Get()),
              "The container is not in the quarantine folder: " + victim);
    ok = VARIANT_TRUE;
    ASSERT_EQ(q.quarantine->DeleteQuarantinedItem(crafted.Get(), &ok), S_OK);
    EXPECT_EQ(ok, VARIANT_FALSE);
    EXPECT_TRUE(fs::exists(victim));
    EXPECT_FALSE(fs::exists(outside.File("copy.txt")));
}

TEST(QuarantineObject, NeedsInitializeAndAFolder) {
    ComPtr<IQuarantine> quarantine;
    ASSERT_EQ(com::CreateEngineObject(CLSID_Quarantine, quarantine.Put()), S_OK);
    VARIANT_BOOL flag = VARIANT_TRUE;
    quarantine->IsInitialized(&flag);
    EXPECT_EQ(flag, VARIANT_FALSE);
    UniqueBstr folder;
    ASSERT_EQ(quarantine->get_bsQuarantineFolder(folder.Put()), S_OK);
    EXPECT_EQ(folder.Get(), nullptr);
    EXPECT_EQ(LastError(quarantine.Get()), "Success.");

    ComPtr<IQuarantinedItem> item;
    ASSERT_EQ(quarantine->GetFirstQuarantinedItem(item.Put()), S_OK);
    EXPECT_FALSE(item);
    EXPECT_EQ(LastError(quarantine.Get()), "Not initialized.");
    VARIANT_BOOL ok = VARIANT_TRUE;
    ASSERT_EQ(quarantine->Q4(1, Bstr("File \"C:\\x.exe\"").Get(), &ok), S_OK);
    EXPECT_EQ(ok, VARIANT_FALSE);

    // An empty folder would put the quarantine at the root of the drive.
    ASSERT_EQ(quarantine->Initialize(Bstr("").Get(), &ok), S_OK);
    EXPECT_EQ(ok, VARIANT_FALSE);
    EXPECT_EQ(LastError(quarantine.Get()), "Error creating the Quarantine directory.");
    quarantine->IsInitialized(&flag);
    EXPECT_EQ(flag, VARIANT_FALSE);

    // vbLogEnabled is accepted and does nothing.
    VARIANT_BOOL untouched = 7;
    EXPECT_EQ(quarantine->get_vbLogEnabled(&untouched), S_OK);
    EXPECT_EQ(untouched, 7);
    EXPECT_EQ(quarantine->put_vbLogEnabled(VARIANT_TRUE), S_OK);
}

TEST(QuarantinedItemObject, KeepsCopiesOfWhatItIsGiven) {
    ComPtr<IQuarantinedItem> item;
    ASSERT_EQ(com::CreateEngineObject(CLSID_QuarantinedItem, item.Put()), S_OK);
    UniqueBstr empty;
    ASSERT_EQ(item->get_bsLocation(empty.Put()), S_OK);
    EXPECT_EQ(empty.Get(), nullptr);
    {
        const auto location = Bstr("File \"C:\\a.exe\"");
        ASSERT_EQ(item->put_bsLocation(location.Get()), S_OK);
    }  // the caller's string is gone; the item's copy stays
    EXPECT_EQ(TextOf(item.Get(), &IQuarantinedItem::get_bsLocation), "File \"C:\\a.exe\"");
    item->put_bsContainerFile(Bstr("C:\\Q\\qzq1.tmp").Get());
    item->put_nRecordId(3);
    item->put_nPestId(-5);
    item->put_dQuarantineDate(38353.5);
    LONG record = 0, pest = 0;
    DATE date = 0;
    item->get_nRecordId(&record);
    item->get_nPestId(&pest);
    item->get_dQuarantineDate(&date);
    EXPECT_EQ(record, 3);
    EXPECT_EQ(pest, -5);
    EXPECT_EQ(date, 38353.5);
    EXPECT_EQ(TextOf(item.Get(), &IQuarantinedItem::get_bsContainerFile), "C:\\Q\\qzq1.tmp");
    ASSERT_EQ(item->put_bsContainerFile(nullptr), S_OK);
    UniqueBstr cleared;
    item->get_bsContainerFile(cleared.Put());
    EXPECT_EQ(cleared.Get(), nullptr);

    // Scripts read the date through dispatch.
    DISPID id = 0;
    LPOLESTR name = const_cast<LPOLESTR>(L"dQuarantineDate");
    ASSERT_EQ(item->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), S_OK);
    DISPPARAMS none{};
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(item->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(V_VT(&result), VT_DATE);
    EXPECT_EQ(V_DATE(&result), 38353.5);
}

TEST(QuarantineSessionObject, HandsOutOneItemPerEntryInOrder) {
    ComPtr<IQuarantineSession> session;
    ASSERT_EQ(com::CreateEngineObject(CLSID_QuarantineSession, session.Put()), S_OK);
    ComPtr<IQuarantinedItem> item;
    ASSERT_EQ(session->GetFirstQuarantinedItem(item.Put()), S_OK);
    EXPECT_FALSE(item);
    EXPECT_EQ(TextOf(session.Get(), &IQuarantineSession::get_bsLastError),
              "Error.  The session object has not been initialized.");
    UniqueBstr path;
    ASSERT_EQ(session->get_bsSessionFilePath(path.Put()), S_OK);
    EXPECT_EQ(path.Get(), nullptr);

    const std::string archive = "C:\\Data\\Quarantine\\20051231120000.zip";
    const std::vector<std::string> comments = {
        " PestId \"7\" File \"C:\\a\\x.exe\"",
        " File \"C:\\Data\\Quarantine\\reg1.tmp\" PestId \"12\" Key \"hkey_current_user \\X\"",
        "Folder \"C:\\b\"",
    };
    static_cast<CQuarantineSession*>(session.Get())->LoadEntries(archive, comments);
    VARIANT_BOOL initialized = VARIANT_FALSE;
    session->IsInitialized(&initialized);
    EXPECT_EQ(initialized, VARIANT_TRUE);
    EXPECT_EQ(TextOf(session.Get(), &IQuarantineSession::get_bsSessionFilePath), archive);

    const LONG pests[] = {7, 12, 0};
    ASSERT_EQ(session->GetFirstQuarantinedItem(item.Put()), S_OK);
    for (std::size_t i = 0; i < comments.size(); ++i) {
        ASSERT_TRUE(item) << i;
        LONG record = 0, pest = -1;
        item->get_nRecordId(&record);
        item->get_nPestId(&pest);
        EXPECT_EQ(record, -1);
        EXPECT_EQ(pest, pests[i]);
        EXPECT_EQ(TextOf(item.Get(), &IQuarantinedItem::get_bsLocation), comments[i]);
        EXPECT_EQ(TextOf(item.Get(), &IQuarantinedItem::get_bsContainerFile), archive);
        ASSERT_EQ(session->GetNextQuarantinedItem(item.Put()), S_OK);
    }
    EXPECT_FALSE(item);

    session->put_nSessionId(-1971185024);
    LONG id = 0;
    session->get_nSessionId(&id);
    EXPECT_EQ(id, -1971185024);
}

}  // namespace
}  // namespace olvex
