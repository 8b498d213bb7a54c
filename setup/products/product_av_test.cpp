// The antivirus handler's checks and the closing of earlier antivirus
// programs under Wine, with the system facts (Windows version, file
// versions, Winsock's answer, the clock) set through the seams. The
// programs to close are windows of a thread of this test that record what
// they receive.
#include "setup/products/product_av.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <mutex>
#include <thread>

#include "setup/core/setup_windows_test_support.h"
#include "setup/core/system_utilities.h"
#include "setup/products/close_programs.h"

namespace olvex::setup {
namespace {

// Everything the handler logs goes into a scratch file.
class LogInScratch : public ::testing::Environment {
  public:
    void SetUp() override {
        wchar_t folder[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, folder);
        path_ = U(folder) + u"olvex-setup-products-tests-" + UnsignedText(GetCurrentProcessId()) +
                u".log";
        SetupLogger::Instance().SetDisplayLevel(0);
        SetupLogger::Instance().Open(path_, true);
    }
    void TearDown() override { DeleteFileW(W(path_)); }

  private:
    std::u16string path_;
};
::testing::Environment* const log_in_scratch =
    ::testing::AddGlobalTestEnvironment(new LogInScratch);

// The handler with its package present and the product DLL's language
// given by the test.
class TestedAV : public ProductAV {
  public:
    TestedAV() { SetAvailable(true); }
    std::u16string LoadProductString(uint32_t id) override {
        return id == 22208 ? language : ProductAV::LoadProductString(id);
    }
    std::u16string language = u"English";
};

OsVersion Nt(uint32_t major, uint32_t minor, std::u16string service_pack = u"") {
    OsVersion os;
    os.platform = 2;
    os.major = major;
    os.minor = minor;
    os.service_pack = std::move(service_pack);
    return os;
}

OsVersion Nine(uint32_t minor) {
    OsVersion os;
    os.platform = 1;
    os.major = 4;
    os.minor = minor;
    os.build = (4u << 24) | (minor << 16) | 1998;
    return os;
}

TEST(ProductAVTest, RefusesSystemsThroughTheVersionSeam) {
    struct Case {
        OsVersion os;
        std::u16string language;
        uint32_t result;
        std::u16string text;
    };
    const Case cases[] = {
        {Nt(3, 51), u"English", 9009, u"Windows NT 3.51"},
        {Nt(4, 0, u"Service Pack 2"), u"English", 9009, u"Windows NT 4.00 Service Pack 2"},
        {Nt(4, 0, u"Service Pack 6"), u"English", 0, u""},
        {Nt(5, 1, u"Service Pack 2"), u"English", 0, u""},
        {Nine(0), u"English", 0, u""},
        {Nine(0), u"Deutsch", 9009, u"Windows 95 (Deutsch - 4.00)"},
        {Nine(90), u"Deutsch", 0, u""},
    };
    for (const Case& c : cases) {
        ScopedSeams seams;
        seams->os_version = [&] { return std::optional<OsVersion>(c.os); };
        TestedAV product;
        product.language = c.language;
        std::u16string text = u"stale";
        EXPECT_EQ(product.CheckOperatingSystem(text), c.result) << ToUtf8(c.text);
        EXPECT_EQ(ToUtf8(text), ToUtf8(c.text));
    }
    // A package that is not there is not checked.
    ScopedSeams seams;
    seams->os_version = [] { return std::optional<OsVersion>(Nt(3, 51)); };
    TestedAV absent;
    absent.SetAvailable(false);
    std::u16string text;
    EXPECT_EQ(absent.CheckOperatingSystem(text), 0u);
}

TEST(ProductAVTest, PrerequisitesThroughTheFileVersionAndWinsockSeams) {
    struct Case {
        uint32_t wininet_major;
        int winsock_answer;
        uint32_t result;
        std::u16string text;
    };
    const Case cases[] = {
        {5, 0, 0, u""},
        {6, 0, 0, u""},
        {4, 0, 9013, u"WININET.DLL"},
        {5, 10092, 9014, u"WS2_32.DLL"},   // WSAVERNOTSUPPORTED
        {5, 10091, 0, u""},                // another error passes
        {4, 10092, 9013, u"WININET.DLL"},  // the first failure wins
    };
    for (const Case& c : cases) {
        ScopedSeams seams;
        seams->file_version = [&](const std::u16string&) {
            FileVersionInfo info;
            info.file_version_ms = c.wininet_major << 16;
            return std::optional<FileVersionInfo>(info);
        };
        uint16_t asked = 0;
        seams->winsock_startup = [&](uint16_t version) {
            asked = version;
            return c.winsock_answer;
        };
        TestedAV product;
        std::u16string text;
        EXPECT_EQ(product.CheckPrerequisites(text), c.result) << c.wininet_major;
        EXPECT_EQ(ToUtf8(text), ToUtf8(c.text));
        EXPECT_EQ(asked, 0x0202);
    }
}

// --- Closing earlier antivirus programs ------------------------------------

// Top-level windows on a thread of their own that record every 1124,
// WM_DESTROY and WM_CLOSE sent to them as "<class>|<title>|<number>". A
// window ends on the messages of its `ends` list.
class RecordingWindows {
  public:
    struct Plan {
        std::u16string window_class;  // "#32770" for the standard dialog class
        std::u16string title;
        std::vector<UINT> ends;
    };

