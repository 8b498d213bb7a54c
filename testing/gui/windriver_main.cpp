// windriver.exe: the window driver for scripts. Run it under Wine on the
// test's display; it prints what it finds as UTF-8 lines and exits 0 on
// success, 1 when a window, control or item is missing or an action failed,
// 2 on a wrong command line.
//
//   windriver list
//   windriver find       WINDOW                 print the window's handle
//   windriver wait-gone  WINDOW                 wait for it to go
//   windriver children   WINDOW                 id class "text" visible enabled check
//   windriver get-text   WINDOW [--id N]
//   windriver set-text   WINDOW [--id N] TEXT
//   windriver click      WINDOW --id N          a button (BM_CLICK) or, --mouse, any control
//   windriver send       WINDOW [--id N] MSG WPARAM LPARAM   result and time blocked
//   windriver post       WINDOW [--id N] MSG WPARAM LPARAM
//   windriver answer     WINDOW BUTTON          print a dialog's title and text, press
//                                               BUTTON (an id such as 6, or a caption)
//   windriver tree       WINDOW --id N          depth check "text" per item
//   windriver tree-toggle WINDOW --id N [--space] TEXT/TEXT/...
//   windriver list-view  WINDOW --id N          the columns, then the rows, tab-separated
//   windriver header-click WINDOW --id N COLUMN
//   windriver screenshot [WINDOW] NAME          PNG into OLVEX_SCREENSHOT_DIR
//   windriver tray       WINDOW --icon N        "present" (exit 0) or "absent" (exit 1)
//   windriver find-dialog --pid N --control ID  a process's dialog by a control's id
//   windriver menu       --pid N                the open popup menu's items: id "text"
//                                               [separator] [grayed] [default]
//   windriver menu-choose --pid N COMMAND       choose an item of the open popup menu
//   windriver resize-screen WIDTH HEIGHT
//
// WINDOW is chosen by --title T, --class C, --pid N and/or --handle H (hex
// or decimal); --timeout MS (default 5000) is how long to wait for it, and
// for whatever else the command waits on. "answer" looks for dialog boxes
// ("#32770") unless --class says otherwise.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "testing/gui/window_driver.h"

namespace gui = olvex::gui;

namespace {

void Print(const std::wstring& line) {
    std::wstring text = line + L"\n";
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string bytes(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size,
                        nullptr, nullptr);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()),
              &written, nullptr);
}

int Fail(const std::wstring& why) {
    Print(L"windriver: " + why);
    return 1;
}

std::wstring Hex(std::uintptr_t value) {
    wchar_t text[32];
    swprintf(text, 32, L"0x%llx", static_cast<unsigned long long>(value));
    return text;
}

std::wstring Quoted(const std::wstring& text) {
    std::wstring result = L"\"";
    for (const wchar_t c : text) {
        if (c == L'\n')
            result += L"\\n";
        else if (c == L'\r')
            result += L"\\r";
        else if (c == L'"' || c == L'\\')
            result += std::wstring(L"\\") + c;
        else
            result += c;
    }
    return result + L"\"";
}

std::optional<long long> Number(const std::wstring& text) {
    if (text.empty())
        return std::nullopt;
    wchar_t* end = nullptr;
    const long long value = std::wcstoll(text.c_str(), &end, 0);
    if (*end != L'\0')
        return std::nullopt;
    return value;
}

struct CommandLine {
    std::wstring command;
    std::map<std::wstring, std::wstring> options;
    std::vector<std::wstring> words;
};

std::optional<CommandLine> Parse(int argc, wchar_t** argv) {
    if (argc < 2)
        return std::nullopt;
    CommandLine line;
    line.command = argv[1];
    for (int i = 2; i < argc; ++i) {
        const std::wstring word = argv[i];
        if (word == L"--space" || word == L"--mouse" || word == L"--post") {
            line.options[word] = L"1";
        } else if (word.size() > 2 && word.rfind(L"--", 0) == 0) {
            if (i + 1 >= argc)
                return std::nullopt;
            line.options[word] = argv[++i];
        } else {
            line.words.push_back(word);
        }
    }
    return line;
}

class Command {
  public:
    explicit Command(CommandLine line) : line_(std::move(line)) {
        if (auto timeout = Option(L"--timeout"); timeout && Number(*timeout))
            timeout_ = static_cast<DWORD>(*Number(*timeout));
    }

    std::optional<std::wstring> Option(const std::wstring& name) const {
        const auto found = line_.options.find(name);
        if (found == line_.options.end())
            return std::nullopt;
        return found->second;
    }
    bool Flag(const std::wstring& name) const { return Option(name).has_value(); }
    const std::vector<std::wstring>& words() const { return line_.words; }
    DWORD timeout() const { return timeout_; }

    bool ChoosesWindow() const {
        return Flag(L"--title") || Flag(L"--class") || Flag(L"--pid") || Flag(L"--handle");
    }

    gui::WindowQuery Query() const {
        gui::WindowQuery query;
        query.title = Option(L"--title");
        query.class_name = Option(L"--class");
        if (auto pid = Option(L"--pid"); pid && Number(*pid))
            query.process_id = static_cast<DWORD>(*Number(*pid));
        return query;
    }

