// The setup program with fake products, for the tests under Wine: the file
// "fakeproducts.txt" beside the program describes the suite and its members
// (one line each, fields split by '|'), and every step a product takes is
// written to "fakelog.txt" beside it, with whether the progress thread runs.
//
//   suite|name=Suite|path=C:\Kept|flag=2
//   qz|name=Fake One|checks=9009|Install=9027|installed=1|version=0
//   pause|Fake One:Install|3000        (the step waits, for a test to look)
//   watch|Fake One:Install|3000        (the step runs the dialog watcher)
//   compete|Fake One:Install|Rival     (the step asks to remove a competitor)
//
// The restart of Windows is recorded as "reboot", the progress bar at its
// end as "stop <position> <last step>".
#include <windows.h>
#include <commctrl.h>

#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

#include "setup/controller/fake_products.h"
#include "setup/controller/win/progress_window.h"
#include "setup/controller/win/setup_dialogs.h"
#include "setup/controller/win/tramlet.h"
#include "setup/core/setup_options.h"
#include "setup/core/setup_seams.h"
#include "setup/core/setup_text.h"
#include "setup/core/system_utilities.h"
#include "setup/core/win_text.h"

namespace olvex::setup {
namespace {

std::u16string BesideProgram(std::u16string_view file) {
    return util::GetCurrentAppDir() + u"\\" + std::u16string(file);
}

std::mutex g_log_lock;

void Record(const std::string& line) {
    const std::lock_guard<std::mutex> lock(g_log_lock);
    std::ofstream out(reinterpret_cast<const wchar_t*>(BesideProgram(u"fakelog.txt").c_str()),
                      std::ios::app | std::ios::binary);
    out << line << "\r\n";
}

std::vector<std::string> Split(const std::string& line, char separator) {
    std::vector<std::string> fields;
    std::stringstream stream(line);
    std::string field;
    while (std::getline(stream, field, separator)) {
        fields.push_back(field);
    }
    return fields;
}

uint32_t Number(const std::string& text) {
    return static_cast<uint32_t>(std::strtoul(text.c_str(), nullptr, 10));
}

void Apply(fakes::ProductSpec& spec, const std::vector<std::string>& fields) {
    for (size_t i = 1; i < fields.size(); ++i) {
        const size_t equals = fields[i].find('=');
        if (equals == std::string::npos) {
            continue;
        }
        const std::string key = fields[i].substr(0, equals);
        const std::string value = fields[i].substr(equals + 1);
        if (key == "name") {
            spec.name = value;
        } else if (key == "checks") {
            spec.checks = Number(value);
        } else if (key == "text") {
            spec.check_text = value;
        } else if (key == "installed") {
            spec.installed = value == "1";
        } else if (key == "available") {
            spec.available = value == "1";
        } else if (key == "version") {
            spec.version = value;
        } else if (key == "readable") {
            spec.version_readable = value == "1";
        } else if (key == "path") {
            spec.installed_path = value;
        } else if (key == "flag") {
            spec.path_flag = Number(value);
        } else if (key == "restart") {
            spec.restart = value == "1";
        } else if (key == "group") {
            spec.installed_group = value;
        } else if (key == "code") {
            spec.code = Number(value);
        } else if (key == "package") {
            spec.package_code = Number(value);
        } else if (!key.empty() && key[0] >= 'A' && key[0] <= 'Z') {
            spec.steps[key] = Number(value);
        } else if (!key.empty() && key[0] >= '0' && key[0] <= '9') {
            spec.strings[Number(key)] = value;
        }
    }
}

struct StepAction {
    std::string kind;  // "pause", "watch" or "compete"
    std::string argument;
};

std::map<std::string, StepAction> g_actions;

void OnStep(const std::string& product, const std::string& step) {
    if (step == "PrepareInstall") {
        Record(product + " path=" + ToUtf8(SetupOptions::Instance().GetPath()));
    }
    if (step == "Install" || step == "Uninstall") {
        const std::u16string status = FromAscii(product + ": " + step);
        ProgressWindow::Instance().Step(&status);
    }
    const auto found = g_actions.find(product + ":" + step);
    if (found == g_actions.end()) {
        return;
    }
    const StepAction& action = found->second;
    if (action.kind == "watch") {
        DialogWatcherThread watcher;
        watcher.Start();
        Sleep(Number(action.argument));
        watcher.Wait();
        Record("watcher ended");
    } else if (action.kind == "compete") {
        const SetupOperation* operation = GetCurrentOperation();
        const uint32_t answer =
            AskRemoveCompetingProduct(static_cast<HWND>(operation ? operation->window() : nullptr),
                                      FromAscii(action.argument), FromAscii(product));
        Record("compete " + std::to_string(answer));
    } else {
        Sleep(Number(action.argument));
    }
}

void RecordStep(const std::string& line) {
    Record(line + (ProgressWindow::Instance().launched() ? " progress" : ""));
}

fakes::ProductSpec DefaultSuite() {
    fakes::ProductSpec spec;
    spec.name = "Kelvan Suite Personal";
    spec.code = spec.package_code = kCodeSuite;
    spec.path_flag = 0;
    spec.strings = {{22013, "Kelvan Suite Personal"},
                    {20144, "Kelvan Security Suite"},
                    {22006, "Kelvan Suite Personal"},
                    {22078, "License Agreement"}};
    return spec;
}

class FileProducts : public fakes::FakeFactory {
  public:
    FileProducts() : FakeFactory(DefaultSuite(), &RecordStep, &OnStep) {
        std::ifstream in(
            reinterpret_cast<const wchar_t*>(BesideProgram(u"fakeproducts.txt").c_str()));
        const std::map<std::string, ProductKind> kinds = {{"qz", ProductKind::kAntiSpyware},
                                                          {"as", ProductKind::kAntiSpam},
                                                          {"av", ProductKind::kAntivirus},
                                                          {"fw", ProductKind::kFirewall},
                                                          {"fwu", ProductKind::kFirewallUpgrade}};
        const std::map<ProductKind, uint32_t> codes = {
            {ProductKind::kAntiSpyware, kCodeAntiSpyware},
            {ProductKind::kAntiSpam, kCodeAntiSpam},
            {ProductKind::kAntivirus, kCodeAntivirus},
            {ProductKind::kFirewall, kCodeFirewall},
            {ProductKind::kFirewallUpgrade, kCodeFirewallUpgrade}};
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            const std::vector<std::string> fields = Split(line, '|');
            if (fields.empty()) {
                continue;
            }
            if ((fields[0] == "pause" || fields[0] == "watch" || fields[0] == "compete") &&
                fields.size() == 3) {
                g_actions[fields[1]] = StepAction{fields[0], fields[2]};
            } else if (fields[0] == "suite") {
                Apply(fake_suite().spec(), fields);
            } else if (const auto kind = kinds.find(fields[0]); kind != kinds.end()) {
                fakes::ProductSpec spec;
                spec.code = spec.package_code = codes.at(kind->second);
                spec.strings = {{22078, "License Agreement"}};
                Apply(spec, fields);
                spec.strings.emplace(22006, spec.name);
                members[kind->second] = spec;
            }
        }
    }
};

}  // namespace
}  // namespace olvex::setup

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace olvex::setup;
    Seams().reboot = [] { Record("reboot"); };
    ProgressWindow::Instance().SetStopObserver([](HWND dialog) {
        const LRESULT position = SendDlgItemMessageW(dialog, kProgressBar, PBM_GETPOS, 0, 0);
        const LRESULT high = SendDlgItemMessageW(dialog, kProgressBar, PBM_GETRANGE, FALSE, 0);
        Record("stop " + std::to_string(position) + " " + std::to_string(high));
    });
    static FileProducts products;
    return RunTramlet(products);
}