    RecordingWindows(std::initializer_list<Plan> plans) : plans_(plans) {
        ready_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        thread_ = std::thread([this] { Run(); });
        WaitForSingleObject(ready_, 10000);
    }
    ~RecordingWindows() {
        PostThreadMessageW(thread_id_, WM_QUIT, 0, 0);
        thread_.join();
        CloseHandle(ready_);
        for (const Plan& plan : plans_) {
            if (plan.window_class != u"#32770") {
                UnregisterClassW(W(plan.window_class), GetModuleHandleW(nullptr));
            }
        }
    }

    std::vector<std::string> Received() {
        std::lock_guard<std::mutex> lock(mutex_);
        return received_;
    }

  private:
    struct Window {
        const Plan* plan;
        RecordingWindows* owner;
        bool destroying = false;
    };

    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
        auto* state = reinterpret_cast<Window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (state && !state->destroying &&
            (message == 1124 || message == WM_DESTROY || message == WM_CLOSE)) {
            {
                std::lock_guard<std::mutex> lock(state->owner->mutex_);
                state->owner->received_.push_back(ToUtf8(state->plan->window_class) + "|" +
                                                  ToUtf8(state->plan->title) + "|" +
                                                  std::to_string(message));
            }
            for (const UINT end : state->plan->ends) {
                if (end == message) {
                    state->destroying = true;
                    DestroyWindow(window);
                    return 0;
                }
            }
            return 0;
        }
        return DefWindowProcW(window, message, wparam, lparam);
    }

    void Run() {
        thread_id_ = GetCurrentThreadId();
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
        const HINSTANCE instance = GetModuleHandleW(nullptr);
        windows_.reserve(plans_.size());
        for (const Plan& plan : plans_) {
            windows_.push_back(Window{&plan, this});
            const bool dialog = plan.window_class == u"#32770";
            if (!dialog) {
                WNDCLASSW window_class{};
                window_class.lpfnWndProc = &Procedure;
                window_class.hInstance = instance;
                window_class.lpszClassName = W(plan.window_class);
                RegisterClassW(&window_class);
            }
            const HWND window =
                CreateWindowExW(0, dialog ? L"#32770" : W(plan.window_class), W(plan.title),
                                WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr, instance, nullptr);
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&windows_.back()));
            if (dialog) {
                SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Procedure));
            }
        }
        SetEvent(ready_);
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            DispatchMessageW(&message);
        }
        for (Window& state : windows_) {
            state.destroying = true;
        }
        for (const Plan& plan : plans_) {
            if (const HWND window = FindWindowByClassAndTitle(plan.window_class, plan.title)) {
                DestroyWindow(window);
            }
        }
    }

    std::vector<Plan> plans_;
    std::vector<Window> windows_;
    HANDLE ready_ = nullptr;
    DWORD thread_id_ = 0;
    std::thread thread_;
    std::mutex mutex_;
    std::vector<std::string> received_;
};

// A clock that moves only when setup sleeps: waits end at once, and the
// test sees how long setup would have waited.
struct FakeClock {
    explicit FakeClock(ScopedSeams& seams) {
        seams->clock_ms = [this] { return now; };
        seams->sleep = [this](uint32_t ms) { now += ms; };
    }
    uint64_t now = 0;
};

// The Run value and the antivirus product's key live in the shared prefix:
// each test that writes them puts them back.
class RunValue {
  public:
    RunValue(std::u16string name, std::u16string text) : name_(std::move(name)) {
        util::WriteRegistryValue(HKEY_LOCAL_MACHINE, kRunKey, name_, text, REG_SZ);
    }
    ~RunValue() { util::DeleteRegistryValue(HKEY_LOCAL_MACHINE, kRunKey, name_); }

  private:
    std::u16string name_;
};

bool AntivirusKeyAbsent() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Vorandel\\Vuvu-Roved", 0, KEY_READ, &key) ==
        ERROR_SUCCESS) {
        RegCloseKey(key);
        return false;
    }
    return true;
}