    // The chosen top-level window, or its child --id when given.
    HWND Window() const {
        HWND window = nullptr;
        if (auto handle = Option(L"--handle"); handle && Number(*handle)) {
            window = reinterpret_cast<HWND>(static_cast<std::intptr_t>(*Number(*handle)));
            if (!IsWindow(window))
                return nullptr;
        } else {
            window = gui::FindTopLevelWindow(Query(), timeout_);
        }
        if (!window)
            return nullptr;
        if (auto id = Option(L"--id"); id && Number(*id)) {
            const int wanted = static_cast<int>(*Number(*id));
            HWND child = nullptr;
            gui::WaitUntil([&] { return (child = gui::FindChild(window, wanted)) != nullptr; },
                           timeout_);
            return child;
        }
        return window;
    }

  private:
    CommandLine line_;
    DWORD timeout_ = 5000;
};

int List(const Command&) {
    for (const auto& window : gui::ListTopLevelWindows()) {
        Print(Hex(reinterpret_cast<std::uintptr_t>(window.handle)) + L" " +
              std::to_wstring(window.process_id) + L" " + Quoted(window.class_name) + L" " +
              Quoted(window.title) + (window.visible ? L" visible" : L" hidden"));
    }
    return 0;
}

int Children(HWND window) {
    for (const auto& child : gui::ListChildren(window)) {
        Print(std::to_wstring(child.id) + L" " + Quoted(child.class_name) + L" " +
              Quoted(child.text) + (child.visible ? L" visible" : L" hidden") +
              (child.enabled ? L" enabled" : L" disabled") +
              (child.check >= 0 ? L" check=" + std::to_wstring(child.check) : L""));
    }
    return 0;
}

std::optional<std::vector<LONG_PTR>> MessageWords(const Command& command) {
    if (command.words().size() != 3)
        return std::nullopt;
    std::vector<LONG_PTR> values;
    for (const auto& word : command.words()) {
        const auto value = Number(word);
        if (!value)
            return std::nullopt;
        values.push_back(static_cast<LONG_PTR>(*value));
    }
    return values;
}

int Answer(const Command& command) {
    if (command.words().size() != 1)
        return 2;
    gui::WindowQuery query = command.Query();
    const HWND dialog =
        command.Flag(L"--handle") ? command.Window() : gui::FindDialog(query, command.timeout());
    if (!dialog)
        return Fail(L"no dialog");
    const auto shown = gui::ReadDialog(dialog);
    Print(L"title " + Quoted(shown.title));
    Print(L"text " + Quoted(shown.text));
    for (const auto& button : shown.buttons)
        Print(L"button " + std::to_wstring(button.id) + L" " + Quoted(button.text));
    const std::wstring& choice = command.words()[0];
    const bool pressed = Number(choice)
                             ? gui::PressButton(dialog, static_cast<int>(*Number(choice)))
                             : gui::PressButton(dialog, choice);
    if (!pressed)
        return Fail(L"no such button: " + choice);
    if (!gui::WaitForWindowGone(dialog, command.timeout()))
        return Fail(L"the dialog stayed");
    return 0;
}

std::vector<std::wstring> SplitPath(const std::wstring& path) {
    std::vector<std::wstring> parts;
    std::wstring part;
    for (const wchar_t c : path) {
        if (c == L'/') {
            parts.push_back(part);
            part.clear();
        } else {
            part.push_back(c);
        }
    }
    parts.push_back(part);
    return parts;
}

// The commands that name a process rather than a window.
int MenuOrDialog(const Command& command, const std::wstring& name) {
    const auto pid = command.Option(L"--pid");
    if (!pid || !Number(*pid))
        return 2;
    const auto process_id = static_cast<DWORD>(*Number(*pid));
    if (name == L"find-dialog") {
        const auto control = command.Option(L"--control");
        if (!control || !Number(*control))
            return 2;
        const HWND dialog = gui::FindDialogWithControl(
            process_id, static_cast<int>(*Number(*control)), command.timeout());
        if (!dialog)
            return Fail(L"no such dialog");
        Print(Hex(reinterpret_cast<std::uintptr_t>(dialog)));
        return 0;
    }
    const auto menu = gui::ReadPopupMenu(process_id, command.timeout());
    if (!menu)
        return Fail(L"no popup menu");
    if (name == L"menu") {
        for (const auto& item : menu->items) {
            Print(std::to_wstring(item.id) + L" " + Quoted(item.text) +
                  (item.separator ? L" separator" : L"") + (item.grayed ? L" grayed" : L"") +
                  (item.is_default ? L" default" : L""));
        }
        return 0;
    }
    const auto& words = command.words();
    if (words.size() != 1 || !Number(words[0]))
        return 2;
    return gui::ChoosePopupMenuItem(*menu, static_cast<UINT>(*Number(words[0])))
               ? 0
               : Fail(L"no such item");
}

int Run(const Command& command, const std::wstring& name) {
    if (name == L"list")
        return List(command);
    if (name == L"screenshot") {
        if (command.words().size() != 1)
            return 2;
        HWND window = nullptr;
        if (command.ChoosesWindow() && !(window = command.Window()))
            return Fail(L"no such window");
        const std::wstring path = gui::SaveScreenshot(
            window, std::string(command.words()[0].begin(), command.words()[0].end()));
        if (path.empty())
            return Fail(L"nothing captured");
        Print(path);
        return 0;
    }
    if (name == L"answer")
        return Answer(command);
    if (name == L"resize-screen") {
        const auto& words = command.words();
        if (words.size() != 2 || !Number(words[0]) || !Number(words[1]))
            return 2;
        return gui::ResizeScreen(static_cast<int>(*Number(words[0])),
                                 static_cast<int>(*Number(words[1])))
                   ? 0
                   : Fail(L"the screen kept its size");
    }
    if (name == L"find-dialog" || name == L"menu" || name == L"menu-choose")
        return MenuOrDialog(command, name);
    if (!command.ChoosesWindow())
        return 2;
    if (name == L"wait-gone") {
        const HWND window = command.Window();
        if (window && !gui::WaitForWindowGone(window, command.timeout()))
            return Fail(L"the window stayed");
        return 0;
    }
    const HWND window = command.Window();
    if (!window)
        return Fail(L"no such window");
    const auto& words = command.words();
    if (name == L"find") {
        Print(Hex(reinterpret_cast<std::uintptr_t>(window)));
        return 0;
    }
    if (name == L"children")
        return Children(window);
    if (name == L"get-text") {
        Print(gui::GetText(window));
        return 0;
    }
    if (name == L"set-text") {
        if (words.size() != 1)
            return 2;
        return gui::SetText(window, words[0]) ? 0 : Fail(L"the text was not taken");
    }
    if (name == L"click") {
        const bool clicked =
            command.Flag(L"--mouse") ? gui::ClickControl(window) : gui::ClickButton(window);
        return clicked ? 0 : Fail(L"not clickable (no button, or disabled)");
    }
    if (name == L"send" || name == L"post") {
        const auto values = MessageWords(command);
        if (!values)
            return 2;
        const auto message = static_cast<UINT>((*values)[0]);
        const auto wparam = static_cast<WPARAM>((*values)[1]);
        const auto lparam = static_cast<LPARAM>((*values)[2]);
        if (name == L"post")
            return gui::PostWindowMessage(window, message, wparam, lparam) ? 0
                                                                           : Fail(L"not posted");
        const auto sent =
            gui::SendWindowMessage(window, message, wparam, lparam, command.timeout());
        if (!sent.completed)
            return Fail(L"no answer after " + std::to_wstring(sent.elapsed_ms) + L" ms");
        Print(L"result " + std::to_wstring(sent.result) + L" ms " +
              std::to_wstring(sent.elapsed_ms));
        return 0;
    }
    if (name == L"tree") {
        for (const auto& item : gui::ReadTree(window)) {
            Print(std::to_wstring(item.depth) + L" " + std::to_wstring(item.check) + L" " +
                  Quoted(item.text));
        }
        return 0;
    }
    if (name == L"tree-toggle") {
        if (words.size() != 1)
            return 2;
        const HTREEITEM item = gui::FindTreeItem(window, SplitPath(words[0]));
        if (!item)
            return Fail(L"no such item: " + words[0]);
        const bool toggled = command.Flag(L"--space")
                                 ? gui::ToggleTreeItemBySpace(window, item, command.timeout())
                                 : gui::ToggleTreeItemByClick(window, item, command.timeout());
        if (!toggled)
            return Fail(L"the check state did not change");
        Print(L"check " + std::to_wstring(gui::TreeItemCheck(window, item)));
        return 0;
    }
    if (name == L"list-view") {
        const auto contents = gui::ReadListView(window);
        std::wstring header;
        for (const auto& column : contents.columns)
            header += (header.empty() ? L"" : L"\t") + column;
        Print(header);
        for (const auto& row : contents.rows) {
            std::wstring line;
            for (std::size_t i = 0; i < row.size(); ++i)
                line += (i ? L"\t" : L"") + row[i];
            Print(line);
        }
        return 0;
    }
    if (name == L"tray") {
        const auto icon = command.Option(L"--icon");
        if (!icon || !Number(*icon))
            return 2;
        const bool present = gui::TrayIconExists(window, static_cast<UINT>(*Number(*icon)));
        Print(present ? L"present" : L"absent");
        return present ? 0 : 1;
    }
    if (name == L"header-click") {
        if (words.size() != 1 || !Number(words[0]))
            return 2;
        return gui::ClickListViewColumn(window, static_cast<int>(*Number(words[0])))
                   ? 0
                   : Fail(L"no such column");
    }
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const auto line = Parse(argc, argv);
    if (!line) {
        Print(L"usage: windriver COMMAND [WINDOW] [ARGUMENTS] (see the top of windriver_main.cpp)");
        return 2;
    }
    const Command command(*line);
    const int result = Run(command, line->command);
    if (result == 2)
        Print(L"windriver: wrong arguments for " + line->command);
    return result;
}