TEST(ProductAVCloseTest, WindowsMeAlsoClosesTheWindows98Windows) {
    ASSERT_TRUE(AntivirusKeyAbsent());  // id 0, the Nim edition, nothing installed
    ScopedSeams seams;
    FakeClock clock(seams);
    seams->os_version = [] { return std::optional<OsVersion>(Nine(90)); };
    // Each ends only on WM_DESTROY, after ten requests of its own.
    RecordingWindows windows{{u"NimME", u"Nim for Windows ME", {WM_DESTROY}},
                             {u"Nim98", u"Nim for Windows 98", {WM_DESTROY}}};
    ProductAV product;
    EXPECT_EQ(product.CloseRunningPrograms(), 0u);
    std::vector<std::string> expected;
    for (const std::string window : {"NimME|Nim for Windows ME", "Nim98|Nim for Windows 98"}) {
        expected.insert(expected.end(), 10, window + "|1124");
        expected.push_back(window + "|2");
    }
    EXPECT_EQ(windows.Received(), expected);
}

TEST(ProductAVCloseTest, OtherWindowsDoNotCloseTheWindows98Windows) {
    ScopedSeams seams;
    FakeClock clock(seams);
    seams->os_version = [] { return std::optional<OsVersion>(Nine(10)); };  // Windows 98 itself
    RecordingWindows windows{{u"NimME", u"Nim for Windows ME", {WM_DESTROY}}};
    ProductAV product;
    EXPECT_EQ(product.CloseRunningPrograms(), 0u);
    EXPECT_TRUE(windows.Received().empty());
}

TEST(ProductAVCloseTest, AnEmptyStartUpValueCausesNoWaiting) {
    ASSERT_TRUE(AntivirusKeyAbsent());
    ScopedSeams seams;
    FakeClock clock(seams);
    {
        RunValue start_up(u"Nim Start Up", u"");
        ProductAV product;
        EXPECT_EQ(product.CloseRunningPrograms(), 0u);
        EXPECT_EQ(clock.now, 0u);
    }
    {
        // A value that counts waits up to six passes, a second apart, for
        // the programs to start.
        RunValue start_up(u"Nim Start Up", u"C:\\nim\\nimstart.exe");
        ProductAV product;
        EXPECT_EQ(product.CloseRunningPrograms(), 0u);
        EXPECT_EQ(clock.now, 5000u);
    }
}

TEST(ProductAVCloseTest, StartUpPassesCloseTheMainWindowsAsTheyOpen) {
    ASSERT_TRUE(AntivirusKeyAbsent());
    ScopedSeams seams;
    FakeClock clock(seams);
    RunValue start_up(u"Nim Start Up", u"C:\\nim\\nimstart.exe");
    // A first main window opened as a standard dialog while starting up,
    // and the edition's main window of its own class: the passes stop as
    // soon as that exists, and it is closed at the end.
    RecordingWindows windows{{u"#32770", u"Nim Vuvu-Roved", {WM_DESTROY}},
                             {u"NimAV", u"Nim Vuvu-Roved", {1124}}};
    ProductAV product;
    EXPECT_EQ(product.CloseRunningPrograms(), 0u);
    // Three requests, then WM_DESTROY, while starting up; the request at
    // the end.
    const std::vector<std::string> expected = {
        "#32770|Nim Vuvu-Roved|1124", "#32770|Nim Vuvu-Roved|1124", "#32770|Nim Vuvu-Roved|1124",
        "#32770|Nim Vuvu-Roved|2", "NimAV|Nim Vuvu-Roved|1124"};
    EXPECT_EQ(windows.Received(), expected);
    EXPECT_EQ(FindWindowByClassAndTitle(u"NimAV", u"Nim Vuvu-Roved"), nullptr);
}

TEST(ProductAVCloseTest, AProgressMeterThatStaysIsReported) {
    ASSERT_TRUE(AntivirusKeyAbsent());
    ScopedSeams seams;
    FakeClock clock(seams);
    RecordingWindows windows{{u"#32770", u"Nim Progress Meter", {}}};
    ProductAV product;
    EXPECT_EQ(product.CloseRunningPrograms(), 9023u);
    const std::vector<std::string> received = windows.Received();
    ASSERT_EQ(received.size(), 20u);  // ten requests of each kind
    EXPECT_EQ(received.front(), "#32770|Nim Progress Meter|1124");
    EXPECT_EQ(received.back(), "#32770|Nim Progress Meter|2");
    EXPECT_NE(setup::testing::ProcessLog().find("Still running: xjv.exe"), std::string::npos);
}

}  // namespace
}  // namespace olvex::setup
